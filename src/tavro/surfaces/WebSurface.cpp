#include "tavro/surfaces/WebSurface.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

#include "platform/ui/Application.h"
#include "tavro/core/TavroFieldValue.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/surfaces/TavroWebText.h"

namespace tavro {

using namespace std::chrono_literals;
using nlohmann::json;

namespace {

std::string textAt(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return {};
    return TavroText::repaired(it->get<std::string>());
}

bool flagAt(const json& object, const char* key) {
    auto it = object.find(key);
    return it != object.end() && it->is_boolean() && it->get<bool>();
}

double numberAt(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_number()) return 0;
    const double v = it->get<double>();
    return std::isfinite(v) ? v : 0;
}

std::vector<std::string> textsAt(const json& object, const char* key) {
    std::vector<std::string> out;
    auto it = object.find(key);
    if (it == object.end() || !it->is_array()) return out;
    for (const auto& item : *it) {
        if (item.is_string()) out.push_back(TavroText::repaired(item.get<std::string>()));
    }
    return out;
}

std::string textIn(const json& list, std::size_t i) {
    if (i >= list.size() || !list[i].is_string()) return {};
    return TavroText::repaired(list[i].get<std::string>());
}

double numberIn(const json& list, std::size_t i) {
    if (i >= list.size() || !list[i].is_number()) return 0;
    const double v = list[i].get<double>();
    return std::isfinite(v) ? v : 0;
}

std::vector<std::string> textsIn(const json& list, std::size_t i) {
    std::vector<std::string> out;
    if (i >= list.size() || !list[i].is_array()) return out;
    for (const auto& item : list[i]) {
        if (item.is_string()) out.push_back(TavroText::repaired(item.get<std::string>()));
    }
    return out;
}

// An element the reader sent as a list: [id, kind, type, label, value, keys, options, inView, x, y,
// width, height, focused].
std::optional<TavroElement> elementFromList(const json& item) {
    if (item.empty() || !item[0].is_number_integer()) return std::nullopt;
    TavroElement e;
    e.id = item[0].get<std::int64_t>();
    e.kind = textIn(item, 1);
    e.type = textIn(item, 2);
    e.label = textIn(item, 3);
    e.value = textIn(item, 4);
    e.keys = textsIn(item, 5);
    e.options = textsIn(item, 6);
    e.inView = item.size() > 7 && item[7].is_boolean() && item[7].get<bool>();
    e.frame = {numberIn(item, 8), numberIn(item, 9), numberIn(item, 10), numberIn(item, 11)};
    e.focused = item.size() > 12 && item[12].is_boolean() && item[12].get<bool>();
    return e;
}

}  // namespace

WebSurface::WebSurface(std::shared_ptr<ui::WebView> webView) : webView_(std::move(webView)) {
    // The observer shares the time with the surface, so a call already under way when the
    // surface goes writes nothing of it.
    if (webView_) {
        loadObserver_ = webView_->addLoadObserver([loadedAt = loadedAt_](ui::WebView&) { *loadedAt = rt::now(); });
    }
}

WebSurface::~WebSurface() {
    if (webView_) webView_->removeLoadObserver(loadObserver_);
}

std::string WebSurface::surfaceDescription() const {
    return "the in-app web browser (web pages; tap with click, fill fields with type)";
}

bool WebSurface::systemAlertShowing() const {
    return ui::Application::shared()->applicationState() == ui::Application::State::inactive;
}

namespace {

// The page's count of changes so far, or nothing when it keeps none.
rt::Task<std::optional<double>> changesOf(ui::WebView& web) {
    const auto activity = co_await web.evaluate("tavro.activity()");
    if (!activity.value || !activity.value->is_object()) co_return std::nullopt;
    auto it = activity.value->find("mutations");
    if (it == activity.value->end() || !it->is_number()) co_return std::nullopt;
    co_return it->get<double>();
}

}  // namespace

rt::Task<void> WebSurface::settle() {
    auto web = webView_;  // kept alive across the waits
    const auto loadedAt = loadedAt_;
    if (!co_await rt::sleep(pacing::settleFirst)) co_return;
    // Once loaded, the page's count of changes is read each round; two equal counts in a row mean
    // quiet, once the page has had its time to draw itself. A page without the counter is settled
    // once it has loaded.
    std::optional<double> changes;
    for (int round = 0; round < pacing::settleRounds && web; ++round) {
        if (!web->isBusy()) {
            const auto count = co_await changesOf(*web);
            if (!count) co_return;
            const bool drawn = !*loadedAt || rt::now() - **loadedAt >= drawsAfterLoad;
            if (changes == *count && drawn) co_return;
            changes = count;
        } else {
            changes.reset();
        }
        if (!co_await rt::sleep(pacing::settleRound)) co_return;
    }
}

