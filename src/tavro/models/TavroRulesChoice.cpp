// Choosing the element a person means by a name: visible elements before off-screen ones, exact
// before prefix before contained names; loose passes only when no model is available, and only for
// an element the person plainly named.
#include <algorithm>
#include <iterator>
#include <utility>

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
// prepositions, the verbs of tapping, opening and switching, words for kinds of control, and words
// that name a place or a view of it ("the Settings app", "orders list").
constexpr std::string_view kFramingWords[] = {
    "a",      "an",     "the",    "my",     "your",     "our",    "this",     "that",    "it",      "its",
    "me",     "to",     "on",     "off",    "in",       "into",   "onto",     "at",      "of",      "for",
    "with",   "from",   "by",     "and",    "up",       "down",   "please",   "now",     "just",    "again",
    "then",   "tap",    "click",  "press",  "hit",      "push",   "touch",    "select",  "choose",  "pick",
    "check",  "uncheck", "turn",  "switch", "toggle",   "enable", "disable",  "go",      "open",    "show",
    "view",   "see",    "visit",  "button", "link",     "tab",    "row",      "cell",    "item",    "option",
    "entry",  "checkbox", "box",  "field",  "screen",   "page",   "menu",     "section", "setting", "settings",
    "chat",   "conversation", "app", "apps", "application", "list", "lists", "tabs",  "pages",   "screens",
    "views",  "menus",  "sections", "area", "panel",    "pane",   "window",   "sheet",   "dialog",
};

bool isFraming(std::string_view word) {
    return std::find(std::begin(kFramingWords), std::end(kFramingWords), word) != std::end(kFramingWords);
}

// The same in Japanese, where words run together: honorifics, particles and words for a place.
constexpr std::string_view kJapaneseFraming[] = {
    "さん", "さま", "様", "くん", "ちゃん", "との", "と", "の", "で", "を", "に", "へ", "は", "が",
    "チャット", "トーク", "画面", "ページ", "タブ", "ボタン", "一覧", "リスト", "メニュー", "アプリ", "項目", "欄",
};

// Whether a run of Japanese is made only of framing words.
bool isJapaneseFraming(std::string_view text) {
    while (!text.empty()) {
        std::size_t longest = 0;
        for (const auto word : kJapaneseFraming)
            if (text.starts_with(word)) longest = std::max(longest, word.size());
        if (longest == 0) return false;
        text.remove_prefix(longest);
    }
    return true;
}

