// SHA-256 digests, through OpenSSL.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace crypto {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The SHA-256 digest of the bytes.
Sha256Digest sha256(std::string_view bytes);

}  // namespace crypto
