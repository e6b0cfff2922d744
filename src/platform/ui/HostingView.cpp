#include "platform/ui/HostingView.h"

#include <utility>

#include "platform/runtime/MainActor.h"

namespace ui {

HostingView::HostingView(Body body, const Rect& frame) : View(frame), body_(std::move(body)) { rebuild(); }

std::shared_ptr<HostingView> HostingView::create(Body body, const Rect& frame) {
    return std::make_shared<HostingView>(std::move(body), frame);
}

HostingView::~HostingView() = default;

void HostingView::setBody(Body body) {
    body_ = std::move(body);
    rebuild();
}

void HostingView::rebuild() {
    pending_ = false;
    // Built aside first: the old tree stays intact while the body runs (it may read it).
    views::Node built = body_ ? body_() : views::Empty();
    root_ = std::move(built);
    ++builds_;
}

void HostingView::observe(const Subscribe& subscribe) {
    if (!subscribe) return;
    std::weak_ptr<View> weak = weak_from_this();
    HostingView* self = this;
    tokens_.push_back(subscribe([weak, self] {
        // Before the view is owned by a shared_ptr it cannot be reached later; rebuild at once.
        if (weak.expired()) {
            self->rebuild();
            return;
        }
        self->scheduleRebuild();
    }));
}

void HostingView::stopObserving() { tokens_.clear(); }

void HostingView::scheduleRebuild() {
    if (pending_) return;
    pending_ = true;
    std::weak_ptr<View> weak = weak_from_this();
    rt::MainActor::shared()->post([weak] {
        auto view = std::static_pointer_cast<HostingView>(weak.lock());
        if (view && view->pending_) view->rebuild();
    });
}

bool HostingView::press(std::string_view identifierOrText) {
    if (!receivesTouches()) return false;
    // What the press does may remove this view from its window and drop it.
    const auto keep = weak_from_this().lock();
    // The handler may rebuild the tree: the press works on a copy of the tree as it is now.
    const views::Node tree = root_;
    return views::press(tree, identifierOrText);
}

bool HostingView::tap() {
    const auto keep = weak_from_this().lock();
    if (hasTapHandler()) return View::tap();
    if (!receivesTouches() || root_.kind != views::Kind::button || !root_.hitTesting || !root_.action) return false;
    auto action = root_.action;
    action();
    return true;
}

}  // namespace ui
