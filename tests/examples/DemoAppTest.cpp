#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "demo/DemoApp.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/objc/Runtime.h"
#include "platform/photos/AssetResource.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/photos/PickerViewController.h"
#include "platform/runtime/MainActor.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "tavro/agent/TavroPhotos.h"

using namespace std::chrono_literals;

namespace {

struct Demo : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<demo::DemoApp> app;

    Demo() {
        fnd::NotificationCenter::resetDefault();
        fnd::MainBundle::reset();
        objc::Runtime::reset();
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        app = demo::DemoApp::create();
    }

    template <class T>
    std::shared_ptr<T> find(std::string_view id) {
        auto view = app->window()->findByIdentifier(id);
        return std::dynamic_pointer_cast<T>(view);
    }

    std::shared_ptr<ui::ViewController> top() {
        auto presented = app->window()->topPresentedViewController();
        if (presented != app->window()->rootViewController()) return presented;
        auto nav = std::dynamic_pointer_cast<ui::NavigationController>(app->tabs()->selectedViewController());
        return nav ? nav->topViewController() : nullptr;
    }

    static std::string photoNamed(std::string_view name) {
        for (const auto& asset : photos::PhotoLibrary::shared()->allAssets()) {
            const auto resources = photos::AssetResource::assetResources(*asset);
            if (!resources.empty() && resources.front()->originalFilename() == name) return asset->localIdentifier();
        }
        return {};
    }

    void route(const std::string& name) {
        app->routes().at(name)();
        actor->runUntilIdle();
    }
};

}  // namespace

TEST_F(Demo, StartsOnHomeWithItsNameAndTheFourRoutes) {
    EXPECT_EQ(top()->title(), "Home");
    EXPECT_EQ(fnd::MainBundle::info("CFBundleDisplayName"), "Tavro Demo");
    EXPECT_TRUE(app->window()->isKeyWindow());
    std::vector<std::string> names;
    for (const auto& [name, action] : app->routes()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Chats", "Profile", "Settings", "Shop"}));
    for (const auto& name : names) {
        route(name);
        EXPECT_EQ(top()->title(), name);
    }
}

TEST_F(Demo, SettingsSwitchesPickerAndSliderChangeTheState) {
    route("Settings");
    auto dark = find<ui::Switch>("settings.darkMode");
    ASSERT_NE(dark, nullptr);
    EXPECT_TRUE(dark->tap());
    EXPECT_TRUE(app->darkMode());
    EXPECT_EQ(app->window()->interfaceStyle(), ui::InterfaceStyle::dark);
    EXPECT_TRUE(find<ui::Switch>("settings.wifi")->tap());
    EXPECT_FALSE(app->wifi());
    EXPECT_TRUE(find<ui::PickerView>("settings.language")->pick(1));
    EXPECT_EQ(app->language(), "日本語");
    EXPECT_TRUE(find<ui::Slider>("settings.textSize")->slide(21.4));
    EXPECT_EQ(app->textSize(), 21);
    auto list = find<ui::ScrollView>("settings.list");
    EXPECT_TRUE(list->canScrollVertically());  // the long list needs scrolling
}

TEST_F(Demo, ProfileSavesOnlyWhatWasTypedAndSaveWaitsForAName) {
    route("Profile");
    auto save = find<ui::Button>("profile.save");
    EXPECT_FALSE(save->isEnabled());
    auto name = find<ui::TextField>("profile.name");
    ASSERT_TRUE(name->tap());
    ASSERT_TRUE(name->replaceText("Rin Tanaka"));
    EXPECT_TRUE(name->pressReturn());
    auto email = find<ui::TextField>("profile.email");
    EXPECT_TRUE(email->isFirstResponder());
    ASSERT_TRUE(email->replaceText("rin@example.org"));
    EXPECT_TRUE(save->tap());
    EXPECT_EQ(app->savedProfile(), (demo::Profile{"Rin Tanaka", "rin@example.org", ""}));
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(ui::Application::shared()->isKeyboardVisible());
}

TEST_F(Demo, ChatSendAppendsTheMessageAndEmptiesTheField) {
    route("Chats");
    auto row = find<ui::TableViewCell>("chats.row.Tuli");
    ASSERT_TRUE(row->tap());
    actor->runUntilIdle();
    EXPECT_EQ(top()->title(), "Tuli");
    auto message = find<ui::TextField>("chat.message");
    auto send = find<ui::Button>("chat.send");
    EXPECT_FALSE(send->tap());  // nothing typed
    ASSERT_TRUE(message->tap());
    ASSERT_TRUE(message->replaceText("hi"));
    EXPECT_TRUE(send->tap());
    ASSERT_TRUE(message->replaceText("see you at noon"));
    EXPECT_TRUE(message->pressReturn());  // Return sends too
    EXPECT_EQ(app->messagesSent("Tuli"), (std::vector<std::string>{"hi", "see you at noon"}));
    EXPECT_EQ(message->text(), "");
    EXPECT_TRUE(message->isFirstResponder());
}

TEST_F(Demo, BuyingAsksForConfirmationFirst) {
    route("Shop");
    auto buy = find<ui::Button>("shop.buy.coffee");
    ASSERT_TRUE(buy->tap());
    actor->runUntilIdle();
    auto alert = std::dynamic_pointer_cast<ui::AlertController>(top());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->title(), "Buy Coffee Beans?");
    EXPECT_TRUE(alert->tapAction(*alert->cancelActionIndex()));
    actor->runUntilIdle();
    EXPECT_TRUE(app->purchases().empty());
    ASSERT_TRUE(buy->tap());
    actor->runUntilIdle();
    alert = std::dynamic_pointer_cast<ui::AlertController>(top());
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->tapAction(1));
    actor->runUntilIdle();
    EXPECT_EQ(app->purchases(), (std::vector<std::string>{"Coffee Beans"}));
    EXPECT_FALSE(app->accountDeleted());
}

