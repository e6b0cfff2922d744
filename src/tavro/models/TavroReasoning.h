// A model's plan for a goal, asked for before the first action of a model-driven run: what the
// user wants, what the screen shows once the goal is reached, a few steps in the app's own words
// and at most one question for the user. Builds the planning system prompt, reads the model's
// reply (a JSON object or a plain list of lines) and tests whether a screen shows the goal done.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tavro/core/TavroScreen.h"

namespace tavro {

struct TavroReasoning {
    std::string intent;              // what the user wants, one short line; may be empty
    std::string done;                // what the screen shows when the goal is complete; may be empty
    std::vector<std::string> steps;  // at most 10 short step commands, none empty
    std::string ask;                 // a question for the user, or empty

    bool operator==(const TavroReasoning&) const = default;

    // The planning system prompt for a surface description (inserted as given); only whether the
    // route list is empty matters.
    static std::string system(std::string_view surface, const std::vector<std::string>& routes);

    // Reads a model's reply: a JSON object with "intent", "done", "steps" and "ask", else the
    // reply's lines as steps. A JSON object gives a plan even when every field is empty. Nothing
    // for no reply, a blank reply, or a reply read as lines that leaves no step. Never throws,
    // whatever the reply holds.
    static std::optional<TavroReasoning> parse(const std::optional<std::string>& reply);

    // One line for people: the intent, the number of steps and the done description.
    std::string summary() const;

    // Whether the screen shows what `done` describes. The lenient test (strict false) looks for
    // at least half of the description's key words anywhere in the screen's texts and values;
    // the strict test needs every key word as a whole word on screen, field values ignored.
    bool isDone(const TavroScreen& screen, bool strict) const;
};

}  // namespace tavro
