// A resumable-once continuation: one task waits on it, someone else resumes it with a value.
// Resuming twice does nothing and returns false. Resuming schedules the waiter on the main actor
// (never inline on the resumer's stack) and is safe from any thread. A waiter whose frame is
// destroyed first simply is not resumed. Cancellation does not wake a waiter: the waiter asks
// `co_await rt::isCancelled()` after it is resumed, and whoever cancels resumes the continuation.
#pragma once

#include <coroutine>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/runtime/MainActor.h"

namespace rt {

template <class T>
class Continuation {
    struct State {
        std::mutex mutex;
        bool resumed = false;
        std::optional<T> value;
        std::coroutine_handle<> waiter;
        std::weak_ptr<MainActor> actor;
    };

public:
    explicit Continuation(std::shared_ptr<MainActor> actor = MainActor::shared())
        : state_(std::make_shared<State>()) {
        state_->actor = actor;
    }

    // Returns false when it was already resumed.
    bool resume(T value) const {
        std::shared_ptr<MainActor> actor;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->resumed) return false;
            state_->resumed = true;
            state_->value.emplace(std::move(value));
            if (!state_->waiter) return true;
            actor = state_->actor.lock();
        }
        if (actor) {
            actor->post([state = state_] {
                std::coroutine_handle<> h;
                {
                    std::lock_guard lock(state->mutex);
                    h = std::exchange(state->waiter, {});
                }
                if (h) h.resume();
            });
        }
        return true;
    }

    bool isResumed() const {
        std::lock_guard lock(state_->mutex);
        return state_->resumed;
    }

    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<State> s) : state_(std::move(s)) {}
        Awaiter(Awaiter&&) = delete;
        ~Awaiter() {
            std::lock_guard lock(state_->mutex);
            if (state_->waiter == handle_) state_->waiter = {};
        }
        bool await_ready() const {
            std::lock_guard lock(state_->mutex);
            return state_->resumed;
        }
        bool await_suspend(std::coroutine_handle<> h) {
            std::lock_guard lock(state_->mutex);
            if (state_->resumed) return false;
            handle_ = h;
            state_->waiter = h;
            return true;
        }
        T await_resume() {
            std::lock_guard lock(state_->mutex);
            return std::move(*state_->value);
        }

    private:
        std::shared_ptr<State> state_;
        std::coroutine_handle<> handle_;
    };
    Awaiter operator co_await() const { return Awaiter(state_); }

private:
    std::shared_ptr<State> state_;
};

}  // namespace rt
