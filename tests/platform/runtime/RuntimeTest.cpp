#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/Continuation.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"

using namespace std::chrono_literals;
using rt::ClockKind;
using rt::MainActor;
using rt::Task;

namespace {

struct VirtualActor : ::testing::Test {
    std::shared_ptr<MainActor> actor = MainActor::create(ClockKind::virtual_);
    MainActor::Scope scope{actor};
    auto elapsed() const { return actor->now().time_since_epoch(); }
};

Task<int> answer(int v) { co_return v; }

Task<long long> sum(int depth) {
    long long total = 0;
    for (int i = 0; i < depth; ++i) total += co_await answer(i);
    co_return total;
}

Task<int> thrower() {
    throw std::runtime_error("boom");
    co_return 0;
}

}  // namespace

TEST_F(VirtualActor, PostedWorkRunsInOrderAndEqualDeadlinesInScheduleOrder) {
    std::vector<std::string> seen;
    actor->post([&] { seen.push_back("a"); });
    actor->post([&] { seen.push_back("b"); });
    auto t1 = actor->schedule(100ms, [&] { seen.push_back("t1"); });
    auto t2 = actor->schedule(50ms, [&] { seen.push_back("t2"); });
    auto t3 = actor->schedule(100ms, [&] { seen.push_back("t3"); });
    auto cancelled = actor->schedule(60ms, [&] { seen.push_back("never"); });
    cancelled.cancel();
    actor->runUntilIdle();
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "t2", "t1", "t3"}));
    EXPECT_EQ(elapsed(), 100ms);
}

TEST_F(VirtualActor, DestroyedTimerNeverFires) {
    bool fired = false;
    { auto t = actor->schedule(10ms, [&] { fired = true; }); }
    actor->runUntilIdle();
    EXPECT_FALSE(fired);
    EXPECT_EQ(actor->pendingTimers(), 0u);
}

TEST_F(VirtualActor, TasksReturnValuesAndRethrow) {
    EXPECT_EQ(rt::runToEnd(actor, sum(10)), 45);
    EXPECT_THROW(rt::runToEnd(actor, thrower()), std::runtime_error);
}

TEST_F(VirtualActor, LongChainsOfAwaitsDoNotGrowTheStack) {
    EXPECT_EQ(rt::runToEnd(actor, sum(200000)), 199999LL * 200000 / 2);
}

TEST_F(VirtualActor, LongSleepCostsNoWallTime) {
    const auto wallStart = std::chrono::steady_clock::now();
    auto body = []() -> Task<bool> { co_return co_await rt::sleep(30s); };
    EXPECT_EQ(rt::runToEnd(actor, body()), true);
    EXPECT_EQ(elapsed(), 30s);
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, 1s);
}

TEST_F(VirtualActor, RunForAdvancesExactlyAndRunsWhatIsDue) {
    int fired = 0;
    auto a = actor->schedule(300ms, [&] { ++fired; });
    auto b = actor->schedule(900ms, [&] { ++fired; });
    actor->runFor(500ms);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(elapsed(), 500ms);
    actor->runFor(500ms);
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(elapsed(), 1000ms);
}

