#include "platform/crypto/P256SigningKey.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <stdexcept>

#include "platform/crypto/Sha256.h"

namespace crypto {

P256SigningKey P256SigningKey::generate() {
    std::shared_ptr<EVP_PKEY> key(EVP_EC_gen("prime256v1"), &EVP_PKEY_free);
    if (!key) throw std::runtime_error("P-256 key generation failed");
    return P256SigningKey(std::move(key));
}

std::optional<P256SigningKey> P256SigningKey::fromPKCS8(std::string_view der) {
    if (der.empty() || der.size() > 4096) return std::nullopt;
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    const std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)> info(
        d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, static_cast<long>(der.size())), &PKCS8_PRIV_KEY_INFO_free);
    // Bytes left after the structure mean these are not the bytes of one key.
    if (!info || cursor != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) return std::nullopt;
    std::shared_ptr<EVP_PKEY> key(EVP_PKCS82PKEY(info.get()), &EVP_PKEY_free);
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC) return std::nullopt;
    char group[64] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_group_name(key.get(), group, sizeof group, &length) != 1 ||
        std::string_view(group, length) != "prime256v1") {
        return std::nullopt;
    }
    return P256SigningKey(std::move(key));
}

std::string P256SigningKey::pkcs8() const {
    const std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)> info(EVP_PKEY2PKCS8(key_.get()),
                                                                                         &PKCS8_PRIV_KEY_INFO_free);
    unsigned char* bytes = nullptr;
    const int length = info ? i2d_PKCS8_PRIV_KEY_INFO(info.get(), &bytes) : -1;
    if (length <= 0 || !bytes) throw std::runtime_error("writing a private key failed");
    std::string der(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

std::string P256SigningKey::sign(std::string_view message) const {
    const auto digest = sha256(message);
    const std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new(key_.get(), nullptr),
                                                                            &EVP_PKEY_CTX_free);
    std::size_t size = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 || EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &size, digest.data(), digest.size()) != 1) {
        throw std::runtime_error("ECDSA signing failed");
    }
    std::string signature(size, '\0');
    if (EVP_PKEY_sign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size, digest.data(), digest.size()) != 1) {
        throw std::runtime_error("ECDSA signing failed");
    }
    signature.resize(size);
    return signature;
}

std::string P256SigningKey::publicKeyPEM() const {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!bio || PEM_write_bio_PUBKEY(bio.get(), key_.get()) != 1) throw std::runtime_error("writing a public key failed");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace crypto
