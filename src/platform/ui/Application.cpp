#include "platform/ui/Application.h"

#include <algorithm>
#include <cctype>

#include "platform/foundation/NotificationCenter.h"
#include "platform/objc/Runtime.h"
#include "platform/ui/Window.h"

namespace ui {

namespace {
std::shared_ptr<Application>& sharedSlot() {
    static std::shared_ptr<Application> app;
    return app;
}
constexpr double keyboardHeight = 336;

WindowScene::ActivationState sceneStateFor(Application::State state) {
    switch (state) {
    case Application::State::active: return WindowScene::ActivationState::foregroundActive;
    case Application::State::inactive: return WindowScene::ActivationState::foregroundInactive;
    case Application::State::background: return WindowScene::ActivationState::background;
    }
    return WindowScene::ActivationState::foregroundActive;
}
}  // namespace

Application::TransitionToken& Application::TransitionToken::operator=(TransitionToken&& other) noexcept {
    if (this != &other) {
        if (auto app = app_.lock()) --app->transitions_;
        app_ = std::move(other.app_);
        other.app_.reset();
    }
    return *this;
}

Application::TransitionToken::~TransitionToken() {
    if (auto app = app_.lock()) --app->transitions_;
}

std::shared_ptr<Application> Application::create() { return std::shared_ptr<Application>(new Application()); }

std::shared_ptr<Application> Application::shared() {
    auto& slot = sharedSlot();
    if (!slot) {
        slot = create();
        registerRuntimeClass();
    }
    return slot;
}

void Application::resetShared() {
    sharedSlot() = create();
    registerRuntimeClass();
}

void Application::registerRuntimeClass() {
    auto instance = objc::Object::make("UIApplication");
    instance->method("idleTimerDisabled", [](objc::Object&, const objc::Args&) {
        return objc::Value(Application::shared()->isIdleTimerDisabled());
    });
    instance->method("setIdleTimerDisabled:", [](objc::Object&, const objc::Args& args) {
        if (!args.empty()) {
            if (auto on = args.front().boolean()) Application::shared()->setIdleTimerDisabled(*on);
        }
        return objc::Value();
    });
    auto cls = objc::Object::make("UIApplication");
    cls->method("sharedApplication", [instance](objc::Object&, const objc::Args&) { return objc::Value(instance); });
    objc::Runtime::registerClass(cls);
}

void Application::setApplicationState(State target) {
    while (state_ != target) {
        State next = state_;
        if (state_ == State::active) {
            post(Notification::willResignActive);
            next = State::inactive;
        } else if (state_ == State::background) {
            post(Notification::willEnterForeground);
            next = State::inactive;
        } else {
            next = target;
        }
        state_ = next;
        for (const auto& scene : std::vector(scenes_)) {
            if (scene->activationState() != WindowScene::ActivationState::unattached) {
                scene->setActivationState(sceneStateFor(state_));
            }
        }
        if (state_ == State::active) post(Notification::didBecomeActive);
        if (state_ == State::background) post(Notification::didEnterBackground);
    }
}

std::shared_ptr<WindowScene> Application::connectScene() {
    auto scene = std::make_shared<WindowScene>(WindowScene::PassKey{});
    scene->application_ = weak_from_this();
    scenes_.push_back(scene);
    scene->setActivationState(sceneStateFor(state_));
    return scene;
}

void Application::disconnectScene(const std::shared_ptr<WindowScene>& scene) {
    if (!scene) return;
    auto it = std::find(scenes_.begin(), scenes_.end(), scene);
    if (it == scenes_.end()) return;
    scene->setActivationState(WindowScene::ActivationState::unattached);
    scenes_.erase(it);
    keyboardMayHaveChanged();
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
    std::vector<std::shared_ptr<Window>> all;
    for (const auto& scene : scenes_) all.insert(all.end(), scene->windows().begin(), scene->windows().end());
    return all;
}

bool Application::canOpenURL(std::string_view url) const {
    const auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    if (!std::isalpha(static_cast<unsigned char>(url[0]))) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return colon + 1 < url.size();
}

void Application::open(std::string url, std::function<void(bool)> completion) {
    const bool ok = canOpenURL(url);
    if (ok) opened_.push_back(std::move(url));
    if (completion) completion(ok);
}

Rect Application::keyboardFrame() const {
    if (!keyboardVisible_) return {};
    return {screen_.x, screen_.maxY() - keyboardHeight, screen_.width, keyboardHeight};
}

void Application::keyboardMayHaveChanged() {
    bool visible = false;
    for (const auto& scene : scenes_) {
        for (const auto& window : scene->windows()) {
            auto responder = window->firstResponder();
            if (responder && (responder->role() == Role::textField || responder->role() == Role::textView)) {
                visible = true;
            }
        }
    }
    if (visible == keyboardVisible_) return;
    keyboardVisible_ = visible;
    postKeyboard(visible ? Notification::keyboardWillShow : Notification::keyboardWillHide);
    postKeyboard(Notification::keyboardWillChangeFrame);
    postKeyboard(visible ? Notification::keyboardDidShow : Notification::keyboardDidHide);
}

bool Application::showSystemPrompt(SystemPrompt prompt) {
    if (prompt_) return false;
    prompt_ = std::move(prompt);
    if (state_ == State::active) setApplicationState(State::inactive);
    return true;
}

bool Application::answerSystemPrompt(std::string_view button) {
    if (!prompt_) return false;
    const auto& buttons = prompt_->buttons;
    if (std::find(buttons.begin(), buttons.end(), button) == buttons.end()) return false;
    auto prompt = std::move(*prompt_);
    prompt_.reset();
    if (state_ == State::inactive) setApplicationState(State::active);
    if (prompt.onAnswer) prompt.onAnswer(std::string(button));
    return true;
}

Application::TransitionToken Application::beginTransition() {
    ++transitions_;
    return TransitionToken(weak_from_this());
}

void Application::postNotification(std::string_view name, std::shared_ptr<void> object, nlohmann::json userInfo) {
    fnd::NotificationCenter::defaultCenter()->post(std::string(name), std::move(object), std::move(userInfo));
}

void Application::postKeyboard(std::string_view name) {
    const Rect f = keyboardFrame();
    nlohmann::json frame = {{"x", f.x}, {"y", keyboardVisible_ ? f.y : screen_.maxY()}, {"width", screen_.width},
                            {"height", keyboardVisible_ ? f.height : 0.0}};
    postNotification(name, nullptr, {{std::string(Notification::keyboardFrameEndKey), std::move(frame)}});
}

}  // namespace ui
