#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/PreferredLanguages.h"
#include "tavro/core/TavroText.h"
#include "tavro/models/TavroReasoning.h"

using namespace tavro;

namespace {

TavroElement element(std::string kind, std::string label, std::string value = {}) {
    return TavroElement{.id = 1, .kind = std::move(kind), .label = std::move(label), .value = std::move(value), .inView = true};
}

TavroReasoning plan(std::string done) { return TavroReasoning{.done = std::move(done)}; }

class Japanese : public ::testing::Test {
protected:
    void SetUp() override { fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP", "en-US"}); }
    void TearDown() override { fnd::PreferredLanguages::reset(); }
};

}  // namespace

// ---- The planning prompt ----

TEST(ReasoningSystem, NamesTheSurfaceAndOffersRoutesOnlyWhenThereAreSome) {
    const auto withRoutes = TavroReasoning::system("the iOS app “Demo”", {"Settings"});
    const auto lines = [](const std::string& text) {
        std::vector<std::string> out;
        std::size_t start = 0;
        for (auto end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start))
            out.push_back(text.substr(start, end - start));
        out.push_back(text.substr(start));
        return out;
    };
    const auto l = lines(withRoutes);
    ASSERT_EQ(l.size(), 7u);
    EXPECT_EQ(l[0],
              "You plan how to complete the user's GOAL in the iOS app “Demo” before anything is tapped. Think it "
              "through, then reply with ONE JSON object and nothing else:");
    EXPECT_EQ(l[1],
              R"({"intent":"what the user wants, one short line","done":"what will be visible on screen when the goal is complete","steps":["short step using names shown on screen", "..."],"ask":""})");
    EXPECT_EQ(l[2], "Rules:");
    EXPECT_EQ(l[3],
              R"(- Steps are short commands like "open Chats", "tap Tuli", "type hi in Message", "tap Send". Use the exact names from ELEMENTS or ROUTES ("go to <route>").)");
    EXPECT_EQ(l[4], "- At most 8 steps. Don't add steps the goal didn't ask for.");
    EXPECT_EQ(l[5],
              R"(- "ask" is a question only when the goal is missing something you can't find on screen or in KNOWN DETAILS (who to send it to, which item). Otherwise "".)");
    EXPECT_EQ(l[6], "- Never plan to delete, pay or send money unless the goal says so.");

    const auto noRoutes = lines(TavroReasoning::system("x", {}));
    EXPECT_EQ(noRoutes[3],
              R"(- Steps are short commands like "open Chats", "tap Tuli", "type hi in Message", "tap Send". Use the exact names from ELEMENTS.)");
}

// ---- Reading the reply ----

TEST(ReasoningParse, NoReplyOrABlankReplyGivesNothing) {
    EXPECT_EQ(TavroReasoning::parse(std::nullopt), std::nullopt);
    EXPECT_EQ(TavroReasoning::parse(""), std::nullopt);
    EXPECT_EQ(TavroReasoning::parse(" \n\t\r\n "), std::nullopt);
}

TEST(ReasoningParse, JSONObjectGivesItsFieldsTrimmed) {
    const auto p = TavroReasoning::parse(
        "Sure! Here is the plan:\n```json\n{\"intent\":\"  send hi to Tuli \\n\",\"done\":\" hi sent \","
        "\"steps\":[\" open Chats\\t\",\"tap Tuli\",\"type hi in Message\",\"tap Send\"],\"ask\":\"\"}\n```");
    ASSERT_TRUE(p);
    EXPECT_EQ(*p, (TavroReasoning{"send hi to Tuli", "hi sent", {"open Chats", "tap Tuli", "type hi in Message", "tap Send"}, ""}));
}

TEST(ReasoningParse, StepsKeepTextEntriesOnlyAndAtMostTen) {
    std::string steps = "[\"\", 7";
    for (int i = 1; i <= 11; ++i) steps += ", \"step " + std::to_string(i) + "\"";
    steps += ", null, {\"x\":1}]";
    const auto p = TavroReasoning::parse("{\"steps\":" + steps + "}");
    ASSERT_TRUE(p);
    ASSERT_EQ(p->steps.size(), 10u);
    EXPECT_EQ(p->steps.front(), "step 1");
    EXPECT_EQ(p->steps.back(), "step 10");
}

