// A fresh application, photo library, pasteboard and app directories, and English as the preferred
// language, on a virtual-clock main actor for each test, with a key window whose root controller
// presents sheets and pickers. Shared by the photo stand-in's tests and the agent's photo and
// local-operation tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
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
#include "platform/ui/WindowScene.h"

namespace phototest {

using namespace std::chrono_literals;

struct PhotosTest : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<ui::Application> app;
    std::shared_ptr<ui::Window> window;
    std::shared_ptr<ui::ViewController> root = std::make_shared<ui::ViewController>("Home");
    std::shared_ptr<photos::PhotoLibrary> library;

    PhotosTest() {
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
    ~PhotosTest() override {
        fnd::PreferredLanguages::reset();
        fnd::AppDirectories::reset();
    }

    // An image asset created `minutesAgo` minutes before a fixed moment, with one photo resource
    // holding `data` (by default the name's bytes).
    std::shared_ptr<const photos::Asset> addPhoto(std::string name, int minutesAgo, bool favorite = false,
                                                  bool screenshot = false,
                                                  std::optional<std::vector<std::uint8_t>> data = std::nullopt) {
        photos::NewAsset a;
        a.creationDate = photos::Date(std::chrono::hours(480000)) - std::chrono::minutes(minutesAgo);
        a.favorite = favorite;
        a.mediaSubtypes = screenshot ? photos::MediaSubtype::photoScreenshot : photos::MediaSubtype::none;
        a.pixelWidth = 4;
        a.pixelHeight = 3;
        a.resources.push_back({photos::ResourceType::photo, name, "public.jpeg",
                               data ? std::move(*data) : std::vector<std::uint8_t>(name.begin(), name.end()), false});
        return library->add(std::move(a));
    }
};

}  // namespace phototest
