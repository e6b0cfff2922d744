// Choosing the element a person means by a name: visible elements before off-screen ones, exact
// before prefix before contained names; fuzzy passes only when no model is available.
#include <algorithm>

#include "tavro/core/TavroText.h"
#include "tavro/models/TavroRules.h"

namespace tavro {

const TavroElement* TavroRules::best(std::string_view name, const std::vector<TavroElement>& elements,
                                     const std::set<std::string>& kinds, bool loose) {
    const auto wanted = TavroText::norm(name);
    if (wanted.empty()) return nullptr;

    // Candidates of the wanted kinds, every in-view one before any off-screen one, screen order kept.
    std::vector<const TavroElement*> candidates;
    for (const auto& e : elements)
        if (e.inView && kinds.contains(e.kind)) candidates.push_back(&e);
    for (const auto& e : elements)
        if (!e.inView && kinds.contains(e.kind)) candidates.push_back(&e);
    if (candidates.empty()) return nullptr;

    // Names are normalised once per candidate, and only when a pass reaches the candidate.
    std::vector<std::vector<std::string>> names(candidates.size());
    std::vector<bool> known(candidates.size(), false);
    const auto namesOf = [&](std::size_t i) -> const std::vector<std::string>& {
        if (!known[i]) {
            names[i] = candidates[i]->names();
            known[i] = true;
        }
        return names[i];
    };
    const auto pass = [&](auto&& test) -> const TavroElement* {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const auto& all = namesOf(i);
            if (std::any_of(all.begin(), all.end(), test)) return candidates[i];
        }
        return nullptr;
    };

    if (const auto* e = pass([&](const std::string& n) { return n == wanted; })) return e;
    if (const auto* e = pass([&](const std::string& n) { return n.starts_with(wanted); })) return e;
    if (const auto* e = pass([&](const std::string& n) { return n.find(wanted) != std::string::npos; })) return e;
    if (!loose) return nullptr;

    // The person typed more than the label: "turn on dark mode" for "Dark mode".
    if (const auto* e = pass([&](const std::string& n) {
            return wanted.find(n) != std::string::npos && TavroText::count(n) >= 3;
        }))
        return e;

    // A small misspelling, measured against the shorter of the two names.
    const auto wantedLength = TavroText::count(wanted);
    return pass([&](const std::string& n) {
        if (n == wanted) return true;
        const auto length = TavroText::count(n);
        const auto shorter = std::min(length, wantedLength);
        if (shorter < 3) return false;
        const std::size_t allowed = shorter < 6 ? 1 : 2;
        // The distance is at least the difference in length.
        const auto gap = length > wantedLength ? length - wantedLength : wantedLength - length;
        if (gap > allowed) return false;
        return static_cast<std::size_t>(TavroText::edits(n, wanted)) <= allowed;
    });
}

}  // namespace tavro
