#include "platform/web/BrowserEngine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/BoundedJSON.h"
#include "platform/runtime/Continuation.h"

namespace web {

using nlohmann::json;
using WallClock = std::chrono::steady_clock;

namespace {

std::mutex programMutex;
std::string programSetting;  // empty: "chromium" on PATH

std::mutex sharedMutex;
std::weak_ptr<BrowserEngine> sharedEngine;

bool executable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

// Writes all of `data` to a non-blocking pipe within the deadline. A closed pipe answers EPIPE
// instead of killing the host with SIGPIPE: the signal is blocked on this thread for the write
// and a pending one is taken back.
bool writeAll(int fd, const std::string& data, WallClock::time_point deadline) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    std::size_t done = 0;
    bool ok = true;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - WallClock::now()).count();
            if (left <= 0) {
                ok = false;
                break;
            }
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
            continue;
        }
        ok = false;
        break;
    }
    if (!ok && errno == EPIPE) {
        const timespec zero{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &zero) > 0) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

// Ties the calling task's cancellation to a command's wait without suspending: a stopped task
// stops waiting at once. Gives back the task's context so the tie can be undone after the wait.
struct CancelHook {
    std::function<void()> wake;
    std::shared_ptr<rt::TaskContext> context;

    bool await_ready() const noexcept { return false; }
    template <class P>
    bool await_suspend(std::coroutine_handle<P> h) {
        context = rt::detail::base(h).context;
        if (context && !context->cancelled) context->onCancel = wake;
        return false;
    }
    std::shared_ptr<rt::TaskContext> await_resume() const noexcept { return context; }
};

namespace fs = std::filesystem;

constexpr const char* kLockName = "host.lock";

// Whether the entry is a directory of this user's own that nobody else may write in: only then
// can no one else swap a profile in it, or have its sweep remove what is not ours.
bool ownPrivateFolder(const fs::path& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The folder this engine keeps its profile in: the usual one when it is (or can be made) the
// user's own private directory. Anything else at its path (a link, someone else's folder, one
// others may write in) is set aside, never followed; when it cannot be moved, the profile goes in
// a fresh private folder beside it (`fresh` is then set). Nothing when no folder can be made.
std::optional<fs::path> prepareFolder(const fs::path& folder, bool& fresh) {
    fresh = false;
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0 && !ownPrivateFolder(folder)) (void)fnd::keepAside(folder, ".refused");
    if ((::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) && ownPrivateFolder(folder) &&
        ::chmod(folder.c_str(), 0700) == 0) {  // cookies are private
        return folder;
    }
    std::string pattern = folder.string() + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) return std::nullopt;
    fresh = true;
    return fs::path(pattern);
}

