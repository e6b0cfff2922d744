// Coroutine tasks on the main actor.
//
// Task<T> is lazy and move-only: awaiting it runs it and yields its value (exceptions are stored and
// rethrown at the await). spawn() starts a root task on a main actor and returns a Handle to
// cancel it or await its end. Cancellation is a sticky flag per root task: nothing is destroyed by
// it; code asks `co_await rt::isCancelled()` where it must, and a sleep of a cancelled task returns
// false at once.
//
// Holding a component weakly: the coroutine takes a std::weak_ptr parameter and locks it only
// between suspension points, ending quietly when the lock fails:
//     static rt::Task<void> loop(std::weak_ptr<Agent> weak) {
//         for (;;) {
//             { auto self = weak.lock(); if (!self) co_return; self->step(); }
//             co_await rt::sleep(300ms);
//         }
//     }
#pragma once

#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/runtime/MainActor.h"

namespace rt {

// Shared by every frame of one root task.
struct TaskContext {
    std::weak_ptr<MainActor> actor;
    bool cancelled = false;
    // The interruptible wait in progress, woken by cancel().
    std::function<void()> onCancel;

    void cancel() {
        if (cancelled) return;
        cancelled = true;
        auto wake = std::exchange(onCancel, nullptr);
        if (wake) wake();
    }
};

namespace detail {

struct PromiseBase {
    std::coroutine_handle<> continuation;
    std::shared_ptr<TaskContext> context;
    std::exception_ptr error;
    // Set once the awaiting frame has really suspended; until then a finishing task simply returns
    // to the awaiter, which continues without growing the stack.
    bool continuationSuspended = false;

    std::suspend_always initial_suspend() noexcept { return {}; }
    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) noexcept {
            auto& promise = h.promise();
            if (promise.continuation && promise.continuationSuspended) return promise.continuation;
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { error = std::current_exception(); }
};

template <class P>
PromiseBase& base(std::coroutine_handle<P> h) {
    static_assert(std::is_base_of_v<PromiseBase, P>, "rt awaitables are awaited from rt::Task coroutines");
    return h.promise();
}

template <class T>
struct ValuePromise : PromiseBase {
    std::optional<T> value;
    template <class U>
    void return_value(U&& v) {
        value.emplace(std::forward<U>(v));
    }
    T take() {
        if (error) std::rethrow_exception(error);
        return std::move(*value);
    }
};

struct VoidPromise : PromiseBase {
    void return_void() noexcept {}
    void take() {
        if (error) std::rethrow_exception(error);
    }
};

}  // namespace detail

template <class T = void>
class [[nodiscard]] Task {
public:
    struct promise_type : std::conditional_t<std::is_void_v<T>, detail::VoidPromise, detail::ValuePromise<T>> {
        Task get_return_object() { return Task(std::coroutine_handle<promise_type>::from_promise(*this)); }
    };
    using Handle = std::coroutine_handle<promise_type>;

    Task() = default;
    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            if (handle_) handle_.destroy();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() {
        if (handle_) handle_.destroy();
    }

    bool valid() const { return static_cast<bool>(handle_); }

    struct Awaiter {
        Handle handle;
        bool await_ready() const noexcept { return !handle || handle.done(); }
        // Runs the task at once. When it finishes without suspending, the awaiter continues
        // straight away (false); otherwise the task's final step transfers back to the awaiter.
        // Neither way grows the stack over long chains of awaits, optimised or not.
        template <class P>
        bool await_suspend(std::coroutine_handle<P> parent) {
            auto& promise = handle.promise();
            promise.continuation = parent;
            promise.context = detail::base(parent).context;
            handle.resume();
            if (handle.done()) return false;
            promise.continuationSuspended = true;
            return true;
        }
        T await_resume() { return handle.promise().take(); }
    };
    Awaiter operator co_await() && noexcept { return Awaiter{handle_}; }

private:
    explicit Task(Handle h) : handle_(h) {}
    Handle handle_;
};

// ---- root tasks ----

namespace detail {

struct JoinStateBase {
    std::shared_ptr<TaskContext> context;
    bool done = false;
    std::exception_ptr error;
    std::vector<std::coroutine_handle<>> waiters;

    void finish() {
        done = true;
        auto actor = context->actor.lock();
        for (auto w : std::exchange(waiters, {})) {
            if (actor) actor->post(w);
        }
    }
    void removeWaiter(std::coroutine_handle<> h) { std::erase(waiters, h); }
};

template <class T>
struct JoinState : JoinStateBase {
    std::optional<T> value;
};
template <>
struct JoinState<void> : JoinStateBase {};

// The frame that owns a spawned task; it is registered with the actor so that shutdown destroys it.
struct RootFrame {
    struct promise_type : PromiseBase {
        std::weak_ptr<MainActor> actor;
        RootFrame get_return_object() { return RootFrame{std::coroutine_handle<promise_type>::from_promise(*this)}; }
        std::suspend_never final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        ~promise_type() {
            if (auto a = actor.lock()) a->releaseRoot(std::coroutine_handle<promise_type>::from_promise(*this));
        }
    };
    std::coroutine_handle<promise_type> handle;
};

template <class T>
RootFrame runRoot(Task<T> task, std::shared_ptr<JoinState<T>> state) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
        } else {
            state->value.emplace(co_await std::move(task));
        }
    } catch (...) {
        state->error = std::current_exception();
    }
    state->finish();
}

}  // namespace detail

// A spawned root task: cancel it, ask about it, or await its end from another task.
template <class T = void>
class TaskHandle {
public:
    TaskHandle() = default;

