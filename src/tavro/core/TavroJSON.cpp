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

// Nesting depth of JSON text (brackets outside strings), so deep text is refused before parsing.
bool textWithinDepth(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > maxDepth) return false;
        } else if (c == '}' || c == ']') {
            --depth;
        }
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
    if (!textWithinDepth(text)) return std::nullopt;
    auto parsed = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

}  // namespace tavro::TavroJSON
