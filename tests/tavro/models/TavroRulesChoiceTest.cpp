#include <gtest/gtest.h>

#include "TavroRulesTestFixtures.h"
#include "tavro/models/TavroRules.h"

using namespace tavro;
using namespace rulesfixtures;

namespace {

const std::set<std::string> kButtons{"button"};
const std::set<std::string> kTaps{"button", "link", "checkbox", "tab", "cell"};

std::optional<std::int64_t> pick(std::string_view name, const std::vector<TavroElement>& elements, bool loose,
                                 const std::set<std::string>& kinds = kTaps) {
    const auto* e = TavroRules::best(name, elements, kinds, loose);
    if (!e) return std::nullopt;
    return e->id;
}

}  // namespace

// ---- Labels before keys ----

TEST(RulesChoice, AVisibleLabelBeatsAHiddenName) {
    // <button name=save>Unsubscribe from all</button><button>Save</button>
    const std::vector<TavroElement> page = {withKeys(el(1, "button", "Unsubscribe from all"), {"save"}),
                                            el(2, "button", "Save")};
    const std::vector<TavroElement> draft = {withKeys(el(1, "button", "Unsubscribe from all"), {"save"}),
                                             el(2, "button", "Save draft")};
    for (const bool loose : {false, true}) {
        EXPECT_EQ(pick("Save", page, loose), 2);
        EXPECT_EQ(pick("Save", draft, loose), 1) << "a key's equal beats a label's prefix";
        // Keys decide when no label does.
        EXPECT_EQ(pick("save", {withKeys(el(1, "button", "Unsubscribe from all"), {"save"}), el(2, "button", "Cancel")},
                       loose),
                  1);
    }
}

// ---- Before any pass ----

TEST(RulesChoice, NameWithNothingLeftAfterNormalisingFindsNothing) {
    const std::vector<TavroElement> elements = {el(1, "button", "…"), el(2, "button", "Save")};
    for (const bool loose : {false, true}) {
        EXPECT_EQ(pick("…", elements, loose), std::nullopt);
        EXPECT_EQ(pick("  ?! ", elements, loose), std::nullopt);
        EXPECT_EQ(pick("", elements, loose), std::nullopt);
    }
}

TEST(RulesChoice, KindsOutsideTheSetAreNeverReturnedEvenOnAnExactMatch) {
    const std::vector<TavroElement> elements = {el(1, "input", "Save"), el(2, "label", "Save")};
    EXPECT_EQ(pick("Save", elements, true, kButtons), std::nullopt);
    EXPECT_EQ(pick("Save", elements, false, {"input"}), 1);
}

TEST(RulesChoice, ReturnsAPointerIntoTheGivenElements) {
    const std::vector<TavroElement> elements = {el(1, "button", "Cancel"), el(2, "button", "Save")};
    EXPECT_EQ(TavroRules::best("save", elements, kButtons, false), &elements[1]);
}

// ---- Passes 1 to 3 and visibility ----

TEST(RulesChoice, ExactBeatsPrefixEvenOffScreen) {
    const std::vector<TavroElement> elements = {el(1, "button", "Save draft"), offScreen(el(2, "button", "Save"))};
    EXPECT_EQ(pick("Save", elements, false), 2);
}

TEST(RulesChoice, SameStrengthPrefersTheVisibleElement) {
    const std::vector<TavroElement> elements = {offScreen(el(1, "button", "Save all")), el(2, "button", "Save draft")};
    EXPECT_EQ(pick("Save", elements, false), 2);
    // Among visible ones screen order decides.
    const std::vector<TavroElement> both = {el(3, "button", "Save all"), el(4, "button", "Save draft")};
    EXPECT_EQ(pick("Save", both, false), 3);
}

TEST(RulesChoice, PrefixBeatsContains) {
    const std::vector<TavroElement> elements = {el(1, "button", "Autosave"), el(2, "button", "Save now")};
    EXPECT_EQ(pick("save", elements, false), 2);
    EXPECT_EQ(pick("save", {el(1, "button", "Auto-save")}, false), 1);
    EXPECT_EQ(pick("save", {el(1, "button", "Autosave")}, false), std::nullopt) << "not a word of the label";
}

TEST(RulesChoice, KeysAreNamesToo) {
    const std::vector<TavroElement> elements = {withKeys(el(1, "button", ""), {"settings.saveButton"}),
                                                el(2, "button", "Save")};
    EXPECT_EQ(pick("settings.saveButton", elements, false), 1);
    EXPECT_EQ(pick("Save", elements, false), 2);
}

