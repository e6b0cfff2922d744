#include <gtest/gtest.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "tavro/agent/TavroConfiguration.h"
#include "tavro/models/AppleIntelligenceModel.h"

using namespace tavro;

TEST(TavroConfigurationDefaults, EveryFieldHasItsDefault) {
    const TavroConfiguration config;
    ASSERT_EQ(config.models.size(), 1u);
    EXPECT_NE(std::dynamic_pointer_cast<AppleIntelligenceModel>(config.models[0]), nullptr);
    EXPECT_EQ(config.approval, TavroApproval::deleteOrPay);
    EXPECT_TRUE(config.autoRun);
    EXPECT_TRUE(config.showsCursor);
    EXPECT_TRUE(config.showsGlow);
    EXPECT_TRUE(config.showsLauncher);
    EXPECT_EQ(config.maxSteps, 30);
    EXPECT_TRUE(config.routes.empty());
    ASSERT_TRUE(config.knownDetails);
    EXPECT_TRUE(config.knownDetails().empty());
    EXPECT_TRUE(config.knownDetails().empty()) << "empty on every call";
    EXPECT_FALSE(config.onStep);
    EXPECT_TRUE(config.excludedIdentifierPrefixes.empty());
    EXPECT_TRUE(config.allowsLearning);
    EXPECT_TRUE(config.learns);
    EXPECT_FALSE(config.debug);
    EXPECT_EQ(config.link, std::nullopt);
    ASSERT_TRUE(config.packs);
    EXPECT_EQ(config.packs->base, "https://packs.tavro.example");
    EXPECT_EQ(config.packs->keys, TavroPackKeys::nemtora());
    EXPECT_DOUBLE_EQ(config.packs->interval, 21600.0);
    EXPECT_FALSE(config.qa.has_value());
    EXPECT_TRUE(config.voice);
}

TEST(TavroConfigurationDefaults, TheBuiltInPackKeyIsAP256PublicKey) {
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

TEST(TavroConfigurationValues, StoresWhatItIsGivenUnchecked) {
    int opened = 0;
    std::vector<std::string> steps;
    const TavroConfiguration config{
        .models = {},
        .approval = TavroApproval::never,
        .maxSteps = -3,
        .routes = {{"settings", [&] { ++opened; }}, {"chats", [] {}}},
        .knownDetails = [] { return std::vector<std::string>{"name: Tuli"}; },
        .onStep = [&](std::string line) { steps.push_back(std::move(line)); },
        .excludedIdentifierPrefixes = {"secret."},
        .link = TavroLinkSettings{.relay = "https://relay.example"},
        .packs = std::nullopt,
        .qa = TavroQAHooks{},
        .voice = false,
    };
    EXPECT_TRUE(config.models.empty());
    EXPECT_EQ(config.maxSteps, -3);
    EXPECT_FALSE(config.packs) << "packs switched off";
    EXPECT_EQ(config.link->relay, "https://relay.example");
    EXPECT_TRUE(config.qa.has_value());
    EXPECT_FALSE(config.qa->reset);
    EXPECT_FALSE(config.voice);

    std::vector<std::string> names;
    for (const auto& [name, action] : config.routes) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"chats", "settings"}));
    config.routes.at("settings")();
    EXPECT_EQ(opened, 1);
    config.onStep("tap Save");
    EXPECT_EQ(steps, std::vector<std::string>{"tap Save"});
    EXPECT_EQ(config.knownDetails(), std::vector<std::string>{"name: Tuli"});
}

TEST(TavroConfigurationValues, CopiesAreIndependent) {
    TavroConfiguration original;
    TavroConfiguration copy = original;
    copy.maxSteps = 5;
    copy.excludedIdentifierPrefixes.push_back("x");
    copy.routes["home"] = [] {};
    copy.packs->interval = 60;
    copy.models.clear();
    EXPECT_EQ(original.maxSteps, 30);
    EXPECT_TRUE(original.excludedIdentifierPrefixes.empty());
    EXPECT_TRUE(original.routes.empty());
    EXPECT_DOUBLE_EQ(original.packs->interval, 21600.0);
    EXPECT_EQ(original.models.size(), 1u);
}
