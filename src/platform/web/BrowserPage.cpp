#include "platform/web/BrowserPage.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "platform/web/PageScript.h"

namespace web {

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr const char* kWorld = "tavro";

std::string firstLine(std::string text) {
    if (auto nl = text.find('\n'); nl != std::string::npos) text.resize(nl);
    return text;
}

// Requests that never end while a page is open are no sign of a page still at work.
bool countsAsWork(const std::string& type) {
    return type != "EventSource" && type != "WebSocket" && type != "Ping" && type != "Media" && type != "Prefetch" &&
           type != "Preflight" && type != "CSPViolationReport";
}

// The commands that make a new tab one of our pages, in order.
std::vector<std::pair<std::string, json>> setUp(int width, int height) {
    return {
        {"Page.enable", json::object()},
        {"Runtime.enable", json::object()},
        {"Network.enable", {{"maxTotalBufferSize", 0}, {"maxResourceBufferSize", 0}}},
        {"Page.addScriptToEvaluateOnNewDocument", {{"source", std::string(bridgeScript())}}},
        {"Page.addScriptToEvaluateOnNewDocument", {{"source", std::string(pageScript())}, {"worldName", kWorld}}},
        {"Emulation.setDeviceMetricsOverride",
         {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}}},
    };
}

}  // namespace

rt::Task<BrowserPage::Opened> BrowserPage::open(int width, int height) {
    std::string failure;
    auto engine = BrowserEngine::shared(&failure);
    if (!engine) co_return Opened{nullptr, failure};
    const json blank = {{"url", "about:blank"}};
    const auto created = co_await engine->call("Target.createTarget", blank);
    if (!created.error.empty() || !created.result.contains("targetId")) {
        co_return Opened{nullptr, "the browser engine opened no page (" + firstLine(created.error) + ")"};
    }
    const std::string target = created.result["targetId"].get<std::string>();
    const json attach = {{"targetId", target}, {"flatten", true}};
    const auto attached = co_await engine->call("Target.attachToTarget", attach);
    if (!attached.error.empty() || !attached.result.contains("sessionId")) {
        engine->send("Target.closeTarget", {{"targetId", target}});
        co_return Opened{nullptr, "the browser engine opened no page (" + firstLine(attached.error) + ")"};
    }
    auto page = std::make_shared<BrowserPage>(Key{}, engine, target, attached.result["sessionId"].get<std::string>());
    std::weak_ptr<BrowserPage> weak = page;
    engine->listen(page->session_, rt::MainActor::shared(), [weak](const std::string& method, const json& params) {
        if (auto self = weak.lock()) self->handle(method, params);
    });
    const auto steps = setUp(width, height);
    for (const auto& [method, params] : steps) {
        const auto reply = co_await page->call(method, params);
        if (!reply.error.empty()) {
            co_return Opened{nullptr, "the browser engine refused the page's set-up (" + firstLine(reply.error) + ")"};
        }
    }
    co_return Opened{page, ""};
}

BrowserPage::BrowserPage(Key, std::shared_ptr<BrowserEngine> engine, std::string target, std::string session)
    : engine_(std::move(engine)), target_(std::move(target)), session_(std::move(session)) {}

BrowserPage::~BrowserPage() {
    engine_->forget(session_);
    engine_->send("Target.closeTarget", {{"targetId", target_}});
}

rt::Task<Reply> BrowserPage::call(std::string method, json params) {
    auto engine = engine_;
    co_return co_await engine->call(std::move(method), std::move(params), session_);
}