// Removes the profiles of hosts that have gone. A live host holds a lock on its profile's lock
// file for as long as its engine runs; the kernel lets go of it when the host dies, however it
// dies. The lock file takes its name only once it is locked, so a profile without one is being
// set up, unless it has been that way for a minute (its host died right then). Only real
// directories are looked into, and a lock that is not a regular file (a FIFO would block the
// open) counts as none.
void sweepProfiles(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path dir = it->path();
        std::error_code kind;
        if (!dir.filename().string().starts_with("profile-") || !fs::is_directory(it->symlink_status(kind))) continue;
        int fd = ::open((dir / kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
        struct stat info {};
        if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(fd);
            fd = -1;
        }
        if (fd < 0) {
            const auto age = fs::file_time_type::clock::now() - fs::last_write_time(dir, ec);
            if (!ec && age > std::chrono::minutes(1)) fs::remove_all(dir, ec);
            ec.clear();
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
        ::close(fd);
    }
}

// Makes a profile folder of our own in the folder and locks it; the lock's descriptor, or -1.
int makeProfile(const fs::path& folder, fs::path& profile) {
    std::string pattern = (folder / "profile-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return -1;
    profile = pattern;
    const fs::path setting = profile / (std::string(kLockName) + ".new");
    const int fd = ::open(setting.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::rename(setting.c_str(), (profile / kLockName).c_str()) != 0) {
        if (fd >= 0) ::close(fd);
        std::error_code ec;
        fs::remove_all(profile, ec);
        profile.clear();
        return -1;
    }
    return fd;
}

}  // namespace

struct BrowserEngine::Channel {
    struct Pending {
        rt::Continuation<Reply> done;
        WallClock::time_point deadline;
    };
    struct Listener {
        std::weak_ptr<rt::MainActor> actor;
        EventHandler handler;
    };

    std::string program;
    std::filesystem::path profile;
    std::filesystem::path freshFolder;  // the profile's folder when it was made for this engine alone
    int profileLock = -1;  // held while the profile is ours
    int toBrowser = -1;    // our end of the browser's fd 3
    int fromBrowser = -1;  // our end of the browser's fd 4
    std::atomic<pid_t> pid{0};
    std::atomic<bool> running{true};
    std::atomic<bool> stopping{false};
    WallClock::time_point started;
    std::atomic<long long> startupMicros{0};
    std::thread reader;

    std::mutex writeMutex;
    std::mutex mutex;  // guards the fields below
    std::int64_t nextId = 1;
    std::map<std::int64_t, Pending> pending;
    std::unordered_map<std::string, Listener> listeners;
    std::unordered_map<std::string, std::string> targetSessions;  // a page's target -> its session
    std::vector<std::string> closeLater;  // windows whose page has gone
    int childEnds[2] = {-1, -1};  // the browser's ends, closed once it has them

    bool write(const json& message) {
        std::string line = message.dump(-1, ' ', false, json::error_handler_t::replace);
        line.push_back('\0');
        std::lock_guard lock(writeMutex);
        return writeAll(toBrowser, line, WallClock::now() + std::chrono::seconds(5));
    }

    void resolve(std::int64_t id, Reply reply) {
        std::optional<rt::Continuation<Reply>> done;
        {
            std::lock_guard lock(mutex);
            auto it = pending.find(id);
            if (it == pending.end()) return;
            done.emplace(it->second.done);
            pending.erase(it);
        }
        done->resume(std::move(reply));
    }

    void deliver(std::string session, const std::string& method, json params) {
        Listener listener;
        {
            std::lock_guard lock(mutex);
            // A window a page opens belongs to that page: the news of it goes to the page.
            if (session.empty() && (method == "Target.targetCreated" || method == "Target.targetInfoChanged")) {
                const json info = params.value("targetInfo", json::object());
                const std::string opener = info.value("openerId", std::string());
                if (info.value("type", std::string()) != "page" || opener.empty()) return;
                auto owner = targetSessions.find(opener);
                if (owner == targetSessions.end()) {
                    // Its page is gone: nobody will look at it.
                    closeLater.push_back(info.value("targetId", std::string()));
                    return;
                }
                session = owner->second;
            }
            auto it = listeners.find(session);
            if (it == listeners.end()) return;
            listener = it->second;
        }
        if (auto actor = listener.actor.lock()) {
            actor->post([handler = std::move(listener.handler), method, params = std::move(params)] {
                handler(method, params);
            });
        }
    }

    void handle(const char* data, std::size_t size) {
        // Bounded like any input from outside: it costs no more than the plain parse here.
        json message = fnd::parseJSON(std::string_view(data, size));
        if (!message.is_object()) return;
        if (auto id = message.find("id"); id != message.end() && id->is_number_integer()) {
            if (startupMicros.load() == 0) {
                const auto us = std::chrono::duration_cast<std::chrono::microseconds>(WallClock::now() - started).count();
                startupMicros.store(std::max<long long>(us, 1));
            }
            Reply reply;
            if (auto error = message.find("error"); error != message.end()) {
                reply.error = error->is_object() ? error->value("message", std::string("error")) : error->dump();
                if (reply.error.empty()) reply.error = "error";
            } else if (auto result = message.find("result"); result != message.end()) {
                reply.result = std::move(*result);
            }
            resolve(id->get<std::int64_t>(), std::move(reply));
            return;
        }
        auto method = message.find("method");
        if (method == message.end() || !method->is_string()) return;
        std::string session = message.value("sessionId", std::string());
        auto params = message.find("params");
        deliver(session, method->get<std::string>(), params != message.end() ? std::move(*params) : json::object());
        std::vector<std::string> orphans;
        {
            std::lock_guard lock(mutex);
            orphans.swap(closeLater);
        }
        for (const auto& target : orphans) {
            if (!target.empty()) write(json{{"id", 0}, {"method", "Target.closeTarget"}, {"params", {{"targetId", target}}}});
        }
    }

    void expire() {
        std::vector<rt::Continuation<Reply>> late;
        {
            std::lock_guard lock(mutex);
            const auto now = WallClock::now();
            for (auto it = pending.begin(); it != pending.end();) {
                if (it->second.deadline <= now) {
                    late.push_back(it->second.done);
                    it = pending.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& done : late) done.resume(Reply{{}, "the browser engine did not answer in time"});
    }

    void read() {
        std::string buffer;
        char chunk[65536];
        while (!stopping.load()) {
            pollfd p{fromBrowser, POLLIN, 0};
            const int ready = ::poll(&p, 1, 100);
            if (ready < 0 && errno != EINTR) break;
            if (ready > 0) {
                const ssize_t n = ::read(fromBrowser, chunk, sizeof chunk);
                if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                if (n <= 0) break;  // the browser closed its end: it has gone
                std::size_t from = buffer.size();
                buffer.append(chunk, static_cast<std::size_t>(n));
                std::size_t start = 0;
                for (std::size_t nul; (nul = buffer.find('\0', from)) != std::string::npos; from = start) {
                    handle(buffer.data() + start, nul - start);
                    start = nul + 1;
                }
                buffer.erase(0, start);
            }
            expire();
        }
        stopped();
    }

    // Runs when the engine and the reader thread have both let go: the browser is surely dead and
    // reaped, and what it was given is released.
    ~Channel() {
        if (const pid_t p = pid.load(); p > 0) {
            ::kill(-p, SIGKILL);
            ::kill(p, SIGKILL);
            ::waitpid(p, nullptr, 0);
        }
        if (toBrowser >= 0) ::close(toBrowser);
        if (fromBrowser >= 0) ::close(fromBrowser);
        for (int& fd : childEnds) {
            if (fd >= 0) ::close(fd);
        }
        if (!profile.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(profile, ec);
        }
        if (!freshFolder.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(freshFolder, ec);
        }
        if (profileLock >= 0) ::close(profileLock);
    }

    // The browser has gone: every waiting command fails and every page hears of it.
    void stopped() {
        running.store(false);
        std::vector<rt::Continuation<Reply>> waiting;
        std::vector<Listener> told;
        {
            std::lock_guard lock(mutex);
            for (auto& [id, p] : pending) waiting.push_back(p.done);
            pending.clear();
            for (auto& [session, l] : listeners) told.push_back(l);
        }
        for (auto& done : waiting) done.resume(Reply{{}, "the browser engine stopped"});
        for (auto& l : told) {
            if (auto actor = l.actor.lock()) {
                actor->post([handler = l.handler] { handler("Engine.stopped", json::object()); });
            }
        }
    }

    // Runs on the reader thread, which the browser outlives by nothing: the browser is told to die
    // with the thread that started it.
    void spawn() {
        std::vector<std::string> args = {program,
                                         "--headless",
                                         "--remote-debugging-pipe",
                                         "--no-first-run",
                                         "--no-default-browser-check",
                                         "--disable-gpu",
                                         "--disable-background-networking",
                                         "--disable-component-update",
                                         "--disable-sync",
                                         "--disable-quic",
                                         "--disable-extensions",
                                         "--disable-dev-shm-usage",
                                         "--mute-audio",
                                         "--hide-scrollbars",
                                         "--disable-crash-reporter",
                                         "--crash-dumps-dir=" + (profile / "Crash Reports").string(),
                                         "--user-data-dir=" + profile.string()};
        if (::geteuid() == 0) args.push_back("--no-sandbox");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        // Every file the browser writes stays in its profile: its crash reports would otherwise go to
        // the user's own Chromium configuration folder whatever profile it was given, its settings
        // and caches to the user's, and its temporary files, which a killed browser leaves, to the
        // host's temporary folder.
        const std::pair<std::string_view, std::filesystem::path> moved[] = {
            {"BREAKPAD_DUMP_LOCATION=", profile / "Crash Reports"},
            {"XDG_CONFIG_HOME=", profile / "config"},
            {"XDG_CACHE_HOME=", profile / "cache"},
            {"TMPDIR=", profile / "tmp"},
        };
        std::vector<std::string> environment;
        for (char** e = environ; e && *e; ++e) {
            const std::string_view entry(*e);
            if (std::none_of(std::begin(moved), std::end(moved), [&](const auto& m) { return entry.starts_with(m.first); })) {
                environment.emplace_back(entry);
            }
        }
        for (const auto& [name, path] : moved) {
            ::mkdir(path.c_str(), 0700);
            environment.push_back(std::string(name) + path.string());
        }
        std::vector<char*> envp;
        for (auto& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        const pid_t parent = ::getpid();
        const int readEnd = childEnds[0];
        const int writeEnd = childEnds[1];

        started = WallClock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            // Only async-signal-safe calls from here to exec.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(1);
            ::setpgid(0, 0);
            const int in = ::fcntl(readEnd, F_DUPFD, 10);
            const int out = ::fcntl(writeEnd, F_DUPFD, 10);
            if (in < 0 || out < 0 || ::dup2(in, 3) < 0 || ::dup2(out, 4) < 0) ::_exit(127);
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, 0);
                ::dup2(null, 1);
                ::dup2(null, 2);
            }
            ::syscall(SYS_close_range, 5u, ~0u, 0u);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        if (child > 0) pid.store(child);
        {
            std::lock_guard lock(mutex);
            ::close(childEnds[0]);
            ::close(childEnds[1]);
            childEnds[0] = childEnds[1] = -1;
        }
    }
};

std::shared_ptr<BrowserEngine> BrowserEngine::shared(std::string* failure) {
    const auto path = program();
    if (!path) {
        if (failure) *failure = "no browser engine: install the chromium package";
        return nullptr;
    }
    std::lock_guard lock(sharedMutex);
    if (auto engine = sharedEngine.lock(); engine && engine->running()) return engine;
    auto engine = std::make_shared<BrowserEngine>(Key{}, *path);
    if (!engine->running()) {
        if (failure) *failure = "the browser engine could not be started";
        return nullptr;
    }
    sharedEngine = engine;
    return engine;
}

void BrowserEngine::setProgram(std::string path) {
    std::lock_guard lock(programMutex);
    programSetting = std::move(path);
}

std::optional<std::string> BrowserEngine::program() {
    std::string setting;
    {
        std::lock_guard lock(programMutex);
        setting = programSetting;
    }
    if (!setting.empty()) return executable(setting) ? std::optional(setting) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const auto end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && executable(dir + "/chromium")) return dir + "/chromium";
        start = end + 1;
    }
    return std::nullopt;
}

