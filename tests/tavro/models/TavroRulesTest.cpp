#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "TavroRulesTestFixtures.h"
#include "platform/foundation/PreferredLanguages.h"
#include "tavro/models/TavroRules.h"

using namespace tavro;
using namespace rulesfixtures;
using Kind = TavroAction::Kind;
using Clauses = std::vector<std::string>;

namespace {

class RulesJapanese : public ::testing::Test {
protected:
    void SetUp() override { fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"}); }
    void TearDown() override { fnd::PreferredLanguages::reset(); }
};

std::string couldNot(const std::string& clause) {
    return "I couldn't work out “" + clause +
           "” on this screen. Use the names shown on screen, or turn on an on-device model.";
}

}  // namespace

// ---- split ----

TEST(RulesSplit, CutsAtThenSeparatorsAndVerbsAfterAndOrAComma) {
    const std::vector<std::pair<std::string, Clauses>> cases = {
        {"open Settings then turn on Dark Mode", {"open Settings", "turn on Dark Mode"}},
        {"open Settings, and then tap Wi-Fi", {"open Settings", "tap Wi-Fi"}},
        {"Tap Save. Then tap Done.", {"Tap Save", "tap Done"}},
        {"tap A; tap B\ntap C", {"tap A", "tap B", "tap C"}},
        {"search shoes and tap the first result", {"search shoes", "tap the first result"}},
        {"open Chats, tap Tuli, type hi in Message", {"open Chats", "tap Tuli", "type hi in Message"}},
        {"Search shoes。カートを開く", {"Search shoes", "カートを開く"}},
        {"設定を開いて、ダークモードをタップ", {"設定を開いて", "ダークモードをタップ"}},
        {"tap Save!", {"tap Save"}},
        {"  tap Save .!  ", {"tap Save"}},
    };
    for (const auto& [goal, clauses] : cases) EXPECT_EQ(TavroRules::split(goal), clauses) << goal;
}

TEST(RulesSplit, OnlyCommandVerbsStartANewClauseAfterAndOrAComma) {
    EXPECT_EQ(TavroRules::split("type milk, eggs and bread into the list"),
              Clauses{"type milk, eggs and bread into the list"});
    EXPECT_EQ(TavroRules::split("tap Salt and Pepper"), Clauses{"tap Salt and Pepper"});
    // "then" only as a whole word.
    EXPECT_EQ(TavroRules::split("tap Authentic theme"), Clauses{"tap Authentic theme"});
    // Verbs only as whole words: "opener" starts no clause.
    EXPECT_EQ(TavroRules::split("tap Wine, opener"), Clauses{"tap Wine, opener"});
}

TEST(RulesSplit, ASentenceEndCutsOnlyBeforeACommandVerb) {
    const std::vector<std::pair<std::string, Clauses>> cuts = {
        {"Open settings. Turn on dark mode.", {"Open settings", "Turn on dark mode"}},
        {"open Settings! Turn on Dark Mode", {"open Settings", "Turn on Dark Mode"}},
        {"open Settings.turn on Dark Mode", {"open Settings", "turn on Dark Mode"}},
        {"open Settings?  Scroll down", {"open Settings", "Scroll down"}},
        {"Open Chats... Tap Tuli. Type hi into Message!", {"Open Chats", "Tap Tuli", "Type hi into Message"}},
    };
    for (const auto& [goal, clauses] : cuts) EXPECT_EQ(TavroRules::split(goal), clauses) << goal;

    for (const std::string goal : {"type 3.5 into Amount", "type e.g. milk into Notes", "type a. b into Notes",
                                   "tap Save. Done", "Is Wi-Fi on? Maybe", "open www.mhlw.go.jp",
                                   "open shop.example.jp/search-open", "tap Settings.opener"})
        EXPECT_EQ(TavroRules::split(goal), Clauses{goal}) << goal;
}

TEST(RulesSplit, AJapaneseVerbsTeFormFollowedByMoreWordsEndsItsClause) {
    const std::vector<std::pair<std::string, Clauses>> cuts = {
        {"Settingsを開いてDark Modeをオンにして", {"Settingsを開いて", "Dark Modeをオンにして"}},
        {"Shopを開いてアカウントを削除", {"Shopを開いて", "アカウントを削除"}},
        {"靴を探してカートを開く", {"靴を探して", "カートを開く"}},
        {"Chatsを開いて Tuliを選んでSendを押して", {"Chatsを開いて", "Tuliを選んで", "Sendを押して"}},
        {"Settingsを開いてくださいWi-Fiをタップ", {"Settingsを開いてください", "Wi-Fiをタップ"}},
        {"Settingsを開いて、Wi-Fiをオフにして", {"Settingsを開いて", "Wi-Fiをオフにして"}},
    };
    for (const auto& [goal, clauses] : cuts) EXPECT_EQ(TavroRules::split(goal), clauses) << goal;
    // A polite ending alone is no new clause.
    for (const std::string goal : {"Profileを開いてください", "保存を押してね", "設定を開いて。", "名前にリンを入力してください"})
        EXPECT_EQ(TavroRules::split(goal).size(), 1u) << goal;
}

TEST(RulesSplit, NoClauseBreaksInsideQuotes) {
    const std::vector<std::pair<std::string, Clauses>> cases = {
        {"メッセージに「明日送って」を入力", {"メッセージに「明日送って」を入力"}},
        {"メッセージに『開いて見て』を入力して送信を押して", {"メッセージに『開いて見て』を入力して", "送信を押して"}},
        {"type “milk; then tap Save” into Notes", {"type “milk; then tap Save” into Notes"}},
        {"type \"hi, tap me\" into Message, tap Send", {"type \"hi, tap me\" into Message", "tap Send"}},
        {"type 'call me then' into Notes then tap Save", {"type 'call me then' into Notes", "tap Save"}},
        // An apostrophe opens no quotation.
        {"tap Don't Save then tap Rin's chat", {"tap Don't Save", "tap Rin's chat"}},
        // A quotation mark left open quotes nothing.
        {"type “hi then tap Send", {"type “hi", "tap Send"}},
    };
    for (const auto& [goal, clauses] : cases) EXPECT_EQ(TavroRules::split(goal), clauses) << goal;
    EXPECT_FALSE(TavroRules::breaks("「明日送って」")) << "a quoted value is one value";
}

TEST(RulesSplit, ACommaBeforeALongPressStartsAClause) {
    const std::vector<std::pair<std::string, Clauses>> cases = {
        {"open Chats, long press Family", {"open Chats", "long press Family"}},
        {"open Chats, long-press Family", {"open Chats", "long-press Family"}},
        {"open Chats and long press Family", {"open Chats", "long press Family"}},
        {"open Chats, press and hold Family", {"open Chats", "press and hold Family"}},
    };
    for (const auto& [goal, clauses] : cases) EXPECT_EQ(TavroRules::split(goal), clauses) << goal;
    EXPECT_EQ(TavroRules::split("tap Long, pressed flowers"), Clauses{"tap Long, pressed flowers"});
}

TEST(RulesSplit, AValueBreaksWhereAGoalWouldBeCut) {
    for (const std::string value : {"Bob then tap Save", "Bob; tap Save", "Bob、保存", "Bob and tap Save", "Bob. Tap Save",
                                    "リンを入力して保存を押して"})
        EXPECT_TRUE(TavroRules::breaks(value)) << value;
    for (const std::string value : {"Bob", "Rin Tanaka", "milk, eggs and bread", "3.5", "Authentic theme", "開いてください"})
        EXPECT_FALSE(TavroRules::breaks(value)) << value;
}

TEST(RulesSplit, KeyValueDetailsKeepTheWholeGoalAsOneClause) {
    EXPECT_EQ(TavroRules::split("name=Rin, city=Osaka"), Clauses{"name=Rin, city=Osaka"});
    EXPECT_EQ(TavroRules::split("  email = rin@example.jp then tap Save \n"), Clauses{"email = rin@example.jp then tap Save"});
}

TEST(RulesSplit, BlankGoalsHaveNoClauses) {
    for (const std::string goal : {"", "   \n\t", "...!!", "then", ", and then ;", "。、"})
        EXPECT_EQ(TavroRules::split(goal), Clauses{}) << goal;
}

// ---- decide ----

TEST(RulesDecide, NoClausesAnswersDone) {
    TavroRules rules("  ", {}, true);
    const auto action = rules.decide(screen({}));
    EXPECT_EQ(action, act(Kind::done, std::nullopt, "Done."));
    EXPECT_EQ(rules.decide(screen({})), action);
}

TEST_F(RulesJapanese, NoClausesAnswersDoneInJapanese) {
    TavroRules rules("", {}, false);
    EXPECT_EQ(rules.decide(screen({})), act(Kind::done, std::nullopt, "完了しました。"));
}

TEST(RulesDecide, AGoalOfOnlyPunctuationIsNotDone) {
    const auto s = screen({el(1, "button", "Save"), el(2, "tab", "Home")});
    for (const std::string goal : {".", " !! ", ". . ."}) {
        const auto trimmed = goal == " !! " ? std::string("!!") : goal;
        TavroRules lenient(goal, {"Home"}, true);
        EXPECT_EQ(lenient.decide(s), act(Kind::fail, std::nullopt, couldNot(trimmed))) << goal;
        EXPECT_EQ(lenient.lastFailed, trimmed);
        // Tried again after the agent's scroll, it still fails.
        lenient.clauses.insert(lenient.clauses.begin(), *lenient.lastFailed);
        lenient.lastFailed.reset();
        EXPECT_EQ(lenient.decide(s).kind, Kind::fail) << goal;

        TavroRules strict(goal, {"Home"}, false);
        EXPECT_EQ(strict.decide(s).kind, Kind::fail) << goal;
        EXPECT_TRUE(strict.handedOff) << goal;
    }
}

TEST(RulesDecide, AClausesActionsAreHandedOutOneATurnWithoutReadingTheClausesAgain) {
    TavroRules rules("name=Rin Save", {}, false);
    const auto form = screen({el(1, "input", "Name"), el(2, "button", "Save")});
    EXPECT_EQ(rules.decide(form), act(Kind::type, 1, "Rin"));
    EXPECT_TRUE(rules.clauses.empty());
    ASSERT_EQ(rules.queue.size(), 1u);
    // The second turn comes from the queue, whatever the screen shows now.
    EXPECT_EQ(rules.decide(screen({})), act(Kind::click, 2));
    EXPECT_EQ(rules.decide(screen({})).kind, Kind::done);
}

TEST(RulesDecide, AClauseThatNeedsNothingMovesOnInTheSameTurn) {
    TavroRules rules("turn on Wi-Fi then tap Save", {}, false);
    const auto s = screen({el(1, "checkbox", "Wi-Fi", "1"), el(2, "button", "Save")});
    EXPECT_EQ(rules.decide(s), act(Kind::click, 2));
    EXPECT_EQ(rules.decide(s).kind, Kind::done);
}

TEST(RulesDecide, LenientFailureTellsTheUserAndRemembersTheClause) {
    TavroRules rules("tap Nowhere then tap Save", {}, true);
    const auto s = screen({el(2, "button", "Save")});
    const auto failed = rules.decide(s);
    EXPECT_EQ(failed, act(Kind::fail, std::nullopt, couldNot("tap Nowhere")));
    EXPECT_EQ(rules.lastFailed, "tap Nowhere");
    EXPECT_EQ(rules.clauses, Clauses{"tap Save"});
    EXPECT_FALSE(rules.handedOff);
    // The agent scrolls, puts the clause back and asks again.
    rules.clauses.insert(rules.clauses.begin(), *rules.lastFailed);
    rules.lastFailed.reset();
    const auto scrolled = screen({el(1, "button", "Nowhere"), el(2, "button", "Save")});
    EXPECT_EQ(rules.decide(scrolled), act(Kind::click, 1));
    EXPECT_EQ(rules.decide(scrolled), act(Kind::click, 2));
}

TEST(RulesDecide, FailureQuotesTheClauseAsSplitNotAsCorrected) {
    TavroRules rules("clik Nowhere!", {}, true);
    EXPECT_EQ(rules.decide(screen({})).text, couldNot("clik Nowhere"));
}

TEST_F(RulesJapanese, FailureTextInJapanese) {
    TavroRules rules("存在しないボタンを押して", {}, true);
    EXPECT_EQ(rules.decide(screen({})).text,
              "この画面で「存在しないボタンを押して」の方法が分かりませんでした。画面に表示された名前を使うか、"
              "オンデバイスモデルを有効にしてください。");
}

TEST(RulesDecide, StrictFailureHandsTheGoalToTheModels) {
    TavroRules rules("do something clever then tap Save", {}, false);
    const auto s = screen({el(2, "button", "Save")});
    EXPECT_EQ(rules.decide(s), act(Kind::fail, std::nullopt, couldNot("do something clever")));
    EXPECT_TRUE(rules.handedOff);
    EXPECT_FALSE(rules.lastFailed);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rules.decide(s), act(Kind::fail, std::nullopt, "The on-device model is doing this task."));
}

