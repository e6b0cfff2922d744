#include <gtest/gtest.h>

#include <chrono>

#include <nlohmann/json.hpp>

#include "platform/runtime/MainActor.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;

namespace {

TavroPack packWithRewrites(std::vector<TavroPack::Rewrite> rules) {
    TavroPack pack;
    pack.version = 1;
    pack.rewrites = std::move(rules);
    return pack;
}

}  // namespace

TEST(TavroPackRewrite, RulesApplyInOrderEachToItsFirstMatch) {
    struct Case {
        const char* name;
        std::vector<TavroPack::Rewrite> rules;
        const char* goal;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"no rules trims", {}, "  \n turn on wifi \t\n", "turn on wifi"},
        {"no match comes back trimmed", {{"bluetooth", "bt"}}, "  turn on wifi ", "turn on wifi"},
        {"groups are substituted", {{"^dm (\\w+)$", "send a message to $1"}}, "dm Tuli", "send a message to Tuli"},
        {"only the first match is replaced", {{"a", "X"}}, "banana", "bXnana"},
        {"matching ignores letter case", {{"dark mode", "dark appearance"}}, "Turn on DARK MODE", "Turn on dark appearance"},
        {"rules see the text so far", {{"hi", "hello"}, {"hello (\\w+)", "send hello to $1"}}, "hi Tuli", "send hello to Tuli"},
        {"each result is trimmed again", {{"please$", ""}}, "open settings please", "open settings"},
        {"a rule can empty the goal", {{"^.*$", " "}}, "anything", ""},
        {"a template that names a missing group changes nothing", {{"(on)", "$7"}}, "turn on", "turn on"},
        {"a pattern that does not compile changes nothing", {{"(", "x"}, {"on", "off"}}, "turn on", "turn off"},
        {"non-latin text keeps its characters", {{"「(.+)」を送る", "send $1"}}, "「こんにちは」を送る", "send こんにちは"},
        {"an empty match inserts at the start", {{"^", "please "}}, "open", "please open"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(packWithRewrites(c.rules).rewrite(c.goal), c.expected) << c.name;
    }
}

TEST(TavroPackRewrite, InvalidUTF8GoalIsRepairedNotCrashed) {
    const auto pack = packWithRewrites({{"on", "off"}});
    const std::string goal = std::string("turn on \xff\xfe lamp");
    const std::string result = pack.rewrite(goal);
    EXPECT_EQ(result.rfind("turn off ", 0), 0u) << result;
    EXPECT_NE(result.find("lamp"), std::string::npos);
}

// A hostile pack's rewrites end within their bounds; the goal then comes back as it was and the
// activity log says why.
class TavroPackRewriteBounds : public ::testing::Test {
protected:
    void SetUp() override {
        TavroDebug::reset();
        TavroDebug::shared()->enabled.set(true);
    }
    void TearDown() override { TavroDebug::reset(); }

    std::string lastLog() const {
        const auto& entries = TavroDebug::shared()->entries.value();
        return entries.empty() ? std::string() : entries.back().tag + ": " + entries.back().text;
    }
    // Wall time, not the actor's: the rewrite is work on this thread, not a wait.
    template <class Body>
    static std::chrono::steady_clock::duration timed(Body&& body) {
        const auto start = std::chrono::steady_clock::now();
        body();
        return std::chrono::steady_clock::now() - start;
    }

    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
};

TEST_F(TavroPackRewriteBounds, BacktrackingRulesStopAtTheTimeLimit) {
    // Every rule backtracks catastrophically on this goal: each match runs until the matcher
    // gives up, so together they would block the main actor for seconds.
    std::vector<TavroPack::Rewrite> rules;
    for (int i = 0; i < 100; ++i) rules.push_back({"(a+)+$|q" + std::to_string(i) + "z", "x"});
    const auto pack = packWithRewrites(std::move(rules));
    const std::string goal = std::string(39, 'a') + "!";
    std::string result;
    const auto took = timed([&] { result = pack.rewrite("  " + goal + " "); });
    EXPECT_EQ(result, goal);
    // The limit, plus what one step of the match engine may overrun it by on a slow build.
    EXPECT_LT(took, TavroPack::rewriteTimeLimit + std::chrono::milliseconds(50))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_NE(lastLog().find("took too long"), std::string::npos) << lastLog();
}

