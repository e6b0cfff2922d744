// A web view without a browser engine: it loads an address (loading ends after a short time on the
// main actor's clock, and observers are told), keeps its title, and runs page scripts through a
// handler that stands in for the page (the host or a test installs it). Without a handler every
// script fails with "no script engine".
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/ui/View.h"

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

    std::string_view className() const override { return "WKWebView"; }
    Role role() const override { return Role::web; }

    // Starts loading the address; a load in progress is replaced.
    void load(std::string url);
    const std::string& url() const { return url_; }
    bool isLoading() const { return loading_; }
    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    // How long a load takes (default 100 ms).
    void setLoadDuration(rt::Duration duration) { loadDuration_ = duration; }
    // Told each time a load ends.
    int addLoadObserver(std::function<void(WebView&)> observer);
    void removeLoadObserver(int id);

    void setScriptHandler(ScriptHandler handler) { scripts_ = std::move(handler); }
    // Runs the script in the page. Fails while loading ("the page is still loading") and without a
    // page handler ("no script engine").
    rt::Task<ScriptResult> evaluate(std::string script);

private:
    void finishLoad();
    struct Observer {
        int id;
        std::function<void(WebView&)> fn;
    };
    std::string url_;
    std::string title_;
    ScriptHandler scripts_;
    std::vector<Observer> observers_;
    rt::Timer loadTimer_;
    rt::Duration loadDuration_ = std::chrono::milliseconds(100);
    int nextObserver_ = 1;
    bool loading_ = false;
};

}  // namespace ui
