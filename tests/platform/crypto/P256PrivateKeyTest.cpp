#include <gtest/gtest.h>

#include "platform/crypto/P256PrivateKey.h"

namespace {

TEST(P256PrivateKey, KeysRoundTripThroughPkcs8AndNothingElseReads) {
    const auto key = crypto::P256PrivateKey::generate();
    ASSERT_TRUE(key);
    const auto other = crypto::P256PrivateKey::generate();
    ASSERT_TRUE(other);
    EXPECT_NE(key->pkcs8(), other->pkcs8());
    EXPECT_EQ(crypto::P256PrivateKey::fromPKCS8(key->pkcs8()), key);

    EXPECT_FALSE(crypto::P256PrivateKey::fromPKCS8(""));
    EXPECT_FALSE(crypto::P256PrivateKey::fromPKCS8("garbage"));
    EXPECT_FALSE(crypto::P256PrivateKey::fromPKCS8(key->pkcs8() + "x"));
    EXPECT_FALSE(crypto::P256PrivateKey::fromPKCS8(key->pkcs8().substr(0, key->pkcs8().size() - 1)));
}

}  // namespace
