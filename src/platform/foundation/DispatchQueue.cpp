#include "platform/foundation/DispatchQueue.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace fnd {

// Shared by the queue and its worker, so a worker that outlives a queue destroyed on its own
// thread still finds the state it reads.
struct DispatchQueue::State {
    std::mutex mutex;
    std::condition_variable wake;
    // Keyed by (due time, order of queueing): immediate work is due "now", so it runs in order
    // with delayed work that fell due before it was queued.
    std::map<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> items;
    std::uint64_t next = 0;
    bool stopping = false;
    std::thread worker;
    std::thread::id workerId;

    void add(Clock::time_point due, std::function<void()> work) {
        {
            std::lock_guard lock(mutex);
            if (stopping) return;
            items.emplace(std::pair(due, next++), std::move(work));
        }
        wake.notify_one();
    }

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            if (stopping) return;
            if (items.empty()) {
                wake.wait(lock, [&] { return stopping || !items.empty(); });
                continue;
            }
            const auto due = items.begin()->first.first;
            if (due > Clock::now()) {
                wake.wait_until(lock, due);
                continue;
            }
            auto work = std::move(items.begin()->second);
            items.erase(items.begin());
            lock.unlock();
            work();
            work = nullptr;  // what the work captured is released outside the lock
            lock.lock();
        }
    }
};

std::shared_ptr<DispatchQueue> DispatchQueue::create(std::string label) {
    auto state = std::make_shared<State>();
    {
        // The worker's id is known before any caller can ask isCurrent().
        std::lock_guard lock(state->mutex);
        state->worker = std::thread([state] { state->run(); });
        state->workerId = state->worker.get_id();
    }
    return std::shared_ptr<DispatchQueue>(new DispatchQueue(std::move(label), std::move(state)));
}

DispatchQueue::DispatchQueue(std::string label, std::shared_ptr<State> state)
    : label_(std::move(label)), state_(std::move(state)) {}

DispatchQueue::~DispatchQueue() {
    std::map<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->items);
    }
    state_->wake.notify_all();
    dropped.clear();
    // The last reference can go inside the queue's own work; the worker then ends by itself.
    if (std::this_thread::get_id() == state_->workerId) {
        state_->worker.detach();
    } else if (state_->worker.joinable()) {
        state_->worker.join();
    }
}

void DispatchQueue::async(std::function<void()> work) { state_->add(Clock::now(), std::move(work)); }

void DispatchQueue::asyncAfter(Clock::duration delay, std::function<void()> work) {
    state_->add(Clock::now() + std::max(delay, Clock::duration::zero()), std::move(work));
}

void DispatchQueue::sync(const std::function<void()>& work) {
    if (isCurrent()) {
        work();
        return;
    }
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    state_->add(Clock::now(), [&work, done] {
        work();
        {
            std::lock_guard lock(done->mutex);
            done->done = true;
        }
        done->cv.notify_all();
    });
    std::unique_lock lock(done->mutex);
    done->cv.wait(lock, [&] { return done->done; });
}

bool DispatchQueue::isCurrent() const { return std::this_thread::get_id() == state_->workerId; }

}  // namespace fnd
