#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/foundation/ByteCountFormatter.h"

using fnd::ByteCountFormatter;

TEST(ByteCountFormatter, FileSizesAtTheBoundariesOfEachUnit) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "Zero KB"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {999, "999 bytes"},
        {1000, "1 KB"},
        {1499, "1 KB"},
        {1500, "2 KB"},          // kilobytes are whole, rounded
        {999'499, "999 KB"},
        {999'500, "1 MB"},       // rounding up to 1000 KB moves to the next unit
        {1'040'000, "1 MB"},     // ".0" is dropped
        {1'050'000, "1.1 MB"},
        {2'500'000, "2.5 MB"},
        {999'949'999, "999.9 MB"},
        {999'950'000, "1 GB"},
        {1'234'567'890, "1.2 GB"},
        {3'000'000'000'000, "3 TB"},
        {std::numeric_limits<std::int64_t>::max(), "9.2 EB"},
        {std::numeric_limits<std::int64_t>::min(), "-9.2 EB"},
        {-1, "-1 byte"},
        {-2'500'000, "-2.5 MB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(ByteCountFormatter::file(bytes), text) << bytes;
}
