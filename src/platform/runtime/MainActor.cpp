#include "platform/runtime/MainActor.h"

#include <algorithm>
#include <utility>

namespace rt {

namespace {
std::mutex sharedMutex;
std::shared_ptr<MainActor>& sharedSlot() {
    static std::shared_ptr<MainActor> slot;
    return slot;
}
}  // namespace

// ---- Timer ----

Timer::Timer(Timer&& other) noexcept : actor_(std::move(other.actor_)), id_(other.id_) { other.id_ = 0; }

Timer& Timer::operator=(Timer&& other) noexcept {
    if (this != &other) {
        cancel();
        actor_ = std::move(other.actor_);
        id_ = other.id_;
        other.id_ = 0;
    }
    return *this;
}

Timer::~Timer() { cancel(); }

void Timer::cancel() {
    if (id_ == 0) return;
    if (auto actor = actor_.lock()) actor->cancelTimer(id_);
    id_ = 0;
}

bool Timer::active() const {
    if (id_ == 0) return false;
    auto actor = actor_.lock();
    return actor && actor->timerActive(id_);
}

// ---- MainActor ----

MainActor::MainActor(ClockKind clock)
    : clock_(clock), start_(std::chrono::steady_clock::now()), thread_(std::this_thread::get_id()) {}

std::shared_ptr<MainActor> MainActor::create(ClockKind clock) {
    return std::shared_ptr<MainActor>(new MainActor(clock));  // private constructor
}

MainActor::~MainActor() {
    shuttingDown_ = true;
    // Pending work is dropped; suspended root frames are destroyed, which unwinds every frame
    // they await. Awaiters unregister themselves from their destructors.
    {
        std::lock_guard lock(mutex_);
        inbox_.clear();
    }
    timers_.clear();
    timerDeadlines_.clear();
    auto roots = std::move(roots_);
    roots_.clear();
    for (void* frame : roots) std::coroutine_handle<>::from_address(frame).destroy();
    std::lock_guard lock(mutex_);
    inbox_.clear();
}

std::shared_ptr<MainActor> MainActor::shared() {
    std::lock_guard lock(sharedMutex);
    auto& slot = sharedSlot();
    if (!slot) slot = create(ClockKind::real);
    return slot;
}

MainActor::Scope::Scope(std::shared_ptr<MainActor> actor) {
    std::lock_guard lock(sharedMutex);
    previous_ = std::exchange(sharedSlot(), std::move(actor));
}

MainActor::Scope::~Scope() {
    std::shared_ptr<MainActor> leaving;
    {
        std::lock_guard lock(sharedMutex);
        leaving = std::exchange(sharedSlot(), std::move(previous_));
    }
    // leaving is destroyed here, outside the lock: frames it destroys may ask for shared().
}

MainActor::Hold::Hold(const std::shared_ptr<MainActor>& actor, std::chrono::milliseconds bound) {
    if (!actor) return;
    const auto end = std::chrono::steady_clock::now() + std::max(bound, std::chrono::milliseconds::zero());
    std::lock_guard lock(actor->mutex_);
    id_ = actor->nextHold_++;
    actor->holds_.emplace(id_, end);
    actor_ = actor;
}

MainActor::Hold::Hold(Hold&& other) noexcept : actor_(std::move(other.actor_)), id_(std::exchange(other.id_, 0)) {
    other.actor_.reset();
}

MainActor::Hold& MainActor::Hold::operator=(Hold&& other) noexcept {
    if (this != &other) {
        release();
        actor_ = std::move(other.actor_);
        other.actor_.reset();
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

MainActor::Hold::~Hold() { release(); }

void MainActor::Hold::release() {
    const auto actor = actor_.lock();
    actor_.reset();
    if (!actor) return;
    {
        std::lock_guard lock(actor->mutex_);
        actor->holds_.erase(id_);
        ++actor->holdReleases_;
    }
    actor->wake_.notify_all();
}

std::optional<std::chrono::steady_clock::time_point> MainActor::holdBound(
    std::chrono::steady_clock::time_point wallNow) const {
    std::optional<std::chrono::steady_clock::time_point> earliest;
    for (const auto& [id, end] : holds_) {
        if (end > wallNow && (!earliest || end < *earliest)) earliest = end;
    }
    return earliest;
}

std::size_t MainActor::outstandingHolds() const {
    const auto wallNow = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(holds_.begin(), holds_.end(), [&](const auto& hold) { return hold.second > wallNow; }));
}

Instant MainActor::now() const {
    if (clock_ == ClockKind::virtual_) return virtualNow_;
    return Instant(std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - start_));
}

void MainActor::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        inbox_.push_back(Job{{}, std::move(fn)});
    }
    wake_.notify_one();
}

void MainActor::post(std::coroutine_handle<> handle) {
    {
        std::lock_guard lock(mutex_);
        inbox_.push_back(Job{handle, {}});
    }
    wake_.notify_one();
}

Timer MainActor::schedule(Duration delay, std::function<void()> fn) {
    const auto id = nextTimer_++;
    const auto deadline = now() + std::max(delay, Duration::zero());
    timers_.emplace(TimerKey{deadline, id}, std::move(fn));
    timerDeadlines_.emplace(id, deadline);
    wake_.notify_one();
    return Timer(weak_from_this(), id);
}

