// The approval policy: which actions wait for the user's yes before they are performed. Under
// `deleteOrPay` the words on the target element decide: paying, deleting, sending, sharing or
// typing a card number need approval, and the active pack may add its own pattern.
#pragma once

#include <string_view>

namespace tavro {

struct TavroAction;
struct TavroScreen;

enum class TavroApproval {
    everyStep,
    deleteOrPay,
    never,
};

// Whether the user must approve this action on this screen under the given policy.
bool needsApproval(TavroApproval policy, const TavroAction& action, const TavroScreen& on);

// Whether the action shares, or pays, deletes, sends or types a card number on its target element.
bool isDeleteOrPay(const TavroAction& action, const TavroScreen& screen);

// The words (an ICU pattern, matched case-insensitively on lower-cased text) that make tapping an
// element paying, deleting, sending or sharing. The rules engine reads the same words in what a
// person typed as asking for one of those actions.
std::string_view payOrDeleteWords();

}  // namespace tavro
