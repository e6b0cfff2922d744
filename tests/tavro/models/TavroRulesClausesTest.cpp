#include <gtest/gtest.h>

#include "TavroRulesTestFixtures.h"
#include "tavro/models/TavroRules.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;
using namespace rulesfixtures;
using Kind = TavroAction::Kind;
using Actions = std::vector<TavroAction>;

namespace {

std::optional<Actions> strict(std::string_view clause, const TavroScreen& s, std::vector<std::string> routes = {}) {
    return TavroRules("", std::move(routes), false).resolve(clause, s);
}

std::optional<Actions> lenient(std::string_view clause, const TavroScreen& s, std::vector<std::string> routes = {}) {
    return TavroRules("", std::move(routes), true).resolve(clause, s);
}

Actions one(TavroAction a) { return Actions{std::move(a)}; }

// A screen with one element of each kind the clause table cares about.
TavroScreen everything() {
    return screen({
        el(1, "tab", "Settings"),
        el(2, "button", "Save"),
        el(3, "checkbox", "Wi-Fi", "0"),
        el(4, "input", "Name"),
        el(5, "textarea", "Notes"),
        withOptions(el(6, "select", "Size", "Medium"), {"Small", "Medium", "Large"}),
        el(7, "slider", "Volume", "50"),
        el(8, "cell", "Card"),
        el(9, "link", "Help"),
    });
}

}  // namespace

// ---- Row 1: routes ----

TEST(RulesRoute, GoToAKnownRouteNavigates) {
    const auto s = screen({});
    const std::vector<std::string> routes = {"Home", "Profile Settings"};
    EXPECT_EQ(strict("go to Profile Settings", s, routes), one(act(Kind::navigate, std::nullopt, "Profile Settings")));
    EXPECT_EQ(strict("please open the profile settings screen", s, routes),
              one(act(Kind::navigate, std::nullopt, "Profile Settings")));
    EXPECT_EQ(strict("show Home page", s, routes), one(act(Kind::navigate, std::nullopt, "Home")));
    EXPECT_EQ(strict("navigate to home", s, routes), one(act(Kind::navigate, std::nullopt, "Home")));
}

TEST(RulesRoute, WithoutSuchARouteTheTableGoesOn) {
    const auto s = screen({el(1, "tab", "Settings")});
    EXPECT_EQ(strict("go to Settings", s), std::nullopt);                    // row 26 needs the exact name
    EXPECT_EQ(lenient("go to Settings", s), one(act(Kind::click, 1)));       // contained-name pass
    EXPECT_EQ(strict("open Settings", s, {"Home"}), one(act(Kind::click, 1)));  // row 24
}

TEST(RulesRoute, ARouteFoundInsideMoreWordsCountsOnlyWhenTheyFrameIt) {
    const auto s = screen({});
    const std::vector<std::string> routes = {"Shop", "Settings"};
    // Words that ask for something else, or name something else, are not the route.
    for (const auto* clause : {"open Shop and delete account", "open Shop to cancel my order", "open Shop Deluxe"}) {
        EXPECT_EQ(strict(clause, s, routes), std::nullopt) << clause;
        EXPECT_EQ(lenient(clause, s, routes), std::nullopt) << clause;
    }
    EXPECT_EQ(strict("tap Shop and buy a mug", s, routes), std::nullopt);
    // A route named with words around it, by a prefix, or misspelt, still counts.
    EXPECT_EQ(strict("go to the Shop tab please", s, routes), one(act(Kind::navigate, std::nullopt, "Shop")));
    EXPECT_EQ(strict("open Sett", s, routes), one(act(Kind::navigate, std::nullopt, "Settings")));
    EXPECT_EQ(strict("open Setings", s, routes), one(act(Kind::navigate, std::nullopt, "Settings")));
}