void MainActor::cancelTimer(std::uint64_t id) {
    if (shuttingDown_) return;
    const auto it = timerDeadlines_.find(id);
    if (it == timerDeadlines_.end()) return;
    timers_.erase(TimerKey{it->second, id});
    timerDeadlines_.erase(it);
}

bool MainActor::timerActive(std::uint64_t id) const { return timerDeadlines_.count(id) != 0; }

std::size_t MainActor::pendingTimers() const { return timers_.size(); }

std::optional<Instant> MainActor::nextDeadline() const {
    if (timers_.empty()) return std::nullopt;
    return timers_.begin()->first.first;
}

bool MainActor::isActorThread() const { return std::this_thread::get_id() == thread_; }

void MainActor::adoptRoot(std::coroutine_handle<> frame) { roots_.insert(frame.address()); }

void MainActor::releaseRoot(std::coroutine_handle<> frame) {
    if (!shuttingDown_) roots_.erase(frame.address());
}

bool MainActor::drainReady() {
    // Runs the jobs queued before this call; work they post runs on the next round, so a job that
    // re-posts itself cannot starve timers.
    std::deque<Job> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(inbox_);
    }
    if (batch.empty()) return false;
    while (!batch.empty()) {
        Job job = std::move(batch.front());
        batch.pop_front();
        if (job.handle) {
            job.handle.resume();
        } else if (job.fn) {
            job.fn();
        }
    }
    return true;
}

bool MainActor::fireDueTimers() {
    bool ran = false;
    const auto current = now();
    while (!timers_.empty() && timers_.begin()->first.first <= current) {
        auto node = timers_.extract(timers_.begin());
        timerDeadlines_.erase(node.key().second);
        ran = true;
        node.mapped()();
    }
    return ran;
}

bool MainActor::runReady() {
    thread_ = std::this_thread::get_id();
    const bool timersRan = fireDueTimers();
    const bool jobsRan = drainReady();
    return timersRan || jobsRan;
}

bool MainActor::waitForWork(std::optional<Instant> limit) {
    std::unique_lock lock(mutex_);
    if (!inbox_.empty()) return true;
    const auto next = nextDeadline();
    const auto wallNow = std::chrono::steady_clock::now();
    const auto holdEnd = holdBound(wallNow);
    const auto released = holdReleases_;
    const auto isReady = [&] { return !inbox_.empty() || stopped_; };
    const auto isReadyOrReleased = [&] { return isReady() || holdReleases_ != released; };
    if (clock_ == ClockKind::virtual_) {
        if (holdEnd) {
            // An answer from outside is on its way: time passes as it does on the wall clock, up to
            // the next deadline, so the answer is not skipped over and no deadline comes early.
            auto target = next;
            if (limit && (!target || *limit < *target)) target = limit;
            auto wallUntil = *holdEnd;
            if (target) {
                const auto left = std::chrono::duration_cast<std::chrono::steady_clock::duration>(*target - virtualNow_);
                wallUntil = std::min(wallUntil, wallNow + left);
            }
            wake_.wait_until(lock, wallUntil, isReadyOrReleased);
            auto advanced = virtualNow_ + std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - wallNow);
            if (target) advanced = std::min(advanced, *target);
            virtualNow_ = std::max(virtualNow_, advanced);
            return true;
        }
        if (!next || (limit && *next > *limit)) return false;
        virtualNow_ = std::max(virtualNow_, *next);
        return true;
    }
    if (!next && !holdEnd && !limit) return false;
    auto until = next;
    if (limit && (!until || *limit < *until)) until = limit;
    if (until) {
        const auto wallDeadline = start_ + (until->time_since_epoch());
        wake_.wait_until(lock, wallDeadline, isReady);
        if (limit && !isReady() && now() >= *limit && (!next || *next > *limit)) return false;
    } else {
        // Something is coming from another thread: wait for it, or for the hold to end or lapse.
        wake_.wait_until(lock, *holdEnd, isReadyOrReleased);
    }
    return true;
}

void MainActor::runUntilIdle() {
    for (;;) {
        if (runReady()) continue;
        if (!waitForWork(std::nullopt)) return;
    }
}

bool MainActor::runUntil(const std::function<bool()>& done, Duration cap) {
    const auto limit = now() + cap;
    for (;;) {
        if (done()) return true;
        if (runReady()) continue;
        if (done()) return true;
        if (now() >= limit) return false;
        if (!waitForWork(limit)) return done();
    }
}

void MainActor::runFor(Duration span) {
    const auto limit = now() + span;
    for (;;) {
        if (runReady()) continue;
        if (now() >= limit) return;
        if (!waitForWork(limit)) break;
    }
    if (clock_ == ClockKind::virtual_) virtualNow_ = std::max(virtualNow_, limit);
}

void MainActor::run() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopped_) { stopped_ = false; return; }
        }
        if (runReady()) continue;
        if (waitForWork(std::nullopt)) continue;
        // Nothing pending: sleep until work is posted or stop() is called.
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return !inbox_.empty() || stopped_; });
    }
}

void MainActor::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    wake_.notify_all();
}

}  // namespace rt
