#include "platform/ui/View.h"

#include <algorithm>
#include <atomic>

#include "platform/ui/ContextMenuController.h"
#include "platform/ui/Window.h"

namespace ui {

namespace {
std::atomic<std::uint64_t> nextSerial{1};
const std::vector<std::string> noLabels;
const std::vector<AccessibilityCustomAction> noActions;
}  // namespace

View::View() : serial_(nextSerial.fetch_add(1, std::memory_order_relaxed)) {}

View::View(const Rect& frame) : frame_(frame), serial_(nextSerial.fetch_add(1, std::memory_order_relaxed)) {}

View::~View() = default;

View::Extras& View::extras() {
    if (!extras_) extras_ = std::make_unique<Extras>();
    return *extras_;
}

void View::setFrame(const Rect& frame) {
    const bool resized = frame.width != frame_.width || frame.height != frame_.height;
    frame_ = frame;
    if (resized) layoutSubviews();
}

Rect View::convertToWindow(const Rect& rect) const {
    double x = rect.x;
    double y = rect.y;
    const View* v = this;
    std::shared_ptr<View> holder;
    while (v && v->role() != Role::window) {
        x += v->frame_.x - v->boundsOrigin_.x;
        y += v->frame_.y - v->boundsOrigin_.y;
        holder = v->superview_.lock();
        v = holder.get();
    }
    return {x, y, rect.width, rect.height};
}

Rect View::frameInWindow() const {
    if (role() == Role::window) return {0, 0, frame_.width, frame_.height};
    auto parent = superview_.lock();
    if (!parent) return frame_;
    return parent->convertToWindow(frame_);
}

void View::detachFromParent() {
    auto parent = superview_.lock();
    if (!parent) return;
    auto& list = parent->subviews_;
    auto it = std::find_if(list.begin(), list.end(), [this](const auto& v) { return v.get() == this; });
    if (it != list.end()) list.erase(it);
    superview_.reset();
    inSuperview_ = false;
}

void View::willLeaveWindow(Window& window) {
    auto responder = window.firstResponder();
    if (responder && (responder.get() == this || responder->isDescendantOf(*this))) window.setFirstResponder(nullptr);
}

void View::addSubview(std::shared_ptr<View> view) { insertSubview(std::move(view), subviews_.size()); }

void View::insertSubview(std::shared_ptr<View> view, std::size_t index) {
    if (!view || view.get() == this) return;
    if (auto old = view->superview_.lock()) {
        if (auto w = old->window()) view->willLeaveWindow(*w);
        view->detachFromParent();
    } else if (view->inSuperview_) {
        // Added while this view was still being built (no owner yet to refer back to).
        std::erase_if(subviews_, [&](const auto& v) { return v == view; });
    }
    view->superview_ = weak_from_this();
    view->inSuperview_ = true;
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), std::move(view));
}

void View::removeFromSuperview() {
    auto self = shared_from_this();  // keep alive while detaching
    if (auto w = window()) willLeaveWindow(*w);
    detachFromParent();
}

void View::removeAllSubviews() {
    while (!subviews_.empty()) subviews_.back()->removeFromSuperview();
}

void View::bringSubviewToFront(const View& view) {
    auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == &view; });
    if (it == subviews_.end()) return;
    auto keep = *it;
    subviews_.erase(it);
    subviews_.push_back(std::move(keep));
}

std::shared_ptr<Window> View::window() const {
    const View* top = this;
    std::shared_ptr<View> holder;
    while (auto parent = top->superview_.lock()) {
        holder = std::move(parent);
        top = holder.get();
    }
    if (top->role() != Role::window) return nullptr;
    if (holder) return std::static_pointer_cast<Window>(holder);
    return std::static_pointer_cast<Window>(std::const_pointer_cast<View>(shared_from_this()));
}

bool View::isDescendantOf(const View& ancestor) const {
    auto parent = superview_.lock();
    while (parent) {
        if (parent.get() == &ancestor) return true;
        parent = parent->superview_.lock();
    }
    return false;
}

std::shared_ptr<View> View::findByIdentifier(std::string_view identifier) {
    if (identifier_ == identifier) return shared_from_this();
    for (const auto& sub : subviews_) {
        if (auto found = sub->findByIdentifier(identifier)) return found;
    }
    return nullptr;
}

bool View::isVisibleInHierarchy() const {
    const View* v = this;
    std::shared_ptr<View> holder;
    while (v) {
        if (v->hidden_ || v->alpha_ < 0.01) return false;
        holder = v->superview_.lock();
        v = holder.get();
    }
    return true;
}

bool View::receivesTouches() const {
    const View* v = this;
    std::shared_ptr<View> holder;
    while (v) {
        if (v->hidden_ || v->alpha_ < 0.01 || !v->userInteractionEnabled_) return false;
        holder = v->superview_.lock();
        v = holder.get();
    }
    return true;
}

void View::setOnTap(std::function<void()> handler) { extras().onTap = std::move(handler); }
bool View::hasTapHandler() const { return extras_ && extras_->onTap; }
void View::setOnLongPress(std::function<void()> handler) { extras().onLongPress = std::move(handler); }
bool View::hasLongPressHandler() const { return extras_ && extras_->onLongPress; }
void View::setContextMenu(std::optional<Menu> menu) { extras().menu = std::move(menu); }
const Menu* View::contextMenu() const { return extras_ && extras_->menu ? &*extras_->menu : nullptr; }

bool View::tap() {
    if (!hasTapHandler() || !receivesTouches()) return false;
    auto handler = extras_->onTap;  // the handler may replace itself
    handler();
    return true;
}

bool View::longPress() {
    if (!receivesTouches()) return false;
    if (const Menu* menu = contextMenu(); menu && !menu->actions.empty()) {
        auto w = window();
        auto top = w ? w->topPresentedViewController() : nullptr;
        if (!top) return false;
        return top->present(std::make_shared<ContextMenuController>(*menu, weak_from_this()), true);
    }
    if (hasLongPressHandler()) {
        auto handler = extras_->onLongPress;
        handler();
        return true;
    }
    return false;
}

std::string View::accessibilityLabel() const { return label_ ? *label_ : defaultAccessibilityLabel(); }
std::string View::accessibilityValue() const { return value_ ? *value_ : defaultAccessibilityValue(); }

const std::vector<std::string>& View::accessibilityUserInputLabels() const {
    return extras_ ? extras_->userInputLabels : noLabels;
}
void View::setAccessibilityUserInputLabels(std::vector<std::string> labels) {
    extras().userInputLabels = std::move(labels);
}
const std::vector<AccessibilityCustomAction>& View::accessibilityCustomActions() const {
    return extras_ ? extras_->customActions : noActions;
}
void View::setAccessibilityCustomActions(std::vector<AccessibilityCustomAction> actions) {
    extras().customActions = std::move(actions);
}
bool View::performAccessibilityCustomAction(std::string_view name) {
    if (!extras_) return false;
    for (const auto& action : extras_->customActions) {
        if (action.name == name) {
            auto handler = action.handler;
            return handler && handler();
        }
    }
    return false;
}

bool View::becomeFirstResponder() {
    if (!canBecomeFirstResponder()) return false;
    auto w = window();
    if (!w) return false;
    return w->setFirstResponder(shared_from_this());
}

bool View::resignFirstResponder() {
    auto w = window();
    if (!w || w->firstResponder().get() != this) return false;
    return w->setFirstResponder(nullptr);
}

bool View::isFirstResponder() const {
    auto w = window();
    return w && w->firstResponder().get() == this;
}

}  // namespace ui
