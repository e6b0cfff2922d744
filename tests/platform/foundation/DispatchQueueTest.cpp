#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/foundation/DispatchQueue.h"

using namespace std::chrono_literals;
using fnd::DispatchQueue;

TEST(DispatchQueue, RunsWorkInOrderOnOneThreadOfItsOwnAndDelayedWorkByItsDueTime) {
    const auto queue = DispatchQueue::create("tests.serial");
    std::vector<int> order;  // written only on the queue
    std::vector<std::thread::id> threads;
    std::promise<void> done;
    const auto start = DispatchQueue::Clock::now();
    queue->asyncAfter(30ms, [&] {
        order.push_back(-2);
        done.set_value();
    });
    queue->asyncAfter(10ms, [&] { order.push_back(-1); });
    for (int i = 0; i < 20; ++i) {
        queue->async([&, i] {
            order.push_back(i);
            threads.push_back(std::this_thread::get_id());
        });
    }
    bool nestedRan = false;
    queue->sync([&] { queue->sync([&] { nestedRan = queue->isCurrent(); }); });  // no wait on itself
    EXPECT_TRUE(nestedRan);
    ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_GE(DispatchQueue::Clock::now() - start, 30ms);
    queue->sync([] {});
    ASSERT_EQ(order.size(), 22u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(order[20], -1);
    EXPECT_EQ(order[21], -2);
    for (const auto& id : threads) EXPECT_EQ(id, threads.front());
    EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST(DispatchQueue, GoingAwayDropsPendingWorkFinishesTheRunningItemAndMayHappenOnItsOwnThread) {
    std::atomic<bool> late{false};
    std::atomic<bool> finished{false};
    std::promise<void> started;
    {
        auto queue = DispatchQueue::create("tests.drop");
        queue->async([&] {
            started.set_value();
            std::this_thread::sleep_for(20ms);
            finished = true;
        });
        queue->async([&] { late = true; });
        queue->asyncAfter(1h, [&] { late = true; });
        started.get_future().wait();
    }
    EXPECT_TRUE(finished);
    EXPECT_FALSE(late);

    auto queue = DispatchQueue::create("tests.self");
    std::promise<void> gone;
    queue->async([&gone, kept = queue]() mutable {
        kept.reset();  // the last reference goes on the queue's own worker
        gone.set_value();
    });
    queue.reset();
    EXPECT_EQ(gone.get_future().wait_for(5s), std::future_status::ready);
}
