#include "platform/crypto/P256PrivateKey.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace crypto {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Info = std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)>;

bool isP256(EVP_PKEY* key) {
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return false;
    char group[64] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_group_name(key, group, sizeof group, &length) != 1) return false;
    return std::string_view(group, length) == "prime256v1";
}

std::optional<std::string> encode(EVP_PKEY* key) {
    const Info info(EVP_PKEY2PKCS8(key), PKCS8_PRIV_KEY_INFO_free);
    if (!info) return std::nullopt;
    unsigned char* bytes = nullptr;
    const int length = i2d_PKCS8_PRIV_KEY_INFO(info.get(), &bytes);
    if (length <= 0 || !bytes) return std::nullopt;
    std::string der(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

}  // namespace

std::optional<P256PrivateKey> P256PrivateKey::generate() {
    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    if (!key) return std::nullopt;
    auto der = encode(key.get());
    if (!der) return std::nullopt;
    return P256PrivateKey(std::move(*der));
}

std::optional<P256PrivateKey> P256PrivateKey::fromPKCS8(std::string_view der) {
    if (der.empty() || der.size() > 4096) return std::nullopt;
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    const Info info(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, static_cast<long>(der.size())),
                    PKCS8_PRIV_KEY_INFO_free);
    // Trailing bytes after the structure mean these are not the bytes of one key.
    if (!info || cursor != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) return std::nullopt;
    const Key key(EVP_PKCS82PKEY(info.get()), EVP_PKEY_free);
    if (!isP256(key.get())) return std::nullopt;
    return P256PrivateKey(std::string(der));
}

}  // namespace crypto
