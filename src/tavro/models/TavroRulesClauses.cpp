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

}  // namespace

std::optional<Actions> TavroRules::resolve(std::string_view clause, const TavroScreen& screen) const {
    std::string text(clause);
    if (const auto pack = TavroPacks::current()) text = pack->verb(text);
    if (lenient) text = fixVerb(text);
    if (TavroText::groups(kDetail, text)) return details(text, screen);
    return rows(text, screen);
}

std::optional<Actions> TavroRules::rows(std::string_view clause, const TavroScreen& screen) const {
    const auto& elements = screen.elements;
    const auto g = [&](std::string_view pattern) { return TavroText::groups(pattern, clause); };
    const auto find = [&](std::string_view name, const Kinds& kinds) { return best(name, elements, kinds, lenient); };

    // 1. A route by name.
    if (const auto m = g(R"(^(?:please\s+)?(?:go to|open|show|navigate to)\s+(?:the\s+)?(.+?)(?:\s+(?:screen|page|tab))?$)")) {
        if (const auto route = TavroText::match((*m)[0], routes)) return one(act(Kind::navigate, std::nullopt, *route));
    }
    // 2. The web.
    if (const auto m = g(R"((?:^|\b)(?:open (?:a )?(?:browser|the web|website|site)|go online|search (?:the web|online|on the web|google)|on the web|in (?:a |the )?browser)\b(?:\s+(?:for|to|and open)?\s*(.*))?$)")) {
        auto what = TavroText::unquote((*m)[0]);
        return one(act(Kind::openWeb, std::nullopt, what.empty() ? std::string(clause) : std::move(what)));
    }
    // 3. A web address.
    if (const auto m = g(R"(^(?:open|visit|go to)\s+(\S+\.\S+\S*)$)")) {
        if (TavroWebText::url((*m)[0])) return one(act(Kind::openWeb, std::nullopt, (*m)[0]));
    }
    // 4. A search typed into the screen's search field.
    {
        auto m = g(R"(^(?:please\s+)?(?:search|look up|find)\s+(?:for\s+)?(.+)$)");
        if (!m) m = g(R"(^(.+?)を(?:検索|探して|探す))");
        if (m) {
            if (const auto* field = searchField(screen))
                return one(act(Kind::type, field->id, TavroText::unquote((*m)[0]), true));
        }
    }
    // 5. turn on Wi-Fi
    if (const auto m = g(R"(^(?:please\s+)?(?:turn|switch|toggle)\s+(on|off)\s+(?:the\s+)?(.+)$)")) {
        const auto* box = find((*m)[1], checkboxKind());
        if (!box) return std::nullopt;
        return set(*box, (*m)[0]);
    }
    // 6. turn Wi-Fi on
    if (const auto m = g(R"(^(?:please\s+)?(?:turn|switch)\s+(?:the\s+)?(.+?)\s+(on|off)$)")) {
        const auto* box = find((*m)[0], checkboxKind());
        if (!box) return std::nullopt;
        return set(*box, (*m)[1]);
    }
    // 7. enable Wi-Fi
    if (const auto m = g(R"(^(?:please\s+)?(enable|disable)\s+(?:the\s+)?(.+)$)")) {
        const auto* box = find((*m)[1], checkboxKind());
        if (!box) return std::nullopt;
        return set(*box, TavroText::lower((*m)[0]) == "enable" ? "on" : "off");
    }
    // 8. type hello into Notes
    if (const auto m = g(R"(^(?:please\s+)?(?:type|enter|write|put|input)\s+(.+?)\s+(?:in|into|as)\s+(?:the\s+)?(.+?)(?:\s+(?:field|box))?$)")) {
        const auto* field = find((*m)[1], settableKinds());
        if (!field) return std::nullopt;
        return set(*field, TavroText::unquote((*m)[0]));
    }
    // 9. set Name to Rin
    if (const auto m = g(R"(^(?:please\s+)?(?:fill(?:\s+in)?|set|change|enter|choose|select|pick)\s+(?:the\s+|my\s+)?(.+?)\s+(?:with|to|as)\s+(.+)$)")) {
        const auto* field = find((*m)[0], settableKinds());
        if (!field) return std::nullopt;
        return set(*field, TavroText::unquote((*m)[1]));
    }
    // 10. choose Large in Size
    if (const auto m = g(R"(^(?:choose|select|pick)\s+(.+?)\s+(?:in|for|from)\s+(?:the\s+)?(.+)$)")) {
        if (const auto* choice = find((*m)[1], choiceKinds()))
            return one(act(Kind::select, choice->id, TavroText::unquote((*m)[0])));
    }
    // 11. 名前にリンを入力
    if (const auto m = g(R"(^(.+?)(?:に|へ)(.+?)を(?:入力|入れ|設定))")) {
        const auto* field = find((*m)[0], settableKinds());
        if (!field) return std::nullopt;
        return set(*field, TavroText::unquote((*m)[1]));
    }
    // 12. copy
    if (const auto m = g(R"(^copy\s+(?:the\s+)?(.+)$)")) {
        auto what = TavroText::unquote((*m)[0]);
        if (const auto* source = find(what, copyKinds())) return one(act(Kind::copy, source->id, {}));
        return one(act(Kind::copy, std::nullopt, std::move(what)));
    }
    // 13. paste
    if (g(R"(^paste(?:\s+(?:it|that))?$)")) {
        const auto& fields = TavroElement::fieldKinds();
        const auto focused = std::find_if(elements.begin(), elements.end(),
                                          [&](const TavroElement& e) { return e.focused && fields.contains(e.kind); });
        const auto any = focused != elements.end()
                             ? focused
                             : std::find_if(elements.begin(), elements.end(),
                                            [&](const TavroElement& e) { return fields.contains(e.kind); });
        if (any != elements.end()) return one(act(Kind::paste, any->id, {}));
    }
    // 14. paste into Notes
    if (const auto m = g(R"(^paste\s+(?:into|in)\s+(?:the\s+)?(.+)$)")) {
        if (const auto* field = find((*m)[0], TavroElement::fieldKinds())) return one(act(Kind::paste, field->id, {}));
    }
    // 15. save to photos
    if (g(R"(\bsave\b.*\b(photos?|camera roll|gallery|写真)\b|写真に保存)")) return one(act(Kind::saveImage, std::nullopt, {}));
    // 16. share
    if (g(R"(^share(?:\s+(?:this|it|the\s+\w+))?$|共有|シェア)")) return one(act(Kind::share, std::nullopt, {}));
    // 17. swipe left (on the card)
    if (const auto m = g(R"(^swipe\s+(left|right|up|down)(?:\s+(?:on|over|across)\s+(.+))?$)")) {
        const auto direction = TavroText::lower((*m)[0]);
        if ((*m)[1].empty()) return one(act(Kind::swipe, std::nullopt, direction));
        const auto* target = find((*m)[1], swipeKinds());
        if (!target) return std::nullopt;
        return one(act(Kind::swipe, target->id, direction));
    }
    // 18. swipe the card left
    if (const auto m = g(R"(^swipe\s+(.+?)\s+(left|right|up|down)$)")) {
        const auto* target = find((*m)[0], TavroElement::tapKinds());
        if (!target) return std::nullopt;
        return one(act(Kind::swipe, target->id, TavroText::lower((*m)[1])));
    }
    // 19. long press
    if (const auto m = g(R"(^(?:long[- ]?press|press and hold|hold)\s+(.+)$)")) {
        const auto* target = find((*m)[0], TavroElement::tapKinds());
        if (!target) return std::nullopt;
        return one(act(Kind::longPress, target->id, {}));
    }
    // 20. scroll (down|up)
    if (const auto m = g(R"(^scroll(?:\s+(down|up))?)")) {
        const auto direction = TavroText::lower((*m)[0]);
        return one(act(Kind::scroll, std::nullopt, direction.empty() ? "down" : direction));
    }
    // 21. 上にスクロール
    if (contains(clause, "スクロール")) return one(act(Kind::scroll, std::nullopt, contains(clause, "上") ? "up" : "down"));
    // 22-23. back
    if (g(R"(^(?:go\s+)?back$|^close(?: this)?(?: sheet| screen)?$)") || clause == "戻る")
        return one(act(Kind::back, std::nullopt, {}));
    // 24. tap Save
    {
        auto m = g(R"(^(?:please\s+)?(?:click|tap|press|hit|push|open|choose|pick|select|check|uncheck)\s+(?:on\s+)?(?:the\s+)?(.+?)(?:\s+(?:button|link|tab|row|option|switch|item))?$)");
        if (!m) m = g(R"(^(.+?)を(?:クリック|タップ|押す|押して|選択|選んで|開く|開いて))");
        if (m) {
            if (auto action = clickTarget(TavroText::unquote((*m)[0]), screen)) return one(std::move(*action));
            return std::nullopt;
        }
    }
    // 25. my name is Rin / Name: Rin. Only clauses with "is" or a colon can match; others are not
    // searched, sparing long clauses the pattern's backtracking over runs of blanks. Ignoring case,
    // the pattern's "s" also matches the long s "ſ", which lower-casing leaves as it is.
    const auto lowered = TavroText::lower(clause);
    const bool mayState = contains(clause, ":") || contains(clause, "：") || contains(lowered, "is") ||
                          contains(lowered, "i\u017F");
    if (const auto m = mayState ? g(R"(^(?:my\s+|the\s+)?(.+?)(?:\s+is\s+|\s*[:：]\s*)(.+)$)") : std::nullopt) {
        if (const auto* field = find((*m)[0], settableKinds())) return set(*field, TavroText::unquote((*m)[1]));
    }
    // 26. A bare element name.
    if (auto action = bareName(clause, screen)) return one(std::move(*action));
    return std::nullopt;
}

