// The main actor: one single-threaded executor that runs posted work, timers and coroutine
// resumptions in order. Other threads hand work over with post(), the one thread-safe entry.
// With the virtual clock nothing waits on the wall clock: when no work is ready the clock jumps to
// the next timer, so tests and the demo run paced code in no time and deterministically. Real I/O
// is the exception: while an answer from outside is outstanding (a Hold), the virtual clock runs at
// the wall clock's pace, so that no deadline passes before the answer could have come.
#pragma once

#include <chrono>
#include <condition_variable>
#include <coroutine>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace rt {

// Time on the main actor's clock: real steady time or virtual time, counted from the actor's start.
struct ActorClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ActorClock, duration>;
    static constexpr bool is_steady = true;
};
using Duration = ActorClock::duration;
using Instant = ActorClock::time_point;

enum class ClockKind { real, virtual_ };

class MainActor;

// A scheduled timer; destroying or cancelling it unregisters the callback.
class Timer {
public:
    Timer() = default;
    Timer(Timer&& other) noexcept;
    Timer& operator=(Timer&& other) noexcept;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();
    void cancel();
    bool active() const;

private:
    friend class MainActor;
    Timer(std::weak_ptr<MainActor> actor, std::uint64_t id) : actor_(std::move(actor)), id_(id) {}
    std::weak_ptr<MainActor> actor_;
    std::uint64_t id_ = 0;
};

class MainActor : public std::enable_shared_from_this<MainActor> {
public:
    static std::shared_ptr<MainActor> create(ClockKind clock = ClockKind::real);
    ~MainActor();
    MainActor(const MainActor&) = delete;
    MainActor& operator=(const MainActor&) = delete;

    // The process-wide actor the library's components use: the installed one, else a real-clock
    // actor created on first use.
    static std::shared_ptr<MainActor> shared();

    // Installs an actor as the shared one for its lifetime (tests, the demo).
    class Scope {
    public:
        explicit Scope(std::shared_ptr<MainActor> actor);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        std::shared_ptr<MainActor> previous_;
    };

    // An outstanding wait on real I/O (an answer from another process or the network). While one
    // is held the virtual clock does not jump: it runs at the wall clock's pace, so work announced
    // from another thread is waited for, and a timer fires only once as much real time has passed.
    // A hold counts for at most `bound` of wall time: an answer that never comes cannot stop the
    // clock's jumps for ever. Destroying or releasing it ends it; the actor is held weakly.
    class Hold {
    public:
        static constexpr std::chrono::seconds defaultBound{120};

        Hold() = default;
        explicit Hold(const std::shared_ptr<MainActor>& actor, std::chrono::milliseconds bound = defaultBound);
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();
        void release();
        bool held() const { return !actor_.expired(); }

    private:
        std::weak_ptr<MainActor> actor_;
        std::uint64_t id_ = 0;
    };

    ClockKind clockKind() const { return clock_; }
    Instant now() const;

    // Thread-safe: queues work to run on the actor in FIFO order.
    void post(std::function<void()> fn);
    // Queues a coroutine resumption (actor thread or any thread).
    void post(std::coroutine_handle<> handle);
    // Runs fn after delay on the actor. Equal deadlines run in scheduling order.
    [[nodiscard]] Timer schedule(Duration delay, std::function<void()> fn);

    // Runs what is ready now, timers included; returns whether anything ran. For hosts with
    // their own event loop, together with nextDeadline().
    bool runReady();
    std::optional<Instant> nextDeadline() const;

    // Runs until nothing is ready, no timer is pending and no hold is outstanding.
    void runUntilIdle();
    // Runs until the predicate holds (true) or the clock has advanced by cap (false).
    bool runUntil(const std::function<bool()>& done, Duration cap = std::chrono::hours(24));
    // Runs everything due within the given span of the clock.
    void runFor(Duration span);
    // For hosts: runs until stop() is called.
    void run();
    void stop();

    bool isActorThread() const;
    std::size_t pendingTimers() const;
    // Holds whose bound has not yet passed.
    std::size_t outstandingHolds() const;

    // Root-task bookkeeping: frames still suspended when the actor goes are destroyed with it.
    void adoptRoot(std::coroutine_handle<> frame);
    void releaseRoot(std::coroutine_handle<> frame);

private:
    explicit MainActor(ClockKind clock);
    friend class Timer;
    friend class Hold;

    struct Job {
        std::coroutine_handle<> handle;
        std::function<void()> fn;
    };
    using TimerKey = std::pair<Instant, std::uint64_t>;

    void cancelTimer(std::uint64_t id);
    bool timerActive(std::uint64_t id) const;
    bool drainReady();
    bool fireDueTimers();
    // Waits for the next event: jumps the virtual clock or sleeps until a deadline or a post.
    // Returns false when there is nothing left to wait for.
    bool waitForWork(std::optional<Instant> limit);
    // The earliest wall-clock bound of the holds still counting at wallNow; the caller holds mutex_.
    std::optional<std::chrono::steady_clock::time_point> holdBound(std::chrono::steady_clock::time_point wallNow) const;

    const ClockKind clock_;
    const std::chrono::steady_clock::time_point start_;
    Instant virtualNow_{};
    std::thread::id thread_;

    mutable std::mutex mutex_;  // guards inbox_, holds_, nextHold_, holdReleases_, stopped_
    std::condition_variable wake_;
    std::deque<Job> inbox_;
    std::unordered_map<std::uint64_t, std::chrono::steady_clock::time_point> holds_;  // each hold's wall-clock bound
    std::uint64_t nextHold_ = 1;
    std::uint64_t holdReleases_ = 0;
    bool stopped_ = false;

    std::map<TimerKey, std::function<void()>> timers_;
    std::unordered_map<std::uint64_t, Instant> timerDeadlines_;
    std::uint64_t nextTimer_ = 1;
    std::unordered_set<void*> roots_;  // frame addresses of live root tasks
    bool shuttingDown_ = false;
};

}  // namespace rt
