#include "platform/crypto/P256SigningKey.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <stdexcept>

#include "platform/crypto/Sha256.h"

namespace crypto {

P256SigningKey P256SigningKey::generate() {
    std::shared_ptr<EVP_PKEY> key(EVP_EC_gen("prime256v1"), &EVP_PKEY_free);
    if (!key) throw std::runtime_error("P-256 key generation failed");
    return P256SigningKey(std::move(key));
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
