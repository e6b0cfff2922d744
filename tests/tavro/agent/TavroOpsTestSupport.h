// A fresh application, photo library, pasteboard and app directories on a virtual-clock main actor
// for each test, with a key window whose root controller presents sheets and pickers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PreferredLanguages.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/runtime/MainActor.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace opstest {

struct OpsTest : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<ui::Application> app;
    std::shared_ptr<ui::Window> window;
    std::shared_ptr<ui::ViewController> root = std::make_shared<ui::ViewController>("Home");
    std::shared_ptr<photos::PhotoLibrary> library;

    OpsTest() {
        fnd::NotificationCenter::resetDefault();
        fnd::AppDirectories::useFreshTemporaryRoot();
        fnd::PreferredLanguages::setOverride(std::vector<std::string>{"en-US"});
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        photos::PhotoLibrary::resetShared();
        app = ui::Application::shared();
        window = std::make_shared<ui::Window>();
        window->setWindowScene(app->connectScene());
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        library = photos::PhotoLibrary::shared();
    }
    ~OpsTest() override {
        fnd::PreferredLanguages::reset();
        fnd::AppDirectories::reset();
    }
};

}  // namespace opstest
