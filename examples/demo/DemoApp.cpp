#include "demo/DemoApp.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "demo/DemoScreens.h"
#include "platform/foundation/MainBundle.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/photos/PickerViewController.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "tavro/agent/TavroPhotos.h"

namespace demo {

namespace {
enum Tab { home, chatsTab, shop, settings };
constexpr std::string_view promptTitle = "“Demo” Would Like to Send You Notifications";

// What the app does with a photo Tavro hands over: it becomes the profile photo when the file is
// there and holds something; otherwise the app refuses it.
rt::Task<bool> usePhoto(std::weak_ptr<DemoState> weak, std::filesystem::path file, std::string name) {
    auto state = weak.lock();
    std::error_code error;
    if (!state || !std::filesystem::is_regular_file(file, error) || std::filesystem::file_size(file, error) == 0 ||
        error) {
        co_return false;
    }
    state->chosenPhoto = std::move(name);
    co_return true;
}

// The app's photo handler; it knows which app installed it so that app alone removes it.
struct PhotoHandler {
    std::weak_ptr<DemoState> state;
    const DemoApp* owner;
    rt::Task<bool> operator()(std::filesystem::path file, std::string name, std::optional<photos::UTType>) const {
        return usePhoto(state, std::move(file), std::move(name));
    }
};

photos::Date takenAt(const DemoPhoto& photo) {
    using namespace std::chrono;
    return sys_days{year{photo.year} / photo.month / photo.day} + hours{photo.hour};
}
}  // namespace

std::shared_ptr<DemoApp> DemoApp::create() {
    auto app = std::shared_ptr<DemoApp>(new DemoApp());
    app->build();
    return app;
}

DemoApp::~DemoApp() {
    auto uiApp = ui::Application::shared();
    if (const auto* prompt = uiApp->systemPrompt(); prompt && prompt->title == promptTitle) {
        uiApp->answerSystemPrompt(prompt->buttons.front());
    }
    if (window_) window_->setRootViewController(nullptr);
    uiApp->disconnectScene(scene_);
    if (const auto* mine = tavro::TavroPhotos::handler.target<PhotoHandler>(); mine && mine->owner == this) {
        tavro::TavroPhotos::handler = nullptr;
    }
}

void DemoApp::build() {
    if (!fnd::MainBundle::info("CFBundleDisplayName")) fnd::MainBundle::setInfo("CFBundleDisplayName", "Tavro Demo");
    if (!fnd::MainBundle::identifier()) fnd::MainBundle::setIdentifier("com.example.demo");
    state_ = std::make_shared<DemoState>(DemoState::initial());
    scene_ = ui::Application::shared()->connectScene();
    window_ = std::make_shared<ui::Window>();
    window_->setWindowScene(scene_);
    window_->makeKeyAndVisible();
    seedPhotos();
    installPhotoHandler();
    install();
}

void DemoApp::seedPhotos() {
    auto library = photos::PhotoLibrary::shared();
    for (const auto& asset : library->allAssets()) library->remove(asset->localIdentifier());
    for (const auto& photo : demoPhotos()) {
        photos::NewAsset asset;
        asset.creationDate = takenAt(photo);
        asset.favorite = photo.favorite;
        asset.mediaSubtypes = photo.screenshot ? photos::MediaSubtype::photoScreenshot : photos::MediaSubtype::none;
        asset.pixelWidth = photo.screenshot ? 1179 : 4032;
        asset.pixelHeight = photo.screenshot ? 2556 : 3024;
        const std::string contents = "demo photo " + photo.fileName;
        asset.resources.push_back({photos::ResourceType::photo, photo.fileName, photo.typeIdentifier,
                                   std::vector<std::uint8_t>(contents.begin(), contents.end()), false});
        library->add(std::move(asset));
    }
    library->setNetworkAvailable(true);
    library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::authorized);
}

void DemoApp::installPhotoHandler() { tavro::TavroPhotos::handler = PhotoHandler{state_, this}; }

void DemoApp::install() {
    std::weak_ptr<DemoApp> weak = weak_from_this();
    DemoActions actions;
    actions.showSystemPrompt = [weak] {
        if (auto self = weak.lock()) self->showSystemPrompt();
    };
    actions.showPhotoPicker = [weak] {
        if (auto self = weak.lock()) self->showPhotoPicker();
    };
    actions.showHumanCheck = [weak] {
        if (auto self = weak.lock()) self->showHumanCheck();
    };
    actions.showProfile = [weak] {
        auto self = weak.lock();
        if (!self) return;
        auto nav = std::dynamic_pointer_cast<ui::NavigationController>(self->tabs_->viewControllers()[home]);
        nav->pushViewController(std::make_shared<ProfileScreen>(self->state_), true);
    };
    actions.styleChanged = [weak] {
        if (auto self = weak.lock()) {
            self->window_->setInterfaceStyle(self->state_->darkMode ? ui::InterfaceStyle::dark : ui::InterfaceStyle::light);
        }
    };
    const auto nav = [](std::shared_ptr<ui::ViewController> root) {
        return std::make_shared<ui::NavigationController>(std::move(root));
    };
    auto homeScreen = std::make_shared<HomeScreen>(state_, actions);
    home_ = homeScreen;
    tabs_ = std::make_shared<ui::TabBarController>();
    tabs_->setViewControllers({nav(std::move(homeScreen)),
                               nav(std::make_shared<ChatsScreen>(state_)), nav(std::make_shared<ShopScreen>(state_)),
                               nav(std::make_shared<SettingsScreen>(state_, actions))});
    window_->setInterfaceStyle(state_->darkMode ? ui::InterfaceStyle::dark : ui::InterfaceStyle::light);
    window_->setRootViewController(tabs_);
}

