// The rules engine and the completion test on screens of growing size.
#include <benchmark/benchmark.h>

#include <string>

#include "tavro/models/TavroReasoning.h"
#include "tavro/models/TavroRules.h"

using namespace tavro;

namespace {

// A screen of n elements: rows, buttons and fields with ordinary labels and keys, with the goal's
// targets (Save, Name, Dark Mode) at the end so that every pass walks the whole list.
TavroScreen makeScreen(int n) {
    TavroScreen s{.location = "List", .title = "Long list", .text = "A long list of things to look at"};
    s.elements.reserve(static_cast<std::size_t>(n));
    static const char* kinds[] = {"cell", "button", "link", "input", "checkbox", "tab"};
    for (int i = 0; s.elements.size() + 3 < static_cast<std::size_t>(n); ++i) {
        TavroElement e{.id = i, .kind = kinds[i % 6], .label = "Item number " + std::to_string(i) + " of the list",
                       .value = i % 6 == 4 ? "0" : "", .inView = i < 40};
        e.keys = {"list.item_" + std::to_string(i)};
        s.elements.push_back(std::move(e));
    }
    s.elements.push_back(TavroElement{.id = 100001, .kind = "button", .label = "Save", .keys = {"form.save"}, .inView = false});
    s.elements.push_back(TavroElement{.id = 100002, .kind = "input", .label = "Name", .keys = {"form.name"}, .inView = false});
    s.elements.push_back(TavroElement{.id = 100003, .kind = "checkbox", .label = "Dark Mode", .value = "0", .inView = false});
    return s;
}

void BM_DecideThreeClauses(benchmark::State& state) {
    const auto screen = makeScreen(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TavroRules rules("tap Save, type Rin into Name and turn on Dark Mode", {"Home", "Profile"}, false);
        for (int i = 0; i < 3; ++i) benchmark::DoNotOptimize(rules.decide(screen));
    }
    state.SetLabel("3 clauses per iteration");
}
BENCHMARK(BM_DecideThreeClauses)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_DecideThreeClausesLenient(benchmark::State& state) {
    const auto screen = makeScreen(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TavroRules rules("tap Save, type Rin into Name and turn on Dark Mode", {"Home", "Profile"}, true);
        for (int i = 0; i < 3; ++i) benchmark::DoNotOptimize(rules.decide(screen));
    }
    state.SetLabel("3 clauses per iteration");
}
BENCHMARK(BM_DecideThreeClausesLenient)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_BestExactAtTheEnd(benchmark::State& state) {
    const auto screen = makeScreen(10000);
    const auto& kinds = TavroElement::tapKinds();
    for (auto _ : state) benchmark::DoNotOptimize(TavroRules::best("Save", screen.elements, kinds, false));
}
BENCHMARK(BM_BestExactAtTheEnd)->Unit(benchmark::kMicrosecond);

void BM_BestLooseMissAllPasses(benchmark::State& state) {
    const auto screen = makeScreen(10000);
    const auto& kinds = TavroElement::tapKinds();
    for (auto _ : state) benchmark::DoNotOptimize(TavroRules::best("Zebra crossing", screen.elements, kinds, true));
}
BENCHMARK(BM_BestLooseMissAllPasses)->Unit(benchmark::kMicrosecond);

void BM_IsDone(benchmark::State& state) {
    const auto screen = makeScreen(1000);
    const TavroReasoning plan{.done = "Dark mode is turned on and the profile of Rin is saved"};
    const bool strict = state.range(0) != 0;
    for (auto _ : state) benchmark::DoNotOptimize(plan.isDone(screen, strict));
    state.SetLabel(strict ? "strict" : "lenient");
}
BENCHMARK(BM_IsDone)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