BrowserEngine::BrowserEngine(Key, std::string program) : channel_(std::make_shared<Channel>()) {
    channel_->program = std::move(program);
    start();
}

void BrowserEngine::start() {
    auto& c = *channel_;
    bool fresh = false;
    const auto folder = prepareFolder(profileFolder(), fresh);
    if (!folder) {
        c.running.store(false);
        return;
    }
    if (fresh) {
        c.freshFolder = *folder;
    } else {
        sweepProfiles(*folder);
    }
    c.profileLock = makeProfile(*folder, c.profile);
    if (c.profileLock < 0) {
        c.running.store(false);
        return;
    }
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) {
        c.running.store(false);
        return;
    }
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        c.running.store(false);
        return;
    }
    c.childEnds[0] = toChild[0];
    c.childEnds[1] = fromChild[1];
    c.toBrowser = toChild[1];
    c.fromBrowser = fromChild[0];
    ::fcntl(c.toBrowser, F_SETFL, ::fcntl(c.toBrowser, F_GETFL) | O_NONBLOCK);
    // The thread shares the channel: the engine may be let go on the thread itself (a reply it hands
    // over can release the last holder of an actor whose tasks hold the engine), and then the thread
    // cannot be joined; it ends on its own and the channel goes with it.
    c.reader = std::thread([channel = channel_] {
        channel->spawn();
        channel->read();
    });
}

