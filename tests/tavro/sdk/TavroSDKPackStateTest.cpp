// The facade's pack state against a pack server on loopback: a new app in the same process after a
// reset starts from its own pack, defaults and folders, and what became of the cached pack stays in
// packStatus until a check of the server says more.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>

#include <nlohmann/json.hpp>

#include "platform/crypto/Base64.h"
#include "platform/crypto/P256SigningKey.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/LoopbackServer.h"
#include "platform/security/Keychain.h"
#include "SDKTestSupport.h"
#include "tavro/link/TavroLink.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/remote/TavroPackLoader.h"
#include "tavro/sdk/TavroSDK.h"

using namespace std::chrono_literals;

namespace tavro::agenttest {
namespace {

namespace fs = std::filesystem;

class SDKPackState : public SDKTest {
protected:
    std::mutex lock_;
    std::map<std::string, std::string> packs_;  // decoded path -> envelope; 404 otherwise
    nettest::LoopbackServer server;
    crypto::P256SigningKey signer = crypto::P256SigningKey::generate();

    void SetUp() override {
        SDKTest::SetUp();
        server.http.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard guard(lock_);
            const auto it = packs_.find(request.path);
            if (it == packs_.end()) {
                response.status = 404;
                return;
            }
            response.set_content(it->second, "application/json");
        });
        server.start();
    }
    void TearDown() override {
        SDKTest::TearDown();
        fnd::MainBundle::reset();
    }

    // The app's pack: its version, and a rewrite that names the app in every goal.
    void serve(const std::string& appID, int version) {
        const std::string pack =
            nlohmann::json{{"version", version}, {"rewrites", {{{"pattern", "^(.*)$"}, {"template", "$1 for " + appID}}}}}
                .dump();
        std::lock_guard guard(lock_);
        packs_["/tavro/packs/" + appID + ".json"] = envelope(pack);
    }
    std::string envelope(const std::string& pack) const {
        return nlohmann::json{{"kid", "test-1"}, {"sig", crypto::base64Encode(signer.sign(pack))}, {"pack", pack}}.dump();
    }
    TavroConfiguration configuration() {
        TavroConfiguration c;
        c.models = {};
        c.packs = TavroPackSettings{.base = server.url(), .keys = {{"test-1", signer.publicKeyPEM()}}, .interval = 3600};
        return c;
    }
    // Runs the main actor until the facade's pack status is not empty and not `before`.
    std::string statusAfter(const std::string& before = "") {
        actor->runUntil(
            [&] {
                const auto status = TavroSDK::shared().packStatus();
                return !status.empty() && status != before;
            },
            60s);
        return TavroSDK::shared().packStatus();
    }
    // A new app id in this process, with a root and a keychain folder of its own.
    fs::path becomeApp(const std::string& appID) {
        fnd::MainBundle::setIdentifier(appID);
        const auto root = fnd::AppDirectories::useFreshTemporaryRoot();
        security::Keychain::setDirectory(root / "keychain");
        return root;
    }
};

TEST_F(SDKPackState, ANewAppAfterResetStartsFromItsOwnPackAndDefaults) {
    serve("com.acme/x", 5);
    serve("com.acme.y", 3);
    const auto firstRoot = becomeApp("com.acme/x");
    auto& first = TavroSDK::shared();
    first.configure(configuration());
    ASSERT_EQ(statusAfter(), "Pack 5 active");
    const auto firstID = first.id();
    TavroMaps::setLearned(TavroAppMap{.app = "com.acme/x", .start = "Home"});  // learned, not saved

    TavroSDK::reset();
    const auto secondRoot = becomeApp("com.acme.y");
    auto& second = TavroSDK::shared();
    second.configure(configuration());
    EXPECT_EQ(statusAfter(), "Pack 3 active") << "asked for its own pack, not held off by the other app's check";
    const auto pack = TavroPacks::current();
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->rewrite("open Settings"), "open Settings for com.acme.y");
    EXPECT_NE(second.id(), firstID) << "a keychain record of its own";
    EXPECT_FALSE(TavroMaps::learned()) << "the first app's map is not the second's";

    const auto defaults = fnd::UserDefaults::open(secondRoot / "Application Support" / "UserDefaults.json");
    EXPECT_TRUE(defaults->date(TavroPackLoader::checkedAtKey)) << "the check is kept in the new app's defaults";
    EXPECT_EQ(defaults->integer(TavroPackLoader::versionKey), 3);
    const auto earlier = fnd::UserDefaults::open(firstRoot / "Application Support" / "UserDefaults.json");
    EXPECT_EQ(earlier->integer(TavroPackLoader::versionKey), 5) << "the first app's defaults are left as they were";
    EXPECT_NE(fnd::readFile(secondRoot / "Application Support" / "TavroPack.json"),
              fnd::readFile(firstRoot / "Application Support" / "TavroPack.json"));
}

TEST_F(SDKPackState, ARefusedCachedPackStaysInTheStatusUntilTheServerIsAsked) {
    serve("com.acme.y", 3);
    const auto root = becomeApp("com.acme.y");
    // A check an hour ago at most, and a cached envelope whose signature no longer verifies.
    ASSERT_TRUE(fnd::UserDefaults::standard()->setDate(TavroPackLoader::checkedAtKey, std::chrono::system_clock::now()));
    auto tampered = nlohmann::json::parse(envelope(R"({"version": 4})"));
    tampered["pack"] = R"({"version": 40})";
    ASSERT_TRUE(fnd::writeAtomically(root / "Application Support" / "TavroPack.json", tampered.dump()));

    auto& sdk = TavroSDK::shared();
    sdk.configure(configuration());
    const std::string refused = "Cached pack refused: the signature does not verify";
    EXPECT_EQ(sdk.packStatus(), refused);
    actor->runFor(2s);
    EXPECT_EQ(sdk.packStatus(), refused) << "a check that found the last one recent says nothing new";
    sdk.refreshPack(false);
    actor->runFor(2s);
    EXPECT_EQ(sdk.packStatus(), refused);

    sdk.refreshPack(true);
    EXPECT_EQ(statusAfter(refused), "Pack 3 active") << "the server's own verdict replaces it";
    sdk.refreshPack(false);
    EXPECT_EQ(statusAfter("Pack 3 active"), "Checked recently");
}

}  // namespace
}  // namespace tavro::agenttest
