// A window scene: one instance of the app's user interface, with an activation state and the
// windows shown in it, one of which may be its key window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Geometry.h"

namespace ui {

class Application;
class Window;

class WindowScene : public std::enable_shared_from_this<WindowScene> {
public:
    enum class ActivationState : std::uint8_t { unattached, foregroundActive, foregroundInactive, background };

    // Only the application connects (makes) a scene: its notifications name it by shared pointer.
    class PassKey {
        friend class Application;
        PassKey() = default;
    };
    explicit WindowScene(PassKey) {}
    WindowScene(const WindowScene&) = delete;
    WindowScene& operator=(const WindowScene&) = delete;

    ActivationState activationState() const { return state_; }
    // Changes the state and posts the scene notifications for the change.
    void setActivationState(ActivationState state);
    bool isForeground() const {
        return state_ == ActivationState::foregroundActive || state_ == ActivationState::foregroundInactive;
    }

    // The scene's windows in the order they joined it.
    const std::vector<std::shared_ptr<Window>>& windows() const { return windows_; }
    std::shared_ptr<Window> keyWindow() const { return key_.lock(); }
    // The bounds of the screen the scene is on.
    Rect screenBounds() const;

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }

private:
    friend class Window;
    friend class Application;
    void addWindow(const std::shared_ptr<Window>& window);
    void removeWindow(const Window& window);
    void setKeyWindow(const std::shared_ptr<Window>& window) { key_ = window; }

    std::vector<std::shared_ptr<Window>> windows_;
    std::weak_ptr<Window> key_;
    std::weak_ptr<Application> application_;
    std::string title_;
    ActivationState state_ = ActivationState::unattached;
};

}  // namespace ui
