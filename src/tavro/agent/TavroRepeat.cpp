#include "tavro/agent/TavroRepeat.h"

#include <algorithm>
#include <charconv>

#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

// One way of writing a count: the expression and either a fixed count or 0 (read group 1).
struct CountPattern {
    std::string pattern;
    int fixed = 0;
};

// The count patterns in the order they are tried. Each is wrapped so that its first match also
// yields the text before it: group 1 is that text, group 2 the whole match, group 3 the count.
const std::vector<CountPattern>& countPatterns(const std::vector<std::pair<std::string, int>>& words) {
    static const std::vector<CountPattern> patterns = [&words] {
        std::vector<std::string> names;
        names.reserve(words.size());
        for (const auto& [word, count] : words) names.push_back(word);
        std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return TavroText::count(a) > TavroText::count(b);
        });
        std::string alternation;
        for (const auto& name : names) {
            if (!alternation.empty()) alternation += "|";
            alternation += name;
        }
        const std::vector<CountPattern> raw = {
            {"\\b(?:repeat\\s+(?:it\\s+|this\\s+)?)?(\\d{1,3}|" + alternation +
                 ")\\s*(?:times|x)\\b(?:\\s+(?:in a row|over|again))?",
             0},
            {"\\b(?:repeat\\s+(?:it\\s+|this\\s+)?)?x\\s*(\\d{1,3})\\b", 0},
            {"\\btwice\\b", 2},
            {"\\bthrice\\b", 3},
            {"(\\d{1,3})\\s*回", 0},
        };
        std::vector<CountPattern> wrapped;
        for (const auto& p : raw) wrapped.push_back({"(?s)^(.*?)(" + p.pattern + ")", p.fixed});
        return wrapped;
    }();
    return patterns;
}

// A count written in ASCII digits or as a number word; nothing for anything else.
std::optional<int> readCount(const std::string& text, const std::vector<std::pair<std::string, int>>& words) {
    const std::string lowered = TavroText::lower(text);
    if (lowered.empty()) return std::nullopt;
    if (std::all_of(lowered.begin(), lowered.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int value = 0;
        const auto [end, error] = std::from_chars(lowered.data(), lowered.data() + lowered.size(), value);
        if (error != std::errc() || end != lowered.data() + lowered.size()) return std::nullopt;
        return value;
    }
    for (const auto& [word, count] : words) {
        if (word == lowered) return count;
    }
    return std::nullopt;
}

// Trims white space, line breaks and the punctuation a cut count leaves behind, from both ends.
std::string trimLeftovers(std::string text) {
    for (;;) {
        std::string next = TavroText::trim(TavroText::trim(text), ",.!:;");
        if (next == text) return text;
        text = std::move(next);
    }
}

}  // namespace

const std::vector<std::pair<std::string, int>>& TavroRepeat::words() {
    static const std::vector<std::pair<std::string, int>> table = {
        {"one", 1},        {"two", 2},        {"three", 3},      {"four", 4},      {"five", 5},
        {"six", 6},        {"seven", 7},      {"eight", 8},      {"nine", 9},      {"ten", 10},
        {"eleven", 11},    {"twelve", 12},    {"thirteen", 13},  {"fourteen", 14}, {"fifteen", 15},
        {"sixteen", 16},   {"seventeen", 17}, {"eighteen", 18},  {"nineteen", 19}, {"twenty", 20},
        {"thirty", 30},    {"forty", 40},     {"fifty", 50},
    };
    return table;
}

std::optional<TavroRepeat::Parsed> TavroRepeat::parse(std::string_view goal) {
    const std::string text = TavroText::repaired(goal);
    for (const auto& pattern : countPatterns(words())) {
        const auto found = TavroText::firstMatch(pattern.pattern, text);
        if (!found) continue;
        // The first pattern that matches decides.
        const auto& g = *found;
        if (g.size() < 2) return std::nullopt;
        int count = pattern.fixed;
        if (count == 0) {
            if (g.size() < 3) return std::nullopt;
            const auto read = readCount(g[2], words());
            if (!read) return std::nullopt;
            count = *read;
        }
        if (count < 2) return std::nullopt;

        const std::size_t start = g[0].size();
        const std::size_t length = g[1].size();
        if (start + length > text.size()) return std::nullopt;
        std::string rest = text.substr(0, start) + " " + text.substr(start + length);
        rest = TavroText::replaceAll("^\\s*(?:please\\s+)?repeat(?:edly)?\\s+", rest, "");
        rest = TavroText::replaceAll("\\s+", rest, " ");
        rest = trimLeftovers(std::move(rest));
        if (rest.empty()) return std::nullopt;
        return Parsed{std::move(rest), std::min(count, 50)};
    }
    return std::nullopt;
}

std::vector<TavroPerformedStep> TavroRepeat::tail(const std::vector<TavroPerformedStep>& steps) {
    if (steps.empty()) return {};
    const std::string& finalLocation = steps.back().location;
    auto first = steps.end();
    while (first != steps.begin()) {
        const auto& step = *(first - 1);
        if (step.location != finalLocation) break;
        if (step.action.kind == TavroAction::Kind::navigate || step.action.kind == TavroAction::Kind::back) break;
        --first;
    }
    return {first, steps.end()};
}

}  // namespace tavro
