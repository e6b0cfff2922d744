#include "platform/ui/NavigationController.h"

#include <algorithm>

#include "platform/ui/Application.h"

namespace ui {

namespace {
constexpr double itemWidth = 80;
}

NavigationBar::NavigationBar()
    : title_(std::make_shared<Label>()), back_(std::make_shared<Button>("Back")) {
    title_->setAccessibilityTraits(Trait::header);
    back_->setAccessibilityIdentifier("BackButton");
    back_->setHidden(true);
    setBackgroundColor(Color::rgb(249, 249, 249));
}

void NavigationBar::layoutSubviews() {
    if (title_->superview().get() != this) addSubview(title_);
    if (back_->superview().get() != this) addSubview(back_);
    const double w = frame().width;
    back_->setFrame({8, 0, itemWidth, height});
    title_->setFrame({itemWidth + 16, 0, std::max(0.0, w - 2 * (itemWidth + 16)), height});
    double right = w - 8;
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        if ((*it)->superview().get() != this) addSubview(*it);
        right -= itemWidth;
        (*it)->setFrame({right, 0, itemWidth, height});
    }
}

NavigationController::NavigationController(std::shared_ptr<ViewController> root) {
    if (root) stack_.push_back(std::move(root));
}

std::shared_ptr<ViewController> NavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
}

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
    auto top = topViewController();
    if (auto presented = presentedViewController()) return presented;
    return top;
}

const std::shared_ptr<NavigationBar>& NavigationController::navigationBar() {
    view();
    return bar_;
}

Rect NavigationController::contentFrame() {
    const Rect b = view()->bounds();
    if (barHidden_) return {0, 0, b.width, b.height};
    return {0, NavigationBar::height, b.width, std::max(0.0, b.height - NavigationBar::height)};
}

void NavigationController::setNavigationBarHidden(bool hidden) {
    barHidden_ = hidden;
    if (bar_) bar_->setHidden(hidden);
    if (auto v = viewIfLoaded()) v->layoutIfNeeded();
}

void NavigationController::loadView() {
    auto container = std::make_shared<ContainerView>(Application::shared()->screenBounds());
    container->setBackgroundColor(Color::white());
    setView(container);
    bar_ = std::make_shared<NavigationBar>();
    bar_->setHidden(barHidden_);
    content_ = std::make_shared<View>();
    container->addSubview(content_);
    container->addSubview(bar_);
    std::weak_ptr<NavigationController> weak = std::static_pointer_cast<NavigationController>(shared_from_this());
    bar_->backButton()->onTap([weak] {
        if (auto self = weak.lock()) self->popViewController(true);
    });
    container->setOnLayout([weak](ContainerView& v) {
        auto self = weak.lock();
        if (!self || !self->bar_) return;
        const Rect b = v.bounds();
        self->bar_->setFrame({0, 0, b.width, NavigationBar::height});
        const double top = self->barHidden_ ? 0 : NavigationBar::height;
        self->content_->setFrame({0, top, b.width, std::max(0.0, b.height - top)});
        if (auto vc = self->topViewController()) {
            if (!self->isTransitionRunning()) vc->view()->setFrame(self->content_->bounds());
        }
    });
    container->layoutIfNeeded();
    adoptChildren();
    if (auto top = topViewController()) {
        auto v = top->view();
        v->setFrame(content_->bounds());
        content_->addSubview(v);
    }
    updateBar();
}

