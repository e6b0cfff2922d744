#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

#include "platform/crypto/Base64.h"
#include "platform/crypto/P256PublicKey.h"
#include "platform/crypto/P256SigningKey.h"
#include "platform/crypto/Sha256.h"

using namespace crypto;

namespace {

std::string hex(const Sha256Digest& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const auto byte : digest) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

// The public key of a freshly generated key of another kind, as PEM.
std::string otherPublicKeyPEM(EVP_PKEY* key) {
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> owned(key, &EVP_PKEY_free);
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_PUBKEY(bio.get(), owned.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

TEST(CryptoSha256, KnownDigests) {
    EXPECT_EQ(hex(sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_NE(hex(sha256(std::string("a\0b", 3))), hex(sha256("a"))) << "bytes after a zero count";
}

TEST(CryptoBase64, RoundTripsAndRefusesEverythingNotStrictlyStandard) {
    for (const std::string& bytes : {std::string(), std::string("f"), std::string("fo"), std::string("foo"), std::string("foob"),
                                    std::string("\0\xff\x10\x80", 4)}) {
        EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes);
    }
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(base64Decode("Zm9vYg=="), "foob");
    EXPECT_EQ(base64Decode("+/+/"), std::string("\xfb\xff\xbf", 3));
    for (const char* bad : {"Zm9vYg", "Zm9vYg=", "Zm9v\nYmFy", "Zm9vYmF", "Zm-_", "Zm==Zm9v", "Zg=a", "====", "Zh==", "Zm9=",
                            "Zm9v YmFy"}) {
        EXPECT_EQ(base64Decode(bad), std::nullopt) << bad;
    }
}

TEST(CryptoP256, SignaturesVerifyOnlyForTheirMessageAndKey) {
    const auto signer = P256SigningKey::generate();
    const auto key = P256PublicKey::fromPEM(signer.publicKeyPEM());
    ASSERT_TRUE(key.has_value());
    const std::string message = "{\"version\": 3}";
    const auto signature = signer.sign(message);
    EXPECT_TRUE(key->verify(message, signature));

    std::string otherMessage = message;
    otherMessage[2] ^= 1;
    EXPECT_FALSE(key->verify(otherMessage, signature));
    for (std::size_t at : {std::size_t{0}, std::size_t{5}, signature.size() - 1}) {
        std::string flipped = signature;
        flipped[at] ^= 0x01;
        EXPECT_FALSE(key->verify(message, flipped)) << "byte " << at;
    }
    EXPECT_FALSE(key->verify(message, ""));
    EXPECT_FALSE(key->verify(message, signature.substr(0, signature.size() / 2)));
    EXPECT_FALSE(key->verify(message, signature + "x")) << "trailing bytes after the DER signature";
    EXPECT_FALSE(key->verify(message, std::string(72, '\x30')));

    const auto stranger = P256PublicKey::fromPEM(P256SigningKey::generate().publicKeyPEM());
    ASSERT_TRUE(stranger.has_value());
    EXPECT_FALSE(stranger->verify(message, signature));
}

TEST(CryptoP256, PrivateKeysRoundTripThroughPkcs8AndNothingElseReads) {
    const auto key = P256SigningKey::generate();
    const auto der = key.pkcs8();
    const auto back = P256SigningKey::fromPKCS8(der);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->pkcs8(), der);
    EXPECT_EQ(back->publicKeyPEM(), key.publicKeyPEM());
    EXPECT_NE(P256SigningKey::generate().pkcs8(), der);

    EXPECT_FALSE(P256SigningKey::fromPKCS8(""));
    EXPECT_FALSE(P256SigningKey::fromPKCS8("garbage"));
    EXPECT_FALSE(P256SigningKey::fromPKCS8(der + "x")) << "trailing bytes";
    EXPECT_FALSE(P256SigningKey::fromPKCS8(der.substr(0, der.size() - 1)));
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> other(EVP_EC_gen("secp384r1"), &EVP_PKEY_free);
    const std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)> info(EVP_PKEY2PKCS8(other.get()),
                                                                                         &PKCS8_PRIV_KEY_INFO_free);
    unsigned char* bytes = nullptr;
    const int length = i2d_PKCS8_PRIV_KEY_INFO(info.get(), &bytes);
    ASSERT_GT(length, 0);
    const std::string p384(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    EXPECT_FALSE(P256SigningKey::fromPKCS8(p384)) << "a P-384 key is no P-256 key";
}

TEST(CryptoP256, OnlyP256PublicKeysLoad) {
    EXPECT_FALSE(P256PublicKey::fromPEM("").has_value());
    EXPECT_FALSE(P256PublicKey::fromPEM("not a key").has_value());
    EXPECT_FALSE(P256PublicKey::fromPEM("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n").has_value());
    EXPECT_FALSE(P256PublicKey::fromPEM(otherPublicKeyPEM(EVP_EC_gen("secp384r1"))).has_value());
    EXPECT_FALSE(P256PublicKey::fromPEM(otherPublicKeyPEM(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"))).has_value());

    const auto pem = P256SigningKey::generate().publicKeyPEM();
    EXPECT_TRUE(P256PublicKey::fromPEM(pem).has_value());
    EXPECT_FALSE(P256PublicKey::fromPEM(pem.substr(0, pem.size() / 2)).has_value());
}