TEST(ReasoningParse, AnObjectWithWrongTypesOrNoFieldsIsStillAPlan) {
    EXPECT_EQ(TavroReasoning::parse("{}"), TavroReasoning{});
    EXPECT_EQ(TavroReasoning::parse(R"({"intent":3,"done":["a"],"steps":"tap Save","ask":null})"), TavroReasoning{});
    const auto p = TavroReasoning::parse(R"({"ask":" Who should get it? "})");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ask, "Who should get it?");
}

TEST(ReasoningParse, LinesLoseTheirListMarkersAndBraceLines) {
    const auto p = TavroReasoning::parse("1. open Chats\n2) tap Tuli\r\n• type hi in Message\n{ignored\n  - tap Send  \n*\n");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->steps, (std::vector<std::string>{"open Chats", "tap Tuli", "type hi in Message", "tap Send"}));
    EXPECT_TRUE(p->intent.empty());
    EXPECT_TRUE(p->done.empty());
    EXPECT_TRUE(p->ask.empty());
}

TEST(ReasoningParse, EveryLineBreakCharacterSplitsLines) {
    const auto p = TavroReasoning::parse("a\vb\fc\u0085d\u2028e\u2029f");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->steps, (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
}

TEST(ReasoningParse, ASingleWordIsOneStep) {
    const auto p = TavroReasoning::parse("ok");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->steps, std::vector<std::string>{"ok"});
}

TEST(ReasoningParse, InvalidJSONBetweenBracesIsReadAsLines) {
    const auto p = TavroReasoning::parse("{\"steps\": [tap Save\ntap Done}\n");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->steps, std::vector<std::string>{"tap Done}"});
    EXPECT_EQ(TavroReasoning::parse("{\"a\"\n}"), (TavroReasoning{.steps = {"}"}}));
    EXPECT_EQ(TavroReasoning::parse("{\n}"), TavroReasoning{});
    EXPECT_EQ(TavroReasoning::parse("} tap Save {"), (TavroReasoning{.steps = {"} tap Save {"}}));
}

TEST(ReasoningParse, LinesBeyondTenAreDropped) {
    std::string reply;
    for (int i = 1; i <= 30; ++i) reply += std::to_string(i) + ". step " + std::to_string(i) + "\n";
    const auto p = TavroReasoning::parse(reply);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->steps.size(), 10u);
    EXPECT_EQ(p->steps.back(), "step 10");
}

TEST(ReasoningParse, HostileRepliesNeverFailAndGiveWellFormedText) {
    const std::vector<std::string> replies = {
        std::string(100000, '{') + std::string(100000, '}'),
        "{\"steps\":" + std::string(5000, '[') + std::string(5000, ']') + "}",
        std::string("\xff\xfe tap \xc3\n\x80\x80 save"),
        std::string("{\"intent\":\"\xff\"}\n- tap \xe2\x82"),
        std::string(50000, '\n'),
        std::string(20000, '-') + " x",
    };
    for (const auto& reply : replies) {
        const auto p = TavroReasoning::parse(reply);
        if (!p) continue;
        EXPECT_LE(p->steps.size(), 10u);
        for (const auto& s : p->steps) {
            EXPECT_FALSE(s.empty());
            EXPECT_TRUE(TavroText::isValidUTF8(s));
        }
    }
}

// ---- Summary ----

TEST(ReasoningSummary, IntentStepsAndDone) {
    EXPECT_EQ((TavroReasoning{"", "hi sent", {"a", "b", "c"}, ""}).summary(), "Working on it · 3 steps · done when: hi sent");
    EXPECT_EQ((TavroReasoning{"Send hi", "", {}, ""}).summary(), "Send hi");
    EXPECT_EQ((TavroReasoning{"Send hi", "", {"a"}, ""}).summary(), "Send hi · 1 steps");
}

