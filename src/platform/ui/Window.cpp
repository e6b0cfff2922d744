#include "platform/ui/Window.h"

#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WindowScene.h"

namespace ui {

Window::Window() : View(Application::shared()->screenBounds()) { setBackgroundColor(Color::white()); }

Window::Window(const Rect& frame) : View(frame) { setBackgroundColor(Color::white()); }

Window::~Window() = default;

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    if (controller == root_) return;
    if (root_) {
        if (auto old = root_->viewIfLoaded()) {
            ViewController::callWillDisappear(*root_, false);
            old->removeFromSuperview();
            ViewController::callDidDisappear(*root_, false);
        }
    }
    root_ = std::move(controller);
    if (!root_) return;
    auto view = root_->view();
    view->setFrame(bounds());
    ViewController::callWillAppear(*root_, false);
    insertSubview(view, 0);  // below anything presented
    ViewController::callDidAppear(*root_, false);
}

std::shared_ptr<ViewController> Window::topPresentedViewController() const {
    auto top = root_;
    while (top && top->presentedViewController()) top = top->presentedViewController();
    return top;
}

void Window::setWindowScene(const std::shared_ptr<WindowScene>& scene) {
    auto old = scene_.lock();
    if (old == scene) return;
    auto self = std::static_pointer_cast<Window>(shared_from_this());
    if (old) old->removeWindow(*this);
    scene_ = scene;
    if (scene) scene->addWindow(self);
}

bool Window::isKeyWindow() const {
    auto scene = scene_.lock();
    return scene && scene->keyWindow().get() == this;
}

void Window::makeKey() {
    if (auto scene = scene_.lock()) scene->setKeyWindow(std::static_pointer_cast<Window>(shared_from_this()));
}

void Window::makeKeyAndVisible() {
    setHidden(false);
    makeKey();
}

void Window::endEditing() { setFirstResponder(nullptr); }

bool Window::setFirstResponder(const std::shared_ptr<View>& view) {
    auto old = firstResponder_.lock();
    if (old == view) return true;
    firstResponder_ = view;
    if (old) old->firstResponderChanged(false);
    if (view) view->firstResponderChanged(true);
    Application::shared()->keyboardMayHaveChanged();
    return true;
}

}  // namespace ui
