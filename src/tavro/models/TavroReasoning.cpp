#include "tavro/models/TavroReasoning.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <unordered_set>

#include "tavro/core/TavroElement.h"
#include "tavro/core/TavroJSON.h"
#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

constexpr std::size_t kMaxSteps = 10;

// Blanks: space separators and the tab.
constexpr std::string_view kBlanks =
    "\t \u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200A\u202F\u205F\u3000";

// A list marker at the start of a line: "1." "2)" "-" "*" "•" and the blanks after it.
constexpr std::string_view kListMarker = "^(\\d+[.)]|[-*\u2022])\\s*";

std::string trimBlanks(std::string_view text) { return TavroText::trim(text, kBlanks); }

// Words that never count as evidence that a goal is done.
const std::unordered_set<std::string_view>& stopWords() {
    static const std::unordered_set<std::string_view> words{
        "the",       "and",      "with",   "that",      "this",     "shows",    "show",     "shown",
        "screen",    "visible",  "appears", "message",  "last",     "for",      "now",      "has",
        "are",       "was",      "will",   "into",      "your",     "is",       "in",       "on",
        "of",        "to",       "an",     "as",        "at",       "it",       "be",       "by",
        "or",        "my",       "me",     "its",       "page",     "view",     "list",     "toggle",
        "switch",    "button",   "enabled", "disabled", "opened",   "open",     "displayed", "selected",
        "turned",    "tab",      "field",  "sent",      "saved",    "successfully", "set",  "value",
        "checkbox",  "option",   "app",    "been",      "were",     "under",    "inside"};
    return words;
}

// Calls `visit` with each run of letters, combining marks and digits (any script) in a text;
// every other character, and every ill-formed byte, separates words. `visit` returns false to stop.
template <class Visit>
void forEachWord(std::string_view text, Visit visit) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const auto n = static_cast<int32_t>(text.size());
    int32_t start = -1;
    for (int32_t i = 0; i < n;) {
        const int32_t at = i;
        bool word;
        if (s[i] < 0x80) {
            const auto c = s[i++];
            word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        } else {
            UChar32 c;
            U8_NEXT(s, i, n, c);
            word = c >= 0 && (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
        }
        if (word) {
            if (start < 0) start = at;
        } else if (start >= 0) {
            if (!visit(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(at - start)))) return;
            start = -1;
        }
    }
    if (start >= 0) visit(text.substr(static_cast<std::size_t>(start)));
}

// The screen's text, title and each element's label and value, joined by blanks and lower-cased;
// with `withFieldValues` false the values of field elements are left out.
std::string screenText(const TavroScreen& screen, bool withFieldValues) {
    std::size_t size = screen.text.size() + screen.title.size() + 2;
    for (const auto& e : screen.elements) size += e.label.size() + e.value.size() + 2;
    std::string joined;
    joined.reserve(size);
    joined += screen.text;
    joined += ' ';
    joined += screen.title;
    const auto& fieldKinds = TavroElement::fieldKinds();
    for (const auto& e : screen.elements) {
        joined += ' ';
        joined += e.label;
        joined += ' ';
        if (withFieldValues || !fieldKinds.contains(e.kind)) joined += e.value;
    }
    return TavroText::lower(joined);
}

// Splits a reply at every line-break character (LF, CR, VT, FF, NEL, LS, PS); empty lines dropped.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    const auto cut = [&](std::size_t end, std::size_t width) {
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + width;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t width = 0;
        if (c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            width = 1;
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) {
            width = 2;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            width = 3;
        }
        if (width) {
            cut(i, width);
            i += width;
        } else {
            ++i;
        }
    }
    cut(text.size(), 0);
    return out;
}

std::optional<TavroReasoning> fromJSON(const nlohmann::json& object) {
    TavroReasoning plan;
    const auto text = [&](const char* key) -> std::string {
        const auto it = object.find(key);
        if (it == object.end() || !it->is_string()) return {};
        return TavroText::trim(it->get_ref<const std::string&>());
    };
    plan.intent = text("intent");
    plan.done = text("done");
    plan.ask = text("ask");
    if (const auto it = object.find("steps"); it != object.end() && it->is_array()) {
        for (const auto& entry : *it) {
            if (!entry.is_string()) continue;
            auto step = trimBlanks(entry.get_ref<const std::string&>());
            if (step.empty()) continue;
            plan.steps.push_back(std::move(step));
            if (plan.steps.size() == kMaxSteps) break;
        }
    }
    return plan;
}

