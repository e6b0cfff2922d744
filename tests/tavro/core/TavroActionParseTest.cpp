#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tavro/core/TavroAction.h"

using namespace tavro;
using Kind = TavroAction::Kind;

namespace {

struct ReadCase {
    const char* name;
    std::string reply;
    std::optional<TavroAction> expected;
};

TavroAction act(Kind kind, std::optional<std::int64_t> id = std::nullopt, std::string text = "", bool submit = false,
                std::string thought = "") {
    return TavroAction{.kind = kind, .id = id, .text = std::move(text), .submit = submit, .thought = std::move(thought)};
}

}  // namespace

TEST(TavroActionParse, ReadsRepliesInEveryForm) {
    const std::vector<ReadCase> cases = {
        {"plain object", R"({"thought":"open it","action":"click","id":12,"text":"","submit":false})",
         act(Kind::click, 12, "", false, "open it")},
        {"fenced with prose",
         "Sure, here it is:\n```json\n{\"action\":\"type\",\"id\":3,\"text\":\"hi\",\"submit\":true}\n```\nDone.",
         act(Kind::type, 3, "hi", true)},
        {"bare fence", "```\n{\"action\":\"back\"}\n```", act(Kind::back)},
        {"array holding one object", R"([{"action":"scroll","text":"down"}])", act(Kind::scroll, std::nullopt, "down")},
        {"two objects", R"({"action":"click","id":1} {"action":"click","id":2})", std::nullopt},
        {"list of texts", R"(["click", "12"])", std::nullopt},
        {"prose only", "I would tap the Save button.", std::nullopt},
        {"closing brace before opening", "} then {", std::nullopt},
        {"empty", "", std::nullopt},
        {"not json inside braces", "{action: click}", std::nullopt},
        {"other keys ignored", R"({"action":"done","text":"ok","extra":[1,2,{"a":null}]})",
         act(Kind::done, std::nullopt, "ok")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TavroAction::parse(c.reply), c.expected) << c.name;
    }
}

TEST(TavroActionParse, KindWordsAndAliases) {
    const std::vector<std::pair<std::string, std::optional<Kind>>> cases = {
        {"click", Kind::click},
        {"CLICK", Kind::click},
        {"Tap", Kind::click},
        {"  tap\t", Kind::click},
        {"long press", Kind::longPress},
        {"longPress", Kind::longPress},
        {"longpress", Kind::longPress},
        {"openWeb", Kind::openWeb},
        {"open web", Kind::openWeb},
        {"open", Kind::navigate},
        {"saveImage", Kind::saveImage},
        {"save image", Kind::saveImage},
        {"go to", Kind::navigate},
        {"press and hold", Kind::longPress},
        {"answer", Kind::done},
        {"pick", Kind::select},
        {"error", Kind::fail},
        {"share sheet", Kind::share},
        {"copy text", Kind::copy},
        {"paste", Kind::paste},
        {"jump", std::nullopt},
        {"open  web", std::nullopt},  // two blanks give two underscores
        {"", std::nullopt},
        {"tap\n", std::nullopt},  // line breaks are not trimmed from the kind word
    };
    for (const auto& [word, kind] : cases) {
        std::string escaped;
        for (const char c : word) {
            if (c == '\n') escaped += "\\n";
            else if (c == '\t') escaped += "\\t";
            else escaped += c;
        }
        const std::string reply = "{\"action\":\"" + escaped + "\",\"id\":1}";
        const auto action = TavroAction::parse(reply);
        if (kind) {
            ASSERT_TRUE(action.has_value()) << word;
            EXPECT_EQ(action->kind, *kind) << word;
        } else {
            EXPECT_FALSE(action.has_value()) << word;
        }
    }
}

TEST(TavroActionParse, KindMustBeText) {
    EXPECT_FALSE(TavroAction::parse(R"({"id":1})"));
    EXPECT_FALSE(TavroAction::parse(R"({"action":1,"id":1})"));
    EXPECT_FALSE(TavroAction::parse(R"({"action":["click"]})"));
    EXPECT_FALSE(TavroAction::parse(R"({"action":null})"));
}

