#include <gtest/gtest.h>

#include "tavro/agent/TavroRepeat.h"

using tavro::TavroAction;
using tavro::TavroPerformedStep;
using tavro::TavroRepeat;

namespace {

struct CountCase {
    const char* goal;
    const char* rest;  // nullptr: no count
    int times;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << '"' << c.goal << '"'; }

class RepeatParse : public ::testing::TestWithParam<CountCase> {};

TEST_P(RepeatParse, CutsTheCountOutOfTheGoal) {
    const auto& c = GetParam();
    const auto parsed = TavroRepeat::parse(c.goal);
    if (c.rest == nullptr) {
        EXPECT_FALSE(parsed.has_value()) << c.goal << " -> " << (parsed ? parsed->goal : "");
        return;
    }
    ASSERT_TRUE(parsed.has_value()) << c.goal;
    EXPECT_EQ(parsed->goal, c.rest);
    EXPECT_EQ(parsed->times, c.times);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, RepeatParse,
    ::testing::Values(CountCase{"like the post five times", "like the post", 5},
                      CountCase{"Do it 10 times in a row", "Do it", 10},
                      CountCase{"tap like twice", "tap like", 2},
                      CountCase{"tap like thrice", "tap like", 3},
                      CountCase{"5x like", "like", 5},
                      CountCase{"x5 like", "like", 5},
                      CountCase{"repeatedly tap like 3 times", "tap like", 3},
                      CountCase{"Repeat 3 times: add a bottle of water", "add a bottle of water", 3},
                      CountCase{"please repeat tap like 4 times", "tap like", 4},
                      CountCase{"5回いいねして", "いいねして", 5},
                      CountCase{"add water 100 times", "add water", 50},
                      CountCase{"add water 50 times", "add water", 50},
                      CountCase{"add water 51 times", "add water", 50},
                      CountCase{"tap like seventeen times", "tap like", 17},
                      CountCase{"tap like fourteen times", "tap like", 14},
                      CountCase{"tap like Five Times", "tap like", 5},
                      CountCase{"send hi to Tuli 3 times", "send hi to Tuli", 3},
                      CountCase{"send hi to Tuli 3 times over", "send hi to Tuli", 3},
                      CountCase{"repeat this 4 times then stop", "then stop", 4},
                      CountCase{"like it twice, please.", "like it , please", 2},
                      CountCase{"add water 1 times", nullptr, 0},
                      CountCase{"add water one times", nullptr, 0},
                      CountCase{"add water once", nullptr, 0},
                      CountCase{"5 times", nullptr, 0},
                      CountCase{"  twice!  ", nullptr, 0},
                      CountCase{"open Settings then turn on Dark Mode", nullptr, 0},
                      CountCase{"fix the box 3", nullptr, 0},
                      CountCase{"", nullptr, 0}));

TEST(RepeatParse, FirstMatchingPatternDecidesEvenWhenItsCountIsUnusable) {
    // "1 times" matches the first pattern; "twice" later in the goal is never looked at.
    EXPECT_FALSE(TavroRepeat::parse("tap like 1 times and twice").has_value());
}

TEST(RepeatParse, CutsTheFirstMatchNotAnEarlierCopyOfItsText) {
    // "twicetwice" holds the text "twice" but no word "twice"; only the last word is cut.
    const auto parsed = TavroRepeat::parse("say twicetwice twice");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->goal, "say twicetwice");
    EXPECT_EQ(parsed->times, 2);
}

TEST(RepeatParse, CollapsesLineBreaksAndBlanksLeftByTheCut) {
    const auto parsed = TavroRepeat::parse("tap\n like   3 times\n\n now");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->goal, "tap like now");
    EXPECT_EQ(parsed->times, 3);
}

TEST(RepeatParse, IllFormedTextGivesAValidGoal) {
    const auto parsed = TavroRepeat::parse(std::string("tap \xff like 3 times"));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->goal, "tap \xEF\xBF\xBD like");
}

TEST(RepeatParse, FullWidthDigitsAreNotACount) {
    EXPECT_FALSE(TavroRepeat::parse("５回いいねして").has_value());
}

// ---- tail ----

TavroPerformedStep step(TavroAction::Kind kind, std::string location, std::string text = {}) {
    TavroPerformedStep s;
    s.action.kind = kind;
    s.action.text = std::move(text);
    s.location = std::move(location);
    return s;
}

TEST(RepeatTail, EmptyStepsGiveNothing) { EXPECT_TRUE(TavroRepeat::tail({}).empty()); }

TEST(RepeatTail, TakesTheStepsOnTheFinalScreenSinceTheLastNavigation) {
    using K = TavroAction::Kind;
    const std::vector<TavroPerformedStep> steps = {
        step(K::click, "Chats", "a"), step(K::navigate, "Chats", "b"), step(K::click, "Tuli", "c"),
        step(K::type, "Tuli", "d"),   step(K::click, "Tuli", "e"),
    };
    const auto tail = TavroRepeat::tail(steps);
    ASSERT_EQ(tail.size(), 3u);
    EXPECT_EQ(tail[0].action.text, "c");
    EXPECT_EQ(tail[1].action.text, "d");
    EXPECT_EQ(tail[2].action.text, "e");
}

TEST(RepeatTail, StopsAtAnotherScreen) {
    using K = TavroAction::Kind;
    const auto tail = TavroRepeat::tail(
        {step(K::click, "Tuli", "x"), step(K::click, "Chats", "open"), step(K::type, "Tuli", "hi"),
         step(K::click, "Tuli", "send")});
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_EQ(tail[0].action.text, "hi");
}

TEST(RepeatTail, LastStepBackOrNavigateGivesNothing) {
    using K = TavroAction::Kind;
    EXPECT_TRUE(TavroRepeat::tail({step(K::click, "Shop"), step(K::back, "Shop")}).empty());
    EXPECT_TRUE(TavroRepeat::tail({step(K::click, "Shop"), step(K::navigate, "Shop", "Home")}).empty());
}

}  // namespace
