// A serial dispatch queue: work handed to it runs in order, one item at a time, on the queue's own
// worker thread. Work can be queued at once or after a delay (on the steady clock), and sync()
// waits for queued work to run. Used by platform services that watch the system in the background
// and hand what they see to the main actor.
//
// Work still queued when the last reference to the queue goes is dropped; an item that is running
// finishes first. Every member is thread-safe.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace fnd {

class DispatchQueue {
public:
    using Clock = std::chrono::steady_clock;

    static std::shared_ptr<DispatchQueue> create(std::string label);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const std::string& label() const { return label_; }

    // Queues work behind everything queued so far.
    void async(std::function<void()> work);
    // Queues work to run once the delay has passed; items due at the same time run in the order
    // they were queued.
    void asyncAfter(Clock::duration delay, std::function<void()> work);
    // Runs work on the queue after everything queued so far and returns once it has run. Called
    // from the queue's own work it runs at once (waiting would never end).
    void sync(const std::function<void()>& work);

    // Whether the caller is running on this queue's worker thread.
    bool isCurrent() const;

private:
    struct State;
    DispatchQueue(std::string label, std::shared_ptr<State> state);

    const std::string label_;
    std::shared_ptr<State> state_;
};

}  // namespace fnd