TEST(RulesDecide, StrictFailureContinuesOnceWithTheFallbackSteps) {
    TavroRules rules("send my usual order", {}, false);
    rules.fallback = {"tap Shop", "tap Buy", "tap Pay later"};
    const auto s = screen({el(1, "tab", "Shop"), el(2, "button", "Buy")});
    EXPECT_EQ(rules.decide(s), act(Kind::click, 1));
    EXPECT_TRUE(rules.usedFallback);
    EXPECT_TRUE(rules.fallback.empty());
    EXPECT_EQ(rules.decide(s), act(Kind::click, 2));
    // A fallback step that cannot be read hands off: the fallback is used only once.
    EXPECT_EQ(rules.decide(s), act(Kind::fail, std::nullopt, couldNot("tap Pay later")));
    EXPECT_TRUE(rules.handedOff);
}

TEST(RulesDecide, LenientModeIgnoresTheFallback) {
    TavroRules rules("send my usual order", {}, true);
    rules.fallback = {"tap Shop"};
    EXPECT_EQ(rules.decide(screen({el(1, "tab", "Shop")})).kind, Kind::fail);
    EXPECT_FALSE(rules.usedFallback);
    EXPECT_EQ(rules.fallback, Clauses{"tap Shop"});
}

TEST(RulesDecide, HandOffEmptiesClausesAndQueue) {
    TavroRules rules("name=Rin Save", {}, true);
    const auto form = screen({el(1, "input", "Name"), el(2, "button", "Save")});
    EXPECT_EQ(rules.decide(form).kind, Kind::type);
    rules.handOff();
    EXPECT_TRUE(rules.queue.empty());
    EXPECT_TRUE(rules.clauses.empty());
    EXPECT_EQ(rules.decide(form), act(Kind::fail, std::nullopt, "The on-device model is doing this task."));
}

