#include <gtest/gtest.h>

#include "tavro/agent/TavroRunReport.h"

namespace tavro {
namespace {

TEST(RunReportStepsText, NumbersLinesWithMarksAndDurations) {
    TavroRunReport report{.ok = false,
                          .status = "x",
                          .steps = {{"Tap “Settings”", true}, {"Tap “Buy”", false}},
                          .ms = {812, 0}};
    EXPECT_EQ(report.stepsText(), "1. ✓ Tap “Settings” · 812 ms\n2. ✗ Tap “Buy”");
}

TEST(RunReportStepsText, NoStepsIsEmpty) { EXPECT_EQ(TavroRunReport{}.stepsText(), ""); }

TEST(RunReportStepsText, DurationOfOneMillisecondIsShownAndNegativeIsNot) {
    TavroRunReport report{.steps = {{"a", true}, {"b", true}}, .ms = {1, -5}};
    EXPECT_EQ(report.stepsText(), "1. ✓ a · 1 ms\n2. ✓ b");
}

TEST(RunReportStepsText, ShortenedDurationListPrintsOnlyTheDurationsLeft) {
    TavroRunReport report{.steps = {{"a", true}, {"b", false}, {"c", true}}, .ms = {10, 20, 30}};
    report.ms.resize(1);
    EXPECT_EQ(report.stepsText(), "1. ✓ a · 10 ms\n2. ✗ b\n3. ✓ c");
}

TEST(RunReportStepsText, NoTrailingLineFeed) {
    TavroRunReport report{.steps = {{"only", true}}, .ms = {0}};
    EXPECT_EQ(report.stepsText(), "1. ✓ only");
}

}  // namespace
}  // namespace tavro
