// The agent's own cost: CPU per turn on a 1,000-element screen (reading, choosing, describing,
// approving, verifying, logging; the model answers at once and every pause is virtual), and a
// whole 30-step rules run in virtual time, without a presenter and with the overlay.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/Console.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/ui/Application.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroConfiguration.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/models/TextTavroModel.h"
#include "tavro/overlay/TavroOverlay.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/surfaces/TavroSurface.h"

namespace {

using namespace tavro;

// A screen of switches S1..Sn; tapping one flips it. Reading copies the screen as a surface would.
class SwitchesSurface : public TavroSurface {
public:
    explicit SwitchesSurface(int n) {
        screen_.location = "Settings";
        screen_.title = "Settings";
        screen_.text = "Switches";
        for (int i = 1; i <= n; ++i) {
            TavroElement e{.id = i, .kind = "checkbox", .value = "0", .inView = i <= 20};
            e.label = std::string("S").append(std::to_string(i));
            e.keys.push_back(std::string("switch.").append(std::to_string(i)));
            e.frame = TavroRect{0, 44.0 * i, 320, 44};
            screen_.elements.push_back(std::move(e));
        }
    }
    std::string surfaceDescription() const override { return "the benchmark app"; }
    std::vector<std::string> routes() const override { return {}; }
    bool systemAlertShowing() const override { return false; }
    rt::Task<void> settle() override { co_return; }
    std::optional<TavroScreen> snapshot() override { return screen_; }
    rt::Task<std::optional<std::string>> perform(TavroAction action) override {
        if (action.kind == TavroAction::Kind::click && action.id && *action.id >= 1 &&
            *action.id <= static_cast<std::int64_t>(screen_.elements.size())) {
            auto& e = screen_.elements[static_cast<std::size_t>(*action.id - 1)];
            e.value = e.value == "1" ? "0" : "1";
        }
        co_return std::nullopt;
    }
    std::optional<TavroRect> frame(std::int64_t id) const override {
        if (const auto* e = screen_.element(id)) return e->frame;
        return std::nullopt;
    }

private:
    TavroScreen screen_;
};

std::string clauses(int n) {
    std::string goal;
    for (int i = 1; i <= n; ++i) {
        if (i > 1) goal += " then ";
        goal += "turn on S" + std::to_string(i);
    }
    return goal;
}

struct Quiet {
    Quiet() {
        fnd::AppDirectories::useFreshTemporaryRoot();
        TavroAnalytics::setSink(nullptr);
    }
    fnd::Console::Capture console{false};
};

// Runs one goal to its end in virtual time; returns the number of run-log lines.
std::size_t runOnce(const std::shared_ptr<rt::MainActor>& actor, const std::shared_ptr<TavroAgent>& agent,
                    const std::string& goal) {
    auto report = rt::runToEnd(actor, agent->runAndWait(goal, 3600));
    return report ? report->steps.size() : 0;
}

// Rules only: ten clauses on 1,000 switches, eleven turns (ten taps and the done).
void BM_TurnRules1000(benchmark::State& state) {
    Quiet quiet;
    const std::string goal = clauses(10);
    std::int64_t turns = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
        rt::MainActor::Scope scope(actor);
        TavroConfiguration c;
        c.models = {};
        c.learns = false;
        auto memory = std::make_shared<TavroMemory>(fnd::AppDirectories::applicationSupport() / "bench.json");
        auto agent = TavroAgent::create(std::make_shared<SwitchesSurface>(1000), c, memory);
        state.ResumeTiming();
        benchmark::DoNotOptimize(runOnce(actor, agent, goal));
        turns += 11;
        state.PauseTiming();
        agent.reset();
        state.ResumeTiming();
    }
    state.counters["per_turn"] = benchmark::Counter(static_cast<double>(turns), benchmark::Counter::kIsRate |
                                                                                   benchmark::Counter::kInvert);
}
BENCHMARK(BM_TurnRules1000)->Unit(benchmark::kMillisecond);

