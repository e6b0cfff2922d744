#include "platform/ui/WebView.h"

#include <algorithm>
#include <cctype>

#include "platform/web/BrowserPage.h"

namespace ui {

namespace {

std::shared_ptr<WebView> lockWeb(const std::weak_ptr<View>& weak) {
    return std::static_pointer_cast<WebView>(weak.lock());
}

}  // namespace

WebView::~WebView() = default;

bool WebView::isLoadable(std::string_view url) {
    if (url == "about:blank") return true;
    const auto colon = url.find(':');
    if (colon == std::string_view::npos) return false;
    std::string scheme;
    for (char c : url.substr(0, colon)) scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto rest = url.substr(colon + 1);
    if (scheme == "http" || scheme == "https") return rest.starts_with("//") && rest.size() > 2;
    return scheme == "file" && rest.starts_with("//");
}

void WebView::load(std::string url) {
    url_ = std::move(url);
    loadError_.clear();
    loadTimer_.cancel();
    const std::uint64_t generation = ++generation_;
    std::weak_ptr<View> weak = weak_from_this();
    if (!isLoadable(url_)) {
        loading_ = false;
        opening_ = false;
        loadError_ = "failed: the browser opens only http, https and file addresses";
        // Observers hear of it on a later round, as of any other load.
        rt::MainActor::shared()->post([weak, generation] {
            if (auto self = lockWeb(weak); self && self->generation_ == generation) self->finishLoad();
        });
        return;
    }
    loading_ = true;
    opening_ = true;
    if (scripts_) {
        endLoadOnClock();
        return;
    }
    rt::spawn(loadInEngine(weak, generation, url_));
}

void WebView::setScriptHandler(ScriptHandler handler) {
    const bool takeOver = handler && !scripts_ && loading_;
    scripts_ = std::move(handler);
    if (!takeOver) return;
    ++generation_;  // the engine's answer to the old load no longer counts
    endLoadOnClock();
}

void WebView::endLoadOnClock() {
    std::weak_ptr<View> weak = weak_from_this();
    loadTimer_ = rt::MainActor::shared()->schedule(loadDuration_, [weak] {
        if (auto self = lockWeb(weak)) {
            self->loading_ = false;
            self->finishLoad();
        }
    });
}

rt::Task<void> WebView::loadInEngine(std::weak_ptr<View> weak, std::uint64_t generation, std::string url) {
    std::shared_ptr<web::BrowserPage> page;
    int width = 390, height = 844;
    {
        auto self = lockWeb(weak);
        if (!self) co_return;
        page = self->page_;
        if (self->frame().width >= 1 && self->frame().height >= 1) {
            width = static_cast<int>(self->frame().width);
            height = static_cast<int>(self->frame().height);
        }
    }
    if (!page || !page->isAlive()) {
        auto opened = co_await web::BrowserPage::open(width, height);
        auto self = lockWeb(weak);
        if (!self) co_return;
        if (!opened.page) {
            if (self->generation_ == generation) self->failLoad("failed: " + opened.failure);
            co_return;
        }
        // Another load may have opened a page meanwhile; the newest one stays.
        if (!self->page_ || !self->page_->isAlive()) self->attach(opened.page);
        page = self->page_;
    }
    const std::string failure = co_await page->navigate(url);
    auto self = lockWeb(weak);
    if (!self || self->generation_ != generation) co_return;
    self->opening_ = false;  // committed, or failed
    if (!failure.empty()) {
        self->failLoad("failed: " + failure);
    } else if (!page->isLoading()) {
        self->pageLoaded();
    }
}

void WebView::attach(std::shared_ptr<web::BrowserPage> page) {
    page_ = std::move(page);
    std::weak_ptr<View> weak = weak_from_this();
    page_->setLoadHandler([weak] {
        if (auto self = lockWeb(weak)) self->pageLoaded();
    });
}

void WebView::pageLoaded() {
    if (!page_ || scripts_) return;
    if (!page_->isAlive()) {
        if (loading_) failLoad("failed: the browser engine stopped");
        return;
    }
    // The browser's own error page after a failed load is no load of ours.
    if (!loadError_.empty() && !loading_) return;
    if (!page_->url().empty()) url_ = page_->url();
    // The title is read before observers hear of the load.
    std::weak_ptr<View> weak = weak_from_this();
    const std::uint64_t generation = generation_;
    rt::spawn([](std::weak_ptr<View> weak, std::uint64_t generation) -> rt::Task<void> {
        std::shared_ptr<web::BrowserPage> page;
        if (auto self = lockWeb(weak)) page = self->page_;
        if (!page) co_return;
        const auto title = co_await page->evaluate("document.title");
        auto self = lockWeb(weak);
        if (!self || self->generation_ != generation || self->page_ != page || page->isLoading()) co_return;
        if (title.value && title.value->is_string()) self->title_ = title.value->get<std::string>();
        self->loading_ = false;
        self->finishLoad();
    }(weak, generation));
}

void WebView::failLoad(std::string failure) {
    loading_ = false;
    loadError_ = std::move(failure);
    finishLoad();
}

void WebView::finishLoad() {
    opening_ = false;
    auto keep = shared_from_this();
    std::vector<std::function<void(WebView&)>> due;
    for (const auto& o : observers_) due.push_back(o.fn);
    for (auto& fn : due) fn(*this);
}

bool WebView::isLoading() const { return loading_ || (!scripts_ && page_ && page_->isLoading()); }

bool WebView::isBusy() const { return isLoading() || (!scripts_ && page_ && page_->isBusy()); }

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
    if (self->scripts_) {
        if (self->loading_) co_return ScriptResult{std::nullopt, "the page is still loading"};
        auto handler = self->scripts_;
        co_return handler(self->url_, script);
    }
    auto page = self->page_;
    if (!page) {
        std::string why = self->loadError_.empty() ? "no page is loaded" : self->loadError_;
        if (why.starts_with("failed: ")) why.erase(0, 8);
        co_return ScriptResult{std::nullopt, why};
    }
    auto answer = co_await page->evaluate(std::move(script));
    co_return ScriptResult{std::move(answer.value), std::move(answer.error)};
}

}  // namespace ui