// A plain English word that names a thing rather than a doing (not "deleting").
bool namesAView(std::string_view word) {
    return !word.ends_with("ing") &&
           std::all_of(word.begin(), word.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
}

// What a person typed, read once: its words in any script (folded: lower case, no accents, plain
// letters for full-width ones), and the first word of every action word in it (normalised).
struct Typed {
    std::vector<std::string> words;
    std::vector<std::string> actions;

    explicit Typed(std::string_view name) : words(TavroText::foldedWords(name)) {
        std::string spaced;
        for (const auto& w : words) {
            if (!spaced.empty()) spaced += ' ';
            spaced += w;
        }
        for (const auto& match : TavroText::allMatches(actionWords(), spaced)) {
            const auto& text = match.front();
            auto first = TavroText::norm(std::string_view(text).substr(0, text.find(' ')));
            if (!first.empty()) actions.push_back(std::move(first));
        }
    }

    // Whether a tap on an element so labelled is what was asked: every action word typed is
    // part of the label ("delete my account" for Delete Account, not "delete Family" for Family).
    bool asksOnlyFor(std::string_view label) const {
        return std::all_of(actions.begin(), actions.end(),
                           [&](const std::string& a) { return label.find(a) != std::string_view::npos; });
    }

    // Whether the words typed beyond a label contained in them only frame it ("turn dark mode
    // on", "the Settings app", "settings for notifications"), rather than name or ask for
    // something else ("Tuli Smith", "Buy Laptop", "Shop and удалить аккаунт"). After "for" or
    // "about", plain English words name a view of the place, unless they ask for doing something
    // ("for deleting my account"). Any other word, in any script, asks for more.
    bool onlyFrames(std::string_view label) const {
        const auto folded = TavroText::fold(label);
        bool view = false;
        return std::all_of(words.begin(), words.end(), [&](const std::string& w) {
            bool frames = folded.find(w) != std::string::npos || isFraming(w) || (view && namesAView(w)) ||
                          isJapaneseFraming(w);
            if (!frames && !folded.empty()) {
                // "tuliさんとのチャット": the label run together with Japanese framing words.
                if (const auto at = w.find(folded); at != std::string::npos)
                    frames = isJapaneseFraming(w.substr(0, at)) && isJapaneseFraming(w.substr(at + folded.size()));
            }
            if (w == "for" || w == "about") view = true;
            return frames;
        });
    }
};

// Words before a name in a label that turn it into its opposite ("Don't Save", "Do not save",
// "Never save drafts", "No thanks", "Un-follow"), normalised.
constexpr std::string_view kNegations[] = {"dont", "not", "never", "no", "un", "cant", "cannot", "wont"};

// The same in Japanese, after the name ("保存しない", "保存しません", "保存不要").
constexpr std::string_view kJapaneseNegations[] = {"しない", "しません", "不要"};

// Whether the name `part` stands in `name` (both normalised; `name` made of `original`) as what
// the name says: beginning at one of its words (not "follow" in "Unfollow" or "save" in
// "Autosave"), and not turned into its opposite by a negating word before it or a Japanese
// negation after it. With `atStart` only a beginning at the name's start counts.
bool means(std::string_view name, std::string_view original, std::string_view part, bool atStart) {
    if (part.empty()) return false;
    // Where the last Japanese negation begins: one at or after a match's end negates it.
    std::size_t lastNegation = std::string_view::npos;
    for (const auto negation : kJapaneseNegations) {
        const auto at = name.rfind(negation);
        if (at != std::string_view::npos && (lastNegation == std::string_view::npos || at > lastNegation))
            lastNegation = at;
    }
    std::vector<std::size_t> starts;
    std::size_t word = 0;    // the next word not yet looked at for a negation
    bool negating = false;   // a negating word stands before the match
    for (auto at = name.find(part); at != std::string_view::npos; at = name.find(part, at + 1)) {
        if (atStart && at > 0) return false;
        if (starts.empty()) starts = TavroText::wordStarts(original);
        if (!std::binary_search(starts.begin(), starts.end(), at)) continue;
        for (; word < starts.size() && starts[word] < at; ++word) {
            const auto end = word + 1 < starts.size() ? starts[word + 1] : name.size();
            const auto w = name.substr(starts[word], end - starts[word]);
            negating = negating || std::find(std::begin(kNegations), std::end(kNegations), w) != std::end(kNegations);
        }
        if (negating) return false;  // and so for every later match
        if (lastNegation == std::string_view::npos || lastNegation < at + part.size()) return true;
    }
    return false;
}

// The candidates' names (as `TavroElement::names` gives them: the label, then the keys, each
// normalised, empty ones dropped), made on first use in candidate order and kept in one buffer, so
// that a long screen costs no allocation per name.
class CandidateNames {
public:
    explicit CandidateNames(const std::vector<const TavroElement*>& candidates) : candidates_(candidates) {
        first_.reserve(candidates.size() + 1);
        first_.push_back(0);
    }

    // Whether one of candidate i's names passes the test, which is given the normalised name and
    // the text it was made of. The name points into the buffer: a test that looks at other
    // candidates' names must come after `makeAll`.
    template <class Test>
    bool any(std::size_t i, Test&& test) {
        makeUpTo(i);
        for (auto k = first_[i]; k < first_[i + 1]; ++k) {
            if (test(std::string_view(buffer_).substr(spans_[k].first, spans_[k].second), originals_[k])) return true;
        }
        return false;
    }

    // The same over candidate i's keys only, its label left out.
    template <class Test>
    bool anyKey(std::size_t i, Test&& test) {
        makeUpTo(i);
        for (auto k = first_[i] + (labelled_[i] ? 1 : 0); k < first_[i + 1]; ++k) {
            if (test(std::string_view(buffer_).substr(spans_[k].first, spans_[k].second), originals_[k])) return true;
        }
        return false;
    }

    // Candidate i's normalised label, or "" when it normalises to nothing.
    std::string_view label(std::size_t i) {
        makeUpTo(i);
        if (!labelled_[i] || first_[i] == first_[i + 1]) return {};
        return std::string_view(buffer_).substr(spans_[first_[i]].first, spans_[first_[i]].second);
    }

    void makeAll() {
        if (!candidates_.empty()) makeUpTo(candidates_.size() - 1);
    }

private:
    void makeUpTo(std::size_t i) {
        while (first_.size() <= i + 1) add(*candidates_[first_.size() - 1]);
    }
    void add(const TavroElement& e) {
        const auto names = spans_.size();
        addName(e.label);
        labelled_.push_back(spans_.size() > names);
        for (const auto& key : e.keys) addName(key);
        first_.push_back(spans_.size());
    }
    void addName(std::string_view text) {
        const auto begin = buffer_.size();
        TavroText::appendNorm(text, buffer_);
        if (buffer_.size() > begin) {
            spans_.emplace_back(begin, buffer_.size() - begin);
            originals_.push_back(text);
        }
    }

    const std::vector<const TavroElement*>& candidates_;
    std::string buffer_;
    std::vector<std::pair<std::size_t, std::size_t>> spans_;  // offset and length of each name
    std::vector<std::string_view> originals_;                 // the text each name was made of
    std::vector<std::size_t> first_;                          // candidate i's names: spans first_[i] .. first_[i + 1]
    std::vector<bool> labelled_;                              // candidate i's first name is its label
};

}  // namespace

