#include "platform/ui/Slider.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ui {

Slider::Slider(double minimum, double maximum, double value, const Rect& frame) : Control(frame) {
    setRange(minimum, maximum);
    setValue(value);
}

void Slider::setRange(double minimum, double maximum) {
    min_ = std::min(minimum, maximum);
    max_ = std::max(minimum, maximum);
    value_ = fit(value_);
}

double Slider::fit(double value) const {
    if (std::isnan(value)) value = min_;
    value = std::clamp(value, min_, max_);
    if (step_ > 0) value = std::clamp(min_ + std::round((value - min_) / step_) * step_, min_, max_);
    return value;
}

void Slider::setValue(double value) { value_ = fit(value); }

bool Slider::slide(double value) {
    if (!acceptsTouches()) return false;
    const double next = fit(value);
    if (next != value_) {
        value_ = next;
        sendActions(ControlEvent::valueChanged);
    }
    return true;
}

std::string Slider::defaultAccessibilityValue() const {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", value_);
    std::string text = buffer;
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (text == "-0") text = "0";
    return text;
}

}  // namespace ui