TEST(RulesChoice, MatchingIgnoresCasePunctuationAndBlanks) {
    const std::vector<TavroElement> elements = {el(1, "checkbox", "Wi-Fi"), el(2, "tab", "設定 (2)")};
    EXPECT_EQ(pick("wifi", elements, false), 1);
    EXPECT_EQ(pick("WI FI", elements, false), 1);
    EXPECT_EQ(pick("設定2", elements, false), 2);
}

// ---- Passes 4 and 5, loose only ----

TEST(RulesChoice, LongerNameFindsTheLabelOnlyWhenLoose) {
    const std::vector<TavroElement> elements = {el(1, "checkbox", "Dark Mode")};
    EXPECT_EQ(pick("turn dark mode on", elements, false), std::nullopt);
    EXPECT_EQ(pick("turn dark mode on", elements, true), 1);
    // Labels shorter than 3 characters are never found inside a longer name.
    EXPECT_EQ(pick("gook", {el(1, "button", "OK")}, true), std::nullopt);
}

TEST(RulesChoice, SmallMisspellingsOnlyWhenLoose) {
    const std::vector<TavroElement> elements = {el(1, "button", "Settings"), el(2, "button", "Save")};
    EXPECT_EQ(pick("Sttings", elements, false), std::nullopt);
    EXPECT_EQ(pick("Sttings", elements, true), 1);  // distance 1, shorter length 7 allows 2
    EXPECT_EQ(pick("Settigns", elements, true), 1);  // distance 2
    EXPECT_EQ(pick("Sve", elements, true), 2);      // distance 1, shorter length 3 allows 1
    EXPECT_EQ(pick("Sv", elements, true), std::nullopt);
    EXPECT_EQ(pick("Svae", elements, true), std::nullopt);  // distance 2, shorter length 4 allows 1
}

TEST(RulesChoice, ShortNamesAreFoundOnlyByTheFirstThreePasses) {
    const std::vector<TavroElement> elements = {el(1, "button", "OK")};
    EXPECT_EQ(pick("ok", elements, false), 1);
    EXPECT_EQ(pick("ko", elements, true), std::nullopt);
    EXPECT_EQ(pick("oj", elements, true), std::nullopt);
}

TEST(RulesChoice, EachPassWalksEveryCandidateBeforeTheNext) {
    const std::vector<TavroElement> elements = {offScreen(el(1, "button", "Profile")), el(2, "button", "Prolife")};
    EXPECT_EQ(pick("profile", elements, true), 1);  // exact off screen beats fuzzy in view
    const std::vector<TavroElement> fuzzyAndContained = {el(1, "button", "Sav"), el(2, "button", "Savings")};
    EXPECT_EQ(pick("savx", fuzzyAndContained, true), 1);  // "sav" is contained in "savx"
}

TEST(RulesChoice, LongWantedNamesStayFast) {
    std::vector<TavroElement> elements;
    for (int i = 0; i < 1000; ++i) elements.push_back(el(i, "button", "Button number " + std::to_string(i)));
    const std::string huge(200000, 'x');
    EXPECT_EQ(pick(huge, elements, true), std::nullopt);
    std::string framing;
    while (framing.size() < 200000) framing += "the ";
    EXPECT_EQ(pick(framing + "button number 7", elements, true), 7);
}

// ---- Loose passes take only the element the person named ----

namespace {

// Five buy buttons as a shop shows them: each labelled with what it buys, each also keyed "Buy".
std::vector<TavroElement> buyButtons() {
    std::vector<TavroElement> out;
    std::int64_t id = 1;
    for (const auto* item : {"Coffee Beans", "Tea Sampler", "Mug", "Grinder", "Kettle"}) {
        out.push_back(withKeys(el(id++, "button", std::string("Buy ") + item), {"shop.buy." + std::to_string(id), "Buy"}));
    }
    return out;
}

}  // namespace

TEST(RulesChoice, ANameSeveralCandidatesShareNamesNoneOfThemLoosely) {
    const auto shop = buyButtons();
    EXPECT_EQ(pick("Buy Laptop", shop, true), std::nullopt);
    EXPECT_EQ(pick("buy a laptop", shop, true), std::nullopt);
    EXPECT_EQ(pick("Buyy", shop, true), std::nullopt);  // fuzzy to the shared key
    // The exact passes are unchanged: a shared name still finds the first holder.
    EXPECT_EQ(pick("Buy", shop, true), 1);
    EXPECT_EQ(pick("Buy Mug", shop, true), 3);
    // A key only one candidate holds is still found fuzzily.
    EXPECT_EQ(pick("Buyy", {withKeys(el(9, "button", "Checkout"), {"Buy"})}, true), 9);
}

TEST(RulesChoice, OnlyTheLabelIsFoundInsideALongerName) {
    const std::vector<TavroElement> elements = {withKeys(el(1, "button", "Coffee Beans"), {"buy"})};
    EXPECT_EQ(pick("buy a laptop", elements, true), std::nullopt);
    EXPECT_EQ(pick("tap the coffee beans button", elements, true), 1);
}