rt::Task<bool> WebSurface::drawsMore() {
    auto web = webView_;  // kept alive across the waits
    const auto loadedAt = loadedAt_;
    if (!web || !*loadedAt) co_return false;
    const auto until = std::min(**loadedAt + drawsUntil, rt::now() + quietFor);
    std::optional<double> before;
    while (rt::now() < until) {
        if (web->isBusy()) co_return true;
        const auto changes = co_await changesOf(*web);
        if (!changes) co_return false;
        if (before && *changes != *before) co_return true;
        before = changes;
        if (!co_await rt::sleep(pacing::settleRound)) co_return false;
    }
    co_return false;
}

std::optional<TavroScreen> WebSurface::snapshot() { return last_; }

std::optional<TavroScreen> WebSurface::screenFromJSON(const json& page) {
    if (!page.is_object()) return std::nullopt;
    TavroScreen screen;
    screen.location = textAt(page, "url");
    screen.title = textAt(page, "title");
    screen.text = textAt(page, "text");
    screen.humanCheck = flagAt(page, "humanCheck");
    screen.keyboardVisible = flagAt(page, "keyboardVisible");
    screen.document = textAt(page, "document");
    if (auto list = page.find("elements"); list != page.end() && list->is_array()) {
        screen.elements.reserve(list->size());
        for (const auto& item : *list) {
            if (item.is_array()) {
                if (auto e = elementFromList(item)) screen.elements.push_back(std::move(*e));
                continue;
            }
            if (!item.is_object()) continue;
            auto id = item.find("id");
            if (id == item.end() || !id->is_number_integer()) continue;
            TavroElement e;
            e.id = id->get<std::int64_t>();
            e.kind = textAt(item, "kind");
            e.type = textAt(item, "type");
            e.label = textAt(item, "label");
            e.value = textAt(item, "value");
            e.keys = textsAt(item, "keys");
            e.options = textsAt(item, "options");
            e.inView = flagAt(item, "inView");
            e.focused = flagAt(item, "focused");
            if (auto f = item.find("frame"); f != item.end() && f->is_object()) {
                e.frame = {numberAt(*f, "x"), numberAt(*f, "y"), numberAt(*f, "width"), numberAt(*f, "height")};
            }
            screen.elements.push_back(std::move(e));
        }
    }
    return screen;
}

rt::Task<std::optional<TavroScreen>> WebSurface::snapshotAsync() {
    auto web = webView_;
    if (!web) co_return std::nullopt;
    if (!web->loadError().empty() && !web->isLoading()) {
        // The failed load shows as what a browser shows: the address and why it failed.
        TavroScreen failed;
        failed.location = web->url();
        failed.text = web->loadError();
        failed.systemAlert = systemAlertShowing();
        last_ = failed;
        co_return failed;
    }
    const auto answer = co_await web->evaluate("tavro.read()");
    std::optional<TavroScreen> screen;
    if (answer.value) screen = screenFromJSON(*answer.value);
    if (screen && screen->location.empty()) screen->location = web->url();
    if (screen) screen->systemAlert = systemAlertShowing();
    last_ = screen;
    co_return screen;
}

json WebSurface::call(const TavroAction& action) const {
    json call = {{"kind", std::string(kindName(action.kind))}, {"text", action.text}, {"submit", action.submit}};
    if (action.id) {
        call["id"] = *action.id;
        // Element ids hold within one document: the page acts on one only in the document last read.
        if (last_ && !last_->document.empty()) call["document"] = last_->document;
        // The element as the reading the action was chosen on has it: the page acts on it only
        // while it still reads so.
        if (const auto* read = last_ ? last_->element(*action.id) : nullptr) {
            call["element"] = {{"label", read->label}, {"kind", read->kind}};
        }
    }
    return call;
}

