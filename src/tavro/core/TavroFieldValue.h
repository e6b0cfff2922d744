// Whether a field holds the text typed or pasted into it, judged from what the field shows.
//
// A field may show its text reformatted and still hold it: a mask that groups digits ("(555)
// 123-4567"), a currency format ("$1,234.00" for 1234), another letter case, or bullets that hide
// all but the end of a card number ("•••• 4242"). It does not hold a number of another value or
// sign ("2500", "25" or "40" for 250, 2.50 or -40), nor another text ("Bob" for "Alice").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tavro/core/TavroElement.h"

namespace tavro::TavroFieldValue {

enum class Shows {
    asked,    // the field holds the text (also when the text has no letters or digits to compare)
    other,    // the field shows something else
    nothing,  // the field shows no letters or digits: it may hide what it holds
};

// How what the field shows compares with the text asked of it. Letters compare without case and
// without marks between them; a text that is a number ("250", "-40", "2.50", "1,234", "$12")
// holds only as that number, or, when typed as bare digits, as the same digits regrouped; any
// other text holds when the shown letters and digits contain it without cutting a run of digits.
Shows compare(std::string_view shown, std::string_view asked);

// What a control holds in place of the value asked of it, said for the run log and the models
// ("Amount holds “2500”, not “250”"); nothing when it shows no value.
std::optional<std::string> holdsInstead(const TavroElement& control, std::string_view asked);

}  // namespace tavro::TavroFieldValue
