#include "tavro/core/TavroJSON.h"

#include <utility>
#include <vector>

namespace tavro::TavroJSON {

namespace {

// Depth of a value, counted without recursion; stops early once past the limit.
bool withinDepth(const nlohmann::json& root) {
    std::vector<std::pair<const nlohmann::json*, int>> pending{{&root, 1}};
    while (!pending.empty()) {
        const auto [value, depth] = pending.back();
        pending.pop_back();
        if (!value->is_structured()) continue;
        if (depth > maxDepth) return false;
        for (const auto& child : *value) pending.emplace_back(&child, depth + 1);
    }
    return true;
}

}  // namespace

std::string text(const nlohmann::json& value) {
    if (value.is_discarded() || !withinDepth(value)) return "null";
    try {
        return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (const std::exception&) {
        return "null";
    }
}

std::optional<nlohmann::json> dictionary(std::string_view text) {
    auto parsed = fnd::parseJSON(text);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

}  // namespace tavro::TavroJSON