void BrowserPage::handle(const std::string& method, const json& params) {
    const auto isMain = [this](const json& frameId) { return frameId.is_string() && frameId.get<std::string>() == target_; };
    if (method == "Page.frameStartedLoading") {
        if (isMain(params.value("frameId", json()))) loading_ = true;
    } else if (method == "Page.frameStoppedLoading") {
        if (isMain(params.value("frameId", json())) && loading_) finishLoad();
    } else if (method == "Page.frameNavigated") {
        const json frame = params.value("frame", json::object());
        if (!frame.contains("parentId") && frame.value("url", json()).is_string()) {
            url_ = frame["url"].get<std::string>() + frame.value("urlFragment", std::string());
            requests_.clear();
        }
    } else if (method == "Page.navigatedWithinDocument") {
        if (isMain(params.value("frameId", json())) && params.value("url", json()).is_string()) url_ = params["url"];
    } else if (method == "Runtime.executionContextCreated") {
        const json context = params.value("context", json::object());
        const json aux = context.value("auxData", json::object());
        if (context.value("name", std::string()) == kWorld && isMain(aux.value("frameId", json())) &&
            context.value("id", json()).is_number_integer()) {
            context_ = context["id"].get<int>();
        }
    } else if (method == "Runtime.executionContextDestroyed") {
        if (context_ && params.value("executionContextId", json()) == *context_) context_.reset();
    } else if (method == "Runtime.executionContextsCleared") {
        context_.reset();
    } else if (method == "Network.requestWillBeSent") {
        if (params.value("requestId", json()).is_string() && countsAsWork(params.value("type", std::string()))) {
            requests_.insert(params["requestId"].get<std::string>());
        }
    } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
        if (params.value("requestId", json()).is_string()) requests_.erase(params["requestId"].get<std::string>());
    } else if (method == "Inspector.targetCrashed" || method == "Inspector.detached" || method == "Engine.stopped") {
        alive_ = false;
        context_.reset();
        requests_.clear();
        if (loading_) finishLoad();
    }
}

void BrowserPage::finishLoad() {
    loading_ = false;
    if (onLoad_) {
        auto keep = shared_from_this();
        auto handler = onLoad_;
        handler();
    }
}

rt::Task<std::string> BrowserPage::navigate(std::string url) {
    auto self = shared_from_this();
    if (!self->isAlive()) co_return "the browser engine stopped";
    self->loading_ = true;
    const json where = {{"url", url}};
    const auto reply = co_await self->call("Page.navigate", where);
    if (!reply.error.empty()) {
        self->loading_ = false;
        co_return firstLine(reply.error);
    }
    if (const auto error = reply.result.value("errorText", std::string()); !error.empty()) {
        self->loading_ = false;
        co_return error;
    }
    // A move within the document loads nothing.
    if (!reply.result.contains("loaderId")) self->loading_ = false;
    co_return "";
}

rt::Task<BrowserPage::Answer> BrowserPage::evaluate(std::string script) {
    auto self = shared_from_this();
    if (!self->isAlive()) co_return Answer{std::nullopt, "the browser engine stopped"};
    if (!self->context_) co_return Answer{std::nullopt, "the page is still loading"};
    // The answer crosses as JSON text: much cheaper for a large reading than the protocol's own
    // copy of the value.
    const std::string wrapped = "Promise.resolve((0, eval)(" + json(script).dump(-1, ' ', false, json::error_handler_t::replace) +
                                ")).then((v) => v === undefined ? 'null' : JSON.stringify(v))";
    const json run = {{"expression", wrapped},
                      {"contextId", *self->context_},
                      {"returnByValue", true},
                      {"awaitPromise", true},
                      {"timeout", 8000}};
    const auto reply = co_await self->call("Runtime.evaluate", run);
    if (!reply.error.empty()) {
        // The document the script ran in went away under it (a navigation, a reload).
        if (reply.error.find("ontext") != std::string::npos) {
            co_return Answer{std::nullopt, "the page changed while the script ran"};
        }
        co_return Answer{std::nullopt, firstLine(reply.error)};
    }
    if (auto thrown = reply.result.find("exceptionDetails"); thrown != reply.result.end()) {
        std::string text = thrown->value("exception", json::object()).value("description", std::string());
        if (text.empty()) text = thrown->value("text", std::string("the script failed"));
        co_return Answer{std::nullopt, firstLine(text)};
    }
    const json result = reply.result.value("result", json::object());
    json value = result.contains("value") && result["value"].is_string()
                     ? json::parse(result["value"].get<std::string>(), nullptr, false)
                     : json(nullptr);
    if (value.is_discarded()) value = nullptr;
    if (!value.is_object() || !value.contains("tavro.input") || !value["tavro.input"].is_array()) {
        co_return Answer{std::move(value), ""};
    }
    const json steps = value["tavro.input"];
    for (const auto& step : steps) {
        const std::string failure = co_await self->runStep(step);
        if (!failure.empty()) co_return Answer{json{{"error", failure}}, ""};
    }
    co_return Answer{json{{"ok", true}}, ""};
}

