#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavro/agent/TavroPrompt.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;

namespace {

TavroElement el(std::int64_t id, std::string kind, std::string label, bool inView = true) {
    return TavroElement{.id = id, .kind = std::move(kind), .label = std::move(label), .inView = inView};
}

std::vector<std::int64_t> ids(const std::vector<TavroElement>& elements) {
    std::vector<std::int64_t> out;
    for (const auto& e : elements) out.push_back(e.id);
    return out;
}

std::string repeat(std::string_view piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}

}  // namespace

TEST(TavroPromptSystem, FullTextWithRoutesAndJSON) {
    const std::string expected =
        R"~(You operate a native iOS app (Demo) for the user to complete their GOAL. Each turn you see the current screen and choose ONE next action.)~""\n"
        R"~(Actions:)~""\n"
        R"~(- click: tap element id (buttons, links, rows, tabs, switches).)~""\n"
        R"~(- type: put text into input element id. Set submit=true to press Return (search fields, last field of a form).)~""\n"
        R"~(- select: set dropdown, segmented control, picker or slider element id to the value in text.)~""\n"
        R"~(- scroll: text "down" or "up" to reveal more.)~""\n"
        R"~(- swipe: text "left", "right", "up" or "down", on element id (a row, card or photo) or the whole screen when id is -1. Use it for carousels, pages and photo viewers. A row's swipe actions (Delete, Pin…) are listed as their own buttons: tap those.)~""\n"
        R"~(- longPress: press and hold element id (opens its menu).)~""\n"
        R"~(- back: hide the keyboard if it is up, otherwise go back to the previous screen or close the current sheet or alert.)~""\n"
        R"~(- navigate: jump straight to one of ROUTES (route name in text).)~""\n"
        R"~(- copy: put text (or the text of element id) on the clipboard. paste: paste the clipboard into field id.)~""\n"
        R"~(- saveImage: save the current image to the user's Photos. share: open the iOS share sheet for text or element id.)~""\n"
        R"~(- openWeb: when the task CANNOT be done in this app, open a browser inside the app at the web address or search in text, then keep working there.)~""\n"
        R"~(- ask: ONLY when a personal detail the form requires (email, phone, address, password) is in neither GOAL nor KNOWN DETAILS. Put the question in text.)~""\n"
        R"~(- done: the goal is complete. Put the answer or a one-line summary in text.)~""\n"
        R"~(- fail: the goal is impossible here. Put the reason in text.)~""\n"
        R"~(Rules:)~""\n"
        R"~(- Use only ids listed in ELEMENTS.)~""\n"
        R"~(- Act on your own. When something is unclear, make the most sensible assumption and keep going (first relevant item, default options, quantity 1, soonest date). Mention the assumption in thought.)~""\n"
        R"~(- Look at DONE SO FAR; never repeat a step that worked. If a step failed, try a different element.)~""\n"
        R"~(- Use personal details only from GOAL or KNOWN DETAILS; never make up passwords or card numbers.)~""\n"
        R"~(- If the GOAL asks a question, find the answer in SCREEN TEXT and reply with done.)~""\n"
        R"~(Reply with one JSON object and nothing else:)~""\n"
        R"~({"thought":"short reason","action":"click","id":12,"text":"","submit":false})~";
    EXPECT_EQ(TavroPrompt::system("a native iOS app (Demo)", true, {"Settings"}), expected);
}

TEST(TavroPromptSystem, OptionalLinesLeftOut) {
    const std::string full = TavroPrompt::system("x", true, {"Settings"});
    const std::string bare = TavroPrompt::system("x", false, {});
    const std::string navigateLine = "\n- navigate: jump straight to one of ROUTES (route name in text).";
    const std::string jsonLines =
        "\nReply with one JSON object and nothing else:\n"
        R"({"thought":"short reason","action":"click","id":12,"text":"","submit":false})";
    ASSERT_NE(full.find(navigateLine), std::string::npos);
    ASSERT_TRUE(full.ends_with(jsonLines));
    std::string expected = full;
    expected.erase(expected.find(navigateLine), navigateLine.size());
    expected.erase(expected.size() - jsonLines.size());
    EXPECT_EQ(bare, expected);
    EXPECT_TRUE(bare.ends_with("reply with done."));
    EXPECT_EQ(bare.find("App notes:"), std::string::npos);
}

