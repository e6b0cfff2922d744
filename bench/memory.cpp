// Recall among a full memory of 200 slot templates: a goal that matches none, and one that matches
// only the last recipe tried. "Varied" templates differ from their first words on; "shared" ones
// all begin "send {0} to" and end with a slot, so that every one of them goes through the full
// match before it is rejected.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tavro/memory/TavroMemory.h"

using namespace tavro;

namespace {

TavroPerformedStep typed(const std::string& text, std::int64_t id, const std::string& label) {
    return TavroPerformedStep{.action = {.kind = TavroAction::Kind::type, .id = id, .text = text},
                              .element = TavroElement{.id = id, .kind = "input", .label = label},
                              .caption = "Type " + text,
                              .location = "Chat"};
}

struct Memory {
    std::filesystem::path directory;
    std::unique_ptr<TavroMemory> memory;

    explicit Memory(bool shared) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavro-memory-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        directory = pattern;
        memory = std::make_unique<TavroMemory>(directory / "recipes.json");
        const std::vector<std::string> verbs = {"send", "post", "share", "order", "book", "find", "add", "set"};
        for (int i = 0; i < 200; ++i) {
            const std::string n = std::to_string(i);
            std::string goal;
            if (shared) {
                goal = "send hi to group" + n + " Tuli";
            } else {
                goal = verbs[static_cast<std::size_t>(i) % verbs.size()] + " hi to Tuli in room " + n + " today";
            }
            memory->learn(goal, {typed("hi", 1, "Message"), typed("Tuli", 2, "To")});
        }
    }
    ~Memory() {
        std::error_code error;
        std::filesystem::remove_all(directory, error);
    }
};

Memory& varied() {
    static Memory memory(false);
    return memory;
}

Memory& shared() {
    static Memory memory(true);
    return memory;
}

void recallLoop(benchmark::State& state, const TavroMemory& memory, const std::string& goal, bool expectMatch) {
    if (memory.recall(goal).has_value() != expectMatch) {
        state.SkipWithError("unexpected recall result");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(memory.recall(goal));
}

void BM_RecallVariedMatchesNone(benchmark::State& state) {
    recallLoop(state, *varied().memory, "send good morning to Mia in the lobby tomorrow", false);
}
void BM_RecallVariedMatchesLast(benchmark::State& state) {
    recallLoop(state, *varied().memory, "set good morning to Mia in room 199 today", true);
}
void BM_RecallSharedMatchesNone(benchmark::State& state) {
    recallLoop(state, *shared().memory, "send good morning to the whole team", false);
}
void BM_RecallSharedMatchesLast(benchmark::State& state) {
    recallLoop(state, *shared().memory, "send good morning to group199 Mia", true);
}

}  // namespace

BENCHMARK(BM_RecallVariedMatchesNone);
BENCHMARK(BM_RecallVariedMatchesLast);
BENCHMARK(BM_RecallSharedMatchesNone);
BENCHMARK(BM_RecallSharedMatchesLast);
