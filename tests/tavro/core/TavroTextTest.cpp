#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "OptionChoiceCases.h"
#include "platform/foundation/PreferredLanguages.h"
#include "tavro/core/TavroText.h"

using tavro::L;
namespace T = tavro::TavroText;
using Groups = std::vector<std::string>;

namespace {

struct LanguageOverride : ::testing::Test {
    ~LanguageOverride() override { fnd::PreferredLanguages::reset(); }
};

}  // namespace

// ---- L ----

TEST_F(LanguageOverride, JapaneseFirstPicksJapanese) {
    fnd::PreferredLanguages::setOverride(Groups{"ja-JP", "en-US"});
    EXPECT_EQ(L("Settings", "設定"), "設定");
}

TEST_F(LanguageOverride, OnlyTheFirstTagDecides) {
    fnd::PreferredLanguages::setOverride(Groups{"en-JP", "ja"});
    EXPECT_EQ(L("Settings", "設定"), "Settings");
}

TEST_F(LanguageOverride, EmptyListPicksEnglish) {
    fnd::PreferredLanguages::setOverride(Groups{});
    EXPECT_EQ(L("Settings", "設定"), "Settings");
}

TEST_F(LanguageOverride, TagComparedCaseSensitively) {
    fnd::PreferredLanguages::setOverride(Groups{"JA-jp"});
    EXPECT_EQ(L("Settings", "設定"), "Settings");
}

TEST_F(LanguageOverride, ChangeTakesEffectOnNextCall) {
    fnd::PreferredLanguages::setOverride(Groups{"en"});
    EXPECT_EQ(L("Yes", "はい"), "Yes");
    fnd::PreferredLanguages::setOverride(Groups{"ja"});
    EXPECT_EQ(L("Yes", "はい"), "はい");
}

// ---- norm ----

TEST(TextNorm, KeepsLettersAndNumbersOfAnyScript) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Save & Exit!", "saveexit"},
        {"設定 (2)", "設定2"},
        {"Wi-Fi", "wifi"},
        {"!!! ... ???", ""},
        {"", ""},
        {"ÉCOLE Été", "écoleété"},
        {"ＡＢＣ１", "ａｂｃ１"},          // full-width letters and digits
        {"٣ items", "٣items"},             // Arabic-Indic digit
        {"Chapter Ⅻ", "chapterⅻ"},        // letter number, lower-cased
        {"👍 Like", "like"},               // emoji are symbols
        {"Cafe\u0301!", "cafe\u0301"},     // combining accent stays with its letter
        {"ΟΔΟΣ", "οδος"},                  // full lower-casing, final sigma included
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(T::norm(in), want) << in;
}

TEST(TextNorm, IllFormedUtf8IsDroppedNotFatal) {
    EXPECT_EQ(T::norm("Sa\xff\xfeve"), "save");
    EXPECT_EQ(T::norm("\xc3"), "");
}

// ---- groups and the pattern helpers ----

TEST(TextGroups, ReturnsCaptureGroupsOfFirstMatch) {
    EXPECT_EQ(T::groups("(\\d+)\\s*(yen|円)", "pay 1200 YEN then 30 yen"), (Groups{"1200", "YEN"}));
    EXPECT_EQ(T::groups("(\\d+)円", "価格は1200円です"), (Groups{"1200"}));
}

TEST(TextGroups, MatchWithoutGroupsIsEmptyListAndNoMatchIsNothing) {
    EXPECT_EQ(T::groups("settings", "Open SETTINGS now"), Groups{});
    EXPECT_EQ(T::groups("profile", "Open settings"), std::nullopt);
}

TEST(TextGroups, GroupThatTookNoPartIsEmptyText) {
    EXPECT_EQ(T::groups("(a)?(b)", "xb"), (Groups{"", "b"}));
}

TEST(TextGroups, UnicodePropertiesAndLookAheadWork) {
    EXPECT_EQ(T::groups("(\\p{L}+)(?=\\d)", "-- 設定2 --"), (Groups{"設定"}));
    EXPECT_EQ(T::groups("turn (on|off)(?! the)", "turn on the light, turn off wifi"), (Groups{"off"}));
}