TEST(TavroPromptLine, Pieces) {
    const std::vector<std::pair<TavroElement, std::string>> cases = {
        {TavroElement{.id = 3, .kind = "input", .type = "UITextField", .label = "Email", .value = "hi", .inView = true,
                      .focused = true},
         R"([3] input(UITextField) "Email" value="hi" (keyboard is here))"},
        {TavroElement{.id = 1, .kind = "button", .label = "Save", .value = "ignored", .inView = true},
         R"([1] button "Save")"},
        {TavroElement{.id = 2, .kind = "checkbox", .label = "Agree", .inView = true}, R"([2] checkbox "Agree" value="")"},
        {TavroElement{.id = 4, .kind = "tab", .label = "Home", .inView = false}, R"([4] tab "Home" value="" (off screen))"},
        {TavroElement{.id = -1, .kind = "", .label = ""}, R"([-1]  "" (off screen))"},
        {TavroElement{.id = 5, .kind = "select", .label = "Size", .value = "M", .options = {"S", "M"}, .inView = true},
         R"([5] select "Size" value="M" options: S | M)"},
        {TavroElement{.id = 6, .kind = "link", .label = "Buy", .options = {"a"}, .inView = false, .focused = true},
         R"([6] link "Buy" options: a (keyboard is here) (off screen))"},
    };
    for (const auto& [element, expected] : cases) EXPECT_EQ(TavroPrompt::line(element), expected);
}

TEST(TavroPromptLine, CutsLabelsValuesAndOptionsByCharacter) {
    TavroElement e{.id = 9, .kind = "textarea", .label = repeat("👨‍👩‍👧", 70), .value = repeat("設", 50), .inView = true};
    for (int i = 1; i <= 12; ++i) e.options.push_back("o" + std::to_string(i));
    EXPECT_EQ(TavroPrompt::line(e), "[9] textarea \"" + repeat("👨‍👩‍👧", 60) + "\" value=\"" + repeat("設", 40) +
                                        "\" options: o1 | o2 | o3 | o4 | o5 | o6 | o7 | o8 | o9 | o10");
}

TEST(TavroPromptPick, WithinBudgetUnchanged) {
    const std::vector<TavroElement> elements = {el(1, "link", "a", false), el(2, "input", "b")};
    EXPECT_EQ(TavroPrompt::pick(elements, 2), elements);
    EXPECT_EQ(TavroPrompt::pick(elements, 5), elements);
    EXPECT_TRUE(TavroPrompt::pick(elements, 0).empty());
    EXPECT_TRUE(TavroPrompt::pick(elements, -4).empty());
    EXPECT_TRUE(TavroPrompt::pick({}, 3).empty());
}

TEST(TavroPromptPick, RanksFieldsControlsLinksThenOffScreenKeepingScreenOrder) {
    // 100 elements cycling through the six ranks; rank counts decide what a budget of 40 keeps.
    const char* kinds[] = {"link", "button", "input", "cell", "tab", "slider", "checkbox", "text", "textarea", "select"};
    std::vector<TavroElement> elements;
    for (int i = 0; i < 100; ++i) elements.push_back(el(i, kinds[i % 10], "e", i % 4 != 3));
    auto rankOf = [](const TavroElement& e) {
        const bool field = TavroElement::fieldKinds().count(e.kind) > 0;
        const int base = field ? 0 : (e.kind == "link" || e.kind == "cell") ? 2 : 1;
        return e.inView ? base : base + 3;
    };
    // Expected by a plain stable sort on rank.
    std::vector<TavroElement> sorted = elements;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) { return rankOf(a) < rankOf(b); });
    sorted.resize(40);
    std::vector<std::int64_t> expected = ids(sorted);
    std::sort(expected.begin(), expected.end());

    const auto picked = TavroPrompt::pick(elements, 40);
    EXPECT_EQ(ids(picked), expected);
    // In view: 30 fields, 30 other controls; the budget takes every field in view and the first
    // ten other controls in view.
    int fields = 0;
    for (const auto& e : picked) fields += (TavroElement::fieldKinds().count(e.kind) && e.inView) ? 1 : 0;
    EXPECT_EQ(fields, 30);
    for (const auto& e : picked) {
        EXPECT_TRUE(e.inView);
        EXPECT_NE(e.kind, "link");
        EXPECT_NE(e.kind, "cell");
    }
}

