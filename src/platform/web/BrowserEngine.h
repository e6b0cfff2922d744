// The browser engine behind the in-app web view: one headless Chromium process per host process,
// spoken to through the DevTools protocol over a pair of pipes (JSON messages separated by NUL
// bytes). The engine starts when the first page asks for it and stops when the last holder lets go
// of it; the browser is also killed when the host process dies, so no browser is left behind.
//
// A reader thread parses what the browser writes and hands replies and events to the main actor:
// a reply resumes the continuation its command waits on, an event runs the session's handler on
// the actor that registered it. Nothing else happens off the main actor. Every command has a
// deadline on the wall clock, so a browser that stops answering fails the command instead of
// hanging its caller.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"

namespace web {

// A command's answer: its result, or an error text (the protocol's message or our own).
struct Reply {
    nlohmann::json result;
    std::string error;
};

class BrowserEngine {
    struct Key {};

public:
    // An event of one session: the protocol method and its parameters. When the browser stops,
    // every session gets the method "Engine.stopped".
    using EventHandler = std::function<void(const std::string& method, const nlohmann::json& params)>;

    // The running engine, else a newly started one. Nothing when no browser program is installed
    // (whether or not one runs) or the browser cannot be started; `failure` then says why.
    static std::shared_ptr<BrowserEngine> shared(std::string* failure = nullptr);
    // The browser program to start: by default "chromium" as found on PATH. Used by later starts.
    static void setProgram(std::string path);
    // The program that would be started, when it exists and is executable.
    static std::optional<std::string> program();

    BrowserEngine(Key, std::string program);
    ~BrowserEngine();
    BrowserEngine(const BrowserEngine&) = delete;
    BrowserEngine& operator=(const BrowserEngine&) = delete;

    // What a command answers when the task awaiting it was cancelled (a run stopped or timed out):
    // the wait ends at once, and the reply, when it comes, is dropped.
    static constexpr std::string_view stoppedError = "stopped";

    // Sends a command (to the browser, or to a page's session) and waits for its reply, at most
    // `timeout` of wall time, or until the awaiting task is cancelled. Must be awaited on a main
    // actor.
    rt::Task<Reply> call(std::string method, nlohmann::json params, std::string session = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends a command whose reply nobody waits for.
    void send(const std::string& method, const nlohmann::json& params, const std::string& session = {});

    // Events of a session go to the handler, run on the given actor, until forget(). With the
    // session's page target given, the news of windows that page opens ("Target.targetCreated" and
    // "Target.targetInfoChanged" of targets whose opener it is) goes to it as well, once target
    // discovery is on; windows whose page has gone are closed.
    void listen(const std::string& session, std::weak_ptr<rt::MainActor> actor, EventHandler handler,
                const std::string& target = {});
    void forget(const std::string& session);

    // Where the browsers' profiles (cookies, cache) are kept, one folder per running engine. An
    // engine removes its own when it stops; a host that was killed cannot, so each start removes
    // those of hosts that have gone.
    static std::filesystem::path profileFolder();
    // This engine's profile.
    const std::filesystem::path& profile() const;

    // False once the browser process has gone.
    bool running() const;
    pid_t pid() const;
    // Wall time from starting the process to its first answer (zero until it answered).
    std::chrono::microseconds startupTime() const;

private:
    struct Channel;
    void start();

    std::shared_ptr<Channel> channel_;
};

}  // namespace web