TEST_F(RulesJapanese, HandOffTextInJapanese) {
    TavroRules rules("tap Save", {}, false);
    rules.handOff();
    EXPECT_EQ(rules.decide(screen({})).text, "オンデバイスモデルが実行中です。");
}

// ---- fixVerb ----

TEST(RulesFixVerb, CorrectsAMisspeltFirstWordToTheNearestVerb) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"clik Save", "click Save"},
        {"serch red shoes", "search red shoes"},
        {"Clik Save Draft", "click Save Draft"},  // the rest keeps its case
        {"typ hello", "tap hello"},               // tap comes before type at the same distance
        {"tapp OK", "tap OK"},
        {"swich on Wi-Fi", "switch on Wi-Fi"},
        {"toggel Dark Mode", "toggle Dark Mode"},  // six characters allow two edits
        {"disabel Wi-Fi", "disable Wi-Fi"},
        {"clik", "click"},
    };
    for (const auto& [clause, fixed] : cases) EXPECT_EQ(TavroRules::fixVerb(clause), fixed) << clause;
}

TEST(RulesFixVerb, LeavesKnownVerbsShortWordsAndFarWordsAlone) {
    for (const std::string clause : {"", "   ", "go home", "Tap Save", "ok then", "xy Save", "xyzzy Save",
                                     "Settings", "wifi", "保存をタップ"})
        EXPECT_EQ(TavroRules::fixVerb(clause), clause) << clause;
}

