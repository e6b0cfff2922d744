// An RGBA colour with components from 0 to 1, and the few named colours the toolkit draws with.
#pragma once

#include <cstdint>

namespace ui {

struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;  // 0: no colour at all (nothing is drawn)

    bool operator==(const Color&) const = default;
    bool isClear() const { return alpha <= 0; }
    Color withAlpha(double a) const { return {red, green, blue, a}; }

    static Color rgb(int r, int g, int b, double a = 1) { return {r / 255.0, g / 255.0, b / 255.0, a}; }
    static Color clear() { return {}; }
    static Color white() { return {1, 1, 1, 1}; }
    static Color black() { return {0, 0, 0, 1}; }
    static Color gray() { return rgb(142, 142, 147); }
    static Color lightGray() { return rgb(229, 229, 234); }
    static Color systemBlue() { return rgb(0, 122, 255); }
    static Color systemGreen() { return rgb(52, 199, 89); }
    static Color systemRed() { return rgb(255, 59, 48); }
};

// Light or dark appearance of a window and everything in it.
enum class InterfaceStyle : std::uint8_t { light, dark };

}  // namespace ui