void NavigationController::pushViewController(std::shared_ptr<ViewController> controller, bool animated) {
    if (!controller || std::find(stack_.begin(), stack_.end(), controller) != stack_.end()) return;
    adoptChildren();
    finishTransition();
    auto outgoing = topViewController();
    stack_.push_back(controller);
    addChild(controller);
    show(controller, outgoing, true, animated);
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool animated) {
    if (stack_.size() <= 1) return nullptr;
    adoptChildren();
    finishTransition();
    auto outgoing = stack_.back();
    stack_.pop_back();
    outgoing->removeFromParent();
    show(topViewController(), outgoing, false, animated);
    return outgoing;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewController(bool animated) {
    if (stack_.size() <= 1) return {};
    adoptChildren();
    finishTransition();
    auto outgoing = stack_.back();
    std::vector<std::shared_ptr<ViewController>> popped(stack_.begin() + 1, stack_.end());
    stack_.resize(1);
    for (auto& vc : popped) vc->removeFromParent();
    // Controllers between the root and the top leave without being seen.
    for (auto& vc : popped) {
        if (vc != outgoing) {
            if (auto v = vc->viewIfLoaded()) v->removeFromSuperview();
        }
    }
    show(topViewController(), outgoing, false, animated);
    return popped;
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated) {
    std::erase(controllers, nullptr);
    if (controllers.empty()) return;
    finishTransition();
    auto outgoing = topViewController();
    for (auto& vc : stack_) {
        if (std::find(controllers.begin(), controllers.end(), vc) == controllers.end()) {
            vc->removeFromParent();
            if (vc != outgoing) {
                if (auto v = vc->viewIfLoaded()) v->removeFromSuperview();
            }
        }
    }
    stack_ = std::move(controllers);
    for (auto& vc : stack_) {
        if (vc->parent().get() != this) addChild(vc);
    }
    show(topViewController(), outgoing, true, animated);
}

void NavigationController::adoptChildren() {
    // The stack's controllers become children once this controller is owned (not while built).
    for (const auto& vc : stack_) {
        if (vc->parent().get() != this) addChild(vc);
    }
}

void NavigationController::show(const std::shared_ptr<ViewController>& incoming,
                                const std::shared_ptr<ViewController>& outgoing, bool forward, bool animated) {
    if (!isViewLoaded() || !content_) {
        return;
    }
    updateBar();
    if (incoming == outgoing || !incoming) return;
    const Rect area = content_->bounds();
    auto inView = incoming->view();
    callWillAppear(*incoming, animated);
    if (outgoing) callWillDisappear(*outgoing, animated);
    if (forward) {
        inView->setFrame(animated ? area.offsetBy(area.width, 0) : area);
        content_->addSubview(inView);
    } else {
        inView->setFrame(area);
        content_->insertSubview(inView, 0);
    }
    std::weak_ptr<NavigationController> weak = std::static_pointer_cast<NavigationController>(shared_from_this());
    runTransition(animated, [weak, incoming, outgoing, animated] {
        auto self = weak.lock();
        if (!self) return;
        if (auto v = incoming->viewIfLoaded(); v && incoming == self->topViewController()) {
            v->setFrame(self->content_->bounds());
        }
        if (outgoing && outgoing != self->topViewController()) {
            if (auto v = outgoing->viewIfLoaded()) v->removeFromSuperview();
        }
        callDidAppear(*incoming, animated);
        if (outgoing) callDidDisappear(*outgoing, animated);
    });
}

void NavigationController::updateBar() {
    if (!bar_) return;
    auto top = topViewController();
    if (!top) return;
    bar_->title_->setText(top->displayTitle());
    const bool hasBack = stack_.size() > 1 && !top->navigationItem().hidesBackButton;
    bar_->back_->setHidden(!hasBack);
    if (hasBack) {
        const auto& previous = stack_[stack_.size() - 2]->navigationItem();
        bar_->back_->setTitle(previous.backButtonTitle.value_or("Back"));
    }
    for (auto& button : bar_->items_) button->removeFromSuperview();
    bar_->items_.clear();
    const auto& item = top->navigationItem();
    for (const auto* list : {&item.leftBarButtonItems, &item.rightBarButtonItems}) {
        for (const auto& barItem : *list) {
            auto button = std::make_shared<Button>(barItem.title);
            button->setAccessibilityIdentifier(barItem.identifier);
            button->setEnabled(barItem.enabled);
            if (barItem.handler) button->onTap(barItem.handler);
            bar_->items_.push_back(std::move(button));
        }
    }
    bar_->layoutSubviews();
}

void NavigationController::childTitleChanged(ViewController& child) {
    if (topViewController().get() == &child) updateBar();
    navigationItemChanged();  // a tab bar above shows the root's title
}

}  // namespace ui
