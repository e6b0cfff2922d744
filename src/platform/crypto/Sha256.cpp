#include "platform/crypto/Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace crypto {

Sha256Digest sha256(std::string_view bytes) {
    Sha256Digest digest{};
    unsigned int size = 0;
    // EVP_Digest fails only when OpenSSL cannot allocate or lacks SHA-256 altogether.
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1 || size != digest.size()) {
        throw std::runtime_error("SHA-256 is not available");
    }
    return digest;
}

}  // namespace crypto
