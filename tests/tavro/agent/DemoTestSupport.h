// Whole runs on the demo app through the native surface, as the demo command makes them: a fresh
// demo app and its surface for every test.
#pragma once

#include "AgentTestSupport.h"
#include "demo/DemoApp.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro::agenttest {

class AgentOnDemo : public AgentTest {
protected:
    std::shared_ptr<demo::DemoApp> app;
    std::shared_ptr<UIKitSurface> surface;

    void SetUp() override {
        AgentTest::SetUp();
        fnd::NotificationCenter::resetDefault();
        fnd::MainBundle::reset();
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        app = demo::DemoApp::create();
        surface = std::make_shared<UIKitSurface>(app->routes());
    }
    void TearDown() override {
        AgentTest::TearDown();
        surface.reset();
        app.reset();
    }

    bool waitForPrompt(const std::shared_ptr<TavroAgent>& agent, TavroAgent::Prompt::Case kind) {
        return runUntil([&] { return agent->prompt().value() && agent->prompt().value()->kind() == kind; });
    }
};

}  // namespace tavro::agenttest
