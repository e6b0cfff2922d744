#include "tavro/remote/TavroPack.h"

#include <limits>

#include <nlohmann/json.hpp>

#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

// Every ICU pattern in a pack is matched case-insensitively, like the library's own patterns.
constexpr bool caseInsensitive = true;

void appendUTF8(std::string& out, char32_t c) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
}

// A private-use character that occurs in none of the given texts, as UTF-8.
std::string sentinelAbsentFrom(std::string_view a, std::string_view b) {
    for (char32_t c = 0xE000; c <= 0xF8FF; ++c) {
        std::string s;
        appendUTF8(s, c);
        if (a.find(s) == std::string_view::npos && b.find(s) == std::string_view::npos) return s;
    }
    return {};
}

// Replaces the first match of `pattern` in `text` by `replacement` (ICU replacement syntax). The
// cached replace-all marks the matches with a character the text does not contain: once around
// the whole matches, to find where the first one lies and what follows it, and once around the
// expanded replacements, to take the first one's expansion. A pattern that does not match, does
// not compile or times out, or a replacement that is invalid, leaves the text as it is.
std::string replaceFirst(std::string_view pattern, const std::string& text, std::string_view replacement) {
    const std::string mark = sentinelAbsentFrom(text, replacement);
    if (mark.empty()) return text;
    const std::string matches = TavroText::replaceAll(pattern, text, mark + "$0" + mark, caseInsensitive);
    const auto open = matches.find(mark);
    if (open == std::string::npos) return text;
    const auto close = matches.find(mark, open + mark.size());
    if (close == std::string::npos) return text;

    const std::string expanded = TavroText::replaceAll(pattern, text, mark + std::string(replacement) + mark, caseInsensitive);
    const auto from = expanded.find(mark);
    if (from == std::string::npos) return text;
    const auto to = expanded.find(mark, from + mark.size());
    if (to == std::string::npos) return text;

    std::string result = matches.substr(0, open);
    result += expanded.substr(from + mark.size(), to - from - mark.size());
    for (std::size_t at = close + mark.size(); at < matches.size();) {
        const auto next = matches.find(mark, at);
        if (next == std::string::npos) {
            result.append(matches, at, std::string::npos);
            break;
        }
        result.append(matches, at, next - at);
        at = next + mark.size();
    }
    return result;
}

std::optional<int> intValue(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned()) {
            const auto v = value.get<std::uint64_t>();
            if (v > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return std::nullopt;
            return static_cast<int>(v);
        }
        const auto v = value.get<std::int64_t>();
        if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return std::nullopt;
        return static_cast<int>(v);
    }
    return std::nullopt;
}

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> stringMember(const nlohmann::json& object, const char* key) {
    const auto* value = member(object, key);
    if (value && value->is_string()) return value->get<std::string>();
    return std::nullopt;
}

}  // namespace

std::string TavroPack::promptNotes() const {
    std::string text;
    for (const auto& note : notes) {
        if (!text.empty()) text += '\n';
        text += "- " + note;
    }
    return text;
}

std::string TavroPack::rewrite(std::string_view goal) const {
    std::string text = TavroText::trim(goal);
    for (const auto& rule : rewrites) {
        text = TavroText::trim(replaceFirst(rule.pattern, text, rule.templateText));
    }
    return text;
}

std::string TavroPack::verb(std::string_view phrase) const {
    const std::string trimmed = TavroText::trim(phrase);
    if (trimmed.empty()) return std::string(phrase);
    const auto blank = trimmed.find(' ');
    const std::string first = TavroText::lower(trimmed.substr(0, blank));
    const auto found = verbs.find(first);
    if (found == verbs.end()) return std::string(phrase);
    if (blank == std::string::npos) return found->second;
    return found->second + " " + trimmed.substr(blank + 1);
}

std::optional<TavroPack> TavroPack::fromJSON(const nlohmann::json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto* version = member(json, "version");
    if (!version) return std::nullopt;
    const auto versionValue = intValue(*version);
    if (!versionValue) return std::nullopt;

    TavroPack pack;
    pack.version = *versionValue;
    if (const auto* steps = member(json, "maxSteps")) pack.maxSteps = intValue(*steps);
    if (const auto* paused = member(json, "paused"); paused && paused->is_boolean()) pack.paused = paused->get<bool>();
    pack.localModel = stringMember(json, "localModel");
    if (const auto* notes = member(json, "notes"); notes && notes->is_array()) {
        for (const auto& note : *notes) {
            if (note.is_string()) pack.notes.push_back(note.get<std::string>());
        }
    }
    if (auto approve = stringMember(json, "approve"); approve && TavroText::isValidPattern(*approve, caseInsensitive)) {
        pack.approve = std::move(approve);
    }
    if (const auto* verbs = member(json, "verbs"); verbs && verbs->is_object()) {
        for (const auto& [word, verb] : verbs->items()) {
            if (verb.is_string()) pack.verbs[word] = verb.get<std::string>();
        }
    }
    if (const auto* rewrites = member(json, "rewrites"); rewrites && rewrites->is_array()) {
        for (const auto& rule : *rewrites) {
            if (!rule.is_object()) continue;
            auto pattern = stringMember(rule, "pattern");
            if (!pattern || !TavroText::isValidPattern(*pattern, caseInsensitive)) continue;
            pack.rewrites.push_back({std::move(*pattern), stringMember(rule, "template").value_or("")});
        }
    }
    if (const auto* map = member(json, "map")) pack.map = TavroAppMap::fromJSON(*map);
    return pack;
}

std::optional<TavroPack> TavroPack::parse(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded()) return std::nullopt;
    return fromJSON(json);
}

nlohmann::json TavroPack::toJSON() const {
    nlohmann::json out = nlohmann::json::object();
    out["version"] = version;
    if (maxSteps) out["maxSteps"] = *maxSteps;
    out["paused"] = paused;
    if (localModel) out["localModel"] = *localModel;
    out["notes"] = notes;
    if (approve) out["approve"] = *approve;
    out["verbs"] = verbs;
    nlohmann::json rules = nlohmann::json::array();
    for (const auto& rule : rewrites) rules.push_back({{"pattern", rule.pattern}, {"template", rule.templateText}});
    out["rewrites"] = std::move(rules);
    if (map) out["map"] = map->toJSON();
    return out;
}

}  // namespace tavro
