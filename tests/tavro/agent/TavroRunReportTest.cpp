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
    EXPECT_EQ(TavroRunReport{}.stepsText(), "");
}

TEST(RunReportStepsText, OnlyDurationsOfOneMillisecondOrMoreArePrinted) {
    TavroRunReport report{.steps = {{"a", true}, {"b", true}, {"c", false}}, .ms = {1, -5, 0}};
    EXPECT_EQ(report.stepsText(), "1. ✓ a · 1 ms\n2. ✓ b\n3. ✗ c");
}

TEST(RunReportStepsText, AShortenedDurationListLeavesLaterStepsWithoutOne) {
    TavroRunReport report{.steps = {{"a", true}, {"b", false}, {"c", true}}, .ms = {10, 20, 30}};
    report.ms.resize(1);
    EXPECT_EQ(report.stepsText(), "1. ✓ a · 10 ms\n2. ✗ b\n3. ✓ c");
    report.ms.clear();
    EXPECT_EQ(report.stepsText(), "1. ✓ a\n2. ✗ b\n3. ✓ c");
}

}  // namespace
}  // namespace tavro
