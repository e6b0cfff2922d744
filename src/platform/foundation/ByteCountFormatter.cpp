#include "platform/foundation/ByteCountFormatter.h"

#include <array>
#include <cstdint>

namespace fnd {

namespace {

using Wide = std::uint64_t;  // holds the magnitude of every signed 64-bit count

constexpr std::array<const char*, 6> kUnits{"KB", "MB", "GB", "TB", "PB", "EB"};

// The count in tenths of the unit 1000^(power + 1), rounded half up.
Wide tenths(Wide bytes, int power) {
    Wide unit = 1000;
    for (int i = 0; i < power; ++i) unit *= 1000;
    return (bytes + unit / 20) / (unit / 10);
}

std::string wholeText(Wide n) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    } while (n != 0);
    return digits;
}

std::string magnitude(Wide bytes) {
    if (bytes == 0) return "Zero KB";
    if (bytes == 1) return "1 byte";
    if (bytes < 1000) return wholeText(bytes) + " bytes";
    // The smallest unit in which the count stays below 1000 once rounded (in tenths: 10000).
    // Kilobytes are rounded to whole ones.
    int power = 0;
    for (;;) {
        const Wide shown = power == 0 ? (bytes + 500) / 1000 * 10 : tenths(bytes, power);
        const bool last = power + 1 == static_cast<int>(kUnits.size());
        if (shown < 10000 || last) {
            std::string text = wholeText(shown / 10);
            if (shown % 10 != 0) text += "." + wholeText(shown % 10);
            return text + " " + kUnits[static_cast<std::size_t>(power)];
        }
        ++power;
    }
}

}  // namespace

std::string ByteCountFormatter::file(std::int64_t bytes) {
    if (bytes >= 0) return magnitude(static_cast<Wide>(bytes));
    // The magnitude of the most negative count is taken without overflowing.
    return "-" + magnitude(static_cast<Wide>(-(bytes + 1)) + 1);
}

}  // namespace fnd
