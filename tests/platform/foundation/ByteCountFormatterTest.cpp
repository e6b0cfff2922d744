#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/foundation/ByteCountFormatter.h"

using fnd::ByteCountFormatter;

TEST(ByteCountFormatterFile, BytesBelowAKilobyte) {
    EXPECT_EQ(ByteCountFormatter::file(0), "Zero KB");
    EXPECT_EQ(ByteCountFormatter::file(1), "1 byte");
    EXPECT_EQ(ByteCountFormatter::file(2), "2 bytes");
    EXPECT_EQ(ByteCountFormatter::file(999), "999 bytes");
}

TEST(ByteCountFormatterFile, KilobytesAreWholeAndRounded) {
    EXPECT_EQ(ByteCountFormatter::file(1000), "1 KB");
    EXPECT_EQ(ByteCountFormatter::file(1499), "1 KB");
    EXPECT_EQ(ByteCountFormatter::file(1500), "2 KB");
    EXPECT_EQ(ByteCountFormatter::file(999'499), "999 KB");
}

TEST(ByteCountFormatterFile, LargerUnitsKeepOneDecimalAndDropPointZero) {
    EXPECT_EQ(ByteCountFormatter::file(1'000'000), "1 MB");
    EXPECT_EQ(ByteCountFormatter::file(1'040'000), "1 MB");
    EXPECT_EQ(ByteCountFormatter::file(1'050'000), "1.1 MB");
    EXPECT_EQ(ByteCountFormatter::file(2'500'000), "2.5 MB");
    EXPECT_EQ(ByteCountFormatter::file(1'234'567'890), "1.2 GB");
    EXPECT_EQ(ByteCountFormatter::file(3'000'000'000'000), "3 TB");
}

TEST(ByteCountFormatterFile, RoundingUpToAThousandMovesToTheNextUnit) {
    EXPECT_EQ(ByteCountFormatter::file(999'500), "1 MB");
    EXPECT_EQ(ByteCountFormatter::file(999'949'999), "999.9 MB");
    EXPECT_EQ(ByteCountFormatter::file(999'950'000), "1 GB");
}

TEST(ByteCountFormatterFile, ExtremesAndNegativeCounts) {
    EXPECT_EQ(ByteCountFormatter::file(std::numeric_limits<std::int64_t>::max()), "9.2 EB");
    EXPECT_EQ(ByteCountFormatter::file(std::numeric_limits<std::int64_t>::min()), "-9.2 EB");
    EXPECT_EQ(ByteCountFormatter::file(-1), "-1 byte");
    EXPECT_EQ(ByteCountFormatter::file(-2'500'000), "-2.5 MB");
}