TEST_F(Demo, PromptPickerAndHumanCheckAreHandedToAPerson) {
    app->showSystemPrompt();
    EXPECT_TRUE(app->systemPromptShowing());
    EXPECT_EQ(ui::Application::shared()->applicationState(), ui::Application::State::inactive);
    EXPECT_EQ(find<ui::Label>("home.status")->text(), "Waiting for your answer about notifications.");
    EXPECT_TRUE(app->answerSystemPrompt("Allow"));
    EXPECT_TRUE(app->notifications());
    EXPECT_EQ(find<ui::Label>("home.status")->text(), "Notifications are on.");
    EXPECT_EQ(ui::Application::shared()->applicationState(), ui::Application::State::active);

    app->showPhotoPicker();
    actor->runUntilIdle();
    auto picker = std::dynamic_pointer_cast<photos::PickerViewController>(top());
    ASSERT_NE(picker, nullptr);
    ASSERT_TRUE(picker->pick({photoNamed("IMG_0157.JPG")}));
    actor->runUntilIdle();
    EXPECT_EQ(app->chosenPhoto(), "IMG_0157.JPG");
    EXPECT_EQ(top()->title(), "Home");

    app->showHumanCheck();
    actor->runUntilIdle();
    EXPECT_EQ(top()->title(), "Verification");
    auto next = find<ui::Button>("verify.continue");
    EXPECT_FALSE(next->tap()) << "Continue waits for the check";
    EXPECT_TRUE(app->solveHumanCheck());
    EXPECT_FALSE(app->solveHumanCheck());
    EXPECT_TRUE(app->humanVerified());
    EXPECT_TRUE(next->tap());
    actor->runUntilIdle();
    EXPECT_EQ(top()->title(), "Home");
}

TEST_F(Demo, ResetGoesBackToAFreshInstall) {
    route("Settings");
    find<ui::Switch>("settings.darkMode")->tap();
    route("Shop");
    find<ui::Button>("shop.deleteAccount")->tap();
    app->showSystemPrompt();
    app->reset();
    actor->runUntilIdle();
    EXPECT_FALSE(app->darkMode());
    EXPECT_FALSE(app->systemPromptShowing());
    EXPECT_EQ(ui::Application::shared()->applicationState(), ui::Application::State::active);
    EXPECT_EQ(top()->title(), "Home");
    EXPECT_EQ(app->window()->interfaceStyle(), ui::InterfaceStyle::light);
    EXPECT_EQ(app->chats().front(), "Tuli");
    EXPECT_FALSE(ui::Application::shared()->isTransitionRunning());
}

