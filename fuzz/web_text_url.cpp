// Typed text of any shape read as a web address. An address it gives must begin with "http" (any
// case), hold no blank or control character, and read back as itself.
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tavro/surfaces/TavroWebText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view typed(reinterpret_cast<const char*>(data), size);
    const auto url = tavro::TavroWebText::url(typed);
    if (!url) return 0;
    if (url->size() < 4 || ::strncasecmp(url->c_str(), "http", 4) != 0) std::abort();
    for (const char c : *url) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) std::abort();
    }
    if (tavro::TavroWebText::url(*url) != url) std::abort();
    return 0;
}