TEST(RulesRoute, WordsNamingAPlaceOrAViewOfItFrameARouteAndNoOtherWordDoes) {
    const auto s = screen({});
    const std::vector<std::string> routes = {"Shop", "Settings", "Orders"};
    for (const auto* clause : {"open the Settings app", "open settings for notifications", "go to the settings menu"}) {
        EXPECT_EQ(strict(clause, s, routes), one(act(Kind::navigate, std::nullopt, "Settings"))) << clause;
        EXPECT_EQ(lenient(clause, s, routes), one(act(Kind::navigate, std::nullopt, "Settings"))) << clause;
    }
    EXPECT_EQ(strict("go to orders list", s, routes), one(act(Kind::navigate, std::nullopt, "Orders")));
    // Words in any script, or full-width letters, that ask for more stop the route.
    for (const auto* clause : {"open Shop and удалить аккаунт", "open Shop and 删除账户", "open Shop and ｄｅｌｅｔｅ ａｃｃｏｕｎｔ",
                               "open Shop for 删除账户", "open Shop for deleting my account"}) {
        EXPECT_EQ(strict(clause, s, routes), std::nullopt) << clause;
        EXPECT_EQ(lenient(clause, s, routes), std::nullopt) << clause;
    }
    // The same words decide for a loose element name.
    const auto tabs = screen({el(1, "tab", "Shop"), el(2, "tab", "Settings")});
    EXPECT_EQ(lenient("Shop and удалить аккаунт", tabs), std::nullopt);
    EXPECT_EQ(lenient("the Settings tab", tabs), one(act(Kind::click, 2)));
}

TEST(RulesRoute, TheScreenAlreadyShowingNeedsNothing) {
    auto s = screen({el(1, "tab", "Home", "selected"), el(2, "tab", "Settings"), el(3, "button", "Show password")});
    s.location = "Settings";
    s.title = "Settings";
    const std::vector<std::string> routes = {"Settings"};
    for (const auto* clause : {"open Settings", "go to the settings screen", "navigate to Settings", "show Settings",
                               "please open the Setings tab"}) {
        EXPECT_EQ(strict(clause, s, routes), Actions{}) << clause;
        EXPECT_EQ(lenient(clause, s, routes), Actions{}) << clause;
    }
    EXPECT_EQ(strict("open Settings", s), Actions{}) << "without a route the tab would be tapped";
    EXPECT_EQ(strict("open Home", s, routes), one(act(Kind::click, 1)));
    // The title alone tells it: a location named after the screen's class is not the name.
    s.location = "SettingsScreen";
    EXPECT_EQ(strict("open Settings", s), Actions{});
    // "show" without a route may name an element rather than a screen.
    s.location = s.title = "Password";
    EXPECT_EQ(lenient("show password", s), one(act(Kind::click, 3)));
    EXPECT_EQ(strict("open password", s), Actions{});
    // A selected tab is not enough: a screen pushed within it shows under the same tab.
    s.location = s.title = "Profile";
    EXPECT_EQ(strict("open Home", s), one(act(Kind::click, 1)));
}

// ---- Rows 2 and 3: the web ----

TEST(RulesWeb, WebPhrasesOpenTheBrowser) {
    const auto s = screen({el(1, "input", "Search")});
    EXPECT_EQ(strict("search the web for red shoes", s), one(act(Kind::openWeb, std::nullopt, "red shoes")));
    EXPECT_EQ(strict("open a browser", s), one(act(Kind::openWeb, std::nullopt, "open a browser")));
    EXPECT_EQ(strict("show me ramen shops on the web", s), one(act(Kind::openWeb, std::nullopt, "show me ramen shops on the web")));
    EXPECT_EQ(strict("search google for \"Tavro\"", s), one(act(Kind::openWeb, std::nullopt, "Tavro")));
    EXPECT_EQ(strict("go online", s), one(act(Kind::openWeb, std::nullopt, "go online")));
    EXPECT_EQ(strict("find flights in the browser", s), one(act(Kind::openWeb, std::nullopt, "find flights in the browser")));
}

