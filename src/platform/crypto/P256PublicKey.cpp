#include "platform/crypto/P256PublicKey.h"

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <climits>

namespace crypto {

bool detail::isP256(EVP_PKEY* key) {
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return false;
    char name[64] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, name, sizeof name, &length) != 1) return false;
    return std::string_view(name, length) == "prime256v1";
}

std::optional<P256PublicKey> P256PublicKey::fromPEM(std::string_view pem) {
    if (pem.empty() || pem.size() > INT_MAX) return std::nullopt;
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    if (!bio) return std::nullopt;
    std::shared_ptr<EVP_PKEY> key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    if (!detail::isP256(key.get())) return std::nullopt;
    return P256PublicKey(std::move(key));
}

bool P256PublicKey::verify(std::string_view message, std::string_view derSignature) const {
    return verifyDigest(sha256(message), derSignature);
}

bool P256PublicKey::verifyDigest(const Sha256Digest& digest, std::string_view derSignature) const {
    if (derSignature.empty()) return false;
    const std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new(key_.get(), nullptr),
                                                                            &EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_verify_init(context.get()) != 1) return false;
    if (EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) != 1) return false;
    // 1 is a good signature; 0 a bad one and a negative value one that is not even DER.
    return EVP_PKEY_verify(context.get(), reinterpret_cast<const unsigned char*>(derSignature.data()), derSignature.size(),
                           digest.data(), digest.size()) == 1;
}

}  // namespace crypto
