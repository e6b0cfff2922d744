// Where remote configuration packs come from and which keys may sign them. The configuration
// carries one of these (by default the maker's pack server, the built-in key table and a check
// every six hours); the pack loader uses it to fetch and verify packs.
#pragma once

#include <map>
#include <string>

namespace tavro {

// The built-in table of pack-signing public keys, from key id to a P-256 public key in PEM text.
struct TavroPackKeys {
    static const std::map<std::string, std::string>& nemtora();
};

struct TavroPackSettings {
    // The maker's pack server. The name is reserved and never resolves until a real server is set.
    static constexpr const char* defaultBase = "https://packs.tavro.example";

    // Address of the pack server.
    std::string base = defaultBase;
    // Key id to public-key text; a pack envelope is accepted only when signed by one of these.
    std::map<std::string, std::string> keys = TavroPackKeys::nemtora();
    // Seconds between checks for a new pack.
    double interval = 21600.0;

    bool operator==(const TavroPackSettings&) const = default;
};

}  // namespace tavro