// ---- set ----

TEST(RulesSet, CheckboxAlreadyInTheWantedStateNeedsNothing) {
    const TavroRules rules("", {}, false);
    struct Case {
        std::string current, wanted;
        bool clicks;
    };
    const std::vector<Case> cases = {
        {"1", "on", false},     {"On", "yes", false},     {"true", "enabled", false}, {"オン", "オン", false},
        {"0", "on", true},      {"", "true", true},       {"off", "enable", true},    {"1", "off", true},
        {"0", "off", false},    {"", "no", false},        {"off", "オフ", false},      {"on", "disabled", true},
        {"1", "maybe", true},   {"0", "", true},
    };
    for (const auto& c : cases) {
        const auto box = el(7, "checkbox", "Wi-Fi", c.current);
        const auto actions = rules.set(box, c.wanted);
        if (c.clicks)
            EXPECT_EQ(actions, std::vector<TavroAction>{act(Kind::click, 7)}) << c.current << " -> " << c.wanted;
        else
            EXPECT_TRUE(actions.empty()) << c.current << " -> " << c.wanted;
    }
}

TEST(RulesSet, ChoicesAreSelectedAndEverythingElseIsTyped) {
    const TavroRules rules("", {}, true);
    EXPECT_EQ(rules.set(el(1, "select", "Size"), "Large"), std::vector<TavroAction>{act(Kind::select, 1, "Large")});
    EXPECT_EQ(rules.set(el(2, "slider", "Volume"), "80"), std::vector<TavroAction>{act(Kind::select, 2, "80")});
    EXPECT_EQ(rules.set(el(3, "input", "Name"), "Rin"), std::vector<TavroAction>{act(Kind::type, 3, "Rin")});
    EXPECT_EQ(rules.set(el(4, "textarea", "Notes"), "a b"), std::vector<TavroAction>{act(Kind::type, 4, "a b")});
    EXPECT_EQ(rules.set(el(5, "button", "Go"), "x"), std::vector<TavroAction>{act(Kind::type, 5, "x")});
}

