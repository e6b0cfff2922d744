// Byte counts as the short texts people read for file sizes, in decimal units (1 KB = 1000 bytes):
// "Zero KB", "1 byte", "999 bytes", "1 KB", "2.5 MB", "1.2 GB". Kilobytes are shown whole;
// megabytes and larger units with at most one decimal, a trailing ".0" dropped. Values are rounded
// to the shown precision, and a value that rounds up to 1000 of a unit is shown in the next unit.
#pragma once

#include <cstdint>
#include <string>

namespace fnd {

class ByteCountFormatter {
public:
    ByteCountFormatter() = delete;

    // The file style: the size of a file on disk or a download.
    static std::string file(std::int64_t bytes);
};

}  // namespace fnd
