// Reading one clause as actions: key=value details, then a fixed table of English and Japanese
// command patterns tried in order, each with its own way of finding the target element.
#include <algorithm>

#include "tavro/core/TavroText.h"
#include "tavro/models/TavroRules.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/surfaces/TavroWebText.h"

namespace tavro {

namespace {

using Kind = TavroAction::Kind;
using Actions = std::vector<TavroAction>;
using Kinds = std::set<std::string>;

constexpr std::string_view kDetail = R"([\p{L}\p{N}_\-]\s*=\s*\S)";

// One key=value pair; a quoted value may hold blanks, and a value runs on over blanks until the
// next key. A single trailing word is left over for a button ("email=x save").
constexpr std::string_view kPair =
    R"re(([\p{L}\p{N}_\- ]+?)\s*=\s*(?:"([^"]*)"|(\S+(?:\s+(?![\p{L}\p{N}_\- ]+?\s*=)\S+)*?))(?=\s+[\p{L}\p{N}_\- ]+?\s*=|\s*$|\s+\S+\s*$))re";

const Kinds& settableKinds() {
    static const Kinds kinds = [] {
        auto k = TavroElement::fieldKinds();
        k.insert("checkbox");
        return k;
    }();
    return kinds;
}

const Kinds& copyKinds() {
    static const Kinds kinds = [] {
        auto k = TavroElement::fieldKinds();
        k.insert({"cell", "link", "button"});
        return k;
    }();
    return kinds;
}

const Kinds& swipeKinds() {
    static const Kinds kinds = [] {
        auto k = TavroElement::tapKinds();
        k.insert("slider");
        return k;
    }();
    return kinds;
}

const Kinds& checkboxKind() {
    static const Kinds kinds{"checkbox"};
    return kinds;
}

const Kinds& choiceKinds() {
    static const Kinds kinds{"select", "slider"};
    return kinds;
}

const Kinds& buttonKinds() {
    static const Kinds kinds{"button", "checkbox", "tab"};
    return kinds;
}

const Kinds& rowKinds() {
    static const Kinds kinds{"cell", "link"};
    return kinds;
}

const Kinds& barKinds() {
    static const Kinds kinds{"button", "tab"};
    return kinds;
}

const Kinds& detailButtonKinds() {
    static const Kinds kinds{"button", "link", "tab", "cell"};
    return kinds;
}

const Kinds& plainTapKinds() {
    static const Kinds kinds{"button", "tab", "cell", "link"};
    return kinds;
}

TavroAction act(Kind kind, std::optional<std::int64_t> id, std::string text, bool submit = false) {
    return TavroAction{.kind = kind, .id = id, .text = std::move(text), .submit = submit, .thought = {}};
}

Actions one(TavroAction action) { return Actions{std::move(action)}; }

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The field a search goes into: a plain input (not a password) of type "search", else one named
// for searching, else the only plain input on screen.
const TavroElement* searchField(const TavroScreen& screen) {
    std::vector<const TavroElement*> inputs;
    for (const auto& e : screen.elements)
        if (e.kind == "input" && e.type != "password") inputs.push_back(&e);
    for (const auto* e : inputs)
        if (e->type == "search") return e;
    for (const auto* e : inputs) {
        const auto names = e->names();
        if (std::any_of(names.begin(), names.end(),
                        [](const std::string& n) { return contains(n, "search") || contains(n, "検索"); }))
            return e;
    }
    return inputs.size() == 1 ? inputs.front() : nullptr;
}

// What a tap names (row 24): an option of a select, a button, tab or checkbox, a cell or link
// (loose names in lenient mode only), else a route.
std::optional<TavroAction> clickTarget(const TavroRules& rules, std::string_view name, const TavroScreen& screen) {
    const auto& elements = screen.elements;
    // Compared as a choice of an option compares ("Francais" is "Français"). A name that folds to
    // nothing names no option (a blank option would otherwise match it).
    const auto wanted = TavroText::fold(name);
    if (!wanted.empty()) {
        for (const auto& e : elements) {
            if (e.kind != "select") continue;
            if (std::any_of(e.options.begin(), e.options.end(),
                            [&](const std::string& o) { return TavroText::fold(o) == wanted; }))
                return act(Kind::select, e.id, std::string(name));
        }
    }
    const bool lenient = rules.lenient;
    const TavroElement* target = TavroRules::best(name, elements, buttonKinds(), false);
    if (!target) target = TavroRules::best(name, elements, rowKinds(), false);
    if (!target && lenient) target = TavroRules::best(name, elements, buttonKinds(), true);
    if (!target && lenient) target = TavroRules::best(name, elements, rowKinds(), true);
    if (target) return act(Kind::click, target->id, {});
    if (const auto route = TavroRules::route(name, rules.routes)) return act(Kind::navigate, std::nullopt, *route);
    return std::nullopt;
}

// A clause that is only an element's name (row 26): strict reading wants a tappable element of
// exactly that name; lenient reading tries exact, then loose names.
std::optional<TavroAction> bareName(const TavroRules& rules, std::string_view clause, const TavroScreen& screen) {
    const auto& elements = screen.elements;
    if (!rules.lenient) {
        const auto wanted = TavroText::norm(clause);
        if (wanted.empty()) return std::nullopt;
        const auto& kinds = plainTapKinds();
        for (const auto& e : elements) {
            if (!kinds.contains(e.kind)) continue;
            const auto names = e.names();
            if (std::find(names.begin(), names.end(), wanted) != names.end()) return act(Kind::click, e.id, {});
        }
        return std::nullopt;
    }
    const TavroElement* target = TavroRules::best(clause, elements, barKinds(), false);
    if (!target) target = TavroRules::best(clause, elements, rowKinds(), false);
    if (!target) target = TavroRules::best(clause, elements, barKinds(), true);
    if (!target) target = TavroRules::best(clause, elements, rowKinds(), true);
    if (target) return act(Kind::click, target->id, {});
    return std::nullopt;
}

// Whether the screen already showing is the one a name means. Opening it again changes nothing,
// so such a clause has nothing to do.
bool showing(const TavroScreen& screen, std::string_view name) { return screen.shows(name); }

// ---- The clause table ----

// What a row makes of a clause its pattern matched: the clause's actions, "nothing" (the clause
// cannot be carried out here, and no later row is tried), or "next" (the next row is tried).
struct Reading {
    enum class Then { give, nothing, next };
    Then then = Then::next;
    Actions actions;
};

Reading give(Actions actions) { return {Reading::Then::give, std::move(actions)}; }
Reading give(TavroAction action) { return give(one(std::move(action))); }
Reading nothing() { return {Reading::Then::nothing, {}}; }
Reading next() { return {}; }
// The actions of an optional element's value setting, or nothing without the element.
Reading setOn(const TavroRules& rules, const TavroElement* element, std::string_view value) {
    return element ? give(rules.set(*element, value)) : nothing();
}

// What a row's handler reads: the engine, the clause, the screen, and the pattern's captures.
struct Match {
    const TavroRules& rules;
    std::string_view clause;
    const TavroScreen& screen;
    std::vector<std::string> captures;

