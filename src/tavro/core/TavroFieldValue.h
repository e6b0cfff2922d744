// Whether a field holds the text typed or pasted into it, judged from what the field shows.
//
// A field may show its text reformatted and still hold it: a mask that groups digits ("(555)
// 123-4567"), a currency format in its own decimal sign ("$1,234.00" or "1.234,00 €" for 1234,
// "2,50 €" for 2.50), another letter case, or bullets that hide all but the end of a card number
// ("•••• 4242"). It does not hold a number of another value or sign ("2500", "25" or "40" for
// 250, 2.50 or -40; "2,50 €" for 250), nor another text ("Bob" for "Alice", "Joanna" for "Anna").
// A choice is held only by the option chosen, never by one that contains it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tavro/core/TavroElement.h"

namespace tavro::TavroFieldValue {

enum class Shows {
    asked,    // the field holds the text (also when the text has no letters or digits to compare)
    other,    // the field shows something else
    nothing,  // the field shows no letters or digits: it may hide what it holds
};

// How what the field shows compares with the text asked of it. Letters compare without case and
// without marks between them; a text that is a number ("250", "-40", "2.50", "2,50", "1,234",
// "$12") holds only as that number, read in the format the field shows it (a comma or a point is
// the decimal sign when the other groups thousands or when one or two digits end the number after
// it), or, when typed as bare digits and the field shows no number, as the same digits regrouped;
// any other text holds when the field shows it as whole words ("Anna Smith" holds "Anna").
Shows compare(std::string_view shown, std::string_view asked);

// Whether a control showing `value` holds the option `asked` chooses among `options`: the option
// the value names, read by the rule a choice is made with (an equal option first), is the one the
// choice names. "Mug + Insurance" does not hold "Mug", nor "10" hold "1". Without options, or
// when the text names none of them, the value must equal it (folded).
bool holdsOption(std::string_view value, std::string_view asked, const std::vector<std::string>& options);

// What a control holds in place of the value asked of it, said for the run log and the models
// ("Amount holds “2500”, not “250”"); nothing when it shows no value.
std::optional<std::string> holdsInstead(const TavroElement& control, std::string_view asked);

}  // namespace tavro::TavroFieldValue
