// Costs of the agent's per-turn action work: reading a reply, checking an action on a screen,
// building the user prompt and choosing the elements a model is shown.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tavro/agent/TavroPrompt.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroModel.h"
#include "tavro/core/TavroScreen.h"

using namespace tavro;

namespace {

// A screen of n elements of mixed kinds, about a third off screen, with labels, values and options.
TavroScreen makeScreen(int n) {
    static const char* kinds[] = {"button", "input", "link", "cell", "checkbox", "select", "tab", "text"};
    TavroScreen screen{.location = "Catalogue", .title = "All items"};
    for (int i = 0; i < n; ++i) {
        TavroElement e{.id = i, .kind = kinds[i % 8], .type = (i % 5 == 0) ? "UITextField" : "",
                       .label = "Item number " + std::to_string(i) + " with a longer descriptive label for the prompt",
                       .value = (i % 3 == 0) ? "current value " + std::to_string(i) : "",
                       .inView = (i % 3) != 2, .focused = (i == n / 2)};
        if (e.kind == "select") e.options = {"Small", "Medium", "Large", "Extra large"};
        screen.elements.push_back(std::move(e));
        screen.text += "Line of visible text number " + std::to_string(i) + ". ";
    }
    return screen;
}

const std::string fencedReply =
    "I will type the email into the field and submit the form.\n"
    "```json\n"
    "{\"thought\":\"the email field is focused; fill it and send\",\"action\":\"Type\",\"id\":\"17\","
    "\"text\":\"ann@example.com\",\"submit\":\"true\"}\n"
    "```\n"
    "That should complete the sign-in.";

void BM_ParseFencedReply(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(TavroAction::parse(fencedReply));
}
BENCHMARK(BM_ParseFencedReply);

void BM_Validate(benchmark::State& state) {
    const TavroScreen screen = makeScreen(static_cast<int>(state.range(0)));
    const std::vector<std::string> routes = {"Home", "Settings", "Profile", "Orders"};
    // The target sits at the end, so the element look-up walks the whole screen.
    const TavroAction typing{.kind = TavroAction::Kind::type, .id = state.range(0) - 7, .text = "hello"};
    const TavroAction focused{.kind = TavroAction::Kind::type, .text = "hello"};
    const TavroAction navigate{.kind = TavroAction::Kind::navigate, .text = "settings page"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(TavroAction::validate(typing, screen, routes));
        benchmark::DoNotOptimize(TavroAction::validate(focused, screen, routes));
        benchmark::DoNotOptimize(TavroAction::validate(navigate, screen, routes));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Validate)->Arg(200)->Arg(400)->Arg(800)->Complexity(benchmark::oN);

void BM_UserPrompt(benchmark::State& state) {
    const TavroScreen screen = makeScreen(static_cast<int>(state.range(0)));
    std::vector<std::string> history;
    for (int i = 0; i < 12; ++i) history.push_back("Tap “Item " + std::to_string(i) + "” ✓");
    const std::vector<std::string> known = {"name: Ann", "email: ann@example.com"};
    const std::vector<std::string> routes = {"Home", "Settings", "Profile"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            TavroPrompt::user("buy the large item", screen, history, TavroContextBudget::large, known, routes));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_UserPrompt)->Arg(1000)->Arg(2000)->Arg(4000)->Complexity(benchmark::oN);

void BM_Pick(benchmark::State& state) {
    const TavroScreen screen = makeScreen(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(TavroPrompt::pick(screen.elements, 70));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Pick)->Arg(10000)->Arg(20000)->Arg(40000)->Complexity(benchmark::oN);

}  // namespace