rt::Task<std::optional<std::string>> tap(std::shared_ptr<int> next, std::string system, std::string) {
    if (system.starts_with("You plan")) co_return std::nullopt;
    const int id = (*next)++;
    if (id > 10) co_return R"({"action":"done","text":"ok"})";
    co_return R"({"thought":"","action":"click","id":)" + std::to_string(id) + R"(,"text":"","submit":false})";
}

// A host model that answers at once: ten taps and done on 1,000 switches. The agent builds both
// prompts (70 elements picked of 1,000), reads and validates each reply.
void BM_TurnModel1000(benchmark::State& state) {
    Quiet quiet;
    std::int64_t turns = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
        rt::MainActor::Scope scope(actor);
        auto next = std::make_shared<int>(1);
        TavroConfiguration c;
        c.models = {std::make_shared<TextTavroModel>(
            "Instant", TavroContextBudget::large, [] { return true; },
            [next](std::string system, std::string user) { return tap(next, std::move(system), std::move(user)); })};
        c.learns = false;
        auto memory = std::make_shared<TavroMemory>(fnd::AppDirectories::applicationSupport() / "bench.json");
        auto agent = TavroAgent::create(std::make_shared<SwitchesSurface>(1000), c, memory);
        state.ResumeTiming();
        benchmark::DoNotOptimize(runOnce(actor, agent, "cheer up the switches"));
        turns += 11;
        state.PauseTiming();
        agent.reset();
        state.ResumeTiming();
    }
    state.counters["per_turn"] = benchmark::Counter(static_cast<double>(turns), benchmark::Counter::kIsRate |
                                                                                   benchmark::Counter::kInvert);
}
BENCHMARK(BM_TurnModel1000)->Unit(benchmark::kMillisecond);

// What one reading of the benchmark's surface costs (a copy of 1,000 elements), to tell the
// surface's share of a turn (two readings: the turn's and the verification's) from the agent's.
void BM_ReadScreen1000(benchmark::State& state) {
    SwitchesSurface surface(1000);
    for (auto _ : state) benchmark::DoNotOptimize(surface.snapshot());
}
BENCHMARK(BM_ReadScreen1000)->Unit(benchmark::kMicrosecond);

// A whole 30-step rules run (30 taps and the done) on 50 switches, in virtual time; with the
// overlay as presenter every tap also moves the pointer, pauses and plays the ripple.
void run30Steps(benchmark::State& state, bool withOverlay) {
    Quiet quiet;
    const std::string goal = clauses(30);
    double virtualSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
        rt::MainActor::Scope scope(actor);
        TavroConfiguration c;
        c.models = {};
        c.learns = false;
        c.maxSteps = 31;
        auto memory = std::make_shared<TavroMemory>(fnd::AppDirectories::applicationSupport() / "bench.json");
        auto agent = TavroAgent::create(std::make_shared<SwitchesSurface>(50), c, memory);
        std::shared_ptr<TavroOverlay> overlay;
        if (withOverlay) {
            ui::Application::resetShared();
            overlay = TavroOverlay::create(ui::Application::shared()->connectScene(), agent, [] { return nullptr; });
            agent->presenter = overlay;
        }
        const auto start = actor->now();
        state.ResumeTiming();
        const auto lines = runOnce(actor, agent, goal);
        state.PauseTiming();
        if (lines != 31 || !agent->succeeded().value()) state.SkipWithError("the run did not complete");
        if (withOverlay && !overlay->ui().pointer.value().visible) state.SkipWithError("the pointer never showed");
        virtualSeconds = std::chrono::duration<double>(actor->now() - start).count();
        agent.reset();
        overlay.reset();
        state.ResumeTiming();
    }
    state.counters["virtual_s"] = virtualSeconds;
}

void BM_Run30StepsRules(benchmark::State& state) { run30Steps(state, false); }
BENCHMARK(BM_Run30StepsRules)->Unit(benchmark::kMillisecond);

void BM_Run30StepsOverlay(benchmark::State& state) { run30Steps(state, true); }
BENCHMARK(BM_Run30StepsOverlay)->Unit(benchmark::kMillisecond);

}  // namespace