TEST(RulesWeb, AnAddressOpensOnlyWhenItIsOne) {
    const auto s = screen({el(1, "button", "Settings.app")});
    EXPECT_EQ(strict("open example.org", s), one(act(Kind::openWeb, std::nullopt, "example.org")));
    EXPECT_EQ(strict("visit https://rin.dev/blog", s), one(act(Kind::openWeb, std::nullopt, "https://rin.dev/blog")));
    EXPECT_EQ(strict("go to “news.example.jp”", s), one(act(Kind::openWeb, std::nullopt, "“news.example.jp”")));
    // Not an address: the table goes on (row 24 clicks the button of that name).
    EXPECT_EQ(strict("open ...", s), std::nullopt);
    EXPECT_EQ(strict("open http://localhost.", s), std::nullopt);
}

// ---- Row 4: search ----

TEST(RulesSearch, TypesIntoTheSearchFieldAndSubmits) {
    const auto typed = screen({el(1, "input", "Name"), withType(el(2, "input", "Find"), "search")});
    EXPECT_EQ(strict("search for “red shoes”", typed), one(act(Kind::type, 2, "red shoes", true)));
    const auto named = screen({el(1, "input", "Name"), withKeys(el(2, "input", ""), {"searchField"})});
    EXPECT_EQ(strict("find shoes", named), one(act(Kind::type, 2, "shoes", true)));
    const auto japanese = screen({el(1, "input", "Name"), el(2, "input", "商品を検索")});
    EXPECT_EQ(strict("靴を検索", japanese), one(act(Kind::type, 2, "靴", true)));
    const auto only = screen({withType(el(1, "input", "Password"), "password"), el(2, "input", "Query")});
    EXPECT_EQ(strict("look up tofu", only), one(act(Kind::type, 2, "tofu", true)));
}

TEST(RulesSearch, NoSearchFieldGoesOnDownTheTable) {
    const auto two = screen({el(1, "input", "Name"), el(2, "input", "City")});
    EXPECT_EQ(strict("search shoes", two), std::nullopt);
    const auto password = screen({withType(el(1, "input", "Search"), "password")});
    EXPECT_EQ(strict("search shoes", password), std::nullopt);
}

// ---- Rows 5 to 7: switches ----

TEST(RulesSwitch, TurnOnOffInEveryWording) {
    const auto s = everything();
    for (const std::string clause : {"turn on Wi-Fi", "switch on the wifi", "toggle on Wi-Fi", "turn Wi-Fi on",
                                     "please switch the Wi-Fi on", "enable Wi-Fi", "Enable the WiFi"})
        EXPECT_EQ(strict(clause, s), one(act(Kind::click, 3))) << clause;
    for (const std::string clause : {"turn off Wi-Fi", "turn Wi-Fi off", "disable Wi-Fi"})
        EXPECT_EQ(strict(clause, s), Actions{}) << clause;
}

TEST(RulesSwitch, AlreadyOnNeedsNothing) {
    const auto s = screen({el(3, "checkbox", "Wi-Fi", "1")});
    EXPECT_EQ(strict("turn on Wi-Fi", s), Actions{});
    EXPECT_EQ(strict("disable Wi-Fi", s), one(act(Kind::click, 3)));
}

TEST(RulesSwitch, OnlyCheckboxesAndNoLaterRowWhenMissing) {
    const auto s = screen({el(2, "button", "Save"), el(3, "checkbox", "Wi-Fi")});
    EXPECT_EQ(strict("turn on Save", s), std::nullopt);
    EXPECT_EQ(strict("enable Bluetooth", s), std::nullopt);
    EXPECT_EQ(lenient("turn Bluetooth off", s), std::nullopt);
}

// ---- Rows 8, 9, 11 and 25: values ----

TEST(RulesValues, TypeIntoAField) {
    const auto s = everything();
    EXPECT_EQ(strict("type hello into Notes", s), one(act(Kind::type, 5, "hello")));
    EXPECT_EQ(strict("write “see you at 5” in the Notes box", s), one(act(Kind::type, 5, "see you at 5")));
    EXPECT_EQ(strict("enter Rin as Name", s), one(act(Kind::type, 4, "Rin")));
    EXPECT_EQ(strict("type Large in Size", s), one(act(Kind::select, 6, "Large")));
    EXPECT_EQ(strict("type hello into Comments", s), std::nullopt);  // no later row is tried
}

