// A P-256 (prime256v1) public key and ECDSA verification with SHA-256, through OpenSSL 3. Loaded
// from PEM text ("-----BEGIN PUBLIC KEY-----", the SubjectPublicKeyInfo form that
// `openssl ec -pubout` writes); a key of another curve or algorithm does not load. A value type:
// copies share the immutable key.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/crypto/Sha256.h"

typedef struct evp_pkey_st EVP_PKEY;

namespace crypto {

class P256PublicKey {
public:
    // Nothing when the text is not a PEM public key on the P-256 curve.
    static std::optional<P256PublicKey> fromPEM(std::string_view pem);

    // Whether `derSignature` (an ECDSA signature in DER form, as OpenSSL and `openssl dgst -sign`
    // write it) signs the SHA-256 digest of `message` with this key.
    bool verify(std::string_view message, std::string_view derSignature) const;
    bool verifyDigest(const Sha256Digest& digest, std::string_view derSignature) const;

private:
    explicit P256PublicKey(std::shared_ptr<EVP_PKEY> key) : key_(std::move(key)) {}
    std::shared_ptr<EVP_PKEY> key_;
};

namespace detail {
// Whether an OpenSSL key is an elliptic-curve key on P-256 (prime256v1).
bool isP256(EVP_PKEY* key);
}  // namespace detail

}  // namespace crypto
