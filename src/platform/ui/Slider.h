// A slider: a value between a minimum and a maximum, optionally moving in steps.
#pragma once

#include "platform/ui/Control.h"

namespace ui {

class Slider : public Control {
public:
    Slider() = default;
    Slider(double minimum, double maximum, double value, const Rect& frame = {});

    std::string_view className() const override { return "UISlider"; }
    Role role() const override { return Role::slider; }

    double value() const { return value_; }
    double minimumValue() const { return min_; }
    double maximumValue() const { return max_; }
    // 0: continuous; otherwise values snap to multiples of the step above the minimum.
    double step() const { return step_; }
    void setStep(double step) { step_ = step; }
    void setRange(double minimum, double maximum);
    // Sets the value (clamped, snapped) without sending events.
    void setValue(double value);
    // A person's drag to the value: clamps and snaps it, sends value-changed when it changed.
    bool slide(double value);

protected:
    std::string defaultAccessibilityValue() const override;
    Traits defaultTraits() const override { return Trait::adjustable | Control::defaultTraits(); }

private:
    double fit(double value) const;
    double min_ = 0;
    double max_ = 1;
    double value_ = 0;
    double step_ = 0;
};

}  // namespace ui
