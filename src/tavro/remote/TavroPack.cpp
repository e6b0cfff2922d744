#include "tavro/remote/TavroPack.h"

#include <chrono>
#include <limits>

#include <nlohmann/json.hpp>

#include "platform/foundation/BoundedJSON.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"

namespace tavro {

namespace {

// Every ICU pattern in a pack is matched case-insensitively, like the library's own patterns.
constexpr bool caseInsensitive = true;

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
    const std::string trimmed = TavroText::trim(goal);
    // Rules come from a signed pack but still run on the main actor: the whole pass is bounded,
    // not only each match, and a goal that would grow beyond what a person types is refused.
    const auto deadline = std::chrono::steady_clock::now() + rewriteTimeLimit;
    std::string text = trimmed;
    for (const auto& rule : rewrites) {
        auto next = TavroText::replaceFirst(rule.pattern, text, rule.templateText, deadline, rewriteLengthLimit,
                                            caseInsensitive);
        if (!next) {
            const bool late = std::chrono::steady_clock::now() >= deadline;
            TavroDebug::logFromAnyThread(
                "plan",
                late ? "goal rewrites took too long (over " + std::to_string(rewriteTimeLimit.count()) +
                           " ms); the goal is used as typed"
                     : "goal rewrites made the goal too long (over " + std::to_string(rewriteLengthLimit) +
                           " bytes); the goal is used as typed",
                false);
            return trimmed;
        }
        text = TavroText::trim(*next);
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
    const auto json = fnd::parseJSON(text);
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
