#include "platform/ui/WindowScene.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace ui {

void WindowScene::setActivationState(ActivationState state) {
    if (state == state_) return;
    const ActivationState old = state_;
    auto app = application_.lock();
    if (old == ActivationState::foregroundActive && app) app->postNotification(Notification::sceneWillDeactivate, shared_from_this());
    if (old == ActivationState::background && state != ActivationState::unattached && app) {
        app->postNotification(Notification::sceneWillEnterForeground, shared_from_this());
    }
    state_ = state;
    if (!app) return;
    if (state == ActivationState::foregroundActive) app->postNotification(Notification::sceneDidActivate, shared_from_this());
    if (state == ActivationState::background) app->postNotification(Notification::sceneDidEnterBackground, shared_from_this());
}

Rect WindowScene::screenBounds() const {
    auto app = application_.lock();
    return app ? app->screenBounds() : Application::shared()->screenBounds();
}

void WindowScene::addWindow(const std::shared_ptr<Window>& window) {
    if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) windows_.push_back(window);
}

void WindowScene::removeWindow(const Window& window) {
    if (key_.lock().get() == &window) key_.reset();
    std::erase_if(windows_, [&](const auto& w) { return w.get() == &window; });
}

}  // namespace ui
