// Choosing the element a person means by a name: visible elements before off-screen ones, exact
// before prefix before contained names; loose passes only when no model is available, and only for
// an element the person plainly named.
#include <algorithm>
#include <array>

#include "tavro/core/TavroText.h"
#include "tavro/models/TavroRules.h"
#include "tavro/remote/TavroApproval.h"

namespace tavro {

namespace {

// Actions other than the approval policy's paying, deleting, sending and sharing that a tap on a
// named element does not carry out.
constexpr std::string_view kOtherActions =
    R"(\b(?:cancel|call|phone|dial|block|unblock|report|mute|pin|unpin|archive)\b|電話|ブロック|通報|報告|キャンセル|ミュート)";

const std::string& actionWords() {
    static const std::string pattern = "(?:" + std::string(payOrDeleteWords()) + ")|" + std::string(kOtherActions);
    return pattern;
}

// Words a person puts around a name without meaning anything else by them: articles, pronouns,
// prepositions, the verbs of tapping, opening and switching, and words for kinds of control.
constexpr std::array<std::string_view, 72> kFramingWords = {
    "a",      "an",     "the",    "my",     "your",     "our",    "this",     "that",    "it",      "its",
    "me",     "to",     "on",     "off",    "in",       "into",   "onto",     "at",      "of",      "for",
    "with",   "from",   "by",     "and",    "up",       "down",   "please",   "now",     "just",    "again",
    "then",   "tap",    "click",  "press",  "hit",      "push",   "touch",    "select",  "choose",  "pick",
    "check",  "uncheck", "turn",  "switch", "toggle",   "enable", "disable",  "go",      "open",    "show",
    "view",   "see",    "visit",  "button", "link",     "tab",    "row",      "cell",    "item",    "option",
    "entry",  "checkbox", "box",  "field",  "screen",   "page",   "menu",     "section", "setting", "settings",
    "chat",   "conversation",
};

bool isFraming(std::string_view word) {
    return std::find(kFramingWords.begin(), kFramingWords.end(), word) != kFramingWords.end();
}

// What a person typed, read once for the loose passes: its runs of ASCII letters and digits
// (lower-cased), and the first word of every action word in it (normalised).
struct Typed {
    std::vector<std::string> words;
    std::vector<std::string> actions;

    explicit Typed(std::string_view name) {
        std::string word;
        for (const char c : name) {
            const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            if ((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9')) {
                word.push_back(l);
            } else if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        }
        if (!word.empty()) words.push_back(std::move(word));
        for (const auto& match : TavroText::allMatches(actionWords(), TavroText::lower(name))) {
            const auto& text = match.front();
            auto first = TavroText::norm(std::string_view(text).substr(0, text.find(' ')));
            if (!first.empty()) actions.push_back(std::move(first));
        }
    }

    // Whether a tap on an element so labelled is what was asked: every action word typed is
    // part of the label ("delete my account" for Delete Account, not "delete Family" for Family).
    bool asksOnlyFor(const std::string& label) const {
        return std::all_of(actions.begin(), actions.end(),
                           [&](const std::string& a) { return label.find(a) != std::string::npos; });
    }

    // Whether the words typed beyond a label contained in them only frame it ("turn dark mode
    // on", "the chat with Tuli"), rather than name something else ("Tuli Smith", "Buy Laptop").
    bool onlyFrames(const std::string& label) const {
        return std::all_of(words.begin(), words.end(), [&](const std::string& w) {
            return label.find(w) != std::string::npos || isFraming(w);
        });
    }
};

}  // namespace

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

    // The loose passes take only an element the person named. A name several candidates share
    // (the "Buy" of every buy button) names none of them, and what was typed must not ask for an
    // action the element's label does not promise.
    const Typed typed(name);
    const auto shared = [&](const std::string& n) {
        std::size_t holders = 0;
        for (std::size_t i = 0; i < candidates.size() && holders < 2; ++i) {
            const auto& all = namesOf(i);
            if (std::find(all.begin(), all.end(), n) != all.end()) ++holders;
        }
        return holders > 1;
    };
    const auto looseMatch = [&](auto&& test) -> const TavroElement* {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const auto& all = namesOf(i);
            const auto label = TavroText::norm(candidates[i]->label);
            if (std::any_of(all.begin(), all.end(), [&](const std::string& n) { return test(n, label); }) &&
                typed.asksOnlyFor(label))
                return candidates[i];
        }
        return nullptr;
    };

    // The person typed more than the label: "turn on dark mode" for "Dark mode". Only the label
    // counts (keys such as "buy" turn up inside typed words by accident), and the other words
    // typed must only frame it.
    if (const auto* e = looseMatch([&](const std::string& n, const std::string& label) {
            return n == label && TavroText::count(n) >= 3 && wanted.find(n) != std::string::npos &&
                   typed.onlyFrames(label) && !shared(n);
        }))
        return e;

    // A small misspelling, measured against the shorter of the two names.
    const auto wantedLength = TavroText::count(wanted);
    return looseMatch([&](const std::string& n, const std::string&) {
        if (n != wanted) {
            const auto length = TavroText::count(n);
            const auto shorter = std::min(length, wantedLength);
            if (shorter < 3) return false;
            const std::size_t allowed = shorter < 6 ? 1 : 2;
            // The distance is at least the difference in length.
            const auto gap = length > wantedLength ? length - wantedLength : wantedLength - length;
            if (gap > allowed) return false;
            if (static_cast<std::size_t>(TavroText::edits(n, wanted)) > allowed) return false;
        }
        return !shared(n);
    });
}

}  // namespace tavro
