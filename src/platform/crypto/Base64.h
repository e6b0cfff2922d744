// Standard base64 (RFC 4648 alphabet with "+" and "/", padded with "=").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace crypto {

std::string base64Encode(std::string_view bytes);

// Strict decoding: the length is a multiple of four, padding only at the end, only alphabet
// characters, and the unused bits of the last character are zero. Anything else is nothing.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace crypto
