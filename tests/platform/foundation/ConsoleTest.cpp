#include <gtest/gtest.h>

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
