#include <gtest/gtest.h>

#include "tavro/agent/TavroRunReport.h"

namespace tavro {
namespace {

TEST(RunReportStepsText, NumbersLinesWithMarksAndDurations) {
    TavroRunReport report{.ok = false,
                          .status = "x",
                          .steps = {{"Tap “Settings”", true, 812}, {"Tap “Buy”", false, 0}}};
    EXPECT_EQ(report.stepsText(), "1. ✓ Tap “Settings” · 812 ms\n2. ✗ Tap “Buy”");
}

TEST(RunReportStepsText, NoStepsIsEmpty) { EXPECT_EQ(TavroRunReport{}.stepsText(), ""); }

TEST(RunReportStepsText, DurationOfOneMillisecondIsShownAndNegativeIsNot) {
    TavroRunReport report{.steps = {{"a", true, 1}, {"b", true, -5}}};
    EXPECT_EQ(report.stepsText(), "1. ✓ a · 1 ms\n2. ✓ b");
}

TEST(RunReportStepsText, ADurationClearedByTheCallerIsNotPrinted) {
    TavroRunReport report{.steps = {{"a", true, 10}, {"b", false, 20}, {"c", true, 30}}};
    for (std::size_t i = 1; i < report.steps.size(); ++i) report.steps[i].ms = 0;
    EXPECT_EQ(report.stepsText(), "1. ✓ a · 10 ms\n2. ✗ b\n3. ✓ c");
}

}  // namespace
}  // namespace tavro