TEST(RulesSet, TheStateAGoalAsksOfACheckboxIsReadAsItsClausesSetIt) {
    const auto s = screen({el(1, "checkbox", "Newsletter", "1"), el(2, "checkbox", "Wi-Fi"), el(3, "button", "Save")});
    for (const bool lenient : {false, true}) {
        const TavroRules rules("", {"Settings"}, lenient);
        for (const std::string goal : {"turn on Newsletter", "open Settings then switch the Newsletter on",
                                       "enable Newsletter and tap Save", "Newsletter: yes", "Newsletterにオンを設定して"})
            EXPECT_EQ(rules.wantedState(goal, 1, s), true) << goal;
        for (const std::string goal : {"turn off Newsletter", "disable the Newsletter", "newsletter=off save"})
            EXPECT_EQ(rules.wantedState(goal, 1, s), false) << goal;
        // No state said for this box, or said both ways: a tap is just a tap.
        for (const std::string goal : {"tap Newsletter", "turn on Wi-Fi", "open Settings",
                                       "turn on Newsletter then turn off Newsletter"})
            EXPECT_EQ(rules.wantedState(goal, 1, s), std::nullopt) << goal;
        EXPECT_EQ(rules.wantedState("turn on Save", 3, s), std::nullopt);
        EXPECT_EQ(rules.wantedState("turn on Newsletter", 9, s), std::nullopt);
    }
}