    void cancel() const {
        if (state_) state_->context->cancel();
    }
    bool isCancelled() const { return state_ && state_->context->cancelled; }
    bool isDone() const { return state_ && state_->done; }
    explicit operator bool() const { return static_cast<bool>(state_); }
    // The finished task's value (nothing while it runs or when it threw).
    std::optional<T> result() const
        requires(!std::is_void_v<T>)
    {
        if (!state_ || !state_->done) return std::nullopt;
        return state_->value;
    }
    std::exception_ptr error() const { return state_ ? state_->error : nullptr; }

    struct JoinAwaiter {
        std::shared_ptr<detail::JoinState<T>> state;
        std::coroutine_handle<> waiting;
        JoinAwaiter(std::shared_ptr<detail::JoinState<T>> s) : state(std::move(s)) {}
        JoinAwaiter(JoinAwaiter&&) = delete;
        ~JoinAwaiter() {
            if (waiting && state) state->removeWaiter(waiting);
        }
        bool await_ready() const noexcept { return !state || state->done; }
        void await_suspend(std::coroutine_handle<> h) {
            waiting = h;
            state->waiters.push_back(h);
        }
        void await_resume() {
            waiting = {};
            if (state && state->error) std::rethrow_exception(state->error);
        }
    };
    // Awaits the task's end; rethrows what it threw.
    JoinAwaiter join() const { return JoinAwaiter(state_); }

private:
    template <class U>
    friend TaskHandle<U> spawn(Task<U> task, std::shared_ptr<MainActor> actor);
    explicit TaskHandle(std::shared_ptr<detail::JoinState<T>> s) : state_(std::move(s)) {}
    std::shared_ptr<detail::JoinState<T>> state_;
};

// Starts task as a root task on the actor (the shared one by default). Call on the actor's thread;
// the task's first step runs on the next round of the actor, never inline.
template <class T>
TaskHandle<T> spawn(Task<T> task, std::shared_ptr<MainActor> actor = MainActor::shared()) {
    auto state = std::make_shared<detail::JoinState<T>>();
    state->context = std::make_shared<TaskContext>();
    state->context->actor = actor;
    auto frame = detail::runRoot<T>(std::move(task), state);
    frame.handle.promise().context = state->context;
    frame.handle.promise().actor = actor;
    actor->adoptRoot(frame.handle);
    actor->post(std::coroutine_handle<>(frame.handle));
    return TaskHandle<T>(std::move(state));
}

// Runs task to its end on the actor (tests, the demo); rethrows what it threw. With a virtual
// clock the run costs no wall time. Returns nothing when the actor ran out of work first.
template <class T>
auto runToEnd(std::shared_ptr<MainActor> actor, Task<T> task, Duration cap = std::chrono::hours(24 * 365)) {
    auto handle = spawn(std::move(task), actor);
    actor->runUntil([&] { return handle.isDone(); }, cap);
    if (auto e = handle.error()) std::rethrow_exception(e);
    if constexpr (std::is_void_v<T>) {
        return handle.isDone();
    } else {
        return handle.result();
    }
}

// ---- awaitables ----

// Suspends for the duration on the task's actor. Returns true when the full time passed, false when
// the task was cancelled before or during the sleep (then it returns at once). Never throws.
class [[nodiscard]] SleepAwaiter {
public:
    explicit SleepAwaiter(Duration d) : delay_(d) {}
    SleepAwaiter(SleepAwaiter&&) = delete;
    ~SleepAwaiter() {
        if (context_ && registered_) context_->onCancel = nullptr;
    }
    bool await_ready() const noexcept { return false; }
    template <class P>
    bool await_suspend(std::coroutine_handle<P> h) {
        context_ = detail::base(h).context;
        auto actor = context_ ? context_->actor.lock() : MainActor::shared();
        if (!actor || (context_ && context_->cancelled)) {
            completed_ = false;
            return false;
        }
        if (delay_ <= Duration::zero()) {
            actor->post(std::coroutine_handle<>(h));
            return true;
        }
        handle_ = h;
        timer_ = actor->schedule(delay_, [this] {
            if (context_) context_->onCancel = nullptr;
            registered_ = false;
            handle_.resume();
        });
        if (context_) {
            registered_ = true;
            context_->onCancel = [this, weak = std::weak_ptr<MainActor>(actor)] {
                registered_ = false;
                timer_.cancel();
                completed_ = false;
                if (auto a = weak.lock()) a->post(handle_);
            };
        }
        return true;
    }
    bool await_resume() const noexcept { return completed_; }

private:
    Duration delay_;
    std::shared_ptr<TaskContext> context_;
    std::coroutine_handle<> handle_;
    Timer timer_;
    bool completed_ = true;
    bool registered_ = false;
};

inline SleepAwaiter sleep(Duration d) { return SleepAwaiter(d); }

// Whether the calling task's root task has been cancelled.
struct IsCancelledAwaiter {
    bool value = false;
    bool await_ready() const noexcept { return false; }
    template <class P>
    bool await_suspend(std::coroutine_handle<P> h) noexcept {
        const auto& ctx = detail::base(h).context;
        value = ctx && ctx->cancelled;
        return false;  // never actually suspends
    }
    bool await_resume() const noexcept { return value; }
};
inline IsCancelledAwaiter isCancelled() { return {}; }

// Gives the actor one round: the task continues after work queued before it.
struct YieldAwaiter {
    bool await_ready() const noexcept { return false; }
    template <class P>
    void await_suspend(std::coroutine_handle<P> h) {
        const auto& ctx = detail::base(h).context;
        auto actor = ctx ? ctx->actor.lock() : MainActor::shared();
        if (!actor) actor = MainActor::shared();
        actor->post(std::coroutine_handle<>(h));
    }
    void await_resume() const noexcept {}
};
inline YieldAwaiter yield() { return {}; }

// The current time on the shared actor's clock.
inline Instant now() { return MainActor::shared()->now(); }

}  // namespace rt
