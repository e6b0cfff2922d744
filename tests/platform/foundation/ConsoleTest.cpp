#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/foundation/Console.h"

namespace {

TEST(Console, ControlCharactersAreWrittenOutAndOtherTextIsKept) {
    EXPECT_EQ(fnd::Console::printable("open Settings\x1b[2J\x07 now"), "open Settings\\x1b[2J\\x07 now");
    EXPECT_EQ(fnd::Console::printable("a\nb\r\tc\x7f"), "a\\nb\\r\\tc\\x7f");
    EXPECT_EQ(fnd::Console::printable("next\xc2\x85line \xc2\x9b" "31m"), "next\\u0085line \\u009b31m");
    EXPECT_EQ(fnd::Console::printable("Tap “Buy Mug” · 設定 é"), "Tap “Buy Mug” · 設定 é");
    EXPECT_EQ(fnd::Console::printable("cut \xc2"), "cut \xc2") << "a lone lead byte at the end is left alone";
}

TEST(Console, AWrittenLineIsOneLineWithoutControlSequences) {
    const fnd::Console::Capture capture(false);
    fnd::Console::write("[TAVRO_SDK] start goal=open \x1b]0;title\x07 Settings\nsecond");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines().front(), "[TAVRO_SDK] start goal=open \\x1b]0;title\\x07 Settings\\nsecond");
}

}  // namespace

namespace {

// Clears the host's handler however the test ends.
struct HandlerGuard {
    ~HandlerGuard() { fnd::Console::setHandler(nullptr); }
};

TEST(Console, AHostHandlerTakesTheLinesInPlaceOfStandardOutputUntilCleared) {
    const HandlerGuard guard;
    std::vector<std::string> routed;
    fnd::Console::setHandler([&routed](std::string_view line) { routed.emplace_back(line); });

    testing::internal::CaptureStdout();
    const fnd::Console::Capture capture;  // records, and echoes to the handler
    fnd::Console::write("[TAVRO_SDK] start goal=tap\nSave");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(routed, std::vector<std::string>{"[TAVRO_SDK] start goal=tap\\nSave"});
    EXPECT_TRUE(capture.contains("start goal=tap")) << "captures record with a handler set";

    {
        const fnd::Console::Capture quiet(false);
        fnd::Console::write("[TAVRO_SDK] fail kept quiet");
    }
    EXPECT_EQ(routed.size(), 1u) << "a capture without echo keeps the line off the handler too";

    fnd::Console::setHandler([](std::string_view) {});  // silenced
    testing::internal::CaptureStdout();
    fnd::Console::write("[TAVRO_SDK] fail nowhere");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(routed.size(), 1u) << "a replaced handler is not called again";

    fnd::Console::setHandler(nullptr);
    testing::internal::CaptureStdout();
    fnd::Console::write("[TAVRO_SDK] fail back");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[TAVRO_SDK] fail back\n");
}

TEST(Console, ALineWhoseHandlerThrowsGoesToStandardErrorAndNoFurther) {
    const HandlerGuard guard;
    std::vector<std::string> routed;
    fnd::Console::setHandler([&routed](std::string_view line) {
        if (line.find("fail") != std::string_view::npos) throw std::runtime_error("log full");
        routed.emplace_back(line);
    });
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(fnd::Console::write("[TAVRO_SDK] fail I couldn't find the next control."));
    fnd::Console::write("[TAVRO_SDK] start goal=tap Save");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[TAVRO_SDK] fail I couldn't find the next control.\n");
    EXPECT_EQ(routed, std::vector<std::string>{"[TAVRO_SDK] start goal=tap Save"}) << "the handler is kept";
}

}  // namespace