std::optional<TavroReasoning> fromLines(std::string_view reply) {
    TavroReasoning plan;
    for (const auto line : lines(reply)) {
        auto step = TavroText::replaceAll(kListMarker, trimBlanks(line), "");
        if (step.empty() || step.starts_with('{')) continue;
        plan.steps.push_back(std::move(step));
        if (plan.steps.size() == kMaxSteps) break;
    }
    if (plan.steps.empty()) return std::nullopt;
    return plan;
}

}  // namespace

std::string TavroReasoning::system(std::string_view surface, const std::vector<std::string>& routes) {
    std::string prompt;
    prompt += "You plan how to complete the user's GOAL in ";
    prompt += surface;
    prompt += " before anything is tapped. Think it through, then reply with ONE JSON object and nothing else:\n";
    prompt += "{\"intent\":\"what the user wants, one short line\",\"done\":\"what will be visible on screen when the "
              "goal is complete\",\"steps\":[\"short step using names shown on screen\", \"...\"],\"ask\":\"\"}\n";
    prompt += "Rules:\n";
    prompt += "- Steps are short commands like \"open Chats\", \"tap Tuli\", \"type hi in Message\", \"tap Send\". "
              "Use the exact names from ELEMENTS";
    if (!routes.empty()) prompt += " or ROUTES (\"go to <route>\")";
    prompt += ".\n";
    prompt += "- At most 8 steps. Don't add steps the goal didn't ask for.\n";
    prompt += "- \"ask\" is a question only when the goal is missing something you can't find on screen or in KNOWN "
              "DETAILS (who to send it to, which item). Otherwise \"\".\n";
    prompt += "- Never plan to delete, pay or send money unless the goal says so.";
    return prompt;
}

std::optional<TavroReasoning> TavroReasoning::parse(const std::optional<std::string>& reply) {
    if (!reply || TavroText::trim(*reply).empty()) return std::nullopt;
    const std::string_view text = *reply;
    const auto open = text.find('{');
    const auto close = text.rfind('}');
    if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
        if (const auto object = TavroJSON::dictionary(text.substr(open, close - open + 1))) return fromJSON(*object);
    }
    return fromLines(text);
}

std::string TavroReasoning::summary() const {
    std::string line = intent.empty() ? L("Working on it", "実行します") : intent;
    if (!steps.empty()) {
        const auto n = std::to_string(steps.size());
        line += L(" · " + n + " steps", " · " + n + " 手順");
    }
    if (!done.empty()) line += L(" · done when: " + done, " · 完了の目安: " + done);
    return line;
}

bool TavroReasoning::isDone(const TavroScreen& screen, bool strict) const {
    if (trimBlanks(done).empty()) return !strict;

    const auto& stops = stopWords();
    const auto lowered = TavroText::lower(done);
    std::vector<std::string_view> longWords, shortWords;
    forEachWord(lowered, [&](std::string_view word) {
        if (stops.contains(word)) return true;
        const auto length = TavroText::count(word);
        if (length > 2) longWords.push_back(word);
        if (length >= 2) shortWords.push_back(word);
        return true;
    });

    if (!strict) {
        const auto& words = longWords.empty() ? shortWords : longWords;
        if (words.empty()) return true;
        const auto haystack = screenText(screen, true);
        std::size_t hits = 0;
        for (const auto word : words)
            if (haystack.find(word) != std::string::npos) ++hits;
        return words.size() <= 2 * hits;
    }

    if (shortWords.empty()) return false;
    std::unordered_set<std::string_view> missing(shortWords.begin(), shortWords.end());
    // Byte lengths of the wanted words: most screen words are ruled out without hashing them.
    std::size_t shortest = std::string_view::npos, longest = 0;
    for (const auto word : missing) {
        shortest = std::min(shortest, word.size());
        longest = std::max(longest, word.size());
    }
    const auto seen = screenText(screen, false);
    forEachWord(seen, [&](std::string_view word) {
        if (word.size() < shortest || word.size() > longest) return true;
        missing.erase(word);
        return !missing.empty();
    });
    return missing.empty();
}

}  // namespace tavro
