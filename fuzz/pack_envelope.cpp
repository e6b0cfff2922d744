// Feeds arbitrary bytes to the pack envelope verification with a fixed key. Verification must give
// a pack or refuse with TavroPack::Invalid, never crash or throw anything else; an accepted pack
// must be accepted again and refused as a rollback below its own version.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "tavro/remote/TavroPackLoader.h"

namespace {

const std::map<std::string, std::string>& keys() {
    static const std::map<std::string, std::string> table{
        {"maker-1",
         "-----BEGIN PUBLIC KEY-----\n"
         "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE8Fli9mC7iE4wfM1KCF4h/QV+3LNR\n"
         "3p4riUBqmTHaaj2SrZ3Xqag3xgXOgzfTr6aJEKL+pJnTkQ4Ynmgsjs8FAw==\n"
         "-----END PUBLIC KEY-----\n"},
        {"broken", "-----BEGIN PUBLIC KEY-----\nMFkw\n-----END PUBLIC KEY-----\n"},
    };
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view envelope(reinterpret_cast<const char*>(data), size);
    using tavro::TavroPackLoader;
    try {
        const auto pack = TavroPackLoader::verify(envelope, keys(), std::nullopt);
        if (TavroPackLoader::verify(envelope, keys(), pack.version).version != pack.version) std::abort();
        if (pack.version == INT32_MIN) return 0;
        try {
            (void)TavroPackLoader::verify(envelope, keys(), pack.version + 1);
            std::abort();  // a lower version than the active one was accepted
        } catch (const tavro::TavroPack::Invalid& invalid) {
            if (invalid.reason() != tavro::TavroPack::Invalid::Reason::rollback) std::abort();
        }
    } catch (const tavro::TavroPack::Invalid& invalid) {
        if (std::string_view(invalid.what()).find('\n') != std::string_view::npos) std::abort();
    }
    return 0;
}