// ---- Whole goals over several turns on a changing screen ----

namespace {

// A tiny app: a tab bar with Home and Settings; Settings has Dark Mode, Name and Save. Actions
// change its state the way taps and typing would.
struct DemoApp {
    std::string page = "Home";
    bool dark = false;
    std::string name;
    bool saved = false;
    bool japanese = false;

    TavroScreen read() const {
        const auto t = [&](const char* en, const char* ja) { return std::string(japanese ? ja : en); };
        std::vector<TavroElement> elements = {el(1, "tab", t("Home", "ホーム")), el(2, "tab", t("Settings", "設定"))};
        if (page == "Settings") {
            elements.push_back(el(10, "checkbox", t("Dark Mode", "ダークモード"), dark ? "1" : "0"));
            elements.push_back(el(11, "input", t("Name", "名前"), name));
            elements.push_back(el(12, "button", t("Save", "保存")));
        }
        auto shown = screen(elements);
        shown.location = shown.title = page == "Home" ? t("Home", "ホーム") : t("Settings", "設定");
        return shown;
    }

    void perform(const TavroAction& a) {
        ASSERT_TRUE(a.id) << "action without an element";
        switch (*a.id) {
            case 1: page = "Home"; break;
            case 2: page = "Settings"; break;
            case 10: ASSERT_EQ(a.kind, Kind::click); dark = !dark; break;
            case 11: ASSERT_EQ(a.kind, Kind::type); name = a.text; break;
            case 12: ASSERT_EQ(a.kind, Kind::click); saved = true; break;
            default: FAIL() << "unknown element " << *a.id;
        }
    }

    // Runs the engine until it answers done or fail (at most `limit` turns); the final answer.
    TavroAction run(TavroRules& rules, int limit = 10) {
        for (int turn = 0; turn < limit; ++turn) {
            auto action = rules.decide(read());
            if (action.kind == Kind::done || action.kind == Kind::fail) return action;
            perform(action);
        }
        ADD_FAILURE() << "no end after " << limit << " turns";
        return {};
    }
};

}  // namespace

TEST(RulesWholeGoal, EnglishGoalOverSeveralTurns) {
    DemoApp app;
    TavroRules rules("Open Settings, then turn on Dark Mode and type Rin into Name then tap Save.", {}, false);
    EXPECT_EQ(rules.clauses.size(), 4u);
    EXPECT_EQ(app.run(rules).kind, Kind::done);
    EXPECT_EQ(app.page, "Settings");
    EXPECT_TRUE(app.dark);
    EXPECT_EQ(app.name, "Rin");
    EXPECT_TRUE(app.saved);
}

TEST(RulesWholeGoal, CheckboxAlreadyOnIsLeftAlone) {
    DemoApp app;
    app.page = "Settings";
    app.dark = true;
    TavroRules rules("turn on Dark Mode then tap Save", {}, false);
    EXPECT_EQ(rules.decide(app.read()), act(Kind::click, 12));
    EXPECT_TRUE(app.dark);
}

TEST_F(RulesJapanese, JapaneseGoalOverSeveralTurns) {
    DemoApp app;
    app.japanese = true;
    TavroRules rules("設定を開いて、ダークモードをタップして、名前にリンを入力して、保存をタップ", {}, true);
    EXPECT_EQ(rules.clauses.size(), 4u);
    EXPECT_EQ(app.run(rules), act(Kind::done, std::nullopt, "完了しました。"));
    EXPECT_TRUE(app.dark);
    EXPECT_EQ(app.name, "リン");
    EXPECT_TRUE(app.saved);
}

