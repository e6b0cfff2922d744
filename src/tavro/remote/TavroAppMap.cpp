#include "tavro/remote/TavroAppMap.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "platform/foundation/BoundedJSON.h"
#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

// The goal's words, each normalised on its own, keeping those of 3 characters or more.
std::vector<std::string> goalWords(std::string_view goal) {
    std::vector<std::string> words;
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    while (i < goal.size()) {
        while (i < goal.size() && blank(goal[i])) ++i;
        std::size_t j = i;
        while (j < goal.size() && !blank(goal[j])) ++j;
        if (j > i) {
            std::string word = TavroText::norm(goal.substr(i, j - i));
            if (TavroText::count(word) >= 3) words.push_back(std::move(word));
        }
        i = j;
    }
    return words;
}

struct Step {
    std::string from;
    std::string label;
};

// Shortest chains of controls from `start`: for every reached location, the step that first
// reached it (controls in order, breadth first).
std::unordered_map<std::string, Step> chains(const TavroAppMap& map, const std::string& start) {
    std::unordered_map<std::string, Step> reached;
    if (!map.screens.count(start)) return reached;
    std::deque<std::string> queue{start};
    reached.emplace(start, Step{});
    while (!queue.empty()) {
        const std::string here = queue.front();
        queue.pop_front();
        const auto screen = map.screens.find(here);
        if (screen == map.screens.end()) continue;
        for (const auto& control : screen->second.controls) {
            if (!control.to || reached.count(*control.to)) continue;
            reached.emplace(*control.to, Step{here, control.label});
            queue.push_back(*control.to);
        }
    }
    return reached;
}

std::string pathText(const std::unordered_map<std::string, Step>& reached, const std::string& start,
                     const std::string& target) {
    std::vector<const std::string*> labels;
    std::string at = target;
    while (at != start) {
        const auto& step = reached.at(at);
        labels.push_back(&step.label);
        at = step.from;
    }
    std::string text;
    for (auto it = labels.rbegin(); it != labels.rend(); ++it) {
        if (!text.empty()) text += " > ";
        text += **it;
    }
    return text;
}

std::string stringAt(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

std::vector<std::string> TavroAppMap::hints(std::string_view goal, const TavroScreen& screen, int limit) const {
    std::vector<std::string> lines;
    if (limit <= 0) return lines;
    const auto words = goalWords(goal);
    if (words.empty()) return lines;

    struct Scored {
        const Screen* screen;
        int score;
    };
    std::vector<Scored> scored;
    for (const auto& [location, candidate] : screens) {
        if (location == screen.location) continue;
        std::vector<std::string> names{TavroText::norm(candidate.title)};
        for (const auto& control : candidate.controls) names.push_back(TavroText::norm(control.label));
        int score = 0;
        for (const auto& word : words) {
            const bool found = std::any_of(names.begin(), names.end(),
                                           [&](const std::string& name) { return name.find(word) != std::string::npos; });
            if (found) ++score;
        }
        if (score > 0) scored.push_back({&candidate, score});
    }
    if (scored.empty()) return lines;
    std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) { return a.score > b.score; });

    const auto reached = chains(*this, screen.location);
    for (const auto& entry : scored) {
        if (static_cast<int>(lines.size()) >= limit) break;
        std::string line = entry.screen->title.empty() ? entry.screen->location : entry.screen->title;
        if (reached.count(entry.screen->location)) {
            line += ": " + pathText(reached, screen.location, entry.screen->location);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

nlohmann::json TavroAppMap::toJSON() const {
    nlohmann::json out = nlohmann::json::object();
    out["app"] = app;
    out["appVersion"] = appVersion;
    out["start"] = start;
    nlohmann::json all = nlohmann::json::object();
    for (const auto& [location, screen] : screens) {
        nlohmann::json controls = nlohmann::json::array();
        for (const auto& control : screen.controls) {
            nlohmann::json item{{"label", control.label}, {"kind", control.kind}};
            if (control.to) item["to"] = *control.to;
            controls.push_back(std::move(item));
        }
        all[location] = {{"location", screen.location}, {"title", screen.title}, {"controls", std::move(controls)}};
    }
    out["screens"] = std::move(all);
    return out;
}

std::optional<TavroAppMap> TavroAppMap::fromJSON(const nlohmann::json& json) {
    if (!json.is_object()) return std::nullopt;
    TavroAppMap map;
    map.app = stringAt(json, "app");
    map.appVersion = stringAt(json, "appVersion");
    map.start = stringAt(json, "start");
    const auto screens = json.find("screens");
    if (screens == json.end() || screens->is_null()) return map;
    if (!screens->is_object()) return std::nullopt;
    for (const auto& [location, value] : screens->items()) {
        if (!value.is_object()) return std::nullopt;
        // The table's key is the screen's location.
        Screen screen{.location = location, .title = stringAt(value, "title")};
        const auto controls = value.find("controls");
        if (controls != value.end() && !controls->is_null()) {
            if (!controls->is_array()) return std::nullopt;
            for (const auto& item : *controls) {
                if (!item.is_object()) return std::nullopt;
                Control control{.label = stringAt(item, "label"), .kind = stringAt(item, "kind")};
                const auto to = item.find("to");
                if (to != item.end() && to->is_string()) control.to = to->get<std::string>();
                screen.controls.push_back(std::move(control));
            }
        }
        map.screens.emplace(location, std::move(screen));
    }
    return map;
}

std::optional<TavroAppMap> TavroAppMap::parse(std::string_view text) {
    const auto json = fnd::parseJSON(text);
    if (json.is_discarded()) return std::nullopt;
    return fromJSON(json);
}

}  // namespace tavro
