// What the demo command prints: marks printed once.
#include <gtest/gtest.h>

#include "demo/DemoOutput.h"

namespace {

TEST(DemoOutput, EveryLineCarriesItsMarkOnce) {
    EXPECT_EQ(demo::logLine("Open Settings", true, 550), "✓ Open Settings (550 ms)");
    EXPECT_EQ(demo::logLine("✓ Done.", true, 0), "✓ Done.");
    EXPECT_EQ(demo::logLine("Tap “Save”", false, 0), "✗ Tap “Save”");

    tavro::TavroRunReport report{.ok = true,
                                 .status = "Done.",
                                 .steps = {{"Open Settings", true}, {"Tap “Dark\nMode”", false}, {"✓ Done.", true}},
                                 .ms = {550, 0, 0}};
    EXPECT_EQ(demo::stepsList(report), "1. ✓ Open Settings · 550 ms\n2. ✗ Tap “Dark\\nMode”\n3. ✓ Done.");
    EXPECT_EQ(demo::stepsList(tavro::TavroRunReport{}), "(none)");
}

TEST(DemoOutput, TheScreenReadingShowsTheVisibleTextEscaped) {
    tavro::TavroScreen screen{.location = "Home", .title = "Home", .text = "Welcome\nto \x1b[31mthe app"};
    screen.elements.push_back(tavro::TavroElement{.id = 1, .kind = "button", .label = "Pro\x1b" "file", .inView = true});
    const auto reading = demo::screenReading(screen);
    EXPECT_NE(reading.find("SCREEN: Home\nTITLE: Home\nTEXT: Welcome\\nto \\x1b[31mthe app\n"), std::string::npos)
        << reading;
    EXPECT_NE(reading.find("Pro\\x1bfile"), std::string::npos) << reading;
    EXPECT_EQ(reading.find('\x1b'), std::string::npos);
}

}  // namespace
