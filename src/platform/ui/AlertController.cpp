#include "platform/ui/AlertController.h"

#include <algorithm>

#include "platform/ui/Label.h"

namespace ui {

namespace {
constexpr double alertWidth = 270;
constexpr double buttonHeight = 44;
constexpr double titleHeight = 44;
constexpr double messageHeight = 40;
}  // namespace

AlertController::AlertController(std::string title, std::string message, Style style)
    : ViewController(std::move(title)), message_(std::move(message)), style_(style) {
    setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
}

void AlertController::addAction(AlertAction action) {
    actions_.push_back(std::move(action));
    if (isViewLoaded()) {
        loadView();  // rebuilds the contents for the new list
    }
}

std::optional<std::size_t> AlertController::cancelActionIndex() const {
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        if (actions_[i].style == AlertAction::Style::cancel) return i;
    }
    return std::nullopt;
}

double AlertController::contentHeight() const {
    return titleHeight + (message_.empty() ? 0 : messageHeight) + buttonHeight * static_cast<double>(actions_.size());
}

Rect AlertController::presentationFrame(const Rect& windowBounds) const {
    const double h = contentHeight();
    if (style_ == Style::actionSheet) {
        return {windowBounds.x + 8, windowBounds.maxY() - h - 34, windowBounds.width - 16, h};
    }
    return {windowBounds.midX() - alertWidth / 2, windowBounds.midY() - h / 2, alertWidth, h};
}

void AlertController::loadView() {
    auto v = viewIfLoaded();
    if (!v) {
        v = std::make_shared<View>(Rect{0, 0, alertWidth, contentHeight()});
        v->setBackgroundColor(Color::rgb(242, 242, 247));
        setView(v);
    }
    v->removeAllSubviews();
    const double w = v->frame().width;
    v->setFrame({v->frame().x, v->frame().y, w, contentHeight()});
    double y = 0;
    auto titleLabel = std::make_shared<Label>(title(), Rect{16, y, w - 32, titleHeight});
    titleLabel->setAccessibilityTraits(Trait::header);
    v->addSubview(titleLabel);
    y += titleHeight;
    if (!message_.empty()) {
        auto messageLabel = std::make_shared<Label>(message_, Rect{16, y, w - 32, messageHeight});
        messageLabel->setFontSize(13);
        v->addSubview(messageLabel);
        y += messageHeight;
    }
    buttons_.clear();
    std::weak_ptr<AlertController> weak = std::static_pointer_cast<AlertController>(shared_from_this());
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        auto button = std::make_shared<Button>(actions_[i].title, Rect{0, y, w, buttonHeight});
        button->setEnabled(actions_[i].enabled);
        if (actions_[i].style == AlertAction::Style::destructive) button->setTitleColor(Color::systemRed());
        button->onTap([weak, i] {
            if (auto self = weak.lock()) self->tapAction(i);
        });
        v->addSubview(button);
        buttons_.push_back(std::move(button));
        y += buttonHeight;
    }
}

std::shared_ptr<Button> AlertController::buttonForAction(std::size_t index) {
    view();
    return index < buttons_.size() ? buttons_[index] : nullptr;
}

bool AlertController::tapAction(std::size_t index) {
    if (answered_ || index >= actions_.size() || !actions_[index].enabled) return false;
    if (!presentingViewController() || isBeingDismissed()) return false;
    answered_ = true;
    auto handler = actions_[index].handler;
    dismiss(true, [handler] {
        if (handler) handler();
    });
    return true;
}

}  // namespace ui
