// A P-256 private key that makes ECDSA signatures with SHA-256 in DER form, through OpenSSL 3: the
// signing half of P256PublicKey. A value type: copies share the immutable key.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

typedef struct evp_pkey_st EVP_PKEY;

namespace crypto {

class P256SigningKey {
public:
    // A fresh random key.
    static P256SigningKey generate();
    // The key in these PKCS#8 DER bytes; nothing unless they hold exactly one P-256 private key.
    static std::optional<P256SigningKey> fromPKCS8(std::string_view der);

    // The private key as PKCS#8 DER bytes, for storing it.
    std::string pkcs8() const;

    // The DER-encoded ECDSA signature over the SHA-256 digest of the message.
    std::string sign(std::string_view message) const;
    // The public half as PEM text ("-----BEGIN PUBLIC KEY-----").
    std::string publicKeyPEM() const;

private:
    explicit P256SigningKey(std::shared_ptr<EVP_PKEY> key) : key_(std::move(key)) {}
    std::shared_ptr<EVP_PKEY> key_;
};

}  // namespace crypto
