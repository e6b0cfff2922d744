// The agent's record of one step it performed with effect: the action, the element it acted on as
// read before the action (none for actions without an element), the caption shown for it and the
// location of the screen it was performed on. Learned recipes and repeat counts are built from these.
#pragma once

#include <optional>
#include <string>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroElement.h"

namespace tavro {

struct TavroPerformedStep {
    TavroAction action;
    std::optional<TavroElement> element;
    std::string caption;
    std::string location;

    bool operator==(const TavroPerformedStep&) const = default;
};

}  // namespace tavro