BrowserEngine::~BrowserEngine() {
    auto& c = *channel_;
    c.stopping.store(true);
    // The process goes first; the reader then sees the pipe close or its stop flag. The browser may
    // also be started after this, before it made its own group: the channel kills it once the
    // reader has ended.
    if (const pid_t pid = c.pid.load(); pid > 0) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
    if (!c.reader.joinable()) return;
    if (c.reader.get_id() == std::this_thread::get_id()) {
        c.reader.detach();
    } else {
        c.reader.join();
    }
}

rt::Task<Reply> BrowserEngine::call(std::string method, json params, std::string session,
                                    std::chrono::milliseconds timeout) {
    auto channel = channel_;  // kept while the reply is awaited
    auto actor = rt::MainActor::shared();
    rt::Continuation<Reply> done(actor);
    std::int64_t id = 0;
    {
        std::lock_guard lock(channel->mutex);
        id = channel->nextId++;
        channel->pending.emplace(id, Channel::Pending{done, WallClock::now() + timeout});
    }
    CancelHook hook{[channel, id] { channel->resolve(id, Reply{{}, std::string(stoppedError)}); }, nullptr};
    const auto context = co_await hook;
    if (context && context->cancelled) {
        channel->resolve(id, Reply{{}, std::string(stoppedError)});
        co_return co_await done;
    }
    json message = {{"id", id}, {"method", std::move(method)}, {"params", std::move(params)}};
    if (!session.empty()) message["sessionId"] = session;
    if (!channel->running.load()) {
        channel->resolve(id, Reply{{}, "the browser engine stopped"});
    } else if (!channel->write(message)) {
        channel->resolve(id, Reply{{}, "the browser engine stopped"});
    }
    // The virtual clock must not jump past a reply that is on its way (the reader fails the command
    // at its deadline, so the hold lapses a little after that at the latest).
    rt::MainActor::Hold hold(actor, timeout + std::chrono::seconds(2));
    Reply reply = co_await done;
    if (context) context->onCancel = nullptr;
    co_return reply;
}