TEST_F(Japanese, SummaryInJapanese) {
    EXPECT_EQ((TavroReasoning{"", "送信済み", {"a", "b"}, ""}).summary(), "実行します · 2 手順 · 完了の目安: 送信済み");
}

// ---- Completion test ----

TEST(ReasoningIsDone, WithoutADoneDescriptionOnlyTheLenientTestPasses) {
    const TavroScreen screen{.text = "anything"};
    for (const std::string done : {"", "  \t "}) {
        EXPECT_TRUE(plan(done).isDone(screen, false));
        EXPECT_FALSE(plan(done).isDone(screen, true));
    }
}

TEST(ReasoningIsDone, StopWordsNeverCountAsEvidence) {
    const auto p = plan("Message sent to Tuli");
    const TavroScreen without{.text = "Message sent", .elements = {element("button", "Send")}};
    const TavroScreen with{.title = "Chat with Tuli", .elements = {element("button", "Send")}};
    EXPECT_FALSE(p.isDone(without, false));
    EXPECT_FALSE(p.isDone(without, true));
    EXPECT_TRUE(p.isDone(with, false));
    EXPECT_TRUE(p.isDone(with, true));
    // Only stop words: nothing to look for.
    EXPECT_TRUE(plan("The message is shown on the screen").isDone(without, false));
    EXPECT_FALSE(plan("The message is shown on the screen").isDone(without, true));
}

TEST(ReasoningIsDone, LenientNeedsHalfOfTheLongWordsAsSubstrings) {
    const auto p = plan("order placed receipt number");
    EXPECT_TRUE(p.isDone(TavroScreen{.text = "Your ORDER was placed"}, false));      // 2 of 4
    EXPECT_FALSE(p.isDone(TavroScreen{.text = "Your order is pending"}, false));     // 1 of 4
    EXPECT_TRUE(p.isDone(TavroScreen{.text = "reorders replaced"}, false));          // substrings count
}

TEST(ReasoningIsDone, ShortWordsAreUsedWhenNoLongWordIsLeft) {
    // "ok" and "hi" have two characters: not long, but short words.
    EXPECT_TRUE(plan("ok hi").isDone(TavroScreen{.text = "ok"}, false));
    EXPECT_FALSE(plan("ok hi").isDone(TavroScreen{.text = "none"}, false));
    // One-character words are neither.
    EXPECT_TRUE(plan("a b c").isDone(TavroScreen{}, false));
    EXPECT_FALSE(plan("a b c").isDone(TavroScreen{}, true));
}

TEST(ReasoningIsDone, StrictNeedsEveryWordWholeOutsideFieldValues) {
    const auto p = plan("Dark mode on");
    EXPECT_TRUE(p.isDone(TavroScreen{.elements = {element("checkbox", "Dark Mode", "on")}}, true));
    // "mode" inside "modern" is not the whole word.
    EXPECT_FALSE(p.isDone(TavroScreen{.text = "dark modern on"}, true));
    // Field values count for the lenient test only.
    const TavroScreen typed{.elements = {element("input", "Message", "dark mode on")}};
    EXPECT_TRUE(p.isDone(typed, false));
    EXPECT_FALSE(p.isDone(typed, true));
    // The value of an element that is not a field counts.
    EXPECT_TRUE(p.isDone(TavroScreen{.elements = {element("cell", "Theme", "Dark mode on")}}, true));
}

TEST(ReasoningIsDone, WordsOfAnyScriptAndCase) {
    const auto p = plan("Ünïcode 設定 保存");
    EXPECT_TRUE(p.isDone(TavroScreen{.text = "ÜNÏCODE: 設定・保存"}, true));
    EXPECT_FALSE(p.isDone(TavroScreen{.text = "ÜNÏCODE: 設定"}, true));
    EXPECT_TRUE(p.isDone(TavroScreen{.text = "ÜNÏCODE: 設定"}, false));
}
