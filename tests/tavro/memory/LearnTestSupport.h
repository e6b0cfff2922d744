// What the recorder and explorer tests share: the demo app on a fresh toolkit, read through the
// native surface, on the agent tests' virtual-time fixture (so whole runs can follow).
#pragma once

#include <memory>
#include <string>

#include "demo/DemoApp.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "tavro/agent/AgentTestSupport.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro::learntest {

class OnDemo : public agenttest::AgentTest {
protected:
    std::shared_ptr<demo::DemoApp> app;
    std::shared_ptr<UIKitSurface> surface;

    void SetUp() override {
        AgentTest::SetUp();
        fnd::NotificationCenter::resetDefault();
        fnd::MainBundle::reset();
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        TavroMaps::reset();
        app = demo::DemoApp::create();
        surface = std::make_shared<UIKitSurface>(app->routes());
    }
    void TearDown() override {
        AgentTest::TearDown();
        TavroMaps::reset();
        surface.reset();
        app.reset();
    }

    std::string location() {
        const auto screen = surface->snapshot();
        return screen ? screen->location : std::string();
    }
};

}  // namespace tavro::learntest