TEST(TavroPromptPick, OffScreenComeAfterEverythingInView) {
    const std::vector<TavroElement> elements = {el(1, "input", "off", false), el(2, "link", "a"), el(3, "button", "b"),
                                                el(4, "cell", "c"), el(5, "button", "off", false)};
    EXPECT_EQ(ids(TavroPrompt::pick(elements, 2)), (std::vector<std::int64_t>{2, 3}));
    EXPECT_EQ(ids(TavroPrompt::pick(elements, 3)), (std::vector<std::int64_t>{2, 3, 4}));
    EXPECT_EQ(ids(TavroPrompt::pick(elements, 4)), (std::vector<std::int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(ids(TavroPrompt::pick(elements, 1)), (std::vector<std::int64_t>{3}));
}

TEST(TavroPromptUser, FullTextOfABareScreen) {
    TavroScreen screen{.location = "Login", .title = "", .text = "Welcome"};
    EXPECT_EQ(TavroPrompt::user("sign in", screen, {}, TavroContextBudget::large, {}, {}),
              "GOAL: sign in\n"
              "\nSCREEN: Login"
              "\nTITLE: "
              "\nSCREEN TEXT: Welcome"
              "\n\nELEMENTS:\n(none)\n"
              "\nDONE SO FAR:\n(nothing yet)"
              "\n\nWhat is the next action?");
}

TEST(TavroPromptUser, FullTextWithEverySection) {
    TavroScreen screen{.location = "Profile", .title = "Edit profile", .text = "Your details here",
                       .keyboardVisible = true};
    screen.elements = {
        TavroElement{.id = 1, .kind = "input", .type = "UITextField", .label = "Email", .value = "a@b", .inView = true,
                     .focused = true},
        TavroElement{.id = 2, .kind = "button", .label = "Save", .inView = true},
        TavroElement{.id = 3, .kind = "link", .label = "Help", .inView = false},
    };
    std::vector<std::string> history;
    for (int i = 1; i <= 11; ++i) history.push_back("step " + std::to_string(i));
    const TavroContextBudget budget{.elements = 2, .textChars = 4};
    EXPECT_EQ(TavroPrompt::user("save my email", screen, history, budget, {"name: Ann", "city: Oslo"},
                                {"Home", "Settings"}),
              "GOAL: save my email\n"
              "KNOWN DETAILS: name: Ann; city: Oslo\n"
              "\nSCREEN: Profile (keyboard up)"
              "\nTITLE: Edit profile"
              "\nSCREEN TEXT: Your"
              "\n\nELEMENTS:\n"
              "[1] input(UITextField) \"Email\" value=\"a@b\" (keyboard is here)\n"
              "[2] button \"Save\"\n"
              "\nROUTES: Home, Settings\n"
              "\nDONE SO FAR:\n"
              "1. step 4\n2. step 5\n3. step 6\n4. step 7\n5. step 8\n6. step 9\n7. step 10\n8. step 11"
              "\n\nWhat is the next action?");
}

TEST(TavroPromptUser, BudgetsCutScreenTextAndElementsOnly) {
    TavroScreen screen{.location = "L", .text = repeat("日本", 10)};
    screen.elements = {el(1, "button", "A")};
    const std::string zero = TavroPrompt::user("g", screen, {"one"}, TavroContextBudget{0, 0}, {}, {});
    EXPECT_NE(zero.find("\nSCREEN TEXT: \n\nELEMENTS:\n(none)\n"), std::string::npos);
    EXPECT_NE(zero.find("DONE SO FAR:\n1. one\n"), std::string::npos);
    const std::string three = TavroPrompt::user("g", screen, {}, TavroContextBudget{1, 3}, {}, {});
    EXPECT_NE(three.find("\nSCREEN TEXT: 日本日\n"), std::string::npos);
    const std::string negative = TavroPrompt::user("g", screen, {}, TavroContextBudget{-1, -1}, {}, {});
    EXPECT_NE(negative.find("\nSCREEN TEXT: \n\nELEMENTS:\n(none)\n"), std::string::npos);
}

TEST(TavroPromptPlanUser, FullText) {
    // Off-screen inputs 0..14 come first on the screen, in-view buttons 15..39 after; the budget of
    // 30 keeps all buttons and the first five inputs, shown in screen order, empty labels skipped,
    // at most 20 labels.
    TavroScreen screen{.location = "Home"};
    for (int i = 0; i < 40; ++i) {
        const bool inView = i >= 15;
        const std::string label = i % 5 == 0 ? "" : (inView ? "B" : "I") + std::to_string(i);
        screen.elements.push_back(el(i, inView ? "button" : "input", label, inView));
    }
    EXPECT_EQ(TavroPrompt::planUser("order pizza", screen, {"address: Main St 1", "floor: 2"}, {"Cart", "Menu"}),
              "GOAL: order pizza\n"
              "KNOWN DETAILS: address: Main St 1; floor: 2\n"
              "SCREEN: Home\n"
              "VISIBLE: I1, I2, I3, I4, B16, B17, B18, B19, B21, B22, B23, B24, B26, B27, B28, B29, B31, B32, B33, B34\n"
              "ROUTES: Cart, Menu\n"
              "\n"
              "List the steps.");
    EXPECT_EQ(TavroPrompt::planUser("g", TavroScreen{.location = "X"}, {}, {}),
              "GOAL: g\nSCREEN: X\nVISIBLE: \n\nList the steps.");
}

class TavroPromptStores : public ::testing::Test {
protected:
    void SetUp() override {
        TavroPacks::reset();
        TavroMaps::reset();
    }
    void TearDown() override {
        TavroPacks::reset();
        TavroMaps::reset();
    }

    static TavroAppMap settingsMap() {
        TavroAppMap map;
        map.app = "demo";
        map.start = "Home";
        map.screens["Home"] = {.location = "Home", .title = "Home",
                               .controls = {{.label = "Settings", .kind = "button", .to = "Settings"}}};
        map.screens["Settings"] = {.location = "Settings", .title = "Settings",
                                   .controls = {{.label = "Dark mode", .kind = "checkbox"}}};
        return map;
    }
};

TEST_F(TavroPromptStores, SystemPromptEndsWithThePacksNotes) {
    TavroPack pack;
    pack.version = 2;
    pack.notes = {"The cart is under Account.", "Prices include tax."};
    TavroPacks::setCurrent(pack);
    const std::string withNotes = TavroPrompt::system("x", true, {});
    pack.notes.clear();
    TavroPacks::setCurrent(pack);
    const std::string withoutNotes = TavroPrompt::system("x", true, {});
    EXPECT_EQ(withNotes, withoutNotes + "\nApp notes:\n- The cart is under Account.\n- Prices include tax.");
    EXPECT_EQ(withoutNotes.find("App notes:"), std::string::npos);
    TavroPacks::reset();
    EXPECT_EQ(TavroPrompt::system("x", true, {}), withoutNotes);
}

TEST_F(TavroPromptStores, UserPromptShowsAppMapHints) {
    TavroMaps::setLearned(settingsMap());
    const TavroScreen home{.location = "Home", .title = "Home", .text = ""};
    ASSERT_EQ(TavroMaps::current()->hints("turn on dark mode", home, 3), (std::vector<std::string>{"Settings: Settings"}));
    EXPECT_EQ(TavroPrompt::user("turn on dark mode", home, {}, TavroContextBudget::small, {"name: Ann"}, {}),
              "GOAL: turn on dark mode\n"
              "KNOWN DETAILS: name: Ann\n"
              "APP MAP: Settings: Settings\n"
              "\nSCREEN: Home"
              "\nTITLE: Home"
              "\nSCREEN TEXT: "
              "\n\nELEMENTS:\n(none)\n"
              "\nDONE SO FAR:\n(nothing yet)"
              "\n\nWhat is the next action?");
    // A goal that no screen scores leaves the line out; the planning prompt never shows it.
    EXPECT_EQ(TavroPrompt::user("xy", home, {}, TavroContextBudget::small, {}, {}).find("APP MAP"), std::string::npos);
    EXPECT_EQ(TavroPrompt::planUser("turn on dark mode", home, {}, {}).find("APP MAP"), std::string::npos);
}

TEST_F(TavroPromptStores, PacksMapIsUsedWithoutALearnedOne) {
    TavroPack pack;
    pack.version = 1;
    pack.map = settingsMap();
    TavroPacks::setCurrent(pack);
    const TavroScreen home{.location = "Home"};
    EXPECT_NE(TavroPrompt::user("dark mode", home, {}, TavroContextBudget::large, {}, {}).find("APP MAP: Settings: Settings\n"),
              std::string::npos);
}
