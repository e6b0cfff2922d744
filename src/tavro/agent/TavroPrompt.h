// The texts a language model is shown: the system prompt that teaches the sixteen actions and the
// rules, the user prompt that shows one screen within the model's context budget, and the short
// planning prompt. Also how one element is written as a line, and which elements are shown when a
// screen has more than the budget allows. The section names (GOAL, KNOWN DETAILS, APP MAP, SCREEN,
// TITLE, SCREEN TEXT, ELEMENTS, ROUTES, DONE SO FAR, VISIBLE) are the vocabulary every model and
// the reply checks share.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tavro/core/TavroElement.h"
#include "tavro/core/TavroModel.h"
#include "tavro/core/TavroScreen.h"

namespace tavro::TavroPrompt {

// The system prompt for a surface (its description); `json` adds the reply format; only whether
// `routes` is empty matters. Ends with the active pack's notes when it has any.
std::string system(std::string_view surface, bool json, const std::vector<std::string>& routes);

// The user prompt for one turn: goal, known details, app-map hints, the screen cut to the budget,
// the routes and the last 8 steps of `history` (oldest first).
std::string user(std::string_view goal, const TavroScreen& screen, const std::vector<std::string>& history,
                 TavroContextBudget budget, const std::vector<std::string>& known,
                 const std::vector<std::string>& routes);

// The user prompt of the plan pre-pass: goal, known details, the screen's name and visible labels.
std::string planUser(std::string_view goal, const TavroScreen& screen, const std::vector<std::string>& known,
                     const std::vector<std::string>& routes);

// One element as a prompt line: [id] kind(type) "label" value="..." options: a | b ...
std::string line(const TavroElement& element);

// At most `budget` elements in screen order: fields first, then other controls, then links and
// cells, everything in view before anything off screen. A list within the budget comes back whole.
std::vector<TavroElement> pick(const std::vector<TavroElement>& elements, int budget);

}  // namespace tavro::TavroPrompt
