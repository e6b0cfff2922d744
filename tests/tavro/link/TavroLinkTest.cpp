#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/crypto/P256SigningKey.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/MainActor.h"
#include "platform/security/Keychain.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/diagnostics/TavroLog.h"
#include "tavro/diagnostics/TavroNetwork.h"
#include "tavro/link/TavroLink.h"
#include "tavro/remote/TavroRemoteFlags.h"
#include "tavro/surfaces/UIKitSurface.h"

using namespace std::chrono_literals;
using namespace tavro;

namespace {

namespace fs = std::filesystem;

struct Link : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    fnd::Console::Capture console{false};
    fs::path root = fnd::AppDirectories::useFreshTemporaryRoot();
    std::shared_ptr<UIKitSurface> surface = std::make_shared<UIKitSurface>();
    std::shared_ptr<TavroAgent> agent = TavroAgent::create(surface, TavroConfiguration{}, nullptr);

    Link() {
        security::Keychain::setDirectory(root / "keychain");
        fnd::UserDefaults::resetStandard();
        fnd::ProcessInfo::reset();
        ::unsetenv("TAVRO_QA_TOKEN");
        TavroLog::reset();
        TavroNetwork::reset();
        TavroRemoteFlags::reset();
    }
    ~Link() override {
        ::unsetenv("TAVRO_QA_TOKEN");
        fnd::ProcessInfo::reset();
        TavroLog::reset();
        TavroNetwork::reset();
        TavroRemoteFlags::reset();
        security::Keychain::setDirectory(std::nullopt);
        fnd::UserDefaults::resetStandard();
        fnd::AppDirectories::reset();
    }

    std::shared_ptr<TavroLink> link() { return TavroLink::create(agent, surface); }
    int noRelayLines() const {
        int n = 0;
        for (const auto& line : console.lines()) n += line == "[TAVRO_LINK] no relay in this build";
        return n;
    }
};

TEST_F(Link, TheInstallIdLastsAsLongAsTheKeychainItem) {
    const auto first = link();
    const auto& stored = first->stored();
    EXPECT_TRUE(fnd::Uuid::parse(stored.iid));
    EXPECT_TRUE(crypto::P256SigningKey::fromPKCS8(stored.signingKey));
    EXPECT_TRUE(crypto::P256SigningKey::fromPKCS8(stored.agreementKey));
    EXPECT_NE(stored.signingKey, stored.agreementKey);
    EXPECT_EQ(link()->stored(), stored) << "a new link over the same keychain reads the same record";

    security::Keychain::removeAll(TavroLink::keychainService);
    EXPECT_NE(link()->stored().iid, stored.iid);
}

TEST_F(Link, AnUnreadableRecordIsKeptAsideAndReplaced) {
    for (const std::string bad : {"not json", R"({"iid":"x","signingKey":"00","agreementKey":"00"})",
                                  R"({"iid":"6F9619FF-8B86-D011-B42D-00C04FC964FF","signingKey":"zz"})"}) {
        ASSERT_TRUE(security::Keychain::write(TavroLink::keychainService, TavroLink::keychainAccount, bad));
        const auto made = link();
        EXPECT_TRUE(fnd::Uuid::parse(made->stored().iid)) << bad;
        EXPECT_EQ(security::Keychain::read(TavroLink::keychainService, std::string(TavroLink::keychainAccount) +
                                                                           ".unreadable"),
                  bad);
        EXPECT_EQ(link()->stored(), made->stored()) << "the new record was saved";
    }
    TavroLink::Stored paired = link()->stored();
    paired.pairing = TavroLink::Pairing{"tester-1", "key"};
    EXPECT_EQ(TavroLink::Stored::decode(paired.encoded()), paired);

    // A good record with a nested bomb beside it is no record.
    std::string bomb = paired.encoded();
    bomb.insert(bomb.size() - 1, ",\"x\":" + std::string(100000, '[') + std::string(100000, ']'));
    EXPECT_EQ(TavroLink::Stored::decode(bomb), std::nullopt);
}

TEST_F(Link, StartRecordsOnlyWithSettingsAndWhileAllowed) {
    const auto l = link();
    TavroLog::setRecording(true);
    TavroNetwork::setRecording(true);
    l->start();
    EXPECT_FALSE(TavroLog::recording()) << "no settings: the recorders go off";
    EXPECT_FALSE(TavroNetwork::recording());
    EXPECT_EQ(l->state(), TavroLink::State::off);

    l->settings = TavroLinkSettings{"https://relay.example", std::nullopt};
    l->start();
    EXPECT_TRUE(TavroLog::recording());
    EXPECT_TRUE(TavroNetwork::recording());
    EXPECT_FALSE(l->enabled().value()) << "without a QA token nothing turns the link on";
    actor->runFor(1s);
    EXPECT_EQ(noRelayLines(), 0) << "no loop runs while the link is not enabled";

    TavroRemoteFlags::set(true, false);
    l->start();
    EXPECT_FALSE(TavroLog::recording()) << "hidden by the remote flags: not allowed";
    EXPECT_FALSE(TavroNetwork::recording());
}

TEST_F(Link, AQATokenTurnsTheLinkOnOnceAndTheLoopSaysThereIsNoRelay) {
    fnd::ProcessInfo::setArguments({"app", "-TavroQAToken", "abc"});
    EXPECT_TRUE(TavroLink::hasQAToken());
    const auto l = link();
    l->start();
    EXPECT_FALSE(l->enabled().value()) << "no settings: the token changes nothing";
    EXPECT_FALSE(fnd::UserDefaults::standard()->contains("tavro.sdk.link.autoOn"));

    l->settings = TavroLinkSettings{"https://relay.example", std::nullopt};
    l->start();
    EXPECT_TRUE(l->enabled().value());
    EXPECT_EQ(fnd::UserDefaults::standard()->boolean("tavro.sdk.link.autoOn"), true);
    EXPECT_EQ(fnd::UserDefaults::standard()->boolean("tavro.sdk.link.enabled"), true);
    EXPECT_EQ(l->state(), TavroLink::State::running);
    actor->runFor(1s);
    EXPECT_EQ(noRelayLines(), 1);
    EXPECT_EQ(l->state(), TavroLink::State::off);

    // The user turns it off; the token does not turn it on again.
    fnd::UserDefaults::standard()->setBoolean("tavro.sdk.link.enabled", false);
    const auto later = link();
    later->settings = l->settings;
    later->start();
    EXPECT_FALSE(later->enabled().value());
    actor->runFor(1s);
    EXPECT_EQ(noRelayLines(), 1);

    later->stop();
    EXPECT_EQ(later->state(), TavroLink::State::off);
}

TEST_F(Link, TheTokenComesFromTheEnvironmentOrAnArgumentWithAValue) {
    EXPECT_FALSE(TavroLink::hasQAToken());
    fnd::ProcessInfo::setArguments({"app", "-TavroQAToken"});
    EXPECT_FALSE(TavroLink::hasQAToken()) << "the argument needs a token after it";
    fnd::ProcessInfo::setArguments({"app", "-TavroQAToken", ""});
    EXPECT_FALSE(TavroLink::hasQAToken());
    ::setenv("TAVRO_QA_TOKEN", "", 1);
    EXPECT_FALSE(TavroLink::hasQAToken());
    ::setenv("TAVRO_QA_TOKEN", "t", 1);
    EXPECT_TRUE(TavroLink::hasQAToken());
}

}  // namespace
