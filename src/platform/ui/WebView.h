// A web view. It loads an address, tells its observers when a load ends, keeps the page's title,
// and runs scripts in the page, answering JSON or an error text.
//
// Pages are shown by the browser engine (a headless Chromium, src/platform/web) unless a script
// handler is installed: then the view has no engine, a load ends after a set time on the main
// actor's clock, and the handler stands in for the page's scripts (a seam for tests that need no
// browser). Only http, https and file addresses and about:blank are loaded; anything else is
// refused before it reaches the engine. Without an installed browser a load fails at once with
// "failed: no browser engine: install the chromium package".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/ui/View.h"

namespace web {
class BrowserPage;
}

namespace ui {

class WebView : public View {
public:
    // What a script answers: a JSON value, or an error text.
    struct ScriptResult {
        std::optional<nlohmann::json> value;
        std::string error;
    };
    using ScriptHandler = std::function<ScriptResult(const std::string& url, const std::string& script)>;

    WebView() = default;
    explicit WebView(const Rect& frame) : View(frame) {}
    ~WebView() override;

    std::string_view className() const override { return "WKWebView"; }
    Role role() const override { return Role::web; }

    // Starts loading the address; a load in progress is replaced.
    void load(std::string url);
    // The address last loaded, or the one the page moved to by itself once that load ended.
    const std::string& url() const { return url_; }
    bool isLoading() const;
    // True from load() until the page has been committed in the main frame, or the load has ended
    // or failed.
    bool isOpening() const { return opening_; }
    // True while the page loads or still fetches; without an engine the same as isLoading().
    bool isBusy() const;
    // Whether pages are shown by the browser engine (no stand-in page is installed).
    bool showsEngine() const { return !scripts_; }
    // Why the last load failed, one line beginning "failed: "; empty when it did not.
    const std::string& loadError() const { return loadError_; }
    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    // How long a load takes without an engine (default 100 ms).
    void setLoadDuration(rt::Duration duration) { loadDuration_ = duration; }
    // Told each time a load ends, also when it failed.
    int addLoadObserver(std::function<void(WebView&)> observer);
    void removeLoadObserver(int id);

    // Installs the stand-in page. A load the engine has in hand is taken over: it ends on the
    // main actor's clock instead.
    void setScriptHandler(ScriptHandler handler);
    // Runs the script in the page. Without an engine it fails while loading ("the page is still
    // loading") and without a page handler ("no script engine"); with one it fails while no page
    // has been loaded and when the page went away under the script.
    rt::Task<ScriptResult> evaluate(std::string script);

    // Whether the address may be loaded: http, https, file, or about:blank.
    static bool isLoadable(std::string_view url);

private:
    static rt::Task<void> loadInEngine(std::weak_ptr<View> weak, std::uint64_t generation, std::string url);
    void attach(std::shared_ptr<web::BrowserPage> page);
    void endLoadOnClock();
    void pageLoaded();
    void failLoad(std::string failure);
    void finishLoad();
    struct Observer {
        int id;
        std::function<void(WebView&)> fn;
    };
    std::string url_;
    std::string title_;
    std::string loadError_;
    ScriptHandler scripts_;
    std::vector<Observer> observers_;
    std::shared_ptr<web::BrowserPage> page_;
    rt::Timer loadTimer_;
    rt::Duration loadDuration_ = std::chrono::milliseconds(100);
    std::uint64_t generation_ = 0;
    int nextObserver_ = 1;
    bool loading_ = false;
    bool opening_ = false;
};

}  // namespace ui
