// A learned recipe: the steps that once reached a goal, generalised so that they can be replayed
// for a similar goal without asking a model. A step's text may hold slot markers ("{0}", "{1}",
// ...) that are filled from the new goal; a step that acted on an element keeps a description of
// that element (`TavroTarget`) so that the element can be found again on a later screen.
//
// Stored texts (a recipe's template and its steps' texts) escape literal braces by doubling them
// ("{{" for "{", "}}" for "}"), so that braces a user typed are never taken for slot markers.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Uuid.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroElement.h"
#include "tavro/core/TavroScreen.h"

namespace tavro {

// A stored description of an element: enough to find it again on another reading of a screen.
struct TavroTarget {
    std::string kind;
    std::string label;
    std::vector<std::string> keys;
    std::string screen;  // the location of the screen where the element was used

    bool operator==(const TavroTarget&) const = default;

    // The element of `in` this target describes, or nothing. Candidates are the elements of the
    // same kind (any tap kind when both kinds are tap kinds) that read as the target does: their
    // normalised label equals the target's, so an id or key alone never carries a target onto an
    // element that now reads otherwise. Among them, first one holding a key of the target with
    // "." or "_" verbatim; else the first whose key set equals the target's; else, for a target
    // with a label, the first sharing a normalised non-empty key, else the first. A target
    // without a label names only an unlabelled element holding one of its keys.
    std::optional<TavroElement> find(const TavroScreen& in) const;
};

struct TavroRecipeStep {
    std::string kind;  // the text form of an action kind ("click", "type", ...)
    std::string text;  // stored form: slot markers "{i}", literal braces doubled
    bool submit = false;
    std::optional<TavroTarget> target;
    // What a tap on a checkbox left it in, "on" or "off"; empty for other steps (and for steps
    // stored before it was kept).
    std::string state;

    bool operator==(const TavroRecipeStep&) const = default;

    // Whether `on` already shows what this step, rebuilt there as `action`, would give: the screen
    // it navigates to, a checkbox in the state asked, a select or slider showing the chosen option
    // or value, a field holding the text (nothing submitted). Such a step needs no action. A tap
    // holds only when the goal being run asks a state of the checkbox (`wanted`, on or off): then
    // the step's kept state, else `wanted`, is the state asked. A goal that asks none ("tap
    // Newsletter") always taps.
    bool holds(const TavroAction& action, const TavroScreen& on, std::optional<bool> wanted = std::nullopt) const;

    // The step rebuilt as an action on `on`: the kind from its text form, the text with each slot
    // marker replaced by the value of that index, and the id of the target found again on the
    // screen. Nothing when the kind is unknown, a marker has no value, or the target is not found.
    std::optional<TavroAction> action(const TavroScreen& on, const std::vector<std::string>& values) const;

    // The stored form of a literal text: every brace doubled.
    static std::string escaped(std::string_view literal);
    // The stored form read back with slot markers filled from `values`; nothing when a marker's
    // index has no value. Doubled braces become single ones; a brace that is neither doubled nor
    // part of a marker is kept as it is.
    static std::optional<std::string> filled(std::string_view stored, const std::vector<std::string>& values);
};

struct TavroRecipe {
    fnd::Uuid id;
    std::string goal;      // the goal it was learned from
    std::string template_;  // the goal with slot markers ("template"; the name is a C++ keyword)
    std::vector<TavroRecipeStep> steps;
    // Whole milliseconds since 1970 (UTC): holds every date the stored text form can carry.
    using Time = std::chrono::sys_time<std::chrono::milliseconds>;

    std::int64_t runs = 1;  // successful uses, 1 when learned; never wraps past the largest count
    Time created;
    Time lastUsed;

    bool operator==(const TavroRecipe&) const = default;
};

}  // namespace tavro