TEST(TextGroups, InvalidPatternGivesNothingAndIsCompiledOnce) {
    const std::string bad = "(unclosed[ pattern for once-only test";
    const auto before = T::compileCount();
    EXPECT_EQ(T::groups(bad, "anything"), std::nullopt);
    EXPECT_EQ(T::groups(bad, "anything else"), std::nullopt);
    EXPECT_FALSE(T::isValidPattern(bad));
    EXPECT_EQ(T::compileCount() - before, 1u);
}

TEST(TextGroups, ValidPatternIsCompiledOncePerCaseChoice) {
    const std::string p = "(x+)y once-only test";
    const auto before = T::compileCount();
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(T::groups(p, "XXy once-only test").has_value());
    EXPECT_EQ(T::compileCount() - before, 1u);
    EXPECT_EQ(T::firstMatch(p, "XXy once-only test", false), std::nullopt);
    EXPECT_EQ(T::compileCount() - before, 2u);
}

TEST(TextGroups, CatastrophicBacktrackingEndsAsNoMatch) {
    const std::string hostile = "(a+)+$";
    const std::string text = std::string(40, 'a') + "!";
    EXPECT_EQ(T::groups(hostile, text), std::nullopt);
    EXPECT_EQ(T::replaceAll(hostile, text, "x"), text);
    EXPECT_TRUE(T::allMatches(hostile, text).empty());
    // The same pattern still answers normally afterwards.
    EXPECT_EQ(T::groups(hostile, "aaa"), (Groups{"aaa"}));
}

TEST(TextGroups, IllFormedTextIsRepairedBeforeMatching) {
    EXPECT_EQ(T::groups("(b)", "a\xff" "b"), (Groups{"b"}));
    const auto all = T::groups("(.)(.)(.)", "a\xff" "b");
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ((*all)[1], "\uFFFD");
}

TEST(TextGroups, ConcurrentCallersShareTheCache) {
    std::vector<std::thread> threads;
    std::vector<int> good(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &good] {
            for (int i = 0; i < 200; ++i) {
                const auto text = "item " + std::to_string(t * 1000 + i) + " ok";
                const auto g = T::groups("item (\\d+) (ok)", text);
                if (g && (*g)[0] == std::to_string(t * 1000 + i) && (*g)[1] == "ok") ++good[t];
                if (i % 50 == 0) T::resetPatternCache();
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(good[t], 200) << t;
}

TEST(TextPatterns, FirstMatchHonoursCaseChoice) {
    EXPECT_EQ(T::firstMatch("abc", "ABC"), Groups{});
    EXPECT_EQ(T::firstMatch("abc", "ABC", false), std::nullopt);
    EXPECT_EQ(T::firstMatchText("\\d+ms", "took 350MS"), "350MS");
    EXPECT_TRUE(T::matches("^\\s*done", "  Done!"));
    EXPECT_FALSE(T::matches("^done", "undone"));
}

TEST(TextPatterns, AllMatchesGivesWholeMatchThenGroups) {
    const auto all = T::allMatches("(\\w+)=(\\w*)", "a=1, b=, 名前=太郎");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], (Groups{"a=1", "a", "1"}));
    EXPECT_EQ(all[1], (Groups{"b=", "b", ""}));
    EXPECT_EQ(all[2], (Groups{"名前=太郎", "名前", "太郎"}));
}

TEST(TextPatterns, ReplaceAllUsesGroupsAndKeepsTextOnFailure) {
    EXPECT_EQ(T::replaceAll("\\s+", " a \n\t b  ", " "), " a b ");
    EXPECT_EQ(T::replaceAll("(\\w+)@(\\w+)", "ann@host bob@net", "$2:$1"), "host:ann net:bob");
    EXPECT_EQ(T::replaceAll("SECRET", "a secret b", "***"), "a *** b");
    EXPECT_EQ(T::replaceAll("(", "keep (me)", "x"), "keep (me)");
    EXPECT_EQ(T::replaceAll("(a)", "banana", "$9"), "banana");
    EXPECT_EQ(T::replaceAll("x", "\xff" "x", "y"), "\uFFFDy");
}

// ---- edits and fuzzyEqual ----

TEST(TextEdits, LevenshteinOverCharacters) {
    struct Case {
        std::string a, b;
        int want;
    };
    const std::vector<Case> cases = {
        {"", "abc", 3},
        {"abc", "", 3},
        {"kitten", "sitting", 3},
        {"Tab", "tab", 1},                                                  // case counts
        {"設定", "設計", 1},
        {"👨‍👩‍👧", "👨‍👩‍👦", 1},  // a family is one character
        {"e\u0301", "e", 1},
        {"a\r\nb", "a\nb", 1},
        {"flaw", "lawn", 2},
    };
    for (const auto& c : cases) EXPECT_EQ(T::edits(c.a, c.b), c.want) << c.a << " / " << c.b;
}

