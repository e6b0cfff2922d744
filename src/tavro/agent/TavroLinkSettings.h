// The remote link's part of the host's configuration: where the relay server is and the pairing
// details the host hands over. The configuration carries it unchanged to the link, which starts
// when settings are present and stops when they are absent.
#pragma once

#include <optional>
#include <string>

namespace tavro {

struct TavroLinkSettings {
    // Base address of the messaging service's relay that the link talks to.
    std::string relay;
    // A pairing code the host already holds for a tester's account; absent means the link pairs
    // through its own pairing panel.
    std::optional<std::string> pairingCode;

    bool operator==(const TavroLinkSettings&) const = default;
};

}  // namespace tavro
