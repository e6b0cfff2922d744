// Feeds arbitrary bytes to the action reply parser as a model reply. The parser must give an action
// or nothing, never crash or throw; an action it gives must hold valid UTF-8 texts and a
// non-negative id, and describing and validating it must work too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroScreen.h"
#include "tavro/core/TavroText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const auto action = tavro::TavroAction::parse(reply);
    if (!action) return 0;
    if (action->id && *action->id < 0) std::abort();
    if (!tavro::TavroText::isValidUTF8(action->text) || !tavro::TavroText::isValidUTF8(action->thought)) std::abort();

    tavro::TavroScreen screen;
    screen.elements = {tavro::TavroElement{.id = 1, .kind = "input", .label = "Name", .focused = true},
                       tavro::TavroElement{.id = 2, .kind = "button", .label = "Save"}};
    const auto checked = tavro::TavroAction::validate(*action, screen, {"Settings", "Profile"});
    if (checked.action.has_value() == checked.hint.has_value()) std::abort();
    (void)action->describe(&screen);
    (void)action->describe(nullptr);
    return 0;
}
