// A real HTTP server on 127.0.0.1 with an ephemeral port, for tests of the HTTPS client and of what
// stands on it. Register routes on `http` before start(). Every request is recorded before its
// handler runs. Handlers that must hang wait on the gate, which the destructor opens, so that a
// test never waits long for its server to stop.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

class LoopbackServer {
public:
    struct Seen {
        std::string method;
        std::string path;    // decoded
        std::string target;  // as sent
        httplib::Headers headers;
        std::string header(const std::string& name) const {
            const auto it = headers.find(name);
            return it == headers.end() ? std::string() : it->second;
        }
    };

    httplib::Server http;

    LoopbackServer() {
        http.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            {
                std::lock_guard guard(lock_);
                seen_.push_back({request.method, request.path, request.target, request.headers});
            }
            changed_.notify_all();
            return httplib::Server::HandlerResponse::Unhandled;
        });
    }

    ~LoopbackServer() {
        openGate();
        http.stop();
        if (thread_.joinable()) thread_.join();
    }

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    void start() {
        port_ = http.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) throw std::runtime_error("no loopback port");
        thread_ = std::thread([this] { http.listen_after_bind(); });
        // stop() does nothing before the server runs, so a test that ended first would hang.
        for (int i = 0; i < 5000 && !http.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    int port() const { return port_; }
    std::string url(const std::string& path = "") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

    std::vector<Seen> seen() const {
        std::lock_guard guard(lock_);
        return seen_;
    }
    std::size_t requests() const {
        std::lock_guard guard(lock_);
        return seen_.size();
    }
    // Waits (a bounded real wait) until at least n requests have come in.
    bool waitForRequests(std::size_t n, std::chrono::milliseconds cap = std::chrono::seconds(5)) const {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, cap, [&] { return seen_.size() >= n; });
    }

    // Blocks a handler until the gate opens or the cap passes.
    void waitAtGate(std::chrono::milliseconds cap = std::chrono::seconds(10)) const {
        std::unique_lock guard(lock_);
        changed_.wait_for(guard, cap, [&] { return gateOpen_; });
    }
    void openGate() {
        {
            std::lock_guard guard(lock_);
            gateOpen_ = true;
        }
        changed_.notify_all();
    }

private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<Seen> seen_;
    bool gateOpen_ = false;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace nettest
