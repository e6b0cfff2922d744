// Goals of any shape through the repeat-count reader. A count it finds must lie between 2 and 50
// and leave a goal that is not empty, is trimmed and is valid UTF-8 when the goal was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tavro/agent/TavroRepeat.h"
#include "tavro/core/TavroText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view goal(reinterpret_cast<const char*>(data), size);
    const auto parsed = tavro::TavroRepeat::parse(goal);
    if (!parsed) return 0;
    if (parsed->times < 2 || parsed->times > 50) std::abort();
    if (parsed->goal.empty() || parsed->goal != tavro::TavroText::trim(parsed->goal)) std::abort();
    if (tavro::TavroText::isValidUTF8(goal) && !tavro::TavroText::isValidUTF8(parsed->goal)) std::abort();
    return 0;
}
