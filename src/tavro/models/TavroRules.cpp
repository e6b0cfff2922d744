#include "tavro/models/TavroRules.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

// A key=value detail anywhere in a text ("name=Rin").
constexpr std::string_view kDetail = R"([\p{L}\p{N}_\-]\s*=\s*\S)";

constexpr char kSeparator = '\x1F';

// The only words that start a new clause after "and", a comma or the end of a sentence, so that
// "type milk, eggs and bread" stays one clause.
constexpr std::string_view kClauseVerbs =
    "swipe|click|tap|press|hit|type|enter|write|fill|set|search|find|select|choose|pick|check|uncheck|turn|switch|"
    "toggle|enable|disable|go|open|scroll|submit|save|long\\s+press|long-press";

// Japanese verbs in their て-form, which joins one command to the next.
constexpr std::string_view kJapaneseTeForms =
    "開いて|押して|選んで|選択して|タップして|クリックして|入力して|入れて|探して|検索して|設定して|にして|"
    "閉じて|表示して|保存して|送信して|送って|書いて|消して|削除して|戻って|スクロールして";

// A て-form and the polite ending kept with it, when more words follow. Built by appending: GCC 12
// warns falsely about joining texts with "+" here.
std::string teFormBreak() {
    std::string pattern = "((?:";
    pattern.append(kJapaneseTeForms);
    pattern.append(R"()(?:\s*(?:くださいませ|ください|下さい|ちょうだい))?+)(?!\s*(?:ね|よ)?\s*[.!。！]*\s*$)\s*)");
    return pattern;
}

// Where a goal is cut into clauses, in the order they are applied. Each comes with the texts one
// of which any match must contain (in lower case): a goal without them is not searched, which
// spares long goals the pattern's backtracking over runs of blanks.
struct ClauseBreak {
    std::string pattern;
    std::array<std::string_view, 4> needs;
    std::string_view replacement = "\x1F";  // the separator itself, or the kept words then it
};

const std::vector<ClauseBreak>& clauseBreaks() {
    static const std::vector<ClauseBreak> breaks = [] {
        const std::string verb = "(?:" + std::string(kClauseVerbs) + R"()\b)";
        return std::vector<ClauseBreak>{
            {R"(\s*,?\s*\band then\b\s*)", {"and then"}},
            {R"(\s*,?\s*\bthen\b\s*)", {"then"}},
            {R"(\s*[;\n。、]\s*)", {";", "\n", "。", "、"}},
            {R"(\s*,?\s+and\s+(?=)" + verb + ")", {"and"}},
            {R"(\s*,\s*(?=)" + verb + ")", {","}},
            // "Open settings. Turn on dark mode": a sentence end cuts only before a command verb,
            // so "3.5", "e.g. milk" and "type a. b into Notes" stay as they are; a verb that goes
            // on with a dot, hyphen or slash is part of an address ("open www.mhlw.go.jp").
            {R"(\s*[.!?]\s*(?=)" + verb + R"((?![.\-/]\w)))", {".", "!", "?"}},
            // "設定を開いてダークモードをオンにして": a verb's て-form followed by more words ends
            // its clause, as 、 does; a polite ending after it ("開いてください") does not.
            {teFormBreak(), {"て", "で"}, "$1\x1F"},
        };
    }();
    return breaks;
}

// Marks that open a quotation and the mark that closes each. A straight single quote counts only
// where it stands before and after a word, not as the apostrophe of "don't".
constexpr std::pair<std::string_view, std::string_view> kQuotes[] = {
    {"「", "」"}, {"『", "』"}, {"“", "”"}, {"\"", "\""}, {"'", "'"},
};

// Stands for a quotation while a goal is cut: a private-use character, the quotation's index, another.
constexpr std::string_view kQuoteOpen = "\uE000";
constexpr std::string_view kQuoteClose = "\uE001";

bool isBlankOr(std::string_view text, std::size_t at, std::string_view others) {
    return at >= text.size() || text[at] == ' ' || text[at] == '\t' || text[at] == '\n' ||
           others.find(text[at]) != std::string_view::npos;
}

// A goal with its quotations set aside, so that no clause break falls inside one ("メッセージに
// 「明日送って」を入力" is one clause), and put back into each clause after the cut.
class Quotations {
public:
    explicit Quotations(std::string text) : text_(std::move(text)) {
        if (text_.find(kQuoteOpen) != std::string::npos || text_.find(kQuoteClose) != std::string::npos) return;
        std::string masked;
        std::size_t from = 0;
        for (std::size_t at = 0; at < text_.size();) {
            const auto quote = closing(at);
            if (!quote) {
                ++at;
                continue;
            }
            masked.append(text_, from, at - from);
            masked.append(kQuoteOpen).append(std::to_string(quoted_.size())).append(kQuoteClose);
            quoted_.push_back(text_.substr(at, *quote - at));
            at = from = *quote;
        }
        if (quoted_.empty()) return;
        masked.append(text_, from);
        text_ = std::move(masked);
    }

