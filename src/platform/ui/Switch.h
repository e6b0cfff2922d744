// An on/off switch: a tap flips it and sends value-changed; readers see "1" or "0".
#pragma once

#include "platform/ui/Control.h"

namespace ui {

class Switch : public Control {
public:
    Switch() = default;
    explicit Switch(bool on, const Rect& frame = {}) : Control(frame), on_(on) {}

    std::string_view className() const override { return "UISwitch"; }
    Role role() const override { return Role::toggle; }

    bool isOn() const { return on_; }
    // Sets the state without sending events (as code does).
    void setOn(bool on) { on_ = on; }
    // A person's tap: flips the switch and sends value-changed.
    bool tap() override;

protected:
    std::string defaultAccessibilityValue() const override { return on_ ? "1" : "0"; }

private:
    bool on_ = false;
};

}  // namespace ui
