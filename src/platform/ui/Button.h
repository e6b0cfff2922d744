// A push button with a title: a tap sends touch-up-inside (and the primary action) to its handlers.
#pragma once

#include <string>

#include "platform/ui/Control.h"

namespace ui {

class Button : public Control {
public:
    Button() = default;
    explicit Button(std::string title, const Rect& frame = {}) : Control(frame), title_(std::move(title)) {}

    std::string_view className() const override { return "UIButton"; }
    Role role() const override { return Role::button; }

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    const Color& titleColor() const { return titleColor_; }
    void setTitleColor(const Color& color) { titleColor_ = color; }

    // Convenience: runs the handler on every tap.
    int onTap(std::function<void()> handler);

    bool tap() override;

protected:
    std::string defaultAccessibilityLabel() const override { return title_; }
    Traits defaultTraits() const override { return Trait::button | Control::defaultTraits(); }

private:
    std::string title_;
    Color titleColor_ = Color::systemBlue();
};

}  // namespace ui
