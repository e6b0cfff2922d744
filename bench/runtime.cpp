// Main-actor runtime costs: posted jobs, spawned tasks and resumptions through sleep(0).
#include <benchmark/benchmark.h>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"

namespace {

void PostAndRunJobs(benchmark::State& state) {
    auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
    const auto jobs = state.range(0);
    for (auto _ : state) {
        long count = 0;
        for (long i = 0; i < jobs; ++i) actor->post([&count] { ++count; });
        actor->runUntilIdle();
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * jobs);
}
BENCHMARK(PostAndRunJobs)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

rt::Task<int> small(int v) { co_return v + 1; }

void SpawnAndFinishTasks(benchmark::State& state) {
    auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
    const auto tasks = state.range(0);
    for (auto _ : state) {
        for (long i = 0; i < tasks; ++i) rt::spawn(small(static_cast<int>(i)), actor);
        actor->runUntilIdle();
    }
    state.SetItemsProcessed(state.iterations() * tasks);
}
BENCHMARK(SpawnAndFinishTasks)->Arg(100'000)->Unit(benchmark::kMillisecond);

rt::Task<long> spin(long rounds) {
    long done = 0;
    for (long i = 0; i < rounds; ++i) done += co_await rt::sleep(rt::Duration::zero()) ? 1 : 0;
    co_return done;
}

void ResumeThroughSleepZero(benchmark::State& state) {
    auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
    const auto rounds = state.range(0);
    for (auto _ : state) benchmark::DoNotOptimize(rt::runToEnd(actor, spin(rounds)));
    state.SetItemsProcessed(state.iterations() * rounds);
}
BENCHMARK(ResumeThroughSleepZero)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