    // Capture n (from 1) of the row's pattern; "" for a group that took no part.
    const std::string& operator[](std::size_t n) const { return captures[n - 1]; }
    // The element a person means by a name, among the given kinds.
    const TavroElement* find(std::string_view name, const Kinds& kinds) const {
        return TavroRules::best(name, screen.elements, kinds, rules.lenient);
    }
};

// One row: a cheap test of the clause that must hold first (none: any clause), a pattern that
// must match (empty: none needed), another pattern tried when the first does not match, and the
// handler that reads the match.
struct Row {
    bool (*holds)(std::string_view clause);
    std::string_view pattern;
    std::string_view otherwise;
    Reading (*read)(const Match& m);
};

// Only clauses with "is" or a colon can be statements; others are not searched, sparing long
// clauses the pattern's backtracking over runs of blanks. Ignoring case, the pattern's "s" also
// matches the long s "ſ", which lower-casing leaves as it is.
bool mayState(std::string_view clause) {
    const auto lowered = TavroText::lower(clause);
    return contains(clause, ":") || contains(clause, "：") || contains(lowered, "is") || contains(lowered, "i\u017F");
}

// The rows in the order they are tried; the first that gives actions or nothing decides.
constexpr Row kRows[] = {
    // A route by name: "go to Settings".
    {nullptr, R"(^(?:please\s+)?(?:go to|open|show|navigate to)\s+(?:the\s+)?(.+?)(?:\s+(?:screen|page|tab))?$)", {},
     [](const Match& m) {
         const auto route = TavroRules::route(m[1], m.rules.routes);
         // Already there: nothing to do. "show" without a route may mean an element ("show
         // password" on the Password screen), so it goes on down the table as before.
         const bool there = showing(m.screen, m[1]) || (route && showing(m.screen, *route));
         if (there && (route || TavroText::matches(R"(^(?:please\s+)?(?:go to|open|navigate to)\s)", m.clause)))
             return give(Actions{});
         return route ? give(act(Kind::navigate, std::nullopt, *route)) : next();
     }},
    // The web: "search the web for red shoes", "open a browser".
    {nullptr,
     R"((?:^|\b)(?:open (?:a )?(?:browser|the web|website|site)|go online|search (?:the web|online|on the web|google)|on the web|in (?:a |the )?browser)\b(?:\s+(?:for|to|and open)?\s*(.*))?$)",
     {},
     [](const Match& m) {
         auto what = TavroText::unquote(m[1]);
         return give(act(Kind::openWeb, std::nullopt, what.empty() ? std::string(m.clause) : std::move(what)));
     }},
    // A web address: "open example.org".
    {nullptr, R"(^(?:open|visit|go to)\s+(\S+\.\S+\S*)$)", {},
     [](const Match& m) { return TavroWebText::url(m[1]) ? give(act(Kind::openWeb, std::nullopt, m[1])) : next(); }},
    // A search typed into the screen's search field: "search shoes", "靴を検索".
    {nullptr, R"(^(?:please\s+)?(?:search|look up|find)\s+(?:for\s+)?(.+)$)", R"(^(.+?)を(?:検索|探して|探す)(?:して|する|します)?+(?:\s*(?:くださいませ|ください|下さい|ちょうだい|ね|よ))?\s*[.!。！]*$)",
     [](const Match& m) {
         const auto* field = searchField(m.screen);
         return field ? give(act(Kind::type, field->id, TavroText::unquote(m[1]), true)) : next();
     }},
    // "turn on Wi-Fi"
    {nullptr, R"(^(?:please\s+)?(?:turn|switch|toggle)\s+(on|off)\s+(?:the\s+)?(.+)$)", {},
     [](const Match& m) { return setOn(m.rules, m.find(m[2], checkboxKind()), m[1]); }},
    // "turn Wi-Fi on"
    {nullptr, R"(^(?:please\s+)?(?:turn|switch)\s+(?:the\s+)?(.+?)\s+(on|off)$)", {},
     [](const Match& m) { return setOn(m.rules, m.find(m[1], checkboxKind()), m[2]); }},
    // "enable Wi-Fi"
    {nullptr, R"(^(?:please\s+)?(enable|disable)\s+(?:the\s+)?(.+)$)", {},
     [](const Match& m) {
         return setOn(m.rules, m.find(m[2], checkboxKind()), TavroText::lower(m[1]) == "enable" ? "on" : "off");
     }},
    // "type hello into Notes"
    {nullptr, R"(^(?:please\s+)?(?:type|enter|write|put|input)\s+(.+?)\s+(?:in|into|as)\s+(?:the\s+)?(.+?)(?:\s+(?:field|box))?$)",
     {}, [](const Match& m) { return setOn(m.rules, m.find(m[2], settableKinds()), TavroText::unquote(m[1])); }},
    // "set Name to Rin"
    {nullptr,
     R"(^(?:please\s+)?(?:fill(?:\s+in)?|set|change|enter|choose|select|pick)\s+(?:the\s+|my\s+)?(.+?)\s+(?:with|to|as)\s+(.+)$)",
     {}, [](const Match& m) { return setOn(m.rules, m.find(m[1], settableKinds()), TavroText::unquote(m[2])); }},
    // "choose Large in Size"
    {nullptr, R"(^(?:choose|select|pick)\s+(.+?)\s+(?:in|for|from)\s+(?:the\s+)?(.+)$)", {},
     [](const Match& m) {
         const auto* choice = m.find(m[2], choiceKinds());
         return choice ? give(act(Kind::select, choice->id, TavroText::unquote(m[1]))) : next();
     }},
    // "名前にリンを入力": every word of the clause is read; only a polite ending may follow the verb.
    {nullptr, R"(^(.+?)(?:に|へ)(.+?)を(?:入力|入れ|設定)(?:て|る|ます)?+(?:して|する|します)?+(?:\s*(?:くださいませ|ください|下さい|ちょうだい|ね|よ))?\s*[.!。！]*$)", {},
     [](const Match& m) { return setOn(m.rules, m.find(m[1], settableKinds()), TavroText::unquote(m[2])); }},
    // "copy the address": from an element, else the text itself.
    {nullptr, R"(^copy\s+(?:the\s+)?(.+)$)", {},
     [](const Match& m) {
         auto what = TavroText::unquote(m[1]);
         if (const auto* source = m.find(what, copyKinds())) return give(act(Kind::copy, source->id, {}));
         return give(act(Kind::copy, std::nullopt, std::move(what)));
     }},
    // "paste": into the focused field, else the first field.
    {nullptr, R"(^paste(?:\s+(?:it|that))?$)", {},
     [](const Match& m) {
         const auto& elements = m.screen.elements;
         const auto& fields = TavroElement::fieldKinds();
         auto field = std::find_if(elements.begin(), elements.end(),
                                   [&](const TavroElement& e) { return e.focused && fields.contains(e.kind); });
         if (field == elements.end()) {
             field = std::find_if(elements.begin(), elements.end(),
                                  [&](const TavroElement& e) { return fields.contains(e.kind); });
         }
         return field != elements.end() ? give(act(Kind::paste, field->id, {})) : next();
     }},
    // "paste into Notes"
    {nullptr, R"(^paste\s+(?:into|in)\s+(?:the\s+)?(.+)$)", {},
     [](const Match& m) {
         const auto* field = m.find(m[1], TavroElement::fieldKinds());
         return field ? give(act(Kind::paste, field->id, {})) : next();
     }},
    // "save it to photos"
    {nullptr, R"(\bsave\b.*\b(photos?|camera roll|gallery|写真)\b|写真に保存)", {},
     [](const Match&) { return give(act(Kind::saveImage, std::nullopt, {})); }},
    // "share"
    {nullptr, R"(^share(?:\s+(?:this|it|the\s+\w+))?$|共有|シェア)", {},
     [](const Match&) { return give(act(Kind::share, std::nullopt, {})); }},
    // "swipe left", "swipe left on the card"
    {nullptr, R"(^swipe\s+(left|right|up|down)(?:\s+(?:on|over|across)\s+(.+))?$)", {},
     [](const Match& m) {
         const auto direction = TavroText::lower(m[1]);
         if (m[2].empty()) return give(act(Kind::swipe, std::nullopt, direction));
         const auto* target = m.find(m[2], swipeKinds());
         return target ? give(act(Kind::swipe, target->id, direction)) : nothing();
     }},
    // "swipe the card left"
    {nullptr, R"(^swipe\s+(.+?)\s+(left|right|up|down)$)", {},
     [](const Match& m) {
         const auto* target = m.find(m[1], TavroElement::tapKinds());
         return target ? give(act(Kind::swipe, target->id, TavroText::lower(m[2]))) : nothing();
     }},
    // "long press Tuli"
    {nullptr, R"(^(?:long[- ]?press|press and hold|hold)\s+(.+)$)", {},
     [](const Match& m) {
         const auto* target = m.find(m[1], TavroElement::tapKinds());
         return target ? give(act(Kind::longPress, target->id, {})) : nothing();
     }},
    // "scroll", "scroll up" (anchored at the start only: "scroll to the bottom" scrolls down)
    {nullptr, R"(^scroll(?:\s+(down|up))?)", {},
     [](const Match& m) {
         const auto direction = TavroText::lower(m[1]);
         return give(act(Kind::scroll, std::nullopt, direction.empty() ? "down" : direction));
     }},
    // "上にスクロール"
    {[](std::string_view clause) { return contains(clause, "スクロール"); }, {}, {},
     [](const Match& m) { return give(act(Kind::scroll, std::nullopt, contains(m.clause, "上") ? "up" : "down")); }},
    // "go back", "close this sheet"
    {nullptr, R"(^(?:go\s+)?back$|^close(?: this)?(?: sheet| screen)?$)", {},
     [](const Match&) { return give(act(Kind::back, std::nullopt, {})); }},
    // "戻る"
    {[](std::string_view clause) { return clause == "戻る"; }, {}, {},
     [](const Match&) { return give(act(Kind::back, std::nullopt, {})); }},
    // "tap Save", "保存をタップ"
    {nullptr,
     R"(^(?:please\s+)?(?:click|tap|press|hit|push|open|choose|pick|select|check|uncheck)\s+(?:on\s+)?(?:the\s+)?(.+?)(?:\s+(?:button|link|tab|row|option|switch|item))?$)",
     R"(^(.+?)を(?:クリック|タップ|押す|押して|選択|選んで|開く|開いて)(?:して|する|します)?+(?:\s*(?:くださいませ|ください|下さい|ちょうだい|ね|よ))?\s*[.!。！]*$)",
     [](const Match& m) {
         // "設定を開く" on the Settings screen: already there, as with "open Settings".
         if (TavroText::matches("を(?:開く|開いて)", m.clause) && showing(m.screen, TavroText::unquote(m[1])))
             return give(Actions{});
         auto action = clickTarget(m.rules, TavroText::unquote(m[1]), m.screen);
         return action ? give(std::move(*action)) : nothing();
     }},
    // "my name is Rin", "Name: Rin"
    {mayState, R"(^(?:my\s+|the\s+)?(.+?)(?:\s+is\s+|\s*[:：]\s*)(.+)$)", {},
     [](const Match& m) {
         const auto* field = m.find(m[1], settableKinds());
         return field ? give(m.rules.set(*field, TavroText::unquote(m[2]))) : next();
     }},
    // A bare element name: "Save".
    {nullptr, {}, {},
     [](const Match& m) {
         auto action = bareName(m.rules, m.clause, m.screen);
         return action ? give(std::move(*action)) : nothing();
     }},
};

}  // namespace

std::optional<Actions> TavroRules::resolve(std::string_view clause, const TavroScreen& screen) const {
    std::string text(clause);
    if (const auto pack = TavroPacks::current()) text = pack->verb(text);
    if (lenient) text = fixVerb(text);
    if (TavroText::groups(kDetail, text)) return details(text, screen);
    return rows(text, screen);
}

std::optional<Actions> TavroRules::rows(std::string_view clause, const TavroScreen& screen) const {
    for (const auto& row : kRows) {
        if (row.holds && !row.holds(clause)) continue;
        std::optional<std::vector<std::string>> captures = std::vector<std::string>{};
        if (!row.pattern.empty()) captures = TavroText::groups(row.pattern, clause);
        if (!captures && !row.otherwise.empty()) captures = TavroText::groups(row.otherwise, clause);
        if (!captures) continue;
        const auto reading = row.read(Match{*this, clause, screen, std::move(*captures)});
        switch (reading.then) {
            case Reading::Then::give: return reading.actions;
            case Reading::Then::nothing: return std::nullopt;
            case Reading::Then::next: break;
        }
    }
    return std::nullopt;
}

std::optional<Actions> TavroRules::details(std::string_view clause, const TavroScreen& screen) const {
    struct Pair {
        std::string key;
        std::string value;
    };
    std::vector<Pair> pairs;
    for (const auto& m : TavroText::allMatches(kPair, clause, false)) {
        // m[0] is the whole match; a quoted value (group 2) wins over a bare one (group 3).
        pairs.push_back({TavroText::trim(m[1]), TavroText::trim(!m[2].empty() ? m[2] : m[3])});
    }
    const auto rest = TavroText::trim(TavroText::replaceAll(kPair, clause, "", false));

    const TavroElement* button = nullptr;
    if (!rest.empty()) {
        button = best(rest, screen.elements, detailButtonKinds(), lenient);
        if (!button) {
            if (pairs.empty()) return std::nullopt;
            pairs.back().value += ' ';
            pairs.back().value += rest;
        }
    }
    Actions actions;
    for (const auto& pair : pairs) {
        const auto* field = best(pair.key, screen.elements, settableKinds(), lenient);
        if (!field) return std::nullopt;
        auto more = set(*field, pair.value);
        actions.insert(actions.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    if (button) actions.push_back(act(Kind::click, button->id, {}));
    if (actions.empty()) return std::nullopt;
    return actions;
}

}  // namespace tavro