TEST(RulesValues, SetAFieldToAValue) {
    const auto s = everything();
    EXPECT_EQ(strict("set Size to Large", s), one(act(Kind::select, 6, "Large")));
    EXPECT_EQ(strict("fill in my Name with 'Rin'", s), one(act(Kind::type, 4, "Rin")));
    EXPECT_EQ(strict("change the Volume to 80", s), one(act(Kind::select, 7, "80")));
    EXPECT_EQ(strict("set Wi-Fi to on", s), one(act(Kind::click, 3)));
    EXPECT_EQ(strict("set Wi-Fi to off", s), Actions{});
    EXPECT_EQ(strict("set Colour to blue", s), std::nullopt);
}

TEST(RulesValues, JapaneseEntry) {
    const auto s = screen({el(4, "input", "名前"), el(5, "textarea", "メモ")});
    EXPECT_EQ(strict("名前にリンを入力", s), one(act(Kind::type, 4, "リン")));
    EXPECT_EQ(strict("メモへ「明日10時」を入れて", s), one(act(Kind::type, 5, "明日10時")));
    EXPECT_EQ(strict("住所に東京を入力", s), std::nullopt);
}

TEST(RulesValues, StatementsFillFieldsOrGoOn) {
    const auto s = everything();
    EXPECT_EQ(strict("my name is Rin", s), one(act(Kind::type, 4, "Rin")));
    EXPECT_EQ(strict("Notes: buy milk", s), one(act(Kind::type, 5, "buy milk")));
    EXPECT_EQ(strict("Size：Large", s), one(act(Kind::select, 6, "Large")));
    EXPECT_EQ(strict("the sky is blue", s), std::nullopt);
}

TEST(RulesValues, StatementWordIsMatchesInAnyLetterCase) {
    const auto s = everything();
    EXPECT_EQ(strict("MY NAME IS Rin", s), one(act(Kind::type, 4, "Rin")));
    EXPECT_EQ(strict("Name Is Rin", s), one(act(Kind::type, 4, "Rin")));
    // Ignoring case, "s" and the long s "ſ" are the same letter.
    EXPECT_EQ(strict("Name i\u017F Rin", s), one(act(Kind::type, 4, "Rin")));
    EXPECT_EQ(strict("Name I\u017F Rin", s), one(act(Kind::type, 4, "Rin")));
}

// ---- Row 10: choices ----

TEST(RulesChoices, ChooseAnOptionInASelect) {
    const auto s = everything();
    EXPECT_EQ(strict("choose Large from the Size", s), one(act(Kind::select, 6, "Large")));
    EXPECT_EQ(strict("pick “80” for Volume", s), one(act(Kind::select, 7, "80")));
    // No select named so: the click target takes the whole rest as a name.
    const auto cells = screen({el(8, "cell", "Large in Red")});
    EXPECT_EQ(strict("select Large in Red", cells), one(act(Kind::click, 8)));
}

// ---- Rows 12 to 16: copy, paste, photos, share ----

TEST(RulesClipboard, CopyFromAnElementOrTheText) {
    const auto s = everything();
    EXPECT_EQ(strict("copy the Notes", s), one(act(Kind::copy, 5)));
    EXPECT_EQ(strict("copy “tracking number”", s), one(act(Kind::copy, std::nullopt, "tracking number")));
}

TEST(RulesClipboard, PasteIntoTheFocusedOrFirstField) {
    EXPECT_EQ(strict("paste", screen({el(4, "input", "Name"), focused(el(5, "textarea", "Notes"))})),
              one(act(Kind::paste, 5)));
    EXPECT_EQ(strict("paste it", screen({el(2, "button", "Save"), el(4, "input", "Name")})), one(act(Kind::paste, 4)));
    EXPECT_EQ(strict("paste", screen({el(2, "button", "Save")})), std::nullopt);
    EXPECT_EQ(strict("paste into Notes", everything()), one(act(Kind::paste, 5)));
    EXPECT_EQ(strict("paste into Comments", everything()), std::nullopt);
}

