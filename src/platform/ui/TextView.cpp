#include "platform/ui/TextView.h"

#include "platform/ui/Application.h"

namespace ui {

bool TextView::tap() {
    if (!canBecomeFirstResponder()) return false;
    return becomeFirstResponder();
}

bool TextView::replaceText(std::string text) {
    if (!isFirstResponder() || !editable_) return false;
    text_ = std::move(text);
    edited();
    return true;
}

bool TextView::insertText(std::string_view text) {
    if (!isFirstResponder() || !editable_) return false;
    text_.append(text);
    edited();
    return true;
}

void TextView::firstResponderChanged(bool isFirst) {
    if (!isFirst) Application::shared()->postNotification(Notification::textViewTextDidEndEditing, shared_from_this());
}

void TextView::edited() {
    Application::shared()->postNotification(Notification::textViewTextDidChange, shared_from_this());
}

}  // namespace ui
