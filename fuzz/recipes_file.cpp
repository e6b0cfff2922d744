// Recipe files of any shape: loaded into a memory, then every stored goal recalled and each step of
// the recalled recipe rebuilt as an action on a fixed screen, and a few goals of other shapes
// recalled. Must end in bounded time and memory and never fail; a recall must give a value for
// every slot its recipe's steps use.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzScratch.h"

#include "tavro/memory/TavroMemory.h"

using namespace tavro;

namespace {

const std::filesystem::path& directory() {
    static const std::filesystem::path made = fuzzScratchDirectory("recipes");
    return made;
}

const TavroScreen& fixedScreen() {
    static const TavroScreen screen{
        .location = "Chat",
        .title = "Chat with Tuli",
        .elements = {TavroElement{.id = 1, .kind = "input", .label = "Message", .keys = {"chat.message"}, .inView = true},
                     TavroElement{.id = 2, .kind = "button", .label = "Send", .keys = {"send_button"}, .inView = true},
                     TavroElement{.id = 3, .kind = "cell", .label = "Tuli", .inView = true},
                     TavroElement{.id = 4, .kind = "checkbox", .label = "Wi-Fi", .value = "0", .inView = true},
                     TavroElement{.id = 5, .kind = "link", .label = "", .keys = {"", "help"}, .inView = true}},
    };
    return screen;
}

void replay(const TavroMemory& memory, const std::string& goal) {
    const auto found = memory.recall(goal);
    if (!found) return;
    for (const TavroRecipeStep& step : found->first.steps) (void)step.action(fixedScreen(), found->second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = directory() / "recipes.json";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    {
        TavroMemory memory(file);
        for (const TavroRecipe& recipe : memory.recipes()) replay(memory, recipe.goal);
        for (const char* goal : {"send hi to Tuli", "turn on wifi", "{0}", "x", "送信 {{0}} to }{"}) replay(memory, goal);
    }
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory(), ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
    return 0;
}