TEST_F(TavroPackRewriteBounds, GrowingRulesStopAtTheLengthLimit) {
    // Each rule doubles the goal: 22 of them would make 46 MB of "tap Go now".
    std::vector<TavroPack::Rewrite> rules(22, {"^.*$", "$0 $0"});
    std::string result;
    const auto took = timed([&] { result = packWithRewrites(rules).rewrite("tap Go now"); });
    EXPECT_EQ(result, "tap Go now");
    EXPECT_LT(took, TavroPack::rewriteTimeLimit);
    EXPECT_NE(lastLog().find("too long"), std::string::npos) << lastLog();
    EXPECT_EQ(lastLog().find("took"), std::string::npos) << "the length, not the time, stopped it: " << lastLog();

    // One rule whose template alone would expand far past the limit is refused.
    std::string huge;
    for (int i = 0; i < 50'000; ++i) huge += "$0";
    EXPECT_EQ(packWithRewrites({{"go", huge}}).rewrite("tap Go now"), "tap Go now");
    // A group inside a look-ahead reaches past its (empty) match: it counts at its own length.
    const std::string long1000(1000, 'a');
    EXPECT_EQ(packWithRewrites({{"^(?=(a+))", "$1$1$1$1$1$1$1$1$1$1"}}).rewrite(long1000), long1000);
    EXPECT_EQ(packWithRewrites({{"^(?=(a+))", "$1 "}}).rewrite(long1000).size(), 2001u);

    // A goal may still grow while it stays a goal a person could type.
    TavroDebug::shared()->clear();
    const std::vector<TavroPack::Rewrite> few(5, {"^.*$", "$0 $0"});
    EXPECT_EQ(packWithRewrites(few).rewrite("go").size(), 32u * 2 + 31);
    EXPECT_TRUE(TavroDebug::shared()->entries.value().empty());
}

TEST(TavroPackVerb, FirstWordMapsThroughTheTable) {
    TavroPack pack;
    pack.verbs = {{"hit", "tap"}, {"ping", "send hi to"}};
    struct Case {
        const char* phrase;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"hit the save button", "tap the save button"},
        {"  HIT save  ", "tap save"},
        {"Hit", "tap"},
        {"ping Tuli", "send hi to Tuli"},
        {"press save", "press save"},
        {"  press save ", "  press save "},
        {"", ""},
        {"   ", "   "},
        {"hitter save", "hitter save"},
    };
    for (const auto& c : cases) EXPECT_EQ(pack.verb(c.phrase), c.expected) << "'" << c.phrase << "'";
}

TEST(TavroPackNotes, EachNoteIsABulletLine) {
    TavroPack pack;
    EXPECT_EQ(pack.promptNotes(), "");
    pack.notes = {"Settings are under Profile.", "Never delete chats."};
    EXPECT_EQ(pack.promptNotes(), "- Settings are under Profile.\n- Never delete chats.");
}

TEST(TavroPackJSON, ReadsEveryKey) {
    const auto pack = TavroPack::parse(R"J({
        "version": 3, "maxSteps": 20, "paused": true, "localModel": "qwen",
        "notes": ["one", "two"], "approve": "transfer|wire", "verbs": {"hit": "tap"},
        "rewrites": [{"pattern": "^dm (\\w+)", "template": "message $1"}],
        "map": {"app": "com.example", "appVersion": "2.0", "start": "home",
                "screens": {"home": {"title": "Home", "controls": [{"label": "Settings", "kind": "button", "to": "settings"}]}}}
    })J");
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->version, 3);
    EXPECT_EQ(pack->maxSteps, 20);
    EXPECT_TRUE(pack->paused);
    EXPECT_EQ(pack->localModel, "qwen");
    EXPECT_EQ(pack->notes, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(pack->approve, "transfer|wire");
    EXPECT_EQ(pack->verbs.at("hit"), "tap");
    ASSERT_EQ(pack->rewrites.size(), 1u);
    EXPECT_EQ(pack->rewrite("dm Tuli"), "message Tuli");
    ASSERT_TRUE(pack->map);
    EXPECT_EQ(pack->map->screens.at("home").controls.at(0).to, "settings");

    EXPECT_EQ(TavroPack::fromJSON(pack->toJSON()), pack);
}

