#include "platform/ui/WebView.h"

#include <algorithm>

namespace ui {

void WebView::load(std::string url) {
    url_ = std::move(url);
    loading_ = true;
    std::weak_ptr<View> weak = weak_from_this();
    loadTimer_ = rt::MainActor::shared()->schedule(loadDuration_, [weak] {
        if (auto self = std::static_pointer_cast<WebView>(weak.lock())) self->finishLoad();
    });
}

void WebView::finishLoad() {
    loading_ = false;
    auto keep = shared_from_this();
    std::vector<std::function<void(WebView&)>> due;
    for (const auto& o : observers_) due.push_back(o.fn);
    for (auto& fn : due) fn(*this);
}

int WebView::addLoadObserver(std::function<void(WebView&)> observer) {
    const int id = nextObserver_++;
    observers_.push_back({id, std::move(observer)});
    return id;
}

void WebView::removeLoadObserver(int id) {
    std::erase_if(observers_, [id](const Observer& o) { return o.id == id; });
}

rt::Task<WebView::ScriptResult> WebView::evaluate(std::string script) {
    // A script's answer comes back on a later round of the main actor, as a page's would; the
    // view stays alive until then.
    auto self = std::static_pointer_cast<WebView>(shared_from_this());
    co_await rt::yield();
    if (self->loading_) co_return ScriptResult{std::nullopt, "the page is still loading"};
    if (!self->scripts_) co_return ScriptResult{std::nullopt, "no script engine"};
    auto handler = self->scripts_;
    co_return handler(self->url_, script);
}

}  // namespace ui
