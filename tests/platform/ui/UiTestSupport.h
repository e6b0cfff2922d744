// A fresh application, notification centre and pasteboard on a virtual-clock main actor for each
// test, with a key window of the standard size in a foreground scene.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/objc/Runtime.h"
#include "platform/runtime/MainActor.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace uitest {

using namespace std::chrono_literals;

struct UiTest : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<ui::Application> app;
    std::shared_ptr<ui::WindowScene> scene;
    std::shared_ptr<ui::Window> window;
    std::vector<std::string> posted;
    std::vector<fnd::ObserverToken> tokens;

    UiTest() {
        fnd::NotificationCenter::resetDefault();
        objc::Runtime::reset();
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        app = ui::Application::shared();
        scene = app->connectScene();
        window = std::make_shared<ui::Window>();
        window->setWindowScene(scene);
        window->makeKeyAndVisible();
    }

    // Records the names of the notifications delivered from now on.
    void record(std::initializer_list<std::string_view> names) {
        for (auto name : names) {
            tokens.push_back(fnd::NotificationCenter::defaultCenter()->observe(
                std::string(name), [this](const fnd::Notification& n) { posted.push_back(n.name); }));
        }
    }

    auto elapsed() const { return actor->now().time_since_epoch(); }
};

}  // namespace uitest
