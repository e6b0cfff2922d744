// The approval policy: which actions wait for the user's yes before they are performed. Under
// `deleteOrPay` the words on the target element decide: paying, deleting, sending, sharing or
// typing a card number need approval, and the active pack may add its own pattern.
#pragma once

#include <string>
#include <string_view>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroReach.h"

namespace tavro {

struct TavroElement;
struct TavroScreen;

enum class TavroApproval {
    everyStep,
    deleteOrPay,
    never,
};

// Whether the user must approve this action on this screen under the given policy.
bool needsApproval(TavroApproval policy, const TavroAction& action, const TavroScreen& on);

// Whether the action shares, or pays, deletes, sends or types a card number on its target element.
// With a reach, what the surface says the step reaches counts too.
bool isDeleteOrPay(const TavroAction& action, const TavroScreen& screen);
bool isDeleteOrPay(const TavroAction& action, const TavroScreen& screen, const TavroReach& reach);

// How a step acts on its element, as the surfaces turn it: a paste types; typing or choosing a word
// into a switch taps it; typing into a control with options chooses one.
TavroAction::Kind reachedKind(const TavroAction& action, const TavroElement& element);

// Everything a step reaches, lower-cased, in three parts: the element's name (label, keys and the
// words it draws), the options its text picks, and what it presses beyond the element (the action
// a swipe runs, the button a submission presses).
struct TavroReachWords {
    TavroAction::Kind kind = TavroAction::Kind::click;
    std::string name;
    std::string picks;
    std::string presses;
    bool picksOption = false;

    bool operator==(const TavroReachWords&) const = default;
};
TavroReachWords reachWords(const TavroAction& action, const TavroElement& element, const TavroReach& reach);
// `isDeleteOrPay` on what a step reaches on its element (a share always needs approval).
bool isDeleteOrPay(const TavroAction& action, const TavroElement& element, const TavroReachWords& words);

// The words (an ICU pattern, matched case-insensitively on lower-cased text) that make tapping an
// element paying, deleting, sending or sharing. The rules engine reads the same words in what a
// person typed as asking for one of those actions.
std::string_view payOrDeleteWords();

}  // namespace tavro
