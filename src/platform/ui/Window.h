// A window: the root of a view tree on screen, at a level above or below other windows, belonging
// to a window scene. It shows its root view controller's view (and the views of controllers
// presented over it), holds the keyboard focus (first responder) and can be made the key window.
#pragma once

#include <memory>
#include <string_view>

#include "platform/ui/View.h"

namespace ui {

class ViewController;
class WindowScene;

// Window levels: higher levels are in front.
namespace WindowLevel {
inline constexpr double normal = 0;
inline constexpr double statusBar = 1000;
inline constexpr double alert = 2000;
}  // namespace WindowLevel

class Window : public View {
public:
    // A window the size of the application's screen (390 × 844 points unless
    // Application::setScreenBounds gave another).
    Window();
    explicit Window(const Rect& frame);
    ~Window() override;

    std::string_view className() const override { return "UIWindow"; }
    Role role() const final { return Role::window; }

    double windowLevel() const { return level_; }
    void setWindowLevel(double level) { level_ = level; }

    // The controller whose view fills the window; setting it replaces the old one's view.
    const std::shared_ptr<ViewController>& rootViewController() const { return root_; }
    void setRootViewController(std::shared_ptr<ViewController> controller);
    // The controller at the end of the presented chain that starts at the root (the root itself
    // when nothing is presented); nothing without a root.
    std::shared_ptr<ViewController> topPresentedViewController() const;

    // The scene the window belongs to. Setting it adds the window to the scene's windows.
    std::shared_ptr<WindowScene> windowScene() const { return scene_.lock(); }
    void setWindowScene(const std::shared_ptr<WindowScene>& scene);

    bool isKeyWindow() const;
    // Makes the window the key window of its scene (the scene's previous key window resigns).
    void makeKey();
    void makeKeyAndVisible();

    // The view holding the keyboard focus, or nothing.
    std::shared_ptr<View> firstResponder() const { return firstResponder_.lock(); }
    // Ends editing in the window: the first responder resigns.
    void endEditing();

    InterfaceStyle interfaceStyle() const { return style_; }
    void setInterfaceStyle(InterfaceStyle style) { style_ = style; }

    // Keyboard windows host the on-screen keyboard; readers skip them.
    virtual bool isKeyboardWindow() const { return false; }

private:
    friend class View;
    bool setFirstResponder(const std::shared_ptr<View>& view);

    std::shared_ptr<ViewController> root_;
    std::weak_ptr<WindowScene> scene_;
    std::weak_ptr<View> firstResponder_;
    double level_ = WindowLevel::normal;
    InterfaceStyle style_ = InterfaceStyle::light;
};

// The window that hosts the on-screen keyboard.
class KeyboardWindow : public Window {
public:
    using Window::Window;
    std::string_view className() const override { return "UIRemoteKeyboardWindow"; }
    bool isKeyboardWindow() const override { return true; }
};

}  // namespace ui
