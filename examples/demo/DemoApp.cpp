#include "demo/DemoApp.h"

#include "demo/DemoScreens.h"
#include "platform/foundation/MainBundle.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"

namespace demo {

namespace {
enum Tab { home, chatsTab, shop, settings };
constexpr std::string_view promptTitle = "“Demo” Would Like to Send You Notifications";
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
}

void DemoApp::build() {
    if (!fnd::MainBundle::info("CFBundleDisplayName")) fnd::MainBundle::setInfo("CFBundleDisplayName", "Demo");
    if (!fnd::MainBundle::identifier()) fnd::MainBundle::setIdentifier("com.example.demo");
    state_ = std::make_shared<DemoState>(DemoState::initial());
    scene_ = ui::Application::shared()->connectScene();
    window_ = std::make_shared<ui::Window>();
    window_->setWindowScene(scene_);
    window_->makeKeyAndVisible();
    install();
}

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
    tabs_ = std::make_shared<ui::TabBarController>();
    tabs_->setViewControllers({nav(std::make_shared<HomeScreen>(state_, actions)),
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
    ui::Application::shared()->showSystemPrompt(
        {std::string(promptTitle), "Notifications may include alerts, sounds and icon badges.", {"Don't Allow", "Allow"},
         [state](const std::string& answer) {
             if (auto s = state.lock()) {
                 s->notificationAnswer = answer;
                 s->notifications = answer == "Allow";
             }
         }});
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
    if (auto top = window_->topPresentedViewController()) top->present(std::make_shared<PhotoPickerScreen>(state_), true);
}

void DemoApp::showHumanCheck() {
    openTab(home);
    auto nav = std::dynamic_pointer_cast<ui::NavigationController>(tabs_->viewControllers()[home]);
    nav->pushViewController(std::make_shared<HumanCheckScreen>(state_), true);
}

bool DemoApp::solveHumanCheck() {
    auto nav = std::dynamic_pointer_cast<ui::NavigationController>(tabs_->selectedViewController());
    auto screen = nav ? std::dynamic_pointer_cast<HumanCheckScreen>(nav->topViewController()) : nullptr;
    return screen && screen->check() && screen->check()->solve();
}

}  // namespace demo