TEST_F(VirtualActor, CancelInterruptsSleepAtOnceAndLaterSleepsToo) {
    std::vector<bool> results;
    auto body = [](std::vector<bool>& out) -> Task<void> {
        out.push_back(co_await rt::sleep(10s));
        out.push_back(co_await rt::sleep(10s));
        out.push_back(co_await rt::isCancelled());
    };
    auto handle = rt::spawn(body(results), actor);
    actor->runFor(2s);
    EXPECT_TRUE(results.empty());
    handle.cancel();
    actor->runUntilIdle();
    EXPECT_TRUE(handle.isDone());
    EXPECT_EQ(results, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(elapsed(), 2s);  // the interrupted sleep did not wait for its deadline
}

TEST_F(VirtualActor, ContinuationResumesOnceAndNeverInline) {
    rt::Continuation<int> gate;
    int got = -1;
    auto body = [](rt::Continuation<int> g, int& out) -> Task<void> { out = co_await g; };
    auto handle = rt::spawn(body(gate, got), actor);
    actor->runUntilIdle();
    EXPECT_EQ(got, -1);
    EXPECT_TRUE(gate.resume(7));
    EXPECT_EQ(got, -1);  // scheduled, not run on the resumer's stack
    EXPECT_FALSE(gate.resume(8));
    actor->runUntilIdle();
    EXPECT_EQ(got, 7);
    EXPECT_TRUE(handle.isDone());
}

TEST_F(VirtualActor, ContinuationResumedBeforeAwaitIsReadyAtOnce) {
    rt::Continuation<std::string> gate;
    gate.resume("early");
    auto body = [](rt::Continuation<std::string> g) -> Task<std::string> { co_return co_await g; };
    EXPECT_EQ(rt::runToEnd(actor, body(gate)), "early");
}

TEST_F(VirtualActor, ContinuationResumedFromAnotherThreadUnderHold) {
    rt::Continuation<int> gate;
    auto body = [](rt::Continuation<int> g) -> Task<int> { co_return co_await g; };
    auto handle = rt::spawn(body(gate), actor);
    auto hold = std::make_unique<MainActor::Hold>(actor);
    auto timeout = actor->schedule(1h, [] {});
    std::thread worker([&, h = std::move(hold)]() mutable {
        std::this_thread::sleep_for(5ms);  // the worker's own pace, not the test's
        gate.resume(42);
        h.reset();
    });
    actor->runUntil([&] { return handle.isDone(); });
    worker.join();
    EXPECT_EQ(handle.result(), 42);
    EXPECT_LT(elapsed(), 1h);  // the hold kept the clock from jumping to the unrelated timer
}

TEST_F(VirtualActor, UnderAHoldDeadlinesComeAtTheWallClocksPaceAndAfterItTheClockJumpsAgain) {
    auto hold = std::make_unique<MainActor::Hold>(actor, 10s);
    EXPECT_EQ(actor->outstandingHolds(), 1u);
    const auto wallStart = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::duration> firedAfter;
    auto timer = actor->schedule(150ms, [&] { firedAfter = std::chrono::steady_clock::now() - wallStart; });
    EXPECT_TRUE(actor->runUntil([&] { return firedAfter.has_value(); }, 1h));
    ASSERT_TRUE(firedAfter.has_value());
    EXPECT_GE(*firedAfter, 150ms) << "the deadline did not come before as much real time had passed";
    EXPECT_LT(*firedAfter, 5s);
    EXPECT_EQ(elapsed(), 150ms);
    hold.reset();
    EXPECT_EQ(actor->outstandingHolds(), 0u);
    auto later = actor->schedule(1h, [] {});
    const auto jumpStart = std::chrono::steady_clock::now();
    actor->runUntilIdle();
    EXPECT_EQ(elapsed(), 150ms + 1h);
    EXPECT_LT(std::chrono::steady_clock::now() - jumpStart, 1s);
}

TEST_F(VirtualActor, AHoldNeverReleasedLapsesAfterItsBound) {
    MainActor::Hold forgotten(actor, 100ms);
    auto timer = actor->schedule(1h, [] {});
    const auto wallStart = std::chrono::steady_clock::now();
    actor->runUntilIdle();
    const auto wall = std::chrono::steady_clock::now() - wallStart;
    EXPECT_EQ(elapsed(), 1h);
    EXPECT_GE(wall, 100ms);
    EXPECT_LT(wall, 5s) << "the hold stopped counting at its bound";
    EXPECT_EQ(actor->outstandingHolds(), 0u);
}

TEST_F(VirtualActor, AwaitingARootTasksEnd) {
    auto slow = []() -> Task<int> {
        co_await rt::sleep(5s);
        co_return 5;
    };
    auto first = rt::spawn(slow(), actor);
    auto waiter = [](rt::TaskHandle<int> h) -> Task<int> {
        co_await h.join();
        co_return *h.result() + 1;
    };
    EXPECT_EQ(rt::runToEnd(actor, waiter(first)), 6);
    EXPECT_EQ(elapsed(), 5s);
}

TEST_F(VirtualActor, TaskHoldingAWeakReferenceEndsQuietlyWhenTheObjectIsGone) {
    struct Agent {
        int steps = 0;
    };
    auto agent = std::make_shared<Agent>();
    auto loop = [](std::weak_ptr<Agent> weak) -> Task<int> {
        int rounds = 0;
        for (;;) {
            {
                auto self = weak.lock();
                if (!self) co_return rounds;
                ++self->steps;
            }
            ++rounds;
            co_await rt::sleep(300ms);
        }
    };
    auto handle = rt::spawn(loop(agent), actor);
    actor->runFor(1000ms);
    EXPECT_EQ(agent->steps, 4);
    agent.reset();
    actor->runUntilIdle();
    EXPECT_EQ(handle.result(), 4);
}

TEST(RuntimeShutdown, DestroyingTheActorDestroysSuspendedFramesCleanly) {
    auto destroyed = std::make_shared<int>(0);
    struct Probe {
        std::shared_ptr<int> count;
        ~Probe() { ++*count; }
    };
    {
        auto actor = MainActor::create(ClockKind::virtual_);
        MainActor::Scope scope(actor);
        rt::Continuation<int> never;
        auto sleeper = [](std::shared_ptr<int> c) -> Task<void> {
            Probe p{c};
            co_await rt::sleep(1h);
        };
        auto waiter = [](std::shared_ptr<int> c, rt::Continuation<int> g) -> Task<void> {
            Probe p{c};
            co_await g;
        };
        auto inner = [](std::shared_ptr<int> c) -> Task<void> {
            Probe p{c};
            co_await rt::sleep(1h);
        };
        auto outer = [inner](std::shared_ptr<int> c) -> Task<void> {
            Probe p{c};
            co_await inner(c);
        };
        rt::spawn(sleeper(destroyed), actor);
        rt::spawn(waiter(destroyed, never), actor);
        rt::spawn(outer(destroyed), actor);
        actor->runFor(1s);
        EXPECT_EQ(*destroyed, 0);
    }
    EXPECT_EQ(*destroyed, 4);
}

TEST(RuntimeRealClock, PostFromOtherThreadsIsDelivered) {
    auto actor = MainActor::create(ClockKind::real);
    std::atomic<int> count{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) actor->post([&] { ++count; });
        });
    for (auto& t : threads) t.join();
    actor->runUntilIdle();
    EXPECT_EQ(count.load(), 4000);
}