TEST(TavroPackJSON, OnlyAnIntegerVersionIsRequired) {
    const auto minimal = TavroPack::parse(R"({"version": 7})");
    ASSERT_TRUE(minimal);
    EXPECT_EQ(minimal->version, 7);
    EXPECT_EQ(minimal->maxSteps, std::nullopt);
    EXPECT_FALSE(minimal->paused);
    EXPECT_TRUE(minimal->notes.empty());
    EXPECT_EQ(minimal->map, std::nullopt);

    for (const char* text : {R"({})", R"({"version": "3"})", R"({"version": 3.5})", R"({"version": null})",
                             R"({"version": 99999999999})", R"([1, 2])", "not json", "", R"({"version": 3)"}) {
        EXPECT_EQ(TavroPack::parse(text), std::nullopt) << text;
    }
}

TEST(TavroPackJSON, BadPatternsAreDroppedAndThePackKept) {
    const auto pack = TavroPack::parse(R"J({
        "version": 2, "approve": "([unclosed",
        "rewrites": [{"pattern": "(", "template": "x"}, {"pattern": "hi", "template": "hello"}, {"template": "no pattern"}, 5]
    })J");
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->approve, std::nullopt);
    ASSERT_EQ(pack->rewrites.size(), 1u);
    EXPECT_EQ(pack->rewrites[0].pattern, "hi");
    EXPECT_EQ(pack->rewrite("hi there"), "hello there");
}

TEST(TavroPackJSON, KeysOfTheWrongTypeReadAsAbsent) {
    const auto pack = TavroPack::parse(R"J({
        "version": 4, "maxSteps": "20", "paused": "yes", "localModel": 5, "notes": ["ok", 3, null],
        "verbs": {"hit": "tap", "bad": 1}, "rewrites": {"pattern": "x"}, "map": "nowhere"
    })J");
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->maxSteps, std::nullopt);
    EXPECT_FALSE(pack->paused);
    EXPECT_EQ(pack->localModel, std::nullopt);
    EXPECT_EQ(pack->notes, (std::vector<std::string>{"ok"}));
    EXPECT_EQ(pack->verbs, (std::map<std::string, std::string>{{"hit", "tap"}}));
    EXPECT_TRUE(pack->rewrites.empty());
    EXPECT_EQ(pack->map, std::nullopt);
}

class TavroPacksStore : public ::testing::Test {
protected:
    void SetUp() override {
        TavroPacks::reset();
        TavroModelSwitch::reset();
    }
    void TearDown() override {
        TavroPacks::reset();
        TavroModelSwitch::reset();
    }
};

TEST_F(TavroPacksStore, SetAndClearAnnounceTheFamilyAfterReleasingTheLock) {
    std::vector<TavroModelSwitch::Family> seen;
    std::vector<std::optional<int>> versionsSeen;
    TavroModelSwitch::observe([&](TavroModelSwitch::Family family) {
        seen.push_back(family);
        // Reading the store from the observer must not deadlock.
        const auto pack = TavroPacks::current();
        versionsSeen.push_back(pack ? std::optional<int>(pack->version) : std::nullopt);
    });
    EXPECT_EQ(TavroPacks::current(), std::nullopt);

    TavroPack pack;
    pack.version = 5;
    pack.localModel = " OFF ";
    TavroPacks::setCurrent(pack);
    ASSERT_TRUE(TavroPacks::current());
    EXPECT_EQ(TavroPacks::current()->version, 5);

    TavroPacks::clear();
    EXPECT_EQ(TavroPacks::current(), std::nullopt);

    EXPECT_EQ(seen, (std::vector{TavroModelSwitch::Family::off, TavroModelSwitch::Family::qwen}));
    EXPECT_EQ(versionsSeen, (std::vector<std::optional<int>>{5, std::nullopt}));
}

TEST_F(TavroPacksStore, ReadersGetIndependentCopies) {
    TavroPack pack;
    pack.version = 1;
    pack.notes = {"a"};
    TavroPacks::setCurrent(pack);
    auto copy = TavroPacks::current();
    copy->notes.push_back("b");
    EXPECT_EQ(TavroPacks::current()->notes.size(), 1u);
}
