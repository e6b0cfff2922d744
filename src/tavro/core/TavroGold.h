// The library's gold palette, shared by the launcher, the panel, the pointer and the glowing edge.
#pragma once

#include <array>

namespace tavro {

// An sRGB colour with components from 0 to 1.
struct TavroColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double opacity = 1;

    bool operator==(const TavroColor&) const = default;
};

// A point in unit coordinates of a shape: (0, 0) is the top-leading corner, (1, 1) the
// bottom-trailing one.
struct TavroUnitPoint {
    double x = 0;
    double y = 0;

    bool operator==(const TavroUnitPoint&) const = default;
};

// A linear gradient between two colours from one unit point to another.
struct TavroLinearGradient {
    std::array<TavroColor, 2> colors;
    TavroUnitPoint startPoint;
    TavroUnitPoint endPoint;

    bool operator==(const TavroLinearGradient&) const = default;
};

struct TavroGold {
    static constexpr TavroColor light{250.0 / 255.0, 219.0 / 255.0, 140.0 / 255.0, 1.0};
    static constexpr TavroColor dark{217.0 / 255.0, 166.0 / 255.0, 77.0 / 255.0, 1.0};
    static constexpr TavroColor white{1.0, 0.99, 0.93, 1.0};
    // From light at the top-leading corner to dark at the bottom-trailing corner.
    static constexpr TavroLinearGradient gradient{{light, dark}, {0, 0}, {1, 1}};
};

}  // namespace tavro