TEST_F(Demo, TheCameraRollHoldsTheDemoPhotosWithAccessGranted) {
    const auto assets = photos::PhotoLibrary::shared()->allAssets();
    ASSERT_EQ(assets.size(), demo::demoPhotos().size());
    EXPECT_EQ(photos::PhotoLibrary::authorizationStatus(photos::AccessLevel::readWrite),
              photos::AuthorizationStatus::authorized);
    const auto best = tavro::TavroPhotos::best();
    ASSERT_TRUE(best.has_value());
    EXPECT_TRUE(best->asset->isFavorite());
    EXPECT_EQ(photos::AssetResource::assetResources(*best->asset).front()->originalFilename(), "IMG_0142.JPG");
    // A second app starts from the same camera roll, not from one with twice the photos.
    auto second = demo::DemoApp::create();
    EXPECT_EQ(photos::PhotoLibrary::shared()->allAssets().size(), demo::demoPhotos().size());
}

TEST_F(Demo, CancellingThePickerChoosesNothing) {
    app->showPhotoPicker();
    actor->runUntilIdle();
    auto picker = std::dynamic_pointer_cast<photos::PickerViewController>(top());
    ASSERT_NE(picker, nullptr);
    EXPECT_FALSE(picker->pick({"no-such-photo"}));
    ASSERT_TRUE(picker->cancel());
    actor->runUntilIdle();
    EXPECT_EQ(app->chosenPhoto(), std::nullopt);
    EXPECT_EQ(top()->title(), "Home");
}

TEST_F(Demo, TheHandedOverPhotoBecomesTheProfilePhoto) {
    ASSERT_TRUE(tavro::TavroPhotos::handler);
    const auto file = std::filesystem::temp_directory_path() / ("demo-photo-test-" + std::to_string(::getpid()));
    {
        std::ofstream out(file, std::ios::binary);
        out << "pixels";
    }
    auto accepted = rt::runToEnd(actor, tavro::TavroPhotos::handler(file, "IMG_0142.JPG", std::nullopt));
    EXPECT_EQ(accepted, true);
    EXPECT_EQ(app->chosenPhoto(), "IMG_0142.JPG");

    // A file that is not there is refused and changes nothing.
    accepted = rt::runToEnd(actor, tavro::TavroPhotos::handler(file.string() + ".gone", "IMG_0101.JPG", std::nullopt));
    EXPECT_EQ(accepted, false);
    EXPECT_EQ(app->chosenPhoto(), "IMG_0142.JPG");
    std::filesystem::remove(file);
}

TEST_F(Demo, ResetRestoresThePhotosAndTheHandler) {
    auto library = photos::PhotoLibrary::shared();
    library->remove(library->allAssets().front()->localIdentifier());
    library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::denied);
    tavro::TavroPhotos::handler = nullptr;
    app->reset();
    EXPECT_EQ(library->allAssets().size(), demo::demoPhotos().size());
    EXPECT_EQ(photos::PhotoLibrary::authorizationStatus(photos::AccessLevel::readWrite),
              photos::AuthorizationStatus::authorized);
    EXPECT_TRUE(tavro::TavroPhotos::handler);
}

TEST_F(Demo, DroppingTheAppRemovesOnlyItsOwnHandler) {
    auto second = demo::DemoApp::create();
    app.reset();  // the second app's handler is the one in place
    EXPECT_TRUE(tavro::TavroPhotos::handler);
    second.reset();
    EXPECT_FALSE(tavro::TavroPhotos::handler);
}

TEST_F(Demo, SwipingAChatDeletesOrPinsIt) {
    route("Chats");
    auto table = find<ui::TableView>("chats.list");
    EXPECT_TRUE(table->swipeRow({0, 2}, true));  // pin Kenji
    EXPECT_EQ(app->chats().front(), "Kenji");
    EXPECT_TRUE(table->swipeRow({0, 0}, false));  // delete it
    EXPECT_EQ(app->chats().front(), "Tuli");
    EXPECT_EQ(app->chats().size(), 5u);
}
