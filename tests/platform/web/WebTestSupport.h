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

// A button that becomes another on the way: renamed when the pointer enters it or when the button
// goes down, a role that changes under the pointer, and a name changed after the reading.
inline constexpr const char* renamingPage = R"(<title>Drafts</title>
<button id="save" style="display:block;width:220px;height:50px">Save draft</button>
<button id="publish" style="display:block;width:220px;height:50px">Publish</button>
<span id="share" role="button" tabindex="0" style="display:block;width:220px;height:50px">Share</span>
<button id="later" style="display:block;width:220px;height:50px">Later</button>
<p id="out"></p>
<script>
  let renamed = false;
  save.addEventListener('mouseenter', () => { save.textContent = 'Delete account'; renamed = true; });
  save.onclick = () => out.textContent = renamed ? 'ACCOUNT DELETED' : 'DRAFT SAVED';
  publish.addEventListener('mousedown', () => publish.textContent = 'Unpublish everything');
  publish.onclick = () => out.textContent = publish.textContent === 'Publish' ? 'PUBLISHED' : 'UNPUBLISHED';
  share.addEventListener('mouseenter', () => share.setAttribute('role', 'link'));
  share.onclick = () => out.textContent = 'SHARED';
  later.onclick = () => out.textContent = 'LATER: ' + later.textContent;
</script>)";

// Rows that put a control of their own over themselves when the pointer enters: a button, and a
// box with a click handler. A row whose inside is plain text is pressed as usual.
inline constexpr const char* rowsPage = R"(<title>Notes</title>
<style>.row{position:relative;display:block;width:300px;height:60px;margin:4px 0}.cover{position:absolute;inset:0}</style>
<div class="row" id="notes" role="button" tabindex="0">Meeting notes</div>
<div class="row" id="photos" role="button" tabindex="0">Holiday photos</div>
<div class="row" id="list" role="button" tabindex="0"><span style="display:block;height:100%">Shopping list</span></div>
<p id="out"></p>
<script>
  const cover = (row, make) => row.addEventListener('mouseenter', () => {
    if (row.querySelector('.cover')) return;
    const el = make();
    el.className = 'cover';
    row.append(el);
  });
  cover(notes, () => {
    const b = document.createElement('button');
    b.setAttribute('aria-label', 'Delete');
    b.onclick = (e) => { e.stopPropagation(); out.textContent = 'NOTES DELETED'; };
    return b;
  });
  cover(photos, () => {
    const d = document.createElement('div');
    d.setAttribute('aria-label', 'Archive');
    d.addEventListener('click', (e) => { e.stopPropagation(); out.textContent = 'PHOTOS ARCHIVED'; });
    return d;
  });
  for (const row of [notes, photos, list]) row.addEventListener('click', () => out.textContent = 'OPENED ' + row.textContent);
</script>)";

// A layer that comes up over the button as it goes down, and confirms a purchase when the button
// is released on it; what the layer hears is written into the page.
inline constexpr const char* wishlistPage = R"(<title>Shop</title>
<button id="wish" style="position:absolute;left:20px;top:100px;width:220px;height:50px">Add to wishlist</button>
<p id="out" style="position:absolute;top:400px"></p>
<script>
  wish.addEventListener('mousedown', () => {
    const layer = document.createElement('div');
    layer.id = 'layer';
    layer.textContent = 'Confirm purchase';
    layer.style.cssText = 'position:fixed;inset:0;background:#fff';
    for (const type of ['pointerup', 'mouseup', 'click']) {
      layer.addEventListener(type, () => layer.dataset.heard = (layer.dataset.heard || '') + type + ' ');
    }
    layer.addEventListener('mouseup', () => out.textContent = 'PURCHASED');
    document.body.append(layer);
  });
  document.addEventListener('click', (e) => { if (e.target !== wish) out.textContent = 'PURCHASED'; });
  wish.onclick = () => out.textContent = 'WISHED';
</script>)";

// The banner of the shifting page comes in a few milliseconds after the first move instead of at
// once: at times after the check that let the button go down, and it puts "Cancel" where "Keep" was.
inline constexpr const char* lateBannerPage = R"(<title>Subscription</title>
<button id="cancel" style="display:block;width:220px;height:50px">Cancel subscription</button>
<button id="keep" style="display:block;width:220px;height:50px">Keep subscription</button>
<p id="out"></p>
<script>
  const delay = Number(new URLSearchParams(location.search).get('delay'));
  let shown = false;
  addEventListener('mousemove', () => {
    if (shown) return;
    shown = true;
    setTimeout(() => {
      const banner = document.createElement('div');
      banner.style.height = '50px';
      banner.textContent = 'Welcome back';
      document.body.prepend(banner);
    }, delay);
  });
  for (const type of ['pointerdown', 'mousedown', 'pointerup', 'mouseup', 'click']) {
    cancel.addEventListener(type, () => cancel.dataset.heard = (cancel.dataset.heard || '') + type + ' ');
  }
  cancel.onclick = () => out.textContent = 'SUBSCRIPTION CANCELLED';
  keep.onclick = () => out.textContent = 'SUBSCRIPTION KEPT';
</script>)";

// A photo that opens a menu under the finger when held; the menu's "Delete photo" acts on the
// button going up over it.
inline constexpr const char* photoPage = R"(<title>Photos</title>
<div id="photo" role="button" tabindex="0" style="position:absolute;left:20px;top:100px;width:200px;height:150px">Beach photo</div>
<p id="out" style="position:absolute;top:500px"></p>
<script>
  let timer = 0;
  photo.addEventListener('pointerdown', (e) => {
    timer = setTimeout(() => {
      const menu = document.createElement('div');
      menu.id = 'menu';
      menu.setAttribute('role', 'menu');
      menu.style.cssText = 'position:absolute;width:160px;left:' + (e.clientX - 80) + 'px;top:' + (e.clientY - 20) + 'px';
      menu.innerHTML = '<div role="menuitem" id="delete" style="height:40px">Delete photo</div>' +
        '<div role="menuitem" style="height:40px">Share photo</div>';
      document.body.append(menu);
      for (const type of ['mouseup', 'click']) menu.querySelector('#delete').addEventListener(type, () => out.textContent = 'PHOTO DELETED');
    }, 500);
  });
  photo.addEventListener('pointerup', () => clearTimeout(timer));
  photo.addEventListener('click', () => { if (!document.querySelector('#menu')) out.textContent = 'PHOTO OPENED'; });
</script>)";

// Fields that keep less, or other, than what is typed, and one that formats it.
inline constexpr const char* fieldsPage = R"(<title>Transfer</title>
<input id="amount" aria-label="Amount" maxlength="2">
<input id="city" aria-label="City" value="Tokyo">
<div id="comment" contenteditable="true" aria-label="Comment" style="min-height:40px"></div>
<input id="phone" aria-label="Phone">
<textarea id="note" aria-label="Note"></textarea>
<script>
  city.addEventListener('keydown', (e) => e.preventDefault());
  comment.addEventListener('beforeinput', (e) => e.preventDefault());
  phone.addEventListener('input', () => {
    const d = phone.value.replace(/\D/g, '').slice(0, 10);
    phone.value = d.length > 6 ? '(' + d.slice(0, 3) + ') ' + d.slice(3, 6) + '-' + d.slice(6)
      : d.length > 3 ? '(' + d.slice(0, 3) + ') ' + d.slice(3) : d;
  });
</script>)";

}  // namespace webtest
