#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/DispatchQueue.h"

using namespace std::chrono_literals;
using fnd::DispatchQueue;

TEST(DispatchQueue, RunsWorkInOrderOnOneThreadOfItsOwn) {
    const auto queue = DispatchQueue::create("tests.serial");
    EXPECT_EQ(queue->label(), "tests.serial");
    EXPECT_FALSE(queue->isCurrent());
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    for (int i = 0; i < 50; ++i) {
        queue->async([&, i] {
            order.push_back(i);
            threads.push_back(std::this_thread::get_id());
        });
    }
    bool current = false;
    queue->sync([&] { current = queue->isCurrent(); });
    EXPECT_TRUE(current);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    for (const auto& id : threads) EXPECT_EQ(id, threads.front());
    EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST(DispatchQueue, DelayedWorkRunsByItsDueTime) {
    const auto queue = DispatchQueue::create("tests.delayed");
    std::mutex lock;
    std::vector<int> order;
    std::promise<void> done;
    const auto start = DispatchQueue::Clock::now();
    queue->asyncAfter(30ms, [&] {
        std::lock_guard guard(lock);
        order.push_back(2);
        done.set_value();
    });
    queue->asyncAfter(10ms, [&] {
        std::lock_guard guard(lock);
        order.push_back(1);
    });
    queue->async([&] {
        std::lock_guard guard(lock);
        order.push_back(0);
    });
    ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_GE(DispatchQueue::Clock::now() - start, 30ms);
    std::lock_guard guard(lock);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(DispatchQueue, SyncFromItsOwnWorkRunsAtOnce) {
    const auto queue = DispatchQueue::create("tests.nested");
    int steps = 0;
    queue->sync([&] {
        queue->sync([&] { ++steps; });
        ++steps;
    });
    EXPECT_EQ(steps, 2);
}

TEST(DispatchQueue, DroppingTheQueueDropsPendingWorkAndFinishesTheRunningItem) {
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
}

TEST(DispatchQueue, TheLastReferenceMayGoInsideTheQueuesOwnWork) {
    auto queue = DispatchQueue::create("tests.self");
    std::promise<void> gone;
    auto kept = queue;
    queue->async([&gone, kept = std::move(kept)]() mutable {
        kept.reset();  // the queue is destroyed on its own worker
        gone.set_value();
    });
    queue.reset();
    EXPECT_EQ(gone.get_future().wait_for(5s), std::future_status::ready);
}
