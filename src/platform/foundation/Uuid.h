// Random (version 4) UUIDs from OpenSSL's generator, with their text form
// ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F", upper-case) and parsing of that form.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fnd {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();
    // Accepts the 8-4-4-4-12 hexadecimal form in either letter case; nothing for anything else.
    static std::optional<Uuid> parse(std::string_view text);

    std::string text() const;

    auto operator<=>(const Uuid&) const = default;
};

}  // namespace fnd
