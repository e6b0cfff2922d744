// The one way JSON from outside the process is parsed: files of the stores and caches, and bodies
// from the network. Nesting is bounded, because a value nested deeply enough exhausts the stack
// when it is later copied, compared or written (the writer recurses), so a file that parsed fine
// would crash the app at its first save, on every launch.
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

namespace fnd {

// The deepest nesting of arrays and objects accepted. Real stores, packs, maps and messages nest a
// handful of levels; 64 leaves room for growth while keeping the writer's recursion far below
// what even a sanitizer build or a secondary thread's small stack can hold.
inline constexpr int maxJSONDepth = 64;

// The value the text holds, or a discarded value (is_discarded()) when the text is not valid JSON
// or nests arrays and objects more than maxJSONDepth deep. Never throws.
nlohmann::json parseJSON(std::string_view text);

}  // namespace fnd