TEST(RulesClipboard, PhotosAndSharing) {
    const auto s = screen({});
    for (const std::string clause : {"save this to photos", "save the picture to my camera roll", "写真に保存"})
        EXPECT_EQ(strict(clause, s), one(act(Kind::saveImage))) << clause;
    for (const std::string clause : {"share", "share this", "share the link", "これを共有", "シェアして"})
        EXPECT_EQ(strict(clause, s), one(act(Kind::share))) << clause;
}

// ---- Rows 17 to 19: gestures ----

TEST(RulesGestures, SwipeWithAndWithoutATarget) {
    const auto s = everything();
    EXPECT_EQ(strict("swipe left", s), one(act(Kind::swipe, std::nullopt, "left")));
    EXPECT_EQ(strict("Swipe UP", s), one(act(Kind::swipe, std::nullopt, "up")));
    EXPECT_EQ(strict("swipe right on Card", s), one(act(Kind::swipe, 8, "right")));
    EXPECT_EQ(strict("swipe up across Volume", s), one(act(Kind::swipe, 7, "up")));
    EXPECT_EQ(strict("swipe down on Photo", s), std::nullopt);
    EXPECT_EQ(strict("swipe Card left", s), one(act(Kind::swipe, 8, "left")));
    EXPECT_EQ(strict("swipe the card left", s), std::nullopt);  // "the card" is not a name on screen
    EXPECT_EQ(lenient("swipe the card left", s), one(act(Kind::swipe, 8, "left")));
}

TEST(RulesGestures, LongPress) {
    const auto s = everything();
    for (const std::string clause : {"long press Card", "long-press Card", "longpress Card", "press and hold Card", "hold Card"})
        EXPECT_EQ(strict(clause, s), one(act(Kind::longPress, 8))) << clause;
    EXPECT_EQ(strict("hold Nothing", s), std::nullopt);
}

// ---- Rows 20 to 23: scroll and back ----

TEST(RulesMoves, ScrollAndBack) {
    const auto s = screen({});
    EXPECT_EQ(strict("scroll to the bottom", s), one(act(Kind::scroll, std::nullopt, "down")));
    EXPECT_EQ(strict("scroll", s), one(act(Kind::scroll, std::nullopt, "down")));
    EXPECT_EQ(strict("Scroll UP a bit", s), one(act(Kind::scroll, std::nullopt, "up")));
    EXPECT_EQ(strict("上にスクロール", s), one(act(Kind::scroll, std::nullopt, "up")));
    EXPECT_EQ(strict("下にスクロールして", s), one(act(Kind::scroll, std::nullopt, "down")));
    for (const std::string clause : {"back", "go back", "Go Back", "close", "close this", "close this sheet", "close screen", "戻る"})
        EXPECT_EQ(strict(clause, s), one(act(Kind::back))) << clause;
    EXPECT_EQ(strict("戻るボタン", s), std::nullopt);
}

// ---- Row 24: the click target ----

TEST(RulesClick, ButtonsTabsAndCheckboxesBeforeCellsAndLinks) {
    const auto s = screen({el(1, "cell", "Save"), el(2, "button", "Save"), el(3, "link", "Help"), el(4, "checkbox", "Remember me", "1")});
    EXPECT_EQ(strict("tap Save", s), one(act(Kind::click, 2)));
    EXPECT_EQ(strict("please click on the Help link", s), one(act(Kind::click, 3)));
    EXPECT_EQ(strict("press “Save” button", s), one(act(Kind::click, 2)));
    // check and uncheck click whatever the box's state.
    EXPECT_EQ(strict("uncheck Remember me", s), one(act(Kind::click, 4)));
    EXPECT_EQ(strict("check Remember me", s), one(act(Kind::click, 4)));
}

TEST(RulesClick, AnOptionOfASelectIsSelected) {
    const auto s = screen({withOptions(el(6, "select", "Size"), {"Small", "Extra Large"}), el(2, "button", "Large")});
    EXPECT_EQ(strict("choose extra-large", s), one(act(Kind::select, 6, "extra-large")));
    EXPECT_EQ(strict("pick Small option", s), one(act(Kind::select, 6, "Small")));
    EXPECT_EQ(strict("tap Large", s), one(act(Kind::click, 2)));
}

