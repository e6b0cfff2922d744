#include "platform/ui/ContextMenuController.h"

#include <algorithm>

#include "platform/ui/Label.h"

namespace ui {

namespace {
constexpr double menuWidth = 250;
constexpr double rowHeight = 44;
}  // namespace

ContextMenuController::ContextMenuController(Menu menu, std::weak_ptr<View> source)
    : ViewController(menu.title), menu_(std::move(menu)), source_(std::move(source)) {
    setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
}

Rect ContextMenuController::presentationFrame(const Rect& windowBounds) const {
    const double h = rowHeight * static_cast<double>(menu_.actions.size() + (menu_.title.empty() ? 0 : 1));
    double x = windowBounds.midX() - menuWidth / 2;
    double y = windowBounds.midY() - h / 2;
    if (auto source = source_.lock()) {
        const Rect f = source->frameInWindow();
        x = std::clamp(f.minX(), windowBounds.minX() + 8, std::max(windowBounds.minX() + 8, windowBounds.maxX() - menuWidth - 8));
        y = f.maxY() + 8;
        if (y + h > windowBounds.maxY() - 8) y = std::max(windowBounds.minY() + 8, f.minY() - h - 8);
    }
    return {x, y, menuWidth, h};
}

void ContextMenuController::loadView() {
    auto v = std::make_shared<View>(Rect{0, 0, menuWidth, rowHeight * static_cast<double>(menu_.actions.size() + 1)});
    v->setBackgroundColor(Color::rgb(242, 242, 247));
    setView(v);
    double y = 0;
    if (!menu_.title.empty()) {
        auto title = std::make_shared<Label>(menu_.title, Rect{16, y, menuWidth - 32, rowHeight});
        title->setTextColor(Color::gray());
        v->addSubview(title);
        y += rowHeight;
    }
    std::weak_ptr<ContextMenuController> weak = std::static_pointer_cast<ContextMenuController>(shared_from_this());
    for (std::size_t i = 0; i < menu_.actions.size(); ++i) {
        const auto& action = menu_.actions[i];
        auto button = std::make_shared<Button>(action.title, Rect{0, y, menuWidth, rowHeight});
        button->setAccessibilityIdentifier(action.identifier);
        button->setEnabled(!action.disabled);
        if (action.destructive) button->setTitleColor(Color::systemRed());
        button->onTap([weak, i] {
            if (auto self = weak.lock()) self->tapAction(i);
        });
        v->addSubview(button);
        buttons_.push_back(std::move(button));
        y += rowHeight;
    }
}

bool ContextMenuController::tapAction(std::size_t index) {
    if (answered_ || index >= menu_.actions.size() || menu_.actions[index].disabled) return false;
    if (!presentingViewController() || isBeingDismissed()) return false;
    answered_ = true;
    auto handler = menu_.actions[index].handler;
    dismiss(true, [handler] {
        if (handler) handler();
    });
    return true;
}

void ContextMenuController::close(bool animated) {
    if (answered_ || !presentingViewController()) return;
    answered_ = true;
    dismiss(animated);
}

}  // namespace ui
