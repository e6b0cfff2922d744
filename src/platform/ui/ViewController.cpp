#include "platform/ui/ViewController.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"

namespace ui {

struct ViewController::Transition {
    rt::Timer timer;
    Application::TransitionToken token;
    std::function<void()> finish;
};

ViewController::ViewController() = default;

ViewController::ViewController(std::string title) : title_(std::move(title)) {}

ViewController::~ViewController() = default;

void ViewController::callWillAppear(ViewController& vc, bool animated) {
    vc.viewWillAppear(animated);
    if (auto child = vc.visibleChild()) callWillAppear(*child, animated);
}

void ViewController::callDidAppear(ViewController& vc, bool animated) {
    vc.viewDidAppear(animated);
    if (auto child = vc.visibleChild()) callDidAppear(*child, animated);
}

void ViewController::callWillDisappear(ViewController& vc, bool animated) {
    vc.viewWillDisappear(animated);
    if (auto child = vc.visibleChild()) callWillDisappear(*child, animated);
}

void ViewController::callDidDisappear(ViewController& vc, bool animated) {
    vc.viewDidDisappear(animated);
    if (auto child = vc.visibleChild()) callDidDisappear(*child, animated);
}

void ViewController::setTitle(std::string title) {
    title_ = std::move(title);
    if (auto p = parent()) p->childTitleChanged(*this);
}

void ViewController::navigationItemChanged() {
    if (auto p = parent()) p->childTitleChanged(*this);
}

std::string ViewController::displayTitle() const {
    return navigationItem_.title.empty() ? title_ : navigationItem_.title;
}

std::shared_ptr<View> ViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) ViewController::loadView();
        viewDidLoad();
    }
    return view_;
}

void ViewController::loadView() {
    view_ = std::make_shared<View>(Application::shared()->screenBounds());
    view_->setBackgroundColor(Color::white());
}

std::shared_ptr<Window> ViewController::window() const { return view_ ? view_->window() : nullptr; }

void ViewController::addChild(std::shared_ptr<ViewController> child) {
    if (!child || child.get() == this) return;
    child->removeFromParent();
    child->parent_ = weak_from_this();
    children_.push_back(std::move(child));
}

void ViewController::removeFromParent() {
    auto p = parent();
    parent_.reset();
    if (!p) return;
    std::erase_if(p->children_, [this](const auto& c) { return c.get() == this; });
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
    for (auto p = parent(); p; p = p->parent()) {
        if (auto nav = std::dynamic_pointer_cast<NavigationController>(p)) return nav;
    }
    return nullptr;
}

std::shared_ptr<TabBarController> ViewController::tabBarController() const {
    for (auto p = parent(); p; p = p->parent()) {
        if (auto tabs = std::dynamic_pointer_cast<TabBarController>(p)) return tabs;
    }
    return nullptr;
}

std::shared_ptr<ViewController> ViewController::outermost() {
    auto vc = shared_from_this();
    while (auto p = vc->parent()) vc = p;
    return vc;
}

PopoverPresentationController* ViewController::popoverPresentationController() {
    if (style_ != ModalPresentationStyle::popover) return nullptr;
    if (!popover_) popover_ = std::make_unique<PopoverPresentationController>();
    return popover_.get();
}

Rect ViewController::presentationFrame(const Rect& windowBounds) const {
    switch (style_) {
    case ModalPresentationStyle::fullScreen:
    case ModalPresentationStyle::overFullScreen: return windowBounds;
    case ModalPresentationStyle::pageSheet:
    case ModalPresentationStyle::popover: break;
    }
    constexpr double sheetTop = 50;
    return {windowBounds.x, windowBounds.y + sheetTop, windowBounds.width, windowBounds.height - sheetTop};
}

void ViewController::runTransition(bool animated, std::function<void()> finish) {
    finishTransition();
    if (!animated) {
        if (finish) finish();
        return;
    }
    auto t = std::make_unique<Transition>();
    t->token = Application::shared()->beginTransition();
    t->finish = std::move(finish);
    std::weak_ptr<ViewController> weak = weak_from_this();
    t->timer = rt::MainActor::shared()->schedule(transitionDuration, [weak] {
        if (auto self = weak.lock()) self->finishTransition();
    });
    transition_ = std::move(t);
}

void ViewController::finishTransition() {
    if (!transition_) return;
    auto t = std::move(transition_);
    t->timer.cancel();
    auto finish = std::move(t->finish);
    t.reset();  // the transition no longer counts as running when its completion runs
    if (finish) finish();
}

bool ViewController::present(std::shared_ptr<ViewController> controller, bool animated,
                             std::function<void()> completion) {
    if (!controller || controller.get() == this) return false;
    auto presenter = outermost();
    if (controller->presenting_.lock() || controller->parent()) return false;
    // A presenter that is dismissing what it presents finishes that first; one that shows it
    // keeps it and refuses.
    if (presenter->presented_ && !presenter->presented_->beingDismissed_) return false;
    presenter->finishTransition();
    if (presenter->presented_) return false;
    auto window = presenter->window();
    if (!window) return false;

    const Rect bounds = window->bounds();
    auto container = std::make_shared<View>(bounds);
    container->setAccessibilityViewIsModal(true);
    if (controller->style_ != ModalPresentationStyle::fullScreen) {
        container->setBackgroundColor(Color::black().withAlpha(0.2));
    }
    auto view = controller->view();
    const Rect final = controller->presentationFrame(bounds);
    view->setFrame(animated ? final.offsetBy(0, bounds.height) : final);
    container->addSubview(view);
    window->addSubview(container);

    presenter->presented_ = controller;
    controller->presenting_ = presenter;
    controller->presentationView_ = container;
    controller->beingPresented_ = true;
    callWillAppear(*controller, animated);

    std::weak_ptr<ViewController> weak = controller;
    presenter->runTransition(animated, [weak, final, animated, completion = std::move(completion)] {
        auto vc = weak.lock();
        if (!vc) return;
        if (auto v = vc->viewIfLoaded()) v->setFrame(final);
        vc->beingPresented_ = false;
        callDidAppear(*vc, animated);
        if (completion) completion();
    });
    return true;
}

void ViewController::dismiss(bool animated, std::function<void()> completion) {
    auto self = shared_from_this();
    std::shared_ptr<ViewController> presenter;
    if (presented_) {
        presenter = self;
    } else {
        auto outer = outermost();
        if (outer->presented_) {
            presenter = outer;
        } else {
            presenter = outer->presenting_.lock();
        }
    }
    if (presenter) presenter->finishTransition();
    if (!presenter || !presenter->presented_) {
        if (completion) completion();
        return;
    }
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto vc = presenter->presented_; vc; vc = vc->presented_) {
        vc->finishTransition();
        chain.push_back(vc);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        (*it)->beingDismissed_ = true;
        callWillDisappear(**it, animated);
    }
    std::weak_ptr<ViewController> weak = presenter;
    presenter->runTransition(animated, [weak, chain, animated, completion = std::move(completion)]() mutable {
        auto p = weak.lock();
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            auto& vc = *it;
            if (vc->presentationView_) vc->presentationView_->removeFromSuperview();
            vc->presentationView_.reset();
            vc->presenting_.reset();
            vc->presented_.reset();
            vc->beingDismissed_ = false;
            callDidDisappear(*vc, animated);
        }
        if (p) p->presented_.reset();
        if (completion) completion();
    });
}

}  // namespace ui
