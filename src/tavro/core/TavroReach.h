// What a step will reach beyond its element's own name, as the surface that performs it resolves
// it: the words the control draws, the options the step's text picks (by their text or by a hidden
// value), and the control a submission presses. The approval policy judges a step by these with the
// element's words, and the gate reads them again right before the press.
#pragma once

#include <string>
#include <vector>

namespace tavro {

struct TavroReach {
    // Words the control draws that its name does not hold (text drawn beside an aria name, generated
    // content, a shadow tree's text).
    std::vector<std::string> shows;
    // The options the step's text picks, by their shown text.
    std::vector<std::string> picks;
    // The words of the control a submission presses (a form's default button).
    std::vector<std::string> submits;

    bool operator==(const TavroReach&) const = default;
};

}  // namespace tavro