const TavroElement* TavroRules::best(std::string_view name, const std::vector<TavroElement>& elements,
                                     const std::set<std::string>& kinds, bool loose) {
    const auto wanted = TavroText::norm(name);
    if (wanted.empty()) return nullptr;

    // Candidates of the wanted kinds, every in-view one before any off-screen one, screen order kept.
    std::vector<const TavroElement*> candidates;
    std::vector<const TavroElement*> offScreen;
    for (const auto& e : elements) {
        if (kinds.contains(e.kind)) (e.inView ? candidates : offScreen).push_back(&e);
    }
    candidates.insert(candidates.end(), offScreen.begin(), offScreen.end());
    if (candidates.empty()) return nullptr;

    // Stronger matches first; within each strength what a person sees before a hidden name, so
    // a label "Save" beats the key "save" of a button that reads "Unsubscribe from all", while an
    // exact key beats a label that only begins with the name. A partial match must begin at a
    // word and not be negated: "Follow" is not "Unfollow", "Save" is not "Don't Save".
    CandidateNames names(candidates);
    const auto labelPass = [&](auto&& test) -> const TavroElement* {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const auto label = names.label(i);
            if (!label.empty() && test(label, std::string_view(candidates[i]->label))) return candidates[i];
        }
        return nullptr;
    };
    const auto keyPass = [&](auto&& test) -> const TavroElement* {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (names.anyKey(i, test)) return candidates[i];
        }
        return nullptr;
    };
    const auto equal = [&](std::string_view n, std::string_view) { return n == wanted; };
    const auto prefix = [&](std::string_view n, std::string_view original) {
        return n.starts_with(wanted) && means(n, original, wanted, true);
    };
    const auto contains = [&](std::string_view n, std::string_view original) {
        return n.find(wanted) != std::string_view::npos && means(n, original, wanted, false);
    };
    if (const auto* e = labelPass(equal)) return e;
    if (const auto* e = keyPass(equal)) return e;
    if (const auto* e = labelPass(prefix)) return e;
    if (const auto* e = keyPass(prefix)) return e;
    if (const auto* e = labelPass(contains)) return e;
    if (const auto* e = keyPass(contains)) return e;
    if (!loose) return nullptr;

    // The loose passes take only an element the person named. A name several candidates share
    // (the "Buy" of every buy button) names none of them, and what was typed must not ask for an
    // action the element's label does not promise.
    const Typed typed(name);
    names.makeAll();
    const auto shared = [&](std::string_view n) {
        std::size_t holders = 0;
        for (std::size_t i = 0; i < candidates.size() && holders < 2; ++i) {
            if (names.any(i, [&](std::string_view m, std::string_view) { return m == n; })) ++holders;
        }
        return holders > 1;
    };
    // The person typed more than the label: "turn on dark mode" for "Dark mode". Only the label
    // counts (keys such as "buy" turn up inside typed words by accident), and the other words
    // typed must only frame it.
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto label = names.label(i);
        if (!label.empty() && wanted.find(label) != std::string::npos && TavroText::count(label) >= 3 &&
            typed.onlyFrames(label) && typed.asksOnlyFor(label) && !shared(label) && means(wanted, name, label, false))
            return candidates[i];
    }

    // A small misspelling, measured against the shorter of the two names.
    const auto wantedLength = TavroText::count(wanted);
    const auto near = [&](std::string_view n, std::string_view original) {
        if (n != wanted) {
            // One name inside the other was judged above: a spelling away is not a way back to
            // "Unfollow" for "Follow", nor to "Follow" for "Unfollow".
            if (n.find(wanted) != std::string_view::npos && !means(n, original, wanted, false)) return false;
            if (wanted.find(n) != std::string::npos && !means(wanted, name, n, false)) return false;
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
    };
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto label = names.label(i);
        if (!label.empty() && near(label, candidates[i]->label) && typed.asksOnlyFor(label)) return candidates[i];
    }
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (names.anyKey(i, near) && typed.asksOnlyFor(names.label(i))) return candidates[i];
    }
    return nullptr;
}

std::optional<std::string> TavroRules::route(std::string_view name, const std::vector<std::string>& routes) {
    auto found = TavroText::match(name, routes);
    if (!found) return found;
    const auto wanted = TavroText::norm(name);
    const auto route = TavroText::norm(*found);
    // Equal, a prefix of the route, or a misspelling of it: the person named the route itself.
    if (route.empty() || wanted.size() <= route.size() || wanted.find(route) == std::string::npos) return found;
    const Typed typed(name);
    if (typed.onlyFrames(route) && typed.asksOnlyFor(route)) return found;
    return std::nullopt;
}

}  // namespace tavro
