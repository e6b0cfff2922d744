// JSON text as the link, the envelope and the chat-command parser exchange it: compact, with keys
// sorted and slashes left unescaped, and parsing of text that must hold a JSON object.
#pragma once

#include <nlohmann/json.hpp>

#include "platform/foundation/BoundedJSON.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavro::TavroJSON {

// Nesting deeper than this is refused, in reading as in writing: what is written can be read back.
inline constexpr int maxDepth = fnd::maxJSONDepth;

// Compact JSON text of any value: objects with sorted keys, "/" unescaped, a bare value as its own
// JSON text ("3", "\"a\"", "true"). Ill-formed UTF-8 inside strings is written as U+FFFD; a value
// that cannot be written (discarded, or nested deeper than maxDepth) gives "null".
std::string text(const nlohmann::json& value);

// The JSON object the text holds, or nothing when the text is not valid JSON, is valid JSON of
// another type, or nests deeper than maxDepth.
std::optional<nlohmann::json> dictionary(std::string_view text);

}  // namespace tavro::TavroJSON