TEST(TextFuzzy, AllowedDistanceFollowsShorterLength) {
    struct Case {
        std::string a, b;
        bool want;
    };
    const std::vector<Case> cases = {
        {"tab", "tap", true},           {"to", "tp", false},       {"settings", "setings", true},
        {"profile", "prolife", true},   {"save", "saver", true},   {"save", "safes", false},
        {"", "", true},                 {"ab", "ab", true},        {"profile", "pxxfile", true},
        {"profile", "pxxxile", false},  {"設定画面", "設定画", true}, {"abcde", "abxye", false},
    };
    for (const auto& c : cases) EXPECT_EQ(T::fuzzyEqual(c.a, c.b), c.want) << c.a << " / " << c.b;
}

TEST(TextFuzzy, AgreesWithTheRuleOverFullEditDistance) {
    // Random short texts over a small alphabet (with a two-byte letter and a combined character)
    // checked against the rule computed from the unbounded distance.
    const std::vector<std::string> alphabet = {"a", "b", "c", "é", "e\u0301"};
    unsigned seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    const auto randomText = [&] {
        std::string t;
        for (unsigned n = next() % 9; n > 0; --n) t += alphabet[next() % alphabet.size()];
        return t;
    };
    for (int i = 0; i < 3000; ++i) {
        const auto a = randomText(), b = randomText();
        const auto m = std::min(T::count(a), T::count(b));
        const bool want = a == b || (m >= 3 && T::edits(a, b) <= (m < 6 ? 1 : 2));
        ASSERT_EQ(T::fuzzyEqual(a, b), want) << a << " / " << b;
        ASSERT_EQ(T::edits(a, b), T::edits(b, a)) << a << " / " << b;
    }
}

// ---- match ----

TEST(TextMatch, ExactPassBeatsEarlierPrefixCandidate) {
    EXPECT_EQ(T::match("settings", {"Settings & Privacy", "Settings"}), "Settings");
}

TEST(TextMatch, PassesInOrder) {
    const std::vector<std::string> names = {"Notifications", "Dark Mode", "Display & Brightness", "Profile"};
    EXPECT_EQ(T::match("dark", names), "Dark Mode");                        // prefix
    EXPECT_EQ(T::match("brightness", names), "Display & Brightness");       // contained
    EXPECT_EQ(T::match("open the profile page", names), "Profile");         // contains the name
    EXPECT_EQ(T::match("notifcations", names), "Notifications");            // fuzzy
    EXPECT_EQ(T::match("camera", names), std::nullopt);
}

TEST(TextMatch, ReturnsTheNameAsGiven) {
    EXPECT_EQ(T::match("WI FI", {"Bluetooth", "Wi-Fi"}), "Wi-Fi");
}

TEST(TextMatch, EmptyOrPunctuationTextMatchesNothing) {
    EXPECT_EQ(T::match("", {"", "Save"}), std::nullopt);
    EXPECT_EQ(T::match("?!", {"...", "Save"}), std::nullopt);
}

TEST(TextMatch, NameThatNormalisesToEmptyNeverMatches) {
    EXPECT_EQ(T::match("profile", {"⭐️", "…", "My Profile"}), "My Profile");
    EXPECT_EQ(T::match("camera", {"⭐️"}), std::nullopt);
}

// ---- unquote ----

TEST(TextUnquote, TrimsBlanksThenQuotes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  \u201Chello\u201D ", "hello"},
        {"\u300C設定\u300D", "設定"},
        {"\u201C hi \u201D", " hi "},
        {"\n'\"Save\"'\t", "Save"},
        {"\u300E\u2018x\u2019\u300F", "x"},
        {"it's \"ok\" now", "it's \"ok\" now"},
        {"\"\"", ""},
        {"", ""},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(T::unquote(in), want) << in;
}

TEST(TextUnquote, TakesOffOnlyPairsThatEncloseTheWholeText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\"hello 'there'\"", "hello 'there'"},  // the inner pair and its closing quote stay
        {"the students'", "the students'"},        // an apostrophe at the end has no partner
        {"'tis", "'tis"},
        {"\"hello", "\"hello"},
        {"\u201Chello\"", "\u201Chello\""},  // a curly opening quote is not closed by a straight one
        {"\u300C設定\u300F", "\u300C設定\u300F"},
        {"\"'ok'\"", "ok"},
        {"\"", "\""},
        {"'", "'"},
        {"\u201C\u201D", ""},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(T::unquote(in), want) << in;
}

