// The library's gold palette, shared by the launcher, the panel, the pointer, the glowing edge and
// the debug screen. Colours and gradients are those of the declarative views layer.
#pragma once

#include "platform/views/Node.h"

namespace tavro {

using TavroColor = views::Color;
using TavroUnitPoint = views::UnitPoint;
using TavroLinearGradient = views::LinearGradient;

struct TavroGold {
    static constexpr TavroColor light{250.0 / 255.0, 219.0 / 255.0, 140.0 / 255.0, 1.0};
    static constexpr TavroColor dark{217.0 / 255.0, 166.0 / 255.0, 77.0 / 255.0, 1.0};
    static constexpr TavroColor white{1.0, 0.99, 0.93, 1.0};
    // From light at the top-leading corner to dark at the bottom-trailing corner.
    static constexpr TavroLinearGradient gradient{{light, dark}, {0, 0}, {1, 1}};
};

}  // namespace tavro