void DemoApp::reset() {
    auto uiApp = ui::Application::shared();
    if (const auto* prompt = uiApp->systemPrompt(); prompt && prompt->title == promptTitle) {
        uiApp->answerSystemPrompt(prompt->buttons.front());
    }
    window_->endEditing();
    if (auto root = window_->rootViewController()) root->dismiss(false);
    window_->setRootViewController(nullptr);
    *state_ = DemoState::initial();
    seedPhotos();
    installPhotoHandler();
    install();
}

void DemoApp::closePresented() {
    window_->endEditing();
    if (auto root = window_->rootViewController(); root && root->presentedViewController()) root->dismiss(false);
}

void DemoApp::openTab(int index) {
    closePresented();
    tabs_->setSelectedIndex(index);
    if (auto nav = std::dynamic_pointer_cast<ui::NavigationController>(tabs_->viewControllers()[index])) {
        nav->popToRootViewController(false);
    }
}

std::map<std::string, std::function<void()>> DemoApp::routes() {
    std::weak_ptr<DemoApp> weak = weak_from_this();
    const auto tab = [weak](int index) {
        return [weak, index] {
            if (auto self = weak.lock()) self->openTab(index);
        };
    };
    return {
        {"Chats", tab(chatsTab)},
        {"Profile",
         [weak] {
             auto self = weak.lock();
             if (!self) return;
             self->openTab(home);
             auto nav = std::dynamic_pointer_cast<ui::NavigationController>(self->tabs_->viewControllers()[home]);
             nav->pushViewController(std::make_shared<ProfileScreen>(self->state_), true);
         }},
        {"Settings", tab(settings)},
        {"Shop", tab(shop)},
    };
}

std::vector<std::string> DemoApp::messagesSent(std::string_view chat) const {
    for (const auto& c : state_->chats) {
        if (c.name == chat) return c.sent;
    }
    return {};
}

std::vector<std::string> DemoApp::chats() const {
    std::vector<std::string> names;
    for (const auto& c : state_->chats) names.push_back(c.name);
    return names;
}

void DemoApp::showSystemPrompt() {
    std::weak_ptr<DemoState> state = state_;
    std::weak_ptr<HomeScreen> home = home_;
    const bool shown = ui::Application::shared()->showSystemPrompt(
        {std::string(promptTitle), "Notifications may include alerts, sounds and icon badges.", {"Don't Allow", "Allow"},
         [state, home](const std::string& answer) {
             if (auto s = state.lock()) {
                 s->notificationAnswer = answer;
                 s->notifications = answer == "Allow";
                 s->askingNotifications = false;
             }
             if (auto h = home.lock()) h->refresh();
         }});
    if (!shown) return;
    state_->askingNotifications = true;
    if (auto h = home_.lock()) h->refresh();
}

bool DemoApp::systemPromptShowing() const {
    const auto* prompt = ui::Application::shared()->systemPrompt();
    return prompt && prompt->title == promptTitle;
}

bool DemoApp::answerSystemPrompt(std::string_view answer) {
    if (!systemPromptShowing()) return false;
    return ui::Application::shared()->answerSystemPrompt(answer);
}

void DemoApp::showPhotoPicker() {
    auto top = window_->topPresentedViewController();
    if (!top) return;
    auto picker = std::make_shared<photos::PickerViewController>(
        photos::PickerConfiguration{1, photos::PickerFilter::images});
    std::weak_ptr<DemoState> weak = state_;
    picker->setOnFinishPicking([weak](photos::PickerViewController& p, std::vector<photos::PickerResult> results) {
        if (auto state = weak.lock(); state && !results.empty()) state->chosenPhoto = results.front().suggestedName;
        p.dismiss(true);
    });
    top->present(picker, true);
}

void DemoApp::showHumanCheck() {
    openTab(home);
    auto nav = std::dynamic_pointer_cast<ui::NavigationController>(tabs_->viewControllers()[home]);
    nav->pushViewController(std::make_shared<HumanCheckScreen>(state_), true);
}

std::shared_ptr<HumanCheckScreen> DemoApp::humanCheckScreen() const {
    if (auto root = window_->rootViewController(); root && root->presentedViewController()) return nullptr;
    auto nav = std::dynamic_pointer_cast<ui::NavigationController>(tabs_->selectedViewController());
    return nav ? std::dynamic_pointer_cast<HumanCheckScreen>(nav->topViewController()) : nullptr;
}

bool DemoApp::solveHumanCheck() {
    const auto screen = humanCheckScreen();
    return screen && screen->check() && screen->check()->solve();
}

}  // namespace demo