rt::Task<std::string> BrowserPage::runStep(const json& step) {
    auto self = shared_from_this();
    const auto point = [](const json& at, std::size_t i) { return at.size() > i && at[i].is_number() ? at[i].get<double>() : 0.0; };
    const auto mouse = [&](const char* type, double x, double y) {
        json params = {{"type", type}, {"x", x}, {"y", y}, {"button", "left"}, {"clickCount", 1}};
        if (std::string_view(type) == "mouseMoved") params["button"] = "none";
        return self->call("Input.dispatchMouseEvent", std::move(params));
    };
    if (!step.is_object() || step.empty()) co_return "the page asked for an unknown input";
    const std::string name = step.begin().key();
    const json arg = step.begin().value();
    std::string failure;
    if (name == "click" || name == "press") {
        const double x = point(arg, 0), y = point(arg, 1);
        for (const char* type : {"mouseMoved", "mousePressed", "mouseReleased"}) {
            if (std::string_view(type) == "mouseReleased" && name == "press") {
                const auto hold = std::chrono::milliseconds(static_cast<long>(std::clamp(point(arg, 2), 0.0, 3000.0)));
                co_await rt::sleep(hold);
            }
            const auto reply = co_await mouse(type, x, y);
            if (!reply.error.empty()) co_return firstLine(reply.error);
        }
    } else if (name == "insertText" && arg.is_string()) {
        const json typed = {{"text", arg}};
        const auto reply = co_await self->call("Input.insertText", typed);
        failure = reply.error;
    } else if (name == "key" && arg.is_string()) {
        const bool enter = arg == "Enter";
        json down = {{"type", "keyDown"}, {"key", arg}, {"code", arg}, {"windowsVirtualKeyCode", enter ? 13 : 8},
                     {"nativeVirtualKeyCode", enter ? 13 : 8}};
        if (enter) down["text"] = "\r";
        const auto pressed = co_await self->call("Input.dispatchKeyEvent", down);
        if (!pressed.error.empty()) co_return firstLine(pressed.error);
        json up = {{"type", "keyUp"}, {"key", arg}, {"code", arg}, {"windowsVirtualKeyCode", enter ? 13 : 8},
                   {"nativeVirtualKeyCode", enter ? 13 : 8}};
        const auto released = co_await self->call("Input.dispatchKeyEvent", up);
        failure = released.error;
    } else if (name == "back") {
        const json none = json::object();
        const auto history = co_await self->call("Page.getNavigationHistory", none);
        if (!history.error.empty()) co_return firstLine(history.error);
        const int index = history.result.value("currentIndex", 0);
        const json entries = history.result.value("entries", json::array());
        if (index <= 0 || !entries.is_array() || static_cast<std::size_t>(index) > entries.size()) {
            co_return "nothing to go back to";
        }
        const json entry = {{"entryId", entries[index - 1].value("id", 0)}};
        const auto moved = co_await self->call("Page.navigateToHistoryEntry", entry);
        failure = moved.error;
    } else if (name == "script" && arg.is_string()) {
        const auto answer = co_await self->evaluate(arg.get<std::string>());
        if (!answer.value) co_return answer.error;
        if (answer.value->is_object() && answer.value->value("error", json()).is_string()) {
            co_return answer.value->at("error").get<std::string>();
        }
    } else {
        co_return "the page asked for an unknown input";
    }
    co_return firstLine(failure);
}

void BrowserPage::resize(int width, int height) {
    engine_->send("Emulation.setDeviceMetricsOverride",
                  {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}}, session_);
}

}  // namespace web