// ---- characters ----

TEST(TextCharacters, CountsUserPerceivedCharacters) {
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"", 0},
        {"hello", 5},
        {"日本語", 3},
        {"👨‍👩‍👧‍👦", 1},
        {"🇯🇵🇺🇸", 2},
        {"e\u0301", 1},
        {"a\r\nb", 3},
        {"\xff\xfe", 2},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(T::count(in), want) << in;
}

TEST(TextCharacters, PrefixCutsWholeCharacters) {
    EXPECT_EQ(T::prefix("👨‍👩‍👧abc", 2), "👨‍👩‍👧a");
    EXPECT_EQ(T::prefix("設定画面を開く", 4), "設定画面");
    EXPECT_EQ(T::prefix("Cafe\u0301 au lait", 4), "Cafe\u0301");
    EXPECT_EQ(T::prefix("short", 40), "short");
    EXPECT_EQ(T::prefix("abc", 0), "");
    EXPECT_EQ(T::prefix("a\r\nb", 2), "a\r\n");
    EXPECT_TRUE(T::isValidUTF8(T::prefix("a\xe3\x81", 5)));
    EXPECT_EQ(T::characters("a👍🏽b"), (Groups{"a", "👍🏽", "b"}));
}

TEST(TextCharacters, TrimsWhiteSpaceAndGivenSets) {
    EXPECT_EQ(T::trim("  \n\t hi there \r\n"), "hi there");
    EXPECT_EQ(T::trim("\u3000全角\u00A0"), "全角");
    EXPECT_EQ(T::trim(" \n "), "");
    EXPECT_EQ(T::trim("--==title==--", "=-"), "title");
    EXPECT_EQ(T::trim("。「はい」。", "。"), "「はい」");
    // A set character carrying a combining mark is a different character and stays.
    EXPECT_EQ(T::trim("\"\u0301x\"", "\""), "\"\u0301x");
}

TEST(TextCharacters, LowerIsFullUnicodeLowerCasing) {
    EXPECT_EQ(T::lower("HELLO World"), "hello world");
    EXPECT_EQ(T::lower("ÀÉÎ"), "àéî");
    EXPECT_EQ(T::lower("\u0130"), "i\u0307");  // dotted capital I lowers to two code points
    EXPECT_EQ(T::lower("ΣΑΣ"), "σας");
    EXPECT_TRUE(T::containsIgnoringCase("Turn ON Dark Mode", "on dark"));
    EXPECT_FALSE(T::containsIgnoringCase("Light", "dark"));
}

TEST(TextCharacters, RepairReplacesEachIllFormedSequence) {
    EXPECT_TRUE(T::isValidUTF8("日本 ok"));
    for (const std::string bad : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe3\x81", "\x80"}) {
        EXPECT_FALSE(T::isValidUTF8(bad));
        EXPECT_TRUE(T::isValidUTF8(T::repaired(bad)));
    }
    EXPECT_EQ(T::repaired("a\xffz"), "a\uFFFDz");
}

// ---- Folding and options ----

TEST(TextOptions, FoldTakesAccentsAndFullWidthFormsOffButKeepsOtherScripts) {
    EXPECT_EQ(T::fold("Français"), "francais");
    EXPECT_EQ(T::fold("ＳＨＯＰ ｄｅｌｅｔｅ"), "shopdelete");
    EXPECT_EQ(T::fold("Ёлка"), "елка");
    EXPECT_EQ(T::fold("ガイド"), "ガイド") << "a kana's voicing is another letter";
    EXPECT_EQ(T::foldedWords("Shop and ｄｅｌｅｔｅ, удалить 删除账户"),
              (Groups{"shop", "and", "delete", "удалить", "删除账户"}));
}

TEST(TextOptions, AnOptionIsChosenAsEveryChoiceOfAnOptionChoosesIt) {
    for (const auto& c : optioncases::cases()) {
        std::string options;
        for (const auto& o : c.options) options += o + "|";
        EXPECT_EQ(T::option(c.value, c.options), c.chosen) << c.value << " among " << options;
    }
}