TEST(TavroActionParse, IdForms) {
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
        {"12", 12},
        {"\"12\"", 12},
        {"\"#12\"", 12},
        {"\"id 7!\"", 7},
        {"\" 12 \"", 12},
        {"\"none\"", std::nullopt},
        {"\"-1\"", std::nullopt},  // a number written as text keeps its sign
        {"\" -7\"", std::nullopt},
        {"\"3.9\"", 3},            // and its fraction is cut as for a number
        {"\"1e2\"", 100},
        {"\"#-1\"", 1},            // otherwise only the digits count
        {"\"012\"", 12},
        {"\"\"", std::nullopt},
        {"-1", std::nullopt},
        {"3.9", 3},
        {"0", 0},
        {"-0.5", 0},
        {"true", 1},
        {"false", 0},
        {"null", std::nullopt},
        {"[3]", std::nullopt},
        {"{\"n\":3}", std::nullopt},
        {"9223372036854775807", 9223372036854775807LL},
        {"9223372036854775808", std::nullopt},
        {"18446744073709551616", std::nullopt},
        {"1e300", std::nullopt},
        {"\"9223372036854775807\"", 9223372036854775807LL},
        {"\"9223372036854775808\"", std::nullopt},
        {"\"\xef\xbc\x95\"", std::nullopt},  // a full-width 5 is numeric but not a plain decimal
        {"\"\xe2\x91\xa0\"", std::nullopt},  // a circled 1 likewise
    };
    for (const auto& [id, expected] : cases) {
        const auto action = TavroAction::parse("{\"action\":\"click\",\"id\":" + id + ",\"text\":\"x\"}");
        ASSERT_TRUE(action.has_value()) << id;
        EXPECT_EQ(action->id, expected) << id;
        EXPECT_EQ(action->text, "x") << id;
    }
}

TEST(TavroActionParse, TextComesFromTheFirstTextKey) {
    EXPECT_EQ(TavroAction::parse(R"({"action":"select","id":2,"value":"Large"})")->text, "Large");
    EXPECT_EQ(TavroAction::parse(R"({"action":"done","answer":"42 items"})")->text, "42 items");
    EXPECT_EQ(TavroAction::parse(R"({"action":"navigate","route":"Settings"})")->text, "Settings");
    EXPECT_EQ(TavroAction::parse(R"({"action":"type","text":7,"value":"seven"})")->text, "seven");
    EXPECT_EQ(TavroAction::parse(R"({"action":"type","text":"a","value":"b"})")->text, "a");
    EXPECT_EQ(TavroAction::parse(R"({"action":"type","text":"  padded  "})")->text, "  padded  ");
    EXPECT_EQ(TavroAction::parse(R"({"action":"type","text":null})")->text, "");
}

TEST(TavroActionParse, SubmitForms) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"true", true},     {"false", false},     {"1", true},        {"0", false},   {"2", false},
        {"1.0", true},      {"\"TRUE\"", true},   {"\"true\"", true}, {"\"yes\"", false},
        {"\"1\"", false},   {"null", false},      {"[true]", false},
    };
    for (const auto& [submit, expected] : cases) {
        const auto action = TavroAction::parse("{\"action\":\"type\",\"id\":1,\"text\":\"a\",\"submit\":" + submit + "}");
        ASSERT_TRUE(action.has_value()) << submit;
        EXPECT_EQ(action->submit, expected) << submit;
    }
    EXPECT_FALSE(TavroAction::parse(R"({"action":"type"})")->submit);
}

TEST(TavroActionParse, ThoughtOnlyWhenText) {
    EXPECT_EQ(TavroAction::parse(R"({"action":"back","thought":"keyboard up"})")->thought, "keyboard up");
    EXPECT_EQ(TavroAction::parse(R"({"action":"back","thought":5})")->thought, "");
}

TEST(TavroActionParse, FencesInsideTextsAreRemovedToo) {
    // The fence markers are removed from the whole reply before it is read.
    EXPECT_EQ(TavroAction::parse(R"({"action":"copy","text":"a```json b```c"})")->text, "a bc");
}

