// Pack JSON of any shape: read, then its goal rewrites and verb synonyms applied to a few goals,
// and the pack written back and read again. Must end in bounded time and never fail; a pack read
// must survive its own round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto pack = TavroPack::parse(text);
    if (!pack) return 0;

    for (const std::string_view goal : {"hit like 3 times", "  buy 2 apples\n", "", "送信して", "\xff\xfe tap Save"}) {
        const std::string rewritten = pack->rewrite(goal);
        if (rewritten != TavroText::trim(rewritten)) std::abort();
        (void)pack->verb(goal);
        (void)pack->verb(rewritten);
    }
    (void)pack->promptNotes();

    const auto again = TavroPack::parse(pack->toJSON().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    if (!again) std::abort();
    if (again->version != pack->version || again->verbs.size() > pack->verbs.size()) std::abort();
    return 0;
}
