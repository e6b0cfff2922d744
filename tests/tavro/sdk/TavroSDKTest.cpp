#include <gtest/gtest.h>

#include <filesystem>

#include "demo/DemoApp.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Keychain.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "SDKTestSupport.h"
#include "tavro/agent/AgentTestSupport.h"
#include "tavro/agent/TavroAwake.h"
#include "tavro/link/TavroLink.h"
#include "tavro/memory/TavroRecorder.h"
#include "tavro/models/TavroModelDownloads.h"
#include "tavro/overlay/TavroOverlay.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroRemoteFlags.h"
#include "tavro/sdk/TavroSDK.h"
#include "tavro/surfaces/UIKitSurface.h"

using namespace std::chrono_literals;

namespace tavro::agenttest {
namespace {

class SDK : public SDKTest {
protected:
    // A configuration for the demo app without a pack server.
    TavroConfiguration demoConfiguration() {
        TavroConfiguration configuration;
        configuration.models = {};
        configuration.routes = app->routes();
        configuration.packs = std::nullopt;
        return configuration;
    }
    std::size_t observers() const { return fnd::NotificationCenter::defaultCenter()->observerCount(); }
    int visibilityPosts = 0;
    fnd::ObserverToken countVisibility() {
        return fnd::NotificationCenter::defaultCenter()->observe(std::string(TavroSDK::visibilityChanged),
                                                                 [this](const fnd::Notification&) { ++visibilityPosts; });
    }
};

TEST_F(SDK, AGoalRunsThroughTheSharedInstanceOnTheDemoApp) {
    app = demo::DemoApp::create();
    auto& sdk = TavroSDK::shared();
    sdk.configure(demoConfiguration());
    ASSERT_TRUE(sdk.overlay()) << "the demo app's scene is in the foreground";
    EXPECT_EQ(sdk.agent()->presenter.lock(), sdk.overlay());
    EXPECT_TRUE(sdk.overlay()->ui().launcherVisible.value());

    sdk.overlay()->ui().expanded.set(true);
    sdk.run("open Settings then turn on Dark Mode");
    EXPECT_FALSE(sdk.overlay()->ui().expanded.value()) << "the panel closes while the agent works";
    actor->runUntil([&] { return !sdk.agent()->running().value(); }, 120s);
    EXPECT_EQ(sdk.agent()->status().value(), "Done.");
    EXPECT_TRUE(app->darkMode());
}

TEST_F(SDK, NothingStartsOrOpensWhileHidden) {
    app = demo::DemoApp::create();
    TavroRemoteFlags::set(true, true);
    auto& sdk = TavroSDK::shared();
    ASSERT_TRUE(sdk.isHidden());

    sdk.run("open Settings");
    EXPECT_FALSE(sdk.overlay()) << "run while hidden attaches nothing";
    EXPECT_FALSE(sdk.agent()->running().value());
    EXPECT_EQ(TavroModelDownloads::shared()->phase.value(), TavroModelDownloads::Phase::idle());
    sdk.present();
    EXPECT_FALSE(sdk.overlay());

    const auto token = countVisibility();
    sdk.setLauncherVisible(true);
    ASSERT_TRUE(sdk.overlay()) << "the launcher wish attaches even while hidden";
    EXPECT_TRUE(sdk.configuration().showsLauncher);
    EXPECT_FALSE(sdk.overlay()->ui().launcherVisible.value());
    EXPECT_FALSE(sdk.overlay()->ui().expanded.value());

    // Flags observed once configured: un-hiding shows the launcher and announces the change.
    sdk.configure(demoConfiguration());
    TavroRemoteFlags::set(false, false);
    actor->runFor(1s);
    EXPECT_TRUE(sdk.overlay()->ui().launcherVisible.value());
    EXPECT_EQ(visibilityPosts, 1);
}

TEST_F(SDK, RemoteFlagsStopARunningGoalAndAlwaysAnnounce) {
    app = demo::DemoApp::create();
    auto& sdk = TavroSDK::shared();
    sdk.configure(demoConfiguration());
    const auto token = countVisibility();

    sdk.applyRemoteFlags();
    actor->runFor(1s);
    EXPECT_EQ(visibilityPosts, 1) << "posted even though nothing changed";
    EXPECT_TRUE(sdk.overlay()->ui().launcherVisible.value());

    sdk.present();
    EXPECT_TRUE(sdk.overlay()->ui().expanded.value());
    sdk.run("open Chats, tap Tuli, type hi into Message and tap Send");
    actor->runUntil([&] { return sdk.agent()->prompt().value().has_value(); }, 60s);
    ASSERT_TRUE(sdk.agent()->running().value());
    sdk.present();
    TavroRemoteFlags::set(true, true);
    actor->runFor(2s);
    EXPECT_FALSE(sdk.agent()->running().value());
    EXPECT_EQ(sdk.agent()->status().value(), "Tavro is turned off for now.");
    EXPECT_FALSE(sdk.overlay()->ui().expanded.value());
    EXPECT_FALSE(sdk.overlay()->ui().launcherVisible.value());
    EXPECT_EQ(visibilityPosts, 2);
    for (const auto& chat : app->state().chats) EXPECT_TRUE(chat.sent.empty()) << chat.name;
}

TEST_F(SDK, TheOverlayWaitsForAForegroundSceneWithOneSubscription) {
    ui::Application::shared()->setApplicationState(ui::Application::State::background);
    app = demo::DemoApp::create();
    auto& sdk = TavroSDK::shared();
    const auto before = observers();
    sdk.configure(demoConfiguration());
    EXPECT_FALSE(sdk.overlay());
    const auto waiting = observers();
    EXPECT_GT(waiting, before);
    sdk.present();
    sdk.setLauncherVisible(true);
    sdk.configure(demoConfiguration());
    EXPECT_EQ(observers(), waiting) << "attaching again adds no second subscription";

    ui::Application::shared()->setApplicationState(ui::Application::State::active);
    actor->runFor(1s);
    ASSERT_TRUE(sdk.overlay());
    EXPECT_EQ(sdk.agent()->presenter.lock(), sdk.overlay());
    EXPECT_LT(observers(), waiting) << "the scene subscription ends once the overlay exists";
}

TEST_F(SDK, PackSettingsReplaceTheLoaderAndTheirAbsenceClearsThePack) {
    app = demo::DemoApp::create();
    auto& sdk = TavroSDK::shared();
    EXPECT_EQ(sdk.packStatus(), "");
    auto configuration = demoConfiguration();
    configuration.packs = TavroPackSettings{};
    configuration.packs->base = "http://packs.invalid";  // refused before any request
    sdk.configure(configuration);
    actor->runFor(1s);
    const auto status = sdk.packStatus();
    EXPECT_NE(status.find("not HTTPS"), std::string::npos) << status;
    const auto once = observers();
    sdk.configure(configuration);
    actor->runFor(1s);
    EXPECT_EQ(observers(), once) << "one app-became-active subscription however often configured";

    std::vector<TavroModelSwitch::Family> announced;
    TavroModelSwitch::observe([&](TavroModelSwitch::Family family) { announced.push_back(family); });
    TavroPacks::setCurrent(TavroPack::parse(R"({"version": 3, "localModel": "off"})"));
    ASSERT_EQ(TavroModelSwitch::current(), TavroModelSwitch::Family::off);
    announced.clear();
    sdk.configure(demoConfiguration());
    EXPECT_FALSE(TavroPacks::current());
    EXPECT_EQ(sdk.packStatus(), "");
    EXPECT_EQ(announced, std::vector{TavroModelSwitch::Family::qwen}) << "the pack's family is gone";
}

TEST_F(SDK, ConfigureHandsEverySettingOn) {
    app = demo::DemoApp::create();
    auto& sdk = TavroSDK::shared();
    EXPECT_EQ(sdk.surface()->excludedIdentifierPrefixes, std::vector<std::string>{"tavro.sdk"});
    auto configuration = demoConfiguration();
    configuration.excludedIdentifierPrefixes = {"debug.", "tavro.sdk"};
    configuration.autoRun = false;
    configuration.debug = true;
    configuration.allowsLearning = false;
    configuration.showsLauncher = false;
    configuration.maxSteps = 7;
    sdk.recorder()->recording.set(true);
    sdk.configure(configuration);
    EXPECT_EQ(sdk.surface()->excludedIdentifierPrefixes,
              (std::vector<std::string>{"tavro.sdk", "debug.", "tavro.sdk"}));
    EXPECT_EQ(sdk.surface()->routeTable.size(), app->routes().size());
    EXPECT_EQ(sdk.agent()->configuration.maxSteps, 7);
    EXPECT_FALSE(sdk.agent()->autoRun().value());
    EXPECT_TRUE(TavroDebug::shared()->enabled.value());
    EXPECT_FALSE(sdk.recorder()->recording.value());
    EXPECT_FALSE(sdk.overlay()->ui().launcherVisible.value());
    ASSERT_TRUE(TavroModelDownloads::shared()->onReady);
    sdk.setLauncherVisible(true);
    EXPECT_TRUE(sdk.overlay()->ui().launcherVisible.value());
}

TEST_F(SDK, AStepThatThrowsCostsOnlyThatStep) {
    app = demo::DemoApp::create();
    auto& sdk = TavroSDK::shared();
    auto throwing = sdk.agent()->autoRun().didSet([](bool) { throw std::runtime_error("observer broke"); });
    auto configuration = demoConfiguration();
    configuration.debug = true;
    configuration.showsLauncher = false;
    configuration.link = TavroLinkSettings{.relay = "https://relay.invalid"};
    EXPECT_NO_THROW(sdk.configure(configuration));

    // One console line for the failed step, and every later step still took effect.
    std::size_t failures = 0;
    for (const auto& line : console.lines()) failures += line.find("configure failed") != std::string::npos;
    EXPECT_EQ(failures, 1u);
    EXPECT_TRUE(console.contains("[TAVRO_SDK] configure failed: observer broke"));
    EXPECT_EQ(sdk.agent()->configuration.routes.size(), app->routes().size());
    ASSERT_TRUE(TavroModelDownloads::shared()->onReady);
    EXPECT_TRUE(TavroDebug::shared()->enabled.value());
    ASSERT_TRUE(sdk.overlay());
    EXPECT_FALSE(sdk.overlay()->ui().launcherVisible.value());
    EXPECT_EQ(sdk.link()->settings, configuration.link);

    const auto token = countVisibility();
    TavroRemoteFlags::set(true, true);
    actor->runFor(1s);
    EXPECT_EQ(visibilityPosts, 1) << "the remote-flag observer was registered";
}

TEST_F(SDK, AConsoleHandlerThatThrowsBreaksNoRunAndNoCall) {
    app = demo::DemoApp::create();
    auto& sdk = TavroSDK::shared();
    // The handler takes the lines only while no capture keeps them off it.
    fnd::Console::reset();
    struct Restore {
        ~Restore() { fnd::Console::setHandler(nullptr); }
    } restore;
    int thrown = 0;
    fnd::Console::setHandler([&thrown](std::string_view) {
        ++thrown;
        throw std::runtime_error("log full");
    });
    auto throwing = sdk.agent()->autoRun().didSet([](bool) { throw std::runtime_error("observer broke"); });
    testing::internal::CaptureStderr();

    EXPECT_NO_THROW(sdk.configure(demoConfiguration())) << "its line of a failed step throws in the handler";
    EXPECT_NO_THROW(sdk.run("tap Nowhere"));
    const bool ended = actor->runUntil([&] { return !sdk.agent()->running().value(); }, 120s);
    const auto diverted = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ended) << "the run's end is not lost with its fail line";
    EXPECT_FALSE(sdk.agent()->succeeded().value());
    EXPECT_FALSE(TavroAwake::shared().held()) << "the idle timer is given back";
    EXPECT_GE(thrown, 2);
    EXPECT_NE(diverted.find("[TAVRO_SDK] configure failed: observer broke\n"), std::string::npos) << diverted;
    EXPECT_NE(diverted.find("[TAVRO_SDK] fail "), std::string::npos) << "the lines go to standard error";
}

TEST_F(SDK, LearningTheAppWithNoTimeKeepsTheStartScreen) {
    app = demo::DemoApp::create();
    auto& sdk = TavroSDK::shared();
    sdk.configure(demoConfiguration());
    auto learn = sdk.learnApp(0);
    const auto map = rt::runToEnd(actor, std::move(learn));
    ASSERT_TRUE(map);
    EXPECT_EQ(map->screens.size(), 1u);
    EXPECT_EQ(map->start, "Home");
    EXPECT_EQ(TavroMaps::learned(), map);
    TavroMaps::reset();
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), map) << "the map was saved";
}

TEST_F(SDK, TheInstallIdLastsUntilTheKeychainIsCleared) {
    const auto first = TavroSDK::shared().id();
    EXPECT_FALSE(first.empty());
    TavroSDK::reset();
    EXPECT_EQ(TavroSDK::shared().id(), first);
    security::Keychain::removeAll(TavroLink::keychainService);
    TavroSDK::reset();
    EXPECT_NE(TavroSDK::shared().id(), first);
}

}  // namespace
}  // namespace tavro::agenttest