TEST(RulesChoice, TypedWordsAskingForAnotherActionLeaveTheNameUnmatched) {
    const std::vector<TavroElement> chats = {el(1, "cell", "Tuli"), el(2, "cell", "Family"), el(3, "cell", "Kenji"),
                                             el(4, "button", "Delete Account")};
    for (const auto* name : {"delete Family", "remove family", "Familyを削除", "call Kenji", "block Kenji",
                             "share Tuli", "send Tuli"}) {
        EXPECT_EQ(pick(name, chats, true), std::nullopt) << name;
    }
    // The action belongs to the element named: its label carries the word.
    EXPECT_EQ(pick("delete my account", chats, true), 4);
}

TEST(RulesChoice, ALabelInsideALongerNameMustBeAllThatWasNamed) {
    const std::vector<TavroElement> chats = {el(1, "cell", "Tuli"), el(2, "cell", "Mika")};
    EXPECT_EQ(pick("Tuli Smith", chats, true), std::nullopt);
    EXPECT_EQ(pick("chat with Tuli", chats, true), 1);
    EXPECT_EQ(pick("open the chat with Tuli", chats, true), 1);
    EXPECT_EQ(pick("Tuliさんとのチャット", chats, true), 1);

    // "Display Settings" is the Display row, not the Settings tab.
    const std::vector<TavroElement> settings = {el(1, "tab", "Settings"), el(2, "cell", "Display")};
    EXPECT_EQ(pick("Display Settings", settings, true, {"button", "tab"}), std::nullopt);
    EXPECT_EQ(pick("Display Settings", settings, true, {"cell", "link"}), 2);
}

// ---- The element named, not its opposite ----

TEST(RulesChoice, APartialMatchBeginsAtAWordAndIsNotNegated) {
    struct Row {
        std::string name;
        std::vector<TavroElement> elements;
        std::optional<std::int64_t> expected;
    };
    const auto icon = [](std::int64_t id, std::string key) { return withKeys(el(id, "button", ""), {std::move(key)}); };
    const std::vector<Row> rows = {
        // A name inside a word, or turned into its opposite, does not mean it.
        {"Follow", {el(1, "button", "Unfollow")}, std::nullopt},
        {"Save", {el(1, "button", "Unsave")}, std::nullopt},
        {"Save", {el(1, "button", "Don't Save")}, std::nullopt},
        {"Save", {el(1, "button", "Don’t save")}, std::nullopt},
        {"Save", {el(1, "button", "Do not save")}, std::nullopt},
        {"Save", {el(1, "button", "Never save drafts")}, std::nullopt},
        {"Subscribe", {el(1, "button", "Un-subscribe")}, std::nullopt},
        {"thanks", {el(1, "button", "No thanks")}, std::nullopt},
        {"save", {icon(1, "dont_save")}, std::nullopt},
        {"保存", {el(1, "button", "保存しない")}, std::nullopt},
        {"保存", {el(1, "button", "保存しません")}, std::nullopt},
        {"確認", {el(1, "button", "確認不要")}, std::nullopt},
        // The loose passes do not find the way back to the opposite either.
        {"Unfollow", {el(1, "button", "Follow")}, std::nullopt},
        {"don't save", {el(1, "button", "Save")}, std::nullopt},
        // The named element is found past its opposite.
        {"Save", {el(1, "button", "Don't Save"), el(2, "button", "Save changes")}, 2},
        {"Follow", {el(1, "button", "Unfollow"), el(2, "button", "Follow back")}, 2},
        {"保存", {el(1, "button", "保存しない"), el(2, "button", "下書きを保存")}, 2},
        // A name at a word of the label still matches.
        {"Cart", {el(1, "button", "Shopping Cart (3)")}, 1},
        {"Mug", {el(1, "button", "Buy Mug")}, 1},
        {"money", {icon(1, "sendMoney")}, 1},
        // Exact label, exact key, prefix label, prefix key, contained label, contained key.
        {"Send", {el(1, "button", "Send money"), icon(2, "send")}, 2},
        {"Save", {withKeys(el(1, "button", "Unsubscribe from all"), {"save"}), el(2, "button", "Save")}, 2},
        {"Pay", {el(1, "button", "Quick pay"), icon(2, "pay_now")}, 2},
        {"Pay", {el(1, "button", "Quick pay"), icon(2, "quick_pay")}, 1},
    };
    for (const auto& row : rows) {
        for (const bool loose : {false, true}) {
            EXPECT_EQ(pick(row.name, row.elements, loose), row.expected)
                << "“" << row.name << "” on “" << row.elements.front().label << "”, loose " << loose;
        }
    }
}
