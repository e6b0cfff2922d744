// The rules engine: carries out a goal written in plain language without any language model.
// It cuts the goal into clauses ("open Settings, then turn on Dark Mode" is two), reads the first
// clause against the current screen as one or more actions, and hands out one action per turn.
//
// Lenient (no model available): verbs are spell-corrected, names match loosely, and a clause it
// cannot read fails with a hint for the user. Strict (a model is available): it acts only on what
// it reads with certainty; at the first clause it cannot read it continues once with the
// reasoning plan's steps in `fallback`, else hands the rest of the goal to the models.
//
// One instance per run, used from the agent's main-actor task only.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroElement.h"
#include "tavro/core/TavroScreen.h"

namespace tavro {

class TavroRules {
public:
    std::vector<std::string> clauses;      // clauses not yet started, in goal order
    std::vector<TavroAction> queue;        // actions of the current clause not yet handed out
    std::vector<std::string> routes;       // the host's route names, for "navigate"
    bool lenient;                          // fixed at creation; the engine never changes it
    bool handedOff = false;                // the models have taken over the goal
    std::vector<std::string> fallback;     // clauses to continue with when strict reading fails
    bool usedFallback = false;             // `fallback` replaced the clauses
    std::optional<std::string> lastFailed; // the clause lenient reading could not carry out

    // The goal's clauses come from `split`; a goal of only punctuation, which splits into none, is
    // kept whole as one clause so that it fails rather than counting as done.
    TavroRules(std::string goal, std::vector<std::string> routes, bool lenient);

    // The goal's clauses: cut at "then", "and then", semicolons, line breaks, 。 and 、, at "and",
    // a comma or a sentence end (".", "!", "?") followed by a command verb, and after a Japanese
    // verb's て-form followed by more words. A goal holding key=value details is one clause.
    static std::vector<std::string> split(std::string_view goal);
    // Whether `split` would cut the text anywhere: a value taken from a goal never spans clauses.
    static bool breaks(std::string_view text);

    // The next action; never nothing. Done when no clauses are left; a fail action when a clause
    // cannot be read (lenient: a hint for the user; strict: the turn goes to the models).
    TavroAction decide(const TavroScreen& screen);

    // The models take over the goal: every later `decide` answers that they are doing it.
    void handOff();

    // The actions that carry out one clause on this screen, in order; empty when nothing needs
    // doing; nothing when the clause cannot be carried out here.
    std::optional<std::vector<TavroAction>> resolve(std::string_view clause, const TavroScreen& screen) const;

    // The element a person most likely means by `name` among the elements of the given kinds:
    // exact, then prefix, then contained names, visible elements first; with `loose` also names
    // contained in the wanted one, then names within a small edit distance. A pointer into
    // `elements`, or nullptr.
    static const TavroElement* best(std::string_view name, const std::vector<TavroElement>& elements,
                                    const std::set<std::string>& kinds, bool loose);

    // The host route a person means by `name`, as TavroText::match picks it, except that a route
    // whose name was only found inside a longer text counts when the other words typed merely
    // frame it and ask for no action its name does not ("Shop and delete account" is not Shop).
    static std::optional<std::string> route(std::string_view name, const std::vector<std::string>& routes);

    // Corrects a misspelt first word to the nearest known command verb (lenient reading only).
    static std::string fixVerb(std::string_view clause);

    // The actions that give an element a value: a click for a checkbox not yet in the wanted
    // state (none when it is), select for select and slider elements, type for anything else.
    std::vector<TavroAction> set(const TavroElement& element, std::string_view value) const;

    // The state the goal's clauses, read as `resolve` reads them, leave the checkbox `id` of
    // `screen` in: on when a clause taps it only while it is off, off when only while it is on.
    // Nothing when no clause says (a plain "tap Newsletter"), the clauses disagree, or `id` is no
    // checkbox there.
    std::optional<bool> wantedState(std::string_view goal, std::int64_t id, const TavroScreen& screen) const;

private:
    std::optional<std::vector<TavroAction>> details(std::string_view clause, const TavroScreen& screen) const;
    // The command table, tried row by row.
    std::optional<std::vector<TavroAction>> rows(std::string_view clause, const TavroScreen& screen) const;
};

}  // namespace tavro