TEST(RulesClick, ANameThatNormalisesToNothingSelectsNoBlankOption) {
    const auto s = screen({withOptions(el(6, "select", "Size"), {"—", "Small"})});
    EXPECT_EQ(strict("tap “…”", s), std::nullopt);
}

TEST(RulesClick, LooseNamesOnlyInLenientMode) {
    const auto s = screen({el(2, "button", "Settings")});
    EXPECT_EQ(strict("tap Setings", s), std::nullopt);
    EXPECT_EQ(lenient("tap Setings", s), one(act(Kind::click, 2)));
}

TEST(RulesClick, FallsBackToARouteThenToNothing) {
    const auto s = screen({el(2, "button", "Save")});
    EXPECT_EQ(strict("tap Profile", s, {"Profile"}), one(act(Kind::navigate, std::nullopt, "Profile")));
    EXPECT_EQ(strict("tap Profile", s), std::nullopt);
}

TEST(RulesClick, JapaneseTaps) {
    const auto s = screen({el(1, "tab", "設定"), el(2, "button", "保存"), el(3, "cell", "トゥリ")});
    EXPECT_EQ(strict("保存をタップ", s), one(act(Kind::click, 2)));
    EXPECT_EQ(strict("設定を開いて", s), one(act(Kind::click, 1)));
    EXPECT_EQ(strict("トゥリを選んで", s), one(act(Kind::click, 3)));
    EXPECT_EQ(strict("削除を押して", s), std::nullopt);
    EXPECT_EQ(strict("保存をタップしてください", s), one(act(Kind::click, 2)));
    // Words after the verb are never dropped: only a polite ending may follow it.
    EXPECT_EQ(strict("設定を開くアカウントを削除", s), std::nullopt);
    EXPECT_EQ(lenient("設定を開くアカウントを削除", s), std::nullopt);
    EXPECT_EQ(strict("名前にリンを入力保存", screen({el(4, "input", "名前")})), std::nullopt);
    EXPECT_EQ(strict("靴を検索カート", screen({withType(el(4, "input", "Search"), "search")})), std::nullopt);
}

// ---- Row 26: a bare name ----

TEST(RulesBareName, StrictNeedsTheExactNameOfATappableElement) {
    const auto s = screen({el(1, "cell", "Tuli"), el(2, "button", "Save draft"), el(3, "checkbox", "Wi-Fi")});
    EXPECT_EQ(strict("Tuli", s), one(act(Kind::click, 1)));
    EXPECT_EQ(strict("save-draft", s), one(act(Kind::click, 2)));
    EXPECT_EQ(strict("Save", s), std::nullopt);   // a prefix is not enough
    EXPECT_EQ(strict("Wi-Fi", s), std::nullopt);  // checkboxes are not bare-name targets
}

TEST(RulesBareName, LenientTriesExactThenLooseNames) {
    const auto s = screen({el(1, "cell", "Tuli"), el(2, "button", "Save draft")});
    EXPECT_EQ(lenient("Save", s), one(act(Kind::click, 2)));
    EXPECT_EQ(lenient("Tulli", s), one(act(Kind::click, 1)));
    EXPECT_EQ(lenient("Nobody", s), std::nullopt);
}

TEST(RulesBareName, LooseNamesNeverStandInForAnotherElementOrAction) {
    const auto shop = screen({withKeys(el(1, "button", "Buy Coffee Beans"), {"shop.buy.coffee", "Buy"}),
                              withKeys(el(2, "button", "Buy Mug"), {"shop.buy.mug", "Buy"}), el(3, "tab", "Shop")});
    EXPECT_EQ(lenient("tap Buy Laptop", shop), std::nullopt);
    EXPECT_EQ(lenient("buy a laptop", shop), std::nullopt);
    EXPECT_EQ(lenient("tap Buy Mug", shop), one(act(Kind::click, 2)));

    const auto chats = screen({el(1, "cell", "Tuli"), el(2, "cell", "Family"), el(5, "tab", "Chats")});
    EXPECT_EQ(lenient("delete Family", chats), std::nullopt);
    EXPECT_EQ(lenient("Familyを削除", chats), std::nullopt);
    EXPECT_EQ(lenient("tap Tuli Smith", chats), std::nullopt);
    EXPECT_EQ(lenient("open the chat with Tuli", chats), one(act(Kind::click, 1)));

    const auto settings = screen({el(1, "checkbox", "Dark Mode", "0"), el(2, "cell", "Display"), el(8, "tab", "Settings")});
    EXPECT_EQ(lenient("tap Display Settings", settings), one(act(Kind::click, 2)));
    EXPECT_EQ(lenient("turn dark mode on", settings), one(act(Kind::click, 1)));
    EXPECT_EQ(lenient("Sttings", settings), one(act(Kind::click, 8)));
}