TEST(TavroActionParse, HostileRepliesGiveNothing) {
    EXPECT_FALSE(TavroAction::parse(std::string(100000, '{') + "\"action\":\"click\"" + std::string(100000, '}')));
    EXPECT_FALSE(TavroAction::parse("{\"action\":\"click\",\"x\":" + std::string(600, '[') + std::string(600, ']') + "}"));
    EXPECT_FALSE(TavroAction::parse("{\"action\":\"cl\xff\xfeick\"}"));
    EXPECT_FALSE(TavroAction::parse("{\"action\":\"click\",\"text\":\"\xc3\"}"));
    EXPECT_FALSE(TavroAction::parse(R"({"action":"click","id":NaN})"));
    EXPECT_FALSE(TavroAction::parse(R"({"action":"click","id":Infinity})"));
    // A number beyond what a double holds is not read as JSON at all.
    EXPECT_FALSE(TavroAction::parse(R"({"action":"click","id":1e400})"));
    EXPECT_FALSE(TavroAction::parse(std::string("{\"action\":\"click\"\0}", 19)));
    // Deep nesting inside a text is only text.
    const auto nestedText = TavroAction::parse("{\"action\":\"ask\",\"text\":\"" + std::string(2000, '[') + "\"}");
    ASSERT_TRUE(nestedText.has_value());
    EXPECT_EQ(nestedText->text.size(), 2000u);
    // A long but ordinary reply is read.
    const std::string prose(200000, 'x');
    EXPECT_EQ(TavroAction::parse(prose + R"({"action":"back"})" + prose), act(Kind::back));
}

TEST(TavroActionParse, FirstUseFromManyThreadsAtOnce) {
    // Each test runs in its own process, so this is the first use of the kind tables.
    std::vector<std::thread> threads;
    std::vector<std::optional<TavroAction>> results(8);
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] { results[i] = TavroAction::parse(R"({"action":"press and hold","id":4})"); });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, act(Kind::longPress, 4));
}

TEST(TavroActionParse, EveryAliasNamesItsKind) {
    const std::vector<std::pair<std::string, Kind>> table = {
        {"tap", Kind::click},           {"press", Kind::click},        {"activate", Kind::click},
        {"toggle", Kind::click},        {"check", Kind::click},        {"fill", Kind::type},
        {"input", Kind::type},          {"enter", Kind::type},         {"write", Kind::type},
        {"set", Kind::type},            {"choose", Kind::select},      {"pick", Kind::select},
        {"adjust", Kind::select},       {"goto", Kind::navigate},      {"go_to", Kind::navigate},
        {"open", Kind::navigate},       {"route", Kind::navigate},     {"question", Kind::ask},
        {"ask_user", Kind::ask},        {"fling", Kind::swipe},        {"slide", Kind::swipe},
        {"drag", Kind::swipe},          {"long_press", Kind::longPress}, {"longpress", Kind::longPress},
        {"hold", Kind::longPress},      {"press_and_hold", Kind::longPress}, {"browser", Kind::openWeb},
        {"open_web", Kind::openWeb},    {"web", Kind::openWeb},        {"google", Kind::openWeb},
        {"copy_text", Kind::copy},      {"paste_text", Kind::paste},   {"save_to_photos", Kind::saveImage},
        {"save_photo", Kind::saveImage}, {"save_image", Kind::saveImage}, {"share_sheet", Kind::share},
        {"finish", Kind::done},         {"answer", Kind::done},        {"complete", Kind::done},
        {"stop", Kind::fail},           {"error", Kind::fail},
    };
    ASSERT_EQ(table.size(), 41u);
    for (const auto& [word, kind] : table) {
        const auto action = TavroAction::parse("{\"action\":\"" + word + "\"}");
        ASSERT_TRUE(action.has_value()) << word;
        EXPECT_EQ(action->kind, kind) << word;
    }
    // Near misses of the table's words name nothing.
    for (const char* word : {"taps", "go", "save", "long", "ask user please", "share_it", "quit", "select_option"}) {
        EXPECT_FALSE(TavroAction::parse("{\"action\":\"" + std::string(word) + "\"}").has_value()) << word;
    }
}
