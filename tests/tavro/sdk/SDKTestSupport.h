// A fixture for the shared facade on the demo app: every process-wide box the facade touches starts
// fresh, the keychain lives under the test's app root, and the facade is reset before the app goes.
#pragma once

#include <memory>

#include "demo/DemoApp.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Keychain.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "tavro/agent/AgentTestSupport.h"
#include "tavro/models/TavroModelDownloads.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroRemoteFlags.h"
#include "tavro/sdk/TavroSDK.h"

namespace tavro::agenttest {

class SDKTest : public AgentTest {
protected:
    std::shared_ptr<demo::DemoApp> app;

    void SetUp() override {
        AgentTest::SetUp();
        fnd::NotificationCenter::resetDefault();
        fnd::MainBundle::reset();
        fnd::UserDefaults::resetStandard();
        fnd::ProcessInfo::reset();
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        security::Keychain::setDirectory(fnd::AppDirectories::root() / "keychain");
        TavroMaps::reset();
        TavroRemoteFlags::reset();
        TavroModelSwitch::reset();
        TavroModelDownloads::reset();
        TavroSDK::reset();
    }
    void TearDown() override {
        TavroSDK::reset();
        actor->runFor(std::chrono::seconds(5));
        app.reset();
        AgentTest::TearDown();
        TavroModelDownloads::reset();
        TavroRemoteFlags::reset();
        TavroModelSwitch::reset();
        TavroMaps::reset();
        security::Keychain::setDirectory(std::nullopt);
        fnd::UserDefaults::resetStandard();
    }
};

}  // namespace tavro::agenttest
