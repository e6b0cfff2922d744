// Multi-line text: editable text input (Return adds a line) or read-only text. Giving up the focus
// posts the text-did-end-editing notification.
#pragma once

#include <string>

#include "platform/ui/View.h"

namespace ui {

class TextView : public View {
public:
    TextView() = default;
    explicit TextView(std::string text, const Rect& frame = {}) : View(frame), text_(std::move(text)) {}

    std::string_view className() const override { return "UITextView"; }
    Role role() const override { return Role::textView; }

    const std::string& text() const { return text_; }
    void setText(std::string text) { text_ = std::move(text); }
    bool isEditable() const { return editable_; }
    void setEditable(bool editable) { editable_ = editable; }

    bool canBecomeFirstResponder() const override { return editable_ && receivesTouches(); }
    bool tap() override;
    // A person's typing while the view has the focus; posts the text-did-change notification.
    bool replaceText(std::string text);
    bool insertText(std::string_view text);
    // Return adds a line feed.
    bool pressReturn() { return insertText("\n"); }

protected:
    std::string defaultAccessibilityValue() const override { return text_; }
    void firstResponderChanged(bool isFirst) override;

private:
    void edited();
    std::string text_;
    bool editable_ = true;
};

}  // namespace ui
