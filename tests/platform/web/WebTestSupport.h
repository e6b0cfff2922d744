// What the browser engine's tests share: pages served on loopback by a small HTTP server, a
// real-clock main actor (the engine is real I/O), and a guard that skips a test when Chromium is
// not installed. Tests that need the engine belong to fixtures whose names begin "Chromium", so
// a filter can leave them out.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/ui/WebView.h"
#include "platform/web/BrowserEngine.h"

#define TAVRO_NEEDS_BROWSER()                                                                       \
    do {                                                                                            \
        if (!web::BrowserEngine::program()) GTEST_SKIP() << "chromium is not installed (apt-get install chromium)"; \
    } while (false)

namespace webtest {

using namespace std::chrono_literals;

// Serves the pages (and style sheets and scripts) it is given at http://127.0.0.1:<port>/<path>; "/slow" answers after 600 ms
// and "/hang" only when the server stops (or after 30 s). Every request's target is kept.
class PageServer {
public:
    PageServer() {
        server_.Get("/slow", [this](const httplib::Request& request, httplib::Response& response) {
            note(request);
            std::this_thread::sleep_for(600ms);
            response.set_content("late", "text/plain");
        });
        server_.Get("/hang", [this](const httplib::Request& request, httplib::Response& response) {
            note(request);
            for (int i = 0; i < 600 && !stopping_; ++i) std::this_thread::sleep_for(50ms);
            response.set_content("", "image/png");
        });
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            note(request);
            std::lock_guard lock(mutex_);
            auto it = pages_.find(request.path);
            if (it == pages_.end()) {
                response.status = 404;
                response.set_content("<title>Missing</title>no such page", "text/html");
                return;
            }
            response.set_content(it->second, typeOf(request.path));
        });
        server_.set_keep_alive_max_count(1);
        server_.set_keep_alive_timeout(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(1ms);
    }
    ~PageServer() {
        stopping_ = true;
        server_.stop();
        thread_.join();
    }

    void add(const std::string& path, std::string html) {
        std::lock_guard lock(mutex_);
        pages_[path] = std::move(html);
    }
    std::string url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(port_) + path;
    }
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    // Style sheets and scripts by their ending; everything else is a page.
    static const char* typeOf(const std::string& path) {
        if (path.ends_with(".css")) return "text/css; charset=utf-8";
        if (path.ends_with(".js")) return "text/javascript; charset=utf-8";
        return "text/html; charset=utf-8";
    }
    void note(const httplib::Request& request) {
        std::lock_guard lock(mutex_);
        std::string target = request.path;
        if (!request.params.empty()) {
            target += '?';
            for (const auto& [key, value] : request.params) target += key + "=" + value + "&";
            target.pop_back();
        }
        requests_.push_back(target);
    }

    httplib::Server server_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> pages_;
    std::vector<std::string> requests_;
    std::atomic<bool> stopping_{false};
    int port_ = 0;
};

// What the browser tests of one program share: the server and the engine stay up for the whole
// program, so that no test pays for starting the browser or waits for the server's idle
// connections to close (each test serves its pages under paths of its own). They are shut down
// when the tests end, before the program's statics go: the browser first, then the server.
struct Shared {
    std::unique_ptr<PageServer> server;
    std::shared_ptr<web::BrowserEngine> engine;

    static Shared& get() {
        static Shared shared;
        return shared;
    }
};

class SharedTearDown : public ::testing::Environment {
public:
    void TearDown() override {
        Shared::get().engine.reset();
        Shared::get().server.reset();
    }
};
inline const bool sharedTearDownRegistered = (::testing::AddGlobalTestEnvironment(new SharedTearDown), true);

// A real-clock actor for each test, the shared server, and the shared engine kept running.
struct ChromiumTest : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::real);
    rt::MainActor::Scope scope{actor};
    PageServer& server = sharedServer();

    static PageServer& sharedServer() {
        auto& shared = Shared::get();
        if (!shared.server) shared.server = std::make_unique<PageServer>();
        return *shared.server;
    }

    void SetUp() override {
        TAVRO_NEEDS_BROWSER();
        auto& kept = Shared::get().engine;
        if (!kept || !kept->running()) kept = web::BrowserEngine::shared();
        ASSERT_TRUE(kept) << "the browser engine starts";
    }

    // How long a test waits for the browser to do what it surely does, however slow the machine
    // (a sanitizer build on two busy cores): a failure still ends, a success returns at once.
    static constexpr auto patience = 30s;

    // Runs the task on the actor, at most `cap` of wall time.
    template <class T>
    auto run(rt::Task<T> task, rt::Duration cap = patience) {
        return rt::runToEnd(actor, std::move(task), cap);
    }
    // Loads the address and waits for the load to end.
    bool load(ui::WebView& view, const std::string& url) {
        bool ended = false;
        const int id = view.addLoadObserver([&](ui::WebView&) { ended = true; });
        view.load(url);
        const bool done = actor->runUntil([&] { return ended; }, patience);
        view.removeLoadObserver(id);
        return done;
    }
};

// Two buttons, "Cancel subscription" above "Keep subscription", and a banner that comes in above
// them on the first movement of the mouse, so that "Cancel" moves to where "Keep" was. Pressing
// either writes what happened into #out.
inline constexpr const char* shiftingSubscriptionPage = R"(<title>Subscription</title>
<button id="cancel" style="display:block;width:220px;height:50px">Cancel subscription</button>
<button id="keep" style="display:block;width:220px;height:50px">Keep subscription</button>
<p id="out"></p>
<script>
  let shown = false;
  addEventListener('mousemove', () => {
    if (shown) return;
    shown = true;
    const banner = document.createElement('div');
    banner.style.height = '50px';
    banner.textContent = 'Welcome back';
    document.body.prepend(banner);
  });
  cancel.onclick = () => out.textContent = 'SUBSCRIPTION CANCELLED';
  keep.onclick = () => out.textContent = 'SUBSCRIPTION KEPT';
</script>)";

}  // namespace webtest