rt::Task<TavroReach> WebSurface::reached(TavroAction action) {
    TavroReach out;
    auto web = webView_;
    if (!web) co_return out;
    const auto answer =
        co_await web->evaluate("tavro.reach(" + call(action).dump(-1, ' ', false, json::error_handler_t::replace) + ")");
    if (!answer.value || !answer.value->is_object()) co_return out;
    const auto texts = [&](const char* key, std::vector<std::string>& into) {
        const auto found = answer.value->find(key);
        if (found == answer.value->end() || !found->is_array()) return;
        for (const auto& item : *found) {
            if (item.is_string()) into.push_back(item.get<std::string>());
        }
    };
    texts("shows", out.shows);
    texts("picks", out.picks);
    texts("submits", out.submits);
    co_return out;
}

rt::Task<std::optional<std::string>> WebSurface::perform(TavroAction action) {
    auto web = webView_;
    if (!web) co_return std::optional<std::string>("failed: the browser is closed");
    if (!web->loadError().empty() && !web->isLoading()) co_return web->loadError();
    const json call = this->call(action);
    const auto answer = co_await web->evaluate("tavro.perform(" + call.dump(-1, ' ', false, json::error_handler_t::replace) + ")");
    if (!answer.value) {
        co_return std::optional<std::string>("failed: the page cannot be used here (" + answer.error + ")");
    }
    const json& result = *answer.value;
    if (result.is_object()) {
        const std::string error = textAt(result, "error");
        if (!error.empty()) {
            // One line, whatever the page wrote.
            std::string line = error;
            for (char& c : line) {
                if (c == '\n' || c == '\r') c = ' ';
            }
            co_return line.starts_with("failed: ") ? line : "failed: " + line;
        }
        if (flagAt(result, "ok")) {
            // A submitted text has gone on with the form; the field may show anything after it.
            if (action.kind == TavroAction::Kind::type && action.id && !action.submit) {
                co_return co_await typedFailure(*action.id, action.text);
            }
            co_return std::nullopt;
        }
    }
    co_return std::optional<std::string>("failed: the page gave no answer");
}

rt::Task<std::optional<std::string>> WebSurface::typedFailure(std::int64_t id, std::string text) {
    const auto screen = co_await snapshotAsync();
    const TavroElement* field = screen ? screen->element(id) : nullptr;
    // Only text fields are judged here: typing into other controls chooses or switches, and a
    // password is judged by the page, which alone sees it.
    if (!field || (field->kind != "input" && field->kind != "textarea") || field->type == "password") {
        co_return std::nullopt;
    }
    if (TavroFieldValue::compare(field->value, text) != TavroFieldValue::Shows::other) co_return std::nullopt;
    const auto holds = TavroFieldValue::holdsInstead(*field, text);
    if (!holds) co_return std::nullopt;
    co_return "failed: " + *holds;
}

std::optional<TavroRect> WebSurface::frame(std::int64_t id) const {
    auto it = frames_.find(id);
    if (it == frames_.end()) return std::nullopt;
    return it->second;
}

void WebSurface::open(std::string_view text) {
    if (!webView_) return;
    if (auto url = TavroWebText::url(text)) {
        webView_->load(*url);
    } else {
        webView_->load(searchURL(text, searchBase_));
    }
}

rt::Task<std::optional<std::string>> WebSurface::opened() {
    auto web = webView_;
    if (!web) co_return std::optional<std::string>("failed: the browser is closed");
    // The view tells no news of a commit: it is looked for every 50 ms. While the engine is at
    // work a virtual clock runs at the wall clock's pace, so the bound is real time there too.
    const auto deadline = rt::now() + openWait;
    while (web->isOpening()) {
        if (rt::now() >= deadline) {
            co_return std::optional<std::string>("failed: the page did not load within " +
                                                 std::to_string(openWait.count()) + " seconds");
        }
        if (!co_await rt::sleep(50ms)) co_return std::nullopt;
    }
    if (!web->loadError().empty()) co_return web->loadError();
    co_return std::nullopt;
}

void WebSurface::cacheFrames(const TavroScreen& screen, ui::Point inset) {
    frames_.clear();
    for (const auto& e : screen.elements) {
        if (e.frame.width == 0 || e.frame.height == 0) continue;
        frames_[e.id] = {e.frame.x + inset.x, e.frame.y + inset.y, e.frame.width, e.frame.height};
    }
}

std::string WebSurface::searchURL(std::string_view text, std::string_view base) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url(base);
    for (unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

}  // namespace tavro
