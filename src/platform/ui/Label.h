// A label: static text on screen.
#pragma once

#include <string>

#include "platform/ui/View.h"

namespace ui {

class Label : public View {
public:
    Label() = default;
    explicit Label(std::string text, const Rect& frame = {}) : View(frame), text_(std::move(text)) {}

    std::string_view className() const override { return "UILabel"; }
    Role role() const override { return Role::staticText; }

    const std::string& text() const { return text_; }
    void setText(std::string text) { text_ = std::move(text); }
    const Color& textColor() const { return textColor_; }
    void setTextColor(const Color& color) { textColor_ = color; }
    double fontSize() const { return fontSize_; }
    void setFontSize(double size) { fontSize_ = size; }

protected:
    std::string defaultAccessibilityLabel() const override { return text_; }
    Traits defaultTraits() const override { return Trait::staticText; }

private:
    std::string text_;
    Color textColor_ = Color::black();
    double fontSize_ = 17;
};

}  // namespace ui
