// Single-line text input: holds its text, takes the keyboard focus (first responder) when touched,
// reports each edit (editing-changed and the text-did-change notification) and handles Return.
// A secure field shows readers bullets instead of its text; the search variant is a search field.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/Control.h"

namespace ui {

class TextField : public Control {
public:
    TextField() = default;
    explicit TextField(std::string placeholder, const Rect& frame = {})
        : Control(frame), placeholder_(std::move(placeholder)) {}

    std::string_view className() const override { return "UITextField"; }
    Role role() const override { return Role::textField; }

    const std::string& text() const { return text_; }
    // Sets the text as code does: no events, no notification.
    void setText(std::string text) { text_ = std::move(text); }
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string placeholder) { placeholder_ = std::move(placeholder); }
    bool isSecureTextEntry() const { return secure_; }
    void setSecureTextEntry(bool secure) { secure_ = secure; }
    // The kind of text the field expects ("emailAddress", "name", "password", ...).
    const std::string& textContentType() const { return contentType_; }
    void setTextContentType(std::string type) { contentType_ = std::move(type); }
    virtual bool isSearchField() const { return false; }

    // Asked when Return is pressed; answering false ignores the key.
    void setShouldReturn(std::function<bool(TextField&)> handler) { shouldReturn_ = std::move(handler); }

    bool canBecomeFirstResponder() const override { return isEnabled() && receivesTouches(); }
    // A person's tap: the field takes the focus and the keyboard comes up.
    bool tap() override;

    // A person's typing while the field has the focus. `replaceText` selects all and types the new
    // text; `insertText` types at the end; each sends editing-changed once and posts the
    // text-did-change notification. False when the field does not have the focus.
    bool replaceText(std::string text);
    bool insertText(std::string_view text);
    bool deleteBackward();
    // The Return key: asks the handler, then sends editing-did-end-on-exit and the primary action;
    // the field gives up the focus when a handler listens for editing-did-end-on-exit.
    bool pressReturn();

protected:
    std::string defaultAccessibilityLabel() const override { return placeholder_; }
    std::string defaultAccessibilityValue() const override;
    void firstResponderChanged(bool isFirst) override;
    void edited();

private:
    std::string text_;
    std::string placeholder_;
    std::string contentType_;
    std::function<bool(TextField&)> shouldReturn_;
    bool secure_ = false;
};

class SearchTextField : public TextField {
public:
    using TextField::TextField;
    std::string_view className() const override { return "UISearchTextField"; }
    bool isSearchField() const override { return true; }

protected:
    Traits defaultTraits() const override { return Trait::searchField | TextField::defaultTraits(); }
};

}  // namespace ui
