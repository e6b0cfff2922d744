#include "platform/ui/TextField.h"

#include "platform/ui/Application.h"

namespace ui {

namespace {
// Bytes of the last code point of a UTF-8 text.
std::size_t lastCodePointSize(const std::string& text) {
    if (text.empty()) return 0;
    std::size_t n = 1;
    while (n < text.size() && (static_cast<unsigned char>(text[text.size() - n]) & 0xC0) == 0x80) ++n;
    return n;
}
std::size_t codePoints(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}
}  // namespace

bool TextField::tap() {
    if (!canBecomeFirstResponder()) return false;
    return becomeFirstResponder();
}

bool TextField::replaceText(std::string text) {
    if (!isFirstResponder() || !isEnabled()) return false;
    text_ = std::move(text);
    edited();
    return true;
}

bool TextField::insertText(std::string_view text) {
    if (!isFirstResponder() || !isEnabled()) return false;
    text_.append(text);
    edited();
    return true;
}

bool TextField::deleteBackward() {
    if (!isFirstResponder() || !isEnabled()) return false;
    if (text_.empty()) return true;
    text_.resize(text_.size() - lastCodePointSize(text_));
    edited();
    return true;
}

bool TextField::pressReturn() {
    if (!isFirstResponder()) return false;
    auto keep = shared_from_this();
    if (shouldReturn_) {
        auto ask = shouldReturn_;
        if (!ask(*this)) return true;
    }
    const bool resigns = hasActions(ControlEvent::editingDidEndOnExit);
    sendActions(ControlEvent::editingDidEndOnExit | ControlEvent::primaryActionTriggered);
    if (resigns) resignFirstResponder();
    return true;
}

std::string TextField::defaultAccessibilityValue() const {
    if (!secure_) return text_;
    std::string bullets;
    for (std::size_t i = codePoints(text_); i > 0; --i) bullets += "\u2022";
    return bullets;
}

void TextField::firstResponderChanged(bool isFirst) {
    sendActions(isFirst ? ControlEvent::editingDidBegin : ControlEvent::editingDidEnd);
    if (!isFirst) Application::shared()->postNotification(Notification::textFieldTextDidEndEditing, shared_from_this());
}

void TextField::edited() {
    sendActions(ControlEvent::editingChanged);
    Application::shared()->postNotification(Notification::textFieldTextDidChange, shared_from_this());
}

}  // namespace ui