std::optional<TavroAction> TavroRules::clickTarget(std::string_view name, const TavroScreen& screen) const {
    const auto& elements = screen.elements;
    const auto wanted = TavroText::norm(name);
    // A name that normalises to nothing names no option (a blank option would otherwise match it).
    if (!wanted.empty()) {
        for (const auto& e : elements) {
            if (e.kind != "select") continue;
            if (std::any_of(e.options.begin(), e.options.end(),
                            [&](const std::string& o) { return TavroText::norm(o) == wanted; }))
                return act(Kind::select, e.id, std::string(name));
        }
    }
    const TavroElement* target = best(name, elements, buttonKinds(), false);
    if (!target) target = best(name, elements, rowKinds(), false);
    if (!target && lenient) target = best(name, elements, buttonKinds(), true);
    if (!target && lenient) target = best(name, elements, rowKinds(), true);
    if (target) return act(Kind::click, target->id, {});
    if (const auto route = TavroText::match(name, routes)) return act(Kind::navigate, std::nullopt, *route);
    return std::nullopt;
}

std::optional<TavroAction> TavroRules::bareName(std::string_view clause, const TavroScreen& screen) const {
    const auto& elements = screen.elements;
    if (!lenient) {
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
    const TavroElement* target = best(clause, elements, barKinds(), false);
    if (!target) target = best(clause, elements, rowKinds(), false);
    if (!target) target = best(clause, elements, barKinds(), true);
    if (!target) target = best(clause, elements, rowKinds(), true);
    if (target) return act(Kind::click, target->id, {});
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
