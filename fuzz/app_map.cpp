// App map files of any shape: read, then hints for a few goals from a fixed screen, and the map
// written back and read again. Hints must stay within their limit; a map read must survive its own
// round trip unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tavro/remote/TavroAppMap.h"

using namespace tavro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto map = TavroAppMap::parse(text);
    if (!map) return 0;

    static const TavroScreen screen{.location = "home", .title = "Home", .text = "Welcome"};
    for (const std::string_view goal : {"turn on dark mode in settings", "profile photo", "送信 設定", "a b"}) {
        for (const int limit : {0, 1, 3}) {
            if (map->hints(goal, screen, limit).size() > static_cast<std::size_t>(limit)) std::abort();
        }
    }
    TavroScreen elsewhere = screen;
    elsewhere.location = map->start;
    (void)map->hints("settings profile help", elsewhere, 5);

    const auto json = map->toJSON();
    const auto again = TavroAppMap::parse(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    if (!again) std::abort();
    // Texts that were not valid UTF-8 are repaired on the way out; compare what was written.
    if (again->toJSON().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) !=
        json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
        std::abort();
    return 0;
}