// ---- Key=value details ----

TEST(RulesDetails, PairsFillFieldsAndATrailingWordPressesAButton) {
    const auto s = screen({el(1, "input", "Name"), el(2, "input", "City"), el(3, "input", "Email"),
                           withType(el(4, "input", "Password"), "password"), el(5, "button", "Sign in"),
                           el(6, "button", "Save"), el(7, "checkbox", "Newsletter", "0")});
    EXPECT_EQ(strict("name=Rin, city=Osaka", s), (Actions{act(Kind::type, 1, "Rin,"), act(Kind::type, 2, "Osaka")}));
    EXPECT_EQ(strict("name=Rin Tanaka", s), one(act(Kind::type, 1, "Rin Tanaka")));
    EXPECT_EQ(strict("email=x save", s), (Actions{act(Kind::type, 3, "x"), act(Kind::click, 6)}));
    EXPECT_EQ(strict("email=x password=y Sign in", s),
              (Actions{act(Kind::type, 3, "x"), act(Kind::type, 4, "y Sign"), act(Kind::click, 5)}));
    EXPECT_EQ(strict(R"(name = "Rin Tanaka" city=Osaka)", s),
              (Actions{act(Kind::type, 1, "Rin Tanaka"), act(Kind::type, 2, "Osaka")}));
    EXPECT_EQ(strict("newsletter=on", s), one(act(Kind::click, 7)));
}

TEST(RulesDetails, AnyUnknownKeyOrNothingToDoGivesNothing) {
    const auto s = screen({el(1, "input", "Name"), el(7, "checkbox", "Newsletter", "1")});
    EXPECT_EQ(strict("name=Rin phone=123", s), std::nullopt);
    EXPECT_EQ(strict("newsletter=on", s), std::nullopt);  // no actions at all reads as nothing
    EXPECT_EQ(strict("a=b", screen({})), std::nullopt);
}

TEST(RulesDetails, DetailsWinOverEveryRow) {
    const auto s = screen({el(1, "input", "Query"), el(2, "button", "Go")});
    EXPECT_EQ(strict("search query=shoes", s), std::nullopt);  // key "search query" is no field
    EXPECT_EQ(strict("query=shoes Go", s), (Actions{act(Kind::type, 1, "shoes"), act(Kind::click, 2)}));
}

// ---- Preparation: pack verbs and lenient verb correction ----

class RulesPack : public ::testing::Test {
protected:
    void TearDown() override { TavroPacks::reset(); }
};

TEST_F(RulesPack, ThePacksVerbsRewriteTheFirstWord) {
    const auto s = screen({el(2, "button", "Save")});
    EXPECT_EQ(strict("smash Save", s), std::nullopt);
    TavroPack pack;
    pack.verbs = {{"smash", "tap"}, {"押下", "tap"}};
    TavroPacks::setCurrent(pack);
    EXPECT_EQ(strict("Smash Save", s), one(act(Kind::click, 2)));
    EXPECT_EQ(strict("押下 Save", s), one(act(Kind::click, 2)));
}

TEST(RulesPrepare, LenientModeCorrectsTheVerbFirst) {
    const auto s = everything();
    EXPECT_EQ(lenient("swich on Wi-Fi", s), one(act(Kind::click, 3)));
    EXPECT_EQ(strict("swich on Wi-Fi", s), std::nullopt);
    EXPECT_EQ(lenient("serch the web for tofu", s), one(act(Kind::openWeb, std::nullopt, "tofu")));
}