void BrowserEngine::send(const std::string& method, const json& params, const std::string& session) {
    std::int64_t id = 0;
    {
        std::lock_guard lock(channel_->mutex);
        id = channel_->nextId++;
    }
    json message = {{"id", id}, {"method", method}, {"params", params}};
    if (!session.empty()) message["sessionId"] = session;
    if (channel_->running.load()) channel_->write(message);
}

void BrowserEngine::listen(const std::string& session, std::weak_ptr<rt::MainActor> actor, EventHandler handler,
                           const std::string& target) {
    std::lock_guard lock(channel_->mutex);
    channel_->listeners[session] = Channel::Listener{std::move(actor), std::move(handler)};
    if (!target.empty()) channel_->targetSessions[target] = session;
}

void BrowserEngine::forget(const std::string& session) {
    std::lock_guard lock(channel_->mutex);
    channel_->listeners.erase(session);
    std::erase_if(channel_->targetSessions, [&](const auto& entry) { return entry.second == session; });
}

std::filesystem::path BrowserEngine::profileFolder() {
    std::error_code ec;
    auto base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    return base / ("tavro-browser-" + std::to_string(::getuid()));
}

const std::filesystem::path& BrowserEngine::profile() const { return channel_->profile; }

bool BrowserEngine::running() const { return channel_->running.load(); }

pid_t BrowserEngine::pid() const { return channel_->pid.load(); }

std::chrono::microseconds BrowserEngine::startupTime() const {
    return std::chrono::microseconds(channel_->startupMicros.load());
}

}  // namespace web