    const std::string& text() const { return text_; }

    // A piece of the cut text with its quotations put back.
    std::string restore(std::string piece) const {
        if (quoted_.empty()) return piece;
        for (auto open = piece.find(kQuoteOpen); open != std::string::npos; open = piece.find(kQuoteOpen, open)) {
            const auto close = piece.find(kQuoteClose, open);
            if (close == std::string::npos) break;
            const auto first = open + kQuoteOpen.size();
            const auto index = static_cast<std::size_t>(std::strtoul(piece.substr(first, close - first).c_str(), nullptr, 10));
            const auto& original = index < quoted_.size() ? quoted_[index] : std::string();
            piece.replace(open, close + kQuoteClose.size() - open, original);
            open += original.size();
        }
        return piece;
    }

private:
    // Where the quotation opening at `at` ends (just past its closing mark), or nothing.
    std::optional<std::size_t> closing(std::size_t at) const {
        const std::string_view text = text_;
        for (const auto& [open, close] : kQuotes) {
            if (!text.substr(at).starts_with(open)) continue;
            const bool apostrophe = open == "'";
            if (apostrophe && !(at == 0 || isBlankOr(text, at - 1, "([{"))) return std::nullopt;
            for (auto end = text.find(close, at + open.size()); end != std::string_view::npos;
                 end = text.find(close, end + 1)) {
                if (end == at + open.size()) break;  // nothing quoted
                if (apostrophe && !isBlankOr(text, end + 1, ".,;:!?)]}")) continue;
                return end + close.size();
            }
            return std::nullopt;
        }
        return std::nullopt;
    }

    std::string text_;
    std::vector<std::string> quoted_;
};

// Whether a text (lower-cased) holds one of the texts any match of the break must contain.
bool mayCut(const ClauseBreak& cut, const std::string& lowered) {
    return std::any_of(cut.needs.begin(), cut.needs.end(), [&](std::string_view need) {
        return !need.empty() && lowered.find(need) != std::string::npos;
    });
}

// The command verbs a misspelt first word is corrected to; on equal distance the earlier wins.
constexpr std::array<std::string_view, 33> kVerbs = {
    "click", "tap",    "press",  "hit",    "push",    "type",  "enter", "write",  "fill",  "set",   "search",
    "find",  "select", "choose", "pick",   "check",   "turn",  "switch", "toggle", "enable", "disable", "go",
    "open",  "scroll", "swipe",  "submit", "save",    "copy",  "paste", "share",  "show",  "visit", "close",
};

template <std::size_t N>
bool isOneOf(std::string_view word, const std::array<std::string_view, N>& words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// Trims white space, line breaks, "." and "!" from both ends, in any mix.
std::string trimClause(std::string_view piece) {
    std::string text(piece);
    for (;;) {
        auto next = TavroText::trim(TavroText::trim(text), ".!");
        if (next == text) return text;
        text = std::move(next);
    }
}

TavroAction plain(TavroAction::Kind kind, std::string text) {
    return TavroAction{.kind = kind, .id = std::nullopt, .text = std::move(text), .submit = false, .thought = {}};
}

}  // namespace

TavroRules::TavroRules(std::string goal, std::vector<std::string> routes, bool lenient)
    : clauses(split(goal)), routes(std::move(routes)), lenient(lenient) {
    // A goal of nothing but punctuation (".", "!!") leaves no clause, yet it is not a goal with
    // nothing to do: kept whole as the one clause, it fails like any clause that reads as nothing.
    // A goal that is empty or blank still has no clauses.
    if (clauses.empty()) {
        auto whole = TavroText::trim(goal);
        if (!whole.empty()) clauses.push_back(std::move(whole));
    }
}

