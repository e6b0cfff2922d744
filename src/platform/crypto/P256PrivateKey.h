// A P-256 (prime256v1) private key kept as its PKCS#8 DER bytes: made from fresh randomness or read
// back from stored bytes, which must hold a P-256 key and nothing else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace crypto {

class P256PrivateKey {
public:
    // A new key; nothing when the system's randomness or OpenSSL fails.
    static std::optional<P256PrivateKey> generate();
    // The key in these PKCS#8 DER bytes; nothing when they are not exactly one P-256 private key.
    static std::optional<P256PrivateKey> fromPKCS8(std::string_view der);

    const std::string& pkcs8() const { return der_; }

    bool operator==(const P256PrivateKey&) const = default;

private:
    explicit P256PrivateKey(std::string der) : der_(std::move(der)) {}
    std::string der_;
};

}  // namespace crypto
