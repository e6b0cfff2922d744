// The facade on the demo app when the pack cache holds something hostile: configuring never stops
// there, every setting still takes effect, and the cache is refused and removed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include "demo/DemoApp.h"
#include "platform/crypto/Base64.h"
#include "platform/crypto/P256SigningKey.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Keychain.h"
#include "platform/ui/Application.h"
#include "SDKTestSupport.h"
#include "tavro/agent/AgentTestSupport.h"
#include "tavro/link/TavroLink.h"
#include "tavro/memory/TavroRecorder.h"
#include "tavro/models/TavroModelDownloads.h"
#include "tavro/overlay/TavroOverlay.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroPackLoader.h"
#include "tavro/remote/TavroRemoteFlags.h"
#include "tavro/sdk/TavroSDK.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro::agenttest {
namespace {

namespace fs = std::filesystem;

class SDKHostileCache : public SDKTest {
protected:
    crypto::P256SigningKey signer = crypto::P256SigningKey::generate();

    std::string envelope(int version) const {
        const std::string pack = R"({"version": )" + std::to_string(version) + "}";
        return nlohmann::json{{"kid", "test-1"}, {"sig", crypto::base64Encode(signer.sign(pack))}, {"pack", pack}}.dump();
    }

    // Every setting away from its default, and a pack server refused before any request.
    TavroConfiguration configuration() const {
        TavroConfiguration c;
        c.models = {};
        c.routes = app->routes();
        c.packs = TavroPackSettings{.base = "http://packs.invalid", .keys = {{"test-1", signer.publicKeyPEM()}}};
        c.excludedIdentifierPrefixes = {"debug."};
        c.autoRun = false;
        c.debug = true;
        c.allowsLearning = false;
        c.showsLauncher = false;
        c.maxSteps = 7;
        c.link = TavroLinkSettings{.relay = "https://relay.invalid"};
        return c;
    }
};

TEST_F(SDKHostileCache, EverySettingTakesEffectWhateverIsAtThePackCache) {
    app = demo::DemoApp::create();
    const auto cache = [] { return TavroPackLoader::cacheURL(); };
    struct Case {
        const char* name;
        std::function<void()> plant;
    };
    const std::vector<Case> cases = {
        {"directory", [&] { fs::create_directories(cache() / "inside"); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(cache().c_str(), 0600), 0); }},
        {"512 MB file",
         [&] {
             ASSERT_TRUE(fnd::writeAtomically(cache(), envelope(3)));
             ASSERT_EQ(::truncate(cache().c_str(), 512L * 1024 * 1024), 0);
         }},
        {"link",
         [&] {
             const auto target = cache().parent_path() / "elsewhere.json";
             ASSERT_TRUE(fnd::writeAtomically(target, envelope(3)));
             fs::create_symlink(target, cache());
         }},
        {"older envelope",
         [&] {
             ASSERT_TRUE(fnd::UserDefaults::standard()->setInteger(TavroPackLoader::versionKey, 8));
             ASSERT_TRUE(fnd::writeAtomically(cache(), envelope(3)));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TavroDebug::shared()->enabled.set(false);
        c.plant();
        auto& sdk = TavroSDK::shared();
        sdk.recorder()->recording.set(true);
        const auto config = configuration();
        EXPECT_NO_THROW(sdk.configure(config));

        EXPECT_FALSE(console.contains("configure failed"));
        EXPECT_EQ(sdk.packStatus().rfind("Cached pack refused", 0), 0u) << sdk.packStatus();
        EXPECT_FALSE(TavroPacks::current());
        EXPECT_FALSE(fs::exists(fs::symlink_status(cache()))) << "the cache is removed, whatever it was";
        EXPECT_EQ(sdk.surface()->routeTable.size(), app->routes().size());
        EXPECT_EQ(sdk.surface()->excludedIdentifierPrefixes, (std::vector<std::string>{"tavro.sdk", "debug."}));
        EXPECT_EQ(sdk.agent()->configuration.maxSteps, 7);
        EXPECT_FALSE(sdk.agent()->autoRun().value());
        EXPECT_TRUE(TavroDebug::shared()->enabled.value());
        EXPECT_FALSE(sdk.recorder()->recording.value());
        EXPECT_TRUE(TavroModelDownloads::shared()->onReady);
        ASSERT_TRUE(sdk.overlay());
        EXPECT_FALSE(sdk.overlay()->ui().launcherVisible.value());
        EXPECT_EQ(sdk.link()->settings, config.link);

        TavroSDK::reset();
        actor->runFor(1s);
        TavroModelDownloads::reset();
        TavroRemoteFlags::reset();
    }
}

}  // namespace
}  // namespace tavro::agenttest
