// User-defaults files of any shape: opened, every key read as every type, each date written back,
// and the file opened again. Opening must never fail; what was read must read the same after the
// store wrote its own file.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "FuzzScratch.h"

#include "platform/foundation/UserDefaults.h"

using fnd::UserDefaults;

namespace {

const std::filesystem::path& directory() {
    static const std::filesystem::path made = fuzzScratchDirectory("defaults");
    return made;
}

struct Reading {
    std::optional<bool> boolean;
    std::optional<std::int64_t> integer;
    std::optional<double> number;
    std::optional<std::string> string;
    std::optional<UserDefaults::Date> date;

    bool operator==(const Reading& other) const {
        // NaN never equals itself; a stored number is never NaN, but compare bit-blind anyway.
        const bool numbersSame = number.has_value() == other.number.has_value() &&
                                 (!number || *number == *other.number || (*number != *number && *other.number != *other.number));
        return boolean == other.boolean && integer == other.integer && numbersSame && string == other.string &&
               date == other.date;
    }
};

std::map<std::string, Reading> readAll(const UserDefaults& d) {
    std::map<std::string, Reading> out;
    for (const std::string& key : d.keys()) {
        out[key] = Reading{d.boolean(key), d.integer(key), d.number(key), d.string(key), d.date(key)};
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = directory() / "defaults.json";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    {
        const auto defaults = UserDefaults::open(file);
        const auto before = readAll(*defaults);
        for (const auto& [key, reading] : before) {
            if (reading.date) defaults->setDate(key, *reading.date);
        }
        defaults->setBoolean("tavro.sdk.fuzz", true);
        auto after = readAll(*UserDefaults::open(file));
        if (defaults->setAside()) {
            if (after.size() != 1) std::abort();
        } else {
            after.erase("tavro.sdk.fuzz");
            auto expected = before;
            expected.erase("tavro.sdk.fuzz");
            if (after != expected) std::abort();
        }
    }
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory(), ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
    return 0;
}
