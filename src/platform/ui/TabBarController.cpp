#include "platform/ui/TabBarController.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"

namespace ui {

bool TabBarButton::tap() {
    if (!acceptsTouches()) return false;
    auto owner = owner_.lock();
    return owner && owner->tapTab(index_);
}

Traits TabBarButton::defaultTraits() const {
    return Trait::button | (isSelected() ? Trait::selected : Trait::none) | Control::defaultTraits();
}

void TabBar::layoutSubviews() {
    const double w = frame().width;
    const double each = buttons_.empty() ? 0 : w / static_cast<double>(buttons_.size());
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setFrame({each * static_cast<double>(i), 0, each, height});
    }
}

namespace {
std::string tabTitle(const ViewController& vc) {
    std::string title = vc.title();
    if (title.empty()) {
        if (const auto* nav = dynamic_cast<const NavigationController*>(&vc); nav && !nav->viewControllers().empty()) {
            title = nav->viewControllers().front()->title();
        }
    }
    return title;
}
}  // namespace

void TabBarController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers) {
    std::erase(controllers, nullptr);
    for (auto& vc : tabs_) {
        if (auto v = vc->viewIfLoaded()) v->removeFromSuperview();
        vc->removeFromParent();
    }
    tabs_ = std::move(controllers);
    for (auto& vc : tabs_) addChild(vc);
    selected_ = tabs_.empty() ? 0 : std::clamp(selected_, 0, static_cast<int>(tabs_.size()) - 1);
    rebuildBar();
    showSelected(-1);
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const {
    if (selected_ < 0 || selected_ >= static_cast<int>(tabs_.size())) return nullptr;
    return tabs_[selected_];
}

void TabBarController::setSelectedIndex(int index) {
    if (index < 0 || index >= static_cast<int>(tabs_.size()) || index == selected_) return;
    const int previous = selected_;
    selected_ = index;
    showSelected(previous);
}

bool TabBarController::tapTab(int index) {
    if (index < 0 || index >= static_cast<int>(tabs_.size())) return false;
    if (!bar_ || !bar_->receivesTouches()) return false;
    if (index == selected_) {
        if (auto nav = std::dynamic_pointer_cast<NavigationController>(tabs_[index])) nav->popToRootViewController(true);
        return true;
    }
    const int previous = selected_;
    selected_ = index;
    showSelected(previous);
    if (onSelect_) {
        auto handler = onSelect_;
        handler(index);
    }
    return true;
}

const std::shared_ptr<TabBar>& TabBarController::tabBar() {
    view();
    return bar_;
}

void TabBarController::loadView() {
    auto container = std::make_shared<ContainerView>(Application::shared()->screenBounds());
    container->setBackgroundColor(Color::white());
    setView(container);
    content_ = std::make_shared<View>();
    bar_ = std::make_shared<TabBar>();
    bar_->setBackgroundColor(Color::rgb(249, 249, 249));
    container->addSubview(content_);
    container->addSubview(bar_);
    std::weak_ptr<TabBarController> weak = std::static_pointer_cast<TabBarController>(shared_from_this());
    container->setOnLayout([weak](ContainerView& v) {
        auto self = weak.lock();
        if (!self || !self->bar_) return;
        const Rect b = v.bounds();
        self->content_->setFrame({0, 0, b.width, std::max(0.0, b.height - TabBar::height)});
        self->bar_->setFrame({0, b.height - TabBar::height, b.width, TabBar::height});
        if (auto vc = self->selectedViewController()) vc->view()->setFrame(self->content_->bounds());
    });
    container->layoutIfNeeded();
    rebuildBar();
    showSelected(-1);
}

void TabBarController::rebuildBar() {
    if (!bar_) return;
    bar_->removeAllSubviews();
    bar_->buttons_.clear();
    std::weak_ptr<TabBarController> weak = std::static_pointer_cast<TabBarController>(shared_from_this());
    for (std::size_t i = 0; i < tabs_.size(); ++i) {
        auto button = std::make_shared<TabBarButton>(tabTitle(*tabs_[i]));
        button->owner_ = weak;
        button->index_ = static_cast<int>(i);
        button->setSelected(static_cast<int>(i) == selected_);
        bar_->addSubview(button);
        bar_->buttons_.push_back(std::move(button));
    }
    bar_->layoutSubviews();
}

void TabBarController::showSelected(int previous) {
    if (bar_) {
        for (std::size_t i = 0; i < bar_->buttons_.size(); ++i) {
            bar_->buttons_[i]->setSelected(static_cast<int>(i) == selected_);
        }
    }
    if (!content_) return;
    std::shared_ptr<ViewController> old;
    if (previous >= 0 && previous < static_cast<int>(tabs_.size())) old = tabs_[previous];
    auto now = selectedViewController();
    if (old && old != now) {
        callWillDisappear(*old, false);
        if (auto v = old->viewIfLoaded()) v->removeFromSuperview();
        callDidDisappear(*old, false);
    }
    if (now) {
        auto v = now->view();
        v->setFrame(content_->bounds());
        callWillAppear(*now, false);
        if (v->superview() != content_) content_->addSubview(v);
        callDidAppear(*now, false);
    }
}

void TabBarController::childTitleChanged(ViewController& child) {
    if (!bar_) return;
    for (std::size_t i = 0; i < tabs_.size() && i < bar_->buttons_.size(); ++i) {
        if (tabs_[i].get() == &child) bar_->buttons_[i]->setTitle(tabTitle(child));
    }
}

}  // namespace ui
