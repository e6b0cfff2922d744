// One reading of a screen as a surface reports it: location, title, visible text and the elements
// in reading order, with the flags that make the agent hand the turn to the user.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tavro/core/TavroElement.h"

namespace tavro {

struct TavroScreen {
    std::string location;
    std::string title;
    std::string text;
    std::vector<TavroElement> elements;
    bool humanCheck = false;
    bool systemAlert = false;
    bool keyboardVisible = false;
    // Which document the reading came from, where a surface tells documents apart (a web page's
    // document: a new page or a reload is another); empty otherwise. Element ids hold only within it.
    std::string document;

    bool operator==(const TavroScreen&) const = default;

    // The first element with this id in screen order; nullptr when none has it. The pointer is
    // valid while the screen is unchanged.
    const TavroElement* element(std::int64_t id) const;

    // Whether this is the screen a name means: its location or its title is that name (compared
    // normalised). A selected tab alone does not tell it: a screen pushed within the tab shows
    // under the same tab.
    bool shows(std::string_view name) const;
};

}  // namespace tavro