std::vector<std::string> TavroRules::split(std::string_view goal) {
    auto trimmed = TavroText::trim(goal);
    if (TavroText::groups(kDetail, trimmed)) return {trimmed};
    const Quotations quotations(std::move(trimmed));
    std::string text = quotations.text();
    for (const auto& cut : clauseBreaks()) {
        const auto lowered = TavroText::lower(text);
        if (mayCut(cut, lowered)) text = TavroText::replaceAll(cut.pattern, text, cut.replacement);
    }
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(kSeparator, start);
        auto piece = quotations.restore(
            trimClause(std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (!piece.empty()) pieces.push_back(std::move(piece));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return pieces;
}

bool TavroRules::breaks(std::string_view value) {
    const Quotations quotations{std::string(value)};
    const auto& text = quotations.text();
    const auto lowered = TavroText::lower(text);
    return std::any_of(clauseBreaks().begin(), clauseBreaks().end(), [&](const ClauseBreak& cut) {
        return mayCut(cut, lowered) && TavroText::matches(cut.pattern, text);
    });
}

TavroAction TavroRules::decide(const TavroScreen& screen) {
    if (!queue.empty()) {
        auto next = std::move(queue.front());
        queue.erase(queue.begin());
        return next;
    }
    if (handedOff) return plain(TavroAction::Kind::fail, L("The on-device model is doing this task.", "オンデバイスモデルが実行中です。"));
    while (!clauses.empty()) {
        const auto clause = std::move(clauses.front());
        clauses.erase(clauses.begin());
        auto actions = resolve(clause, screen);
        if (actions) {
            if (actions->empty()) continue;
            auto first = std::move(actions->front());
            queue.assign(std::make_move_iterator(actions->begin() + 1), std::make_move_iterator(actions->end()));
            return first;
        }
        if (!lenient && !fallback.empty()) {
            clauses = std::move(fallback);
            fallback.clear();
            usedFallback = true;
            continue;
        }
        if (lenient) lastFailed = clause;
        else handedOff = true;
        return plain(TavroAction::Kind::fail,
                     L("I couldn't work out “" + clause +
                           "” on this screen. Use the names shown on screen, or turn on an on-device model.",
                       "この画面で「" + clause +
                           "」の方法が分かりませんでした。画面に表示された名前を使うか、オンデバイスモデルを有効にしてください。"));
    }
    return plain(TavroAction::Kind::done, L("Done.", "完了しました。"));
}

void TavroRules::handOff() {
    handedOff = true;
    clauses.clear();
    queue.clear();
}

std::string TavroRules::fixVerb(std::string_view clause) {
    // The first word and the rest, split at the first blank after it.
    const auto begin = clause.find_first_not_of(' ');
    if (begin == std::string_view::npos) return std::string(clause);
    const auto end = clause.find(' ', begin);
    const auto word = clause.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
    const auto rest = end == std::string_view::npos ? std::string_view{} : clause.substr(end + 1);

    const auto lowered = TavroText::lower(word);
    if (isOneOf(lowered, kVerbs)) return std::string(clause);
    const auto length = TavroText::count(lowered);
    if (length < 3) return std::string(clause);
    const int allowed = length < 6 ? 1 : 2;

    int bestDistance = allowed + 1;
    std::string_view bestVerb;
    for (const auto verb : kVerbs) {
        // The distance is at least the difference in length; such verbs cannot come within reach.
        const auto gap = length > verb.size() ? length - verb.size() : verb.size() - length;
        if (gap > static_cast<std::size_t>(allowed)) continue;
        const int distance = TavroText::edits(lowered, verb);
        if (distance < bestDistance) {
            bestDistance = distance;
            bestVerb = verb;
        }
    }
    if (bestVerb.empty()) return std::string(clause);
    std::string fixed(bestVerb);
    if (!rest.empty()) {
        fixed += ' ';
        fixed += rest;
    }
    return fixed;
}

std::vector<TavroAction> TavroRules::set(const TavroElement& element, std::string_view value) const {
    const auto action = [&](TavroAction::Kind kind, std::string text) {
        return TavroAction{.kind = kind, .id = element.id, .text = std::move(text), .submit = false, .thought = {}};
    };
    if (element.kind == "checkbox") {
        const auto wanted = TavroElement::switchWord(value);
        if (wanted && *wanted == element.isOn()) return {};
        return {action(TavroAction::Kind::click, {})};
    }
    if (element.kind == "select" || element.kind == "slider") return {action(TavroAction::Kind::select, std::string(value))};
    return {action(TavroAction::Kind::type, std::string(value))};
}

std::optional<bool> TavroRules::wantedState(std::string_view goal, std::int64_t id, const TavroScreen& screen) const {
    // Each clause is read with the box off and with it on: only a clause that sets its state taps
    // it in one and not the other. Reading the clauses themselves keeps one reading of "turn on",
    // "enable", "Newsletter: on" and the rest.
    TavroScreen probe = screen;
    const auto box = std::find_if(probe.elements.begin(), probe.elements.end(),
                                  [&](const TavroElement& e) { return e.id == id; });
    if (box == probe.elements.end() || box->kind != "checkbox") return std::nullopt;
    const auto taps = [&](const std::string& clause, std::string_view state) {
        box->value = state;
        const auto actions = resolve(clause, probe);
        return actions && std::any_of(actions->begin(), actions->end(), [&](const TavroAction& a) {
                   return a.kind == TavroAction::Kind::click && a.id == id;
               });
    };
    std::optional<bool> wanted;
    for (const auto& clause : split(goal)) {
        const bool whenOff = taps(clause, "off");
        if (whenOff == taps(clause, "on")) continue;
        if (wanted && *wanted != whenOff) return std::nullopt;
        wanted = whenOff;
    }
    return wanted;
}

}  // namespace tavro
