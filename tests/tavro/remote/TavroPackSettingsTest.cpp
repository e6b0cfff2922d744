#include <gtest/gtest.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "tavro/remote/TavroPackSettings.h"

using namespace tavro;

TEST(TavroPackKeys, TheBuiltInKeyIsAP256PublicKey) {
    const auto& keys = TavroPackKeys::nemtora();
    ASSERT_EQ(keys.size(), 1u);
    ASSERT_EQ(keys.begin()->first, "tavro-pack-1");
    const std::string& pem = keys.begin()->second;
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    ASSERT_NE(bio, nullptr);
    EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_NE(key, nullptr);
    char group[64] = {};
    size_t length = 0;
    EXPECT_EQ(EVP_PKEY_get_base_id(key), EVP_PKEY_EC);
    EXPECT_EQ(EVP_PKEY_get_utf8_string_param(key, "group", group, sizeof group, &length), 1);
    EXPECT_STREQ(group, "prime256v1");
    EVP_PKEY_free(key);
}