TEST(RulesWholeGoal, LenientModeCorrectsVerbsAndNames) {
    DemoApp app;
    TavroRules rules("clik Setings then swich on Drak Mode then entr Rin in Nme then tapp Sve", {}, true);
    EXPECT_EQ(app.run(rules).kind, Kind::done);
    EXPECT_TRUE(app.dark);
    EXPECT_EQ(app.name, "Rin");
    EXPECT_TRUE(app.saved);
}

TEST(RulesWholeGoal, StrictModeDoesNotGuessMisspellings) {
    DemoApp app;
    TavroRules rules("clik Settings", {}, false);
    EXPECT_EQ(app.run(rules).kind, Kind::fail);
    EXPECT_TRUE(rules.handedOff);
    EXPECT_EQ(app.page, "Home");
}

TEST(RulesWholeGoal, StrictModeFallsBackToThePlanAndThenHandsOff) {
    DemoApp app;
    TavroRules rules("make the app easier on my eyes", {}, false);
    rules.fallback = {"open Settings", "turn on Dark Mode", "choose a nicer font"};
    const auto end = app.run(rules);
    EXPECT_EQ(end, act(Kind::fail, std::nullopt, couldNot("choose a nicer font")));
    EXPECT_TRUE(app.dark);
    EXPECT_TRUE(rules.usedFallback);
    EXPECT_TRUE(rules.handedOff);
}

TEST(RulesWholeGoal, OpeningTheScreenAlreadyShowingNeedsNothing) {
    DemoApp app;
    app.page = "Settings";
    TavroRules rules("open Settings then open the Settings tab then tap Save", {}, false);
    EXPECT_EQ(rules.decide(app.read()), act(Kind::click, 12)) << "no tap on the Settings tab";
    EXPECT_EQ(rules.decide(app.read()).kind, Kind::done);

    app.page = "Home";
    TavroRules home("open Home", {}, true);
    EXPECT_EQ(home.decide(app.read()), act(Kind::done, std::nullopt, "Done."));
}

TEST_F(RulesJapanese, OpeningTheScreenAlreadyShowingNeedsNothingInJapanese) {
    DemoApp app;
    app.japanese = true;
    app.page = "Settings";
    TavroRules rules("設定を開いて、保存をタップ", {}, true);
    EXPECT_EQ(rules.decide(app.read()), act(Kind::click, 12));
}

TEST(RulesWholeGoal, RoutesAreNavigatedByName) {
    TavroRules rules("go to the Profile page then tap Edit", {"Home", "Profile"}, false);
    EXPECT_EQ(rules.decide(screen({})), act(Kind::navigate, std::nullopt, "Profile"));
    EXPECT_EQ(rules.decide(screen({el(5, "button", "Edit")})), act(Kind::click, 5));
}

// ---- Bad input ----

TEST(RulesBadInput, HostileGoalsEndInBoundedTimeWithoutFailing) {
    const auto s = screen({el(1, "button", "Save"), el(2, "input", "Name"), el(3, "checkbox", "Wi-Fi")});
    std::string chain;
    for (int i = 0; i < 2000; ++i) chain += "k" + std::to_string(i) + "=v" + std::to_string(i) + " x ";
    const std::vector<std::string> goals = {
        std::string(100000, 'a'),
        std::string(50000, ' ') + "then" + std::string(50000, ' '),
        std::string(20000, '='),
        "a" + std::string(20000, ' ') + "=" + std::string(20000, ' ') + "b",
        chain,
        std::string(10000, ',') + " tap Save",
        "\xff\xfe\xfd then tap \xc3 Save",
        "tap " + std::string(30000, '.'),
        "type " + std::string(30000, 'x') + " into " + std::string(30000, ' ') + "Name",
        "設定" + std::string(3000, ' ') + "を" + std::string(3000, ' ') + "タップ",
    };
    for (const bool lenient : {false, true}) {
        for (const auto& goal : goals) {
            TavroRules rules(goal, {"Home"}, lenient);
            for (int turn = 0; turn < 5; ++turn) {
                const auto a = rules.decide(s);
                if (a.kind == Kind::done || a.kind == Kind::fail) break;
            }
        }
    }
}
