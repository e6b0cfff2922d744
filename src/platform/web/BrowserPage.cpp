#include "platform/web/BrowserPage.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/foundation/BoundedJSON.h"
#include "platform/web/PageScript.h"

namespace web {

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr const char* kWorld = "tavro";
constexpr const char* kPressed = "tavroPressed";
// The objects the engine hands our world for one check of a press, released after it.
constexpr const char* kPressGroup = "tavro-press";

// The key of a US keyboard that types the character, for the characters a key types.
struct KeyStroke {
    std::string key;
    std::string code;
    int keyCode = 0;
    bool shift = false;
};

std::optional<KeyStroke> strokeFor(char c) {
    if (c >= 'a' && c <= 'z') return KeyStroke{std::string(1, c), std::string("Key") + char(c - 'a' + 'A'), c - 'a' + 'A'};
    if (c >= 'A' && c <= 'Z') return KeyStroke{std::string(1, c), std::string("Key") + c, c, true};
    if (c >= '0' && c <= '9') return KeyStroke{std::string(1, c), std::string("Digit") + c, c};
    if (c == ' ') return KeyStroke{" ", "Space", 32};
    // Punctuation: the key's code, its key code, and the characters it types without and with Shift.
    struct Punct {
        const char* code;
        int keyCode;
        char plain, shifted;
    };
    static constexpr Punct kPunct[] = {
        {"Minus", 189, '-', '_'},       {"Equal", 187, '=', '+'},     {"BracketLeft", 219, '[', '{'},
        {"BracketRight", 221, ']', '}'}, {"Backslash", 220, '\\', '|'}, {"Semicolon", 186, ';', ':'},
        {"Quote", 222, '\'', '"'},       {"Comma", 188, ',', '<'},     {"Period", 190, '.', '>'},
        {"Slash", 191, '/', '?'},       {"Backquote", 192, '`', '~'}, {"Digit1", '1', 0, '!'},
        {"Digit2", '2', 0, '@'},        {"Digit3", '3', 0, '#'},      {"Digit4", '4', 0, '$'},
        {"Digit5", '5', 0, '%'},        {"Digit6", '6', 0, '^'},      {"Digit7", '7', 0, '&'},
        {"Digit8", '8', 0, '*'},        {"Digit9", '9', 0, '('},      {"Digit0", '0', 0, ')'},
    };
    for (const auto& p : kPunct) {
        if (c == p.plain) return KeyStroke{std::string(1, c), p.code, p.keyCode};
        if (c == p.shifted) return KeyStroke{std::string(1, c), p.code, p.keyCode, true};
    }
    return std::nullopt;
}

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
        // Our world tells of a click it heard at once: a click on a link can end the document
        // before it could be asked.
        {"Runtime.addBinding", {{"name", kPressed}, {"executionContextName", kWorld}}},
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
    // Windows our pages open are told to their page, which follows them in place (see handle()).
    const json discover = {{"discover", true}};
    const auto discovering = co_await engine->call("Target.setDiscoverTargets", discover);
    if (!discovering.error.empty()) co_return Opened{nullptr, "the browser engine opened no page (" + firstLine(discovering.error) + ")"};
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
    }, target);
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
    for (const auto& popup : openWindows_) engine_->send("Target.closeTarget", {{"targetId", popup}});
}

// A window the page opened (window.open, a link to a new tab): its address is loaded here, in the
// one page the agent works on, and the window is closed. A window with no address yet is kept
// until it gets one, two seconds at most.
void BrowserPage::adoptWindow(const std::string& popup, const std::string& url) {
    if (closedWindows_.contains(popup)) return;
    // A web page's window may not take the page to the device's own files, which its links cannot.
    const bool loadable = url.starts_with("http://") || url.starts_with("https://") ||
                          (url.starts_with("file://") && url_.starts_with("file://"));
    if (!loadable) {
        if (openWindows_.insert(popup).second) {
            rt::spawn([](std::weak_ptr<BrowserPage> weak, std::string popup) -> rt::Task<void> {
                (void)co_await rt::sleep(2s);
                if (auto self = weak.lock()) self->closeWindow(popup);
            }(weak_from_this(), popup));
        }
        return;
    }
    closeWindow(popup);
    if (alive_) engine_->send("Page.navigate", {{"url", url}}, session_);
}

void BrowserPage::closeWindow(const std::string& popup) {
    if (!closedWindows_.insert(popup).second) return;
    openWindows_.erase(popup);
    engine_->send("Target.closeTarget", {{"targetId", popup}});
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
    } else if (method == "Target.targetCreated" || method == "Target.targetInfoChanged") {
        const json info = params.value("targetInfo", json::object());
        const std::string popup = info.value("targetId", std::string());
        if (!popup.empty() && popup != target_ && info.value("openerId", std::string()) == target_) {
            adoptWindow(popup, info.value("url", std::string()));
        }
    } else if (method == "Runtime.bindingCalled") {
        if (params.value("name", std::string()) == kPressed && params.value("payload", json()).is_string()) {
            json told = fnd::parseJSON(params["payload"].get<std::string>());
            if (told.is_object()) pressed_ = std::move(told);
        }
    } else if (method == "Inspector.targetCrashed" || method == "Inspector.detached" || method == "Engine.stopped") {
        alive_ = false;
        context_.reset();
        requests_.clear();
        if (loading_) finishLoad();
    }
    holdWhileBusy();
}

// The load's end (or the last fetch's) comes as the engine's news, which no command awaits: a
// virtual clock would otherwise jump over every wait for it.
void BrowserPage::holdWhileBusy() {
    if (!isBusy() || !alive_) {
        busy_.release();
    } else if (!busy_.held()) {
        busy_ = rt::MainActor::Hold(rt::MainActor::shared(), std::chrono::seconds(20));
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
    self->holdWhileBusy();
    const json where = {{"url", url}};
    // The engine answers once the main frame has committed the page or the load has failed.
    const auto reply = co_await self->engine_->call("Page.navigate", where, self->session_, navigateWait);
    if (!reply.error.empty()) {
        self->loading_ = false;
        self->holdWhileBusy();
        co_return firstLine(reply.error);
    }
    if (const auto error = reply.result.value("errorText", std::string()); !error.empty()) {
        self->loading_ = false;
        self->holdWhileBusy();
        co_return "the page could not be loaded: " + firstLine(error);
    }
    // A move within the document loads nothing.
    if (!reply.result.contains("loaderId")) self->loading_ = false;
    self->holdWhileBusy();
    co_return "";
}

// A script's answer from the engine's reply: the JSON text our world made of its value.
BrowserPage::Answer BrowserPage::answerOf(const Reply& reply) {
    if (!reply.error.empty()) {
        // The document the script ran in went away under it (a navigation, a reload).
        if (reply.error.find("ontext") != std::string::npos) return Answer{std::nullopt, "the page changed while the script ran"};
        return Answer{std::nullopt, firstLine(reply.error)};
    }
    if (auto thrown = reply.result.find("exceptionDetails"); thrown != reply.result.end()) {
        std::string text = thrown->value("exception", json::object()).value("description", std::string());
        if (text.empty()) text = thrown->value("text", std::string("the script failed"));
        return Answer{std::nullopt, firstLine(text)};
    }
    // The page writes this text: its nesting is bounded like any other input from outside.
    const json* text = nullptr;
    if (const auto result = reply.result.find("result"); result != reply.result.end() && result->is_object()) {
        if (const auto v = result->find("value"); v != result->end() && v->is_string()) text = &*v;
    }
    json value = nullptr;
    if (text) {
        value = fnd::parseJSON(text->get_ref<const std::string&>());
        if (value.is_discarded()) return Answer{std::nullopt, "the page's answer is not readable (malformed or nested too deeply)"};
    }
    return Answer{std::move(value), ""};
}

// Our world's check of a press at the point. Where the page's own hit test ends on an element
// that may hold a shadow root, our world asks ({"deep": true}) to check again with the node there
// as the engine's own hit test finds it: the engine sees into closed shadow roots, which no script
// can, so a control hidden in one is seen as what it is. Where the engine finds no node our world
// can hold (one inside a frame), the check is made with none (null).
rt::Task<BrowserPage::Answer> BrowserPage::checkAt(std::string check, json args, double x, double y) {
    auto self = shared_from_this();
    std::string call = "tavro." + check + "(";
    for (std::size_t i = 0; i < args.size(); ++i) call += (i ? ", " : "") + args[i].dump();
    Answer first = co_await self->evaluate(call + ")");
    const bool deeper = first.value && first.value->is_object() && first.value->contains("deep") &&
                        first.value->at("deep") == true;
    if (!deeper) co_return first;

    std::string object;
    if (self->context_) {
        const json where = {{"x", static_cast<int>(x)}, {"y", static_cast<int>(y)}, {"includeUserAgentShadowDOM", false},
                            {"ignorePointerEventsNone", false}};
        const auto located = co_await self->call("DOM.getNodeForLocation", where);
        const json node = located.result.value("backendNodeId", json());
        if (located.error.empty() && node.is_number_integer() && self->context_) {
            const json resolve = {{"backendNodeId", node}, {"executionContextId", *self->context_}, {"objectGroup", kPressGroup}};
            const auto resolved = co_await self->call("DOM.resolveNode", resolve);
            const json id = resolved.result.value("object", json::object()).value("objectId", json());
            if (resolved.error.empty() && id.is_string()) object = id.get<std::string>();
        }
    }
    if (object.empty()) co_return co_await self->evaluate(call + (args.empty() ? "null)" : ", null)"));
    const json run = {{"objectId", object},
                      {"functionDeclaration", "function (args) { return Promise.resolve(tavro." + check +
                                                  "(...args, this)).then((v) => v === undefined ? 'null' : JSON.stringify(v)); }"},
                      {"arguments", json::array({json{{"value", std::move(args)}}})},
                      {"returnByValue", true},
                      {"awaitPromise", true}};
    const auto reply = co_await self->call("Runtime.callFunctionOn", run);
    self->engine_->send("Runtime.releaseObjectGroup", {{"objectGroup", kPressGroup}}, self->session_);
    co_return answerOf(reply);
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
    if (reply.error == BrowserEngine::stoppedError) {
        // Nobody waits for the script any more: it must not hold the page up for the next one.
        self->engine_->send("Runtime.terminateExecution", json::object(), self->session_);
        co_return Answer{std::nullopt, reply.error};
    }
    Answer answer = answerOf(reply);
    if (!answer.value) co_return answer;
    json& value = *answer.value;
    if (!value.is_object() || !value.contains("tavro.input") || !value["tavro.input"].is_array()) co_return answer;
    const json steps = value["tavro.input"];
    for (const auto& step : steps) {
        const std::string failure = co_await self->runStep(step);
        if (!failure.empty()) co_return Answer{json{{"error", failure}}, ""};
    }
    co_return Answer{json{{"ok", true}}, ""};
}

rt::Task<Reply> BrowserPage::mouse(std::string type, double x, double y, std::string button) {
    json params = {{"type", type}, {"x", x}, {"y", y}, {"button", std::move(button)}, {"clickCount", 1}};
    if (type == "mouseMoved") params["button"] = "none";
    return call("Input.dispatchMouseEvent", std::move(params));
}

// A press as a person's hand makes it, checked on the way: see the header.
rt::Task<std::string> BrowserPage::tap(json arg) {
    auto self = shared_from_this();
    const json id = arg.value("id", json());
    if (!id.is_number_integer() || !arg.value("x", json()).is_number() || !arg.value("y", json()).is_number()) {
        co_return "the page asked for an unknown input";
    }
    // Whole pixels: the engine's hit test of the checks takes them, and the press lands where they looked.
    double x = std::floor(arg["x"].get<double>()), y = std::floor(arg["y"].get<double>());
    const double hold = arg.value("hold", json()).is_number() ? std::clamp(arg["hold"].get<double>(), 0.0, 3000.0) : 0.0;
    const auto check = [&](bool last) {
        json args = json::array();
        for (const json& value : {id, json(x), json(y), json(last)}) args.push_back(value);
        return self->checkAt("recheck", std::move(args), x, y);
    };
    const auto failureIn = [](const Answer& answer) -> std::optional<std::string> {
        if (!answer.value) return answer.error;
        if (answer.value->is_object() && answer.value->value("error", json()).is_string()) {
            return answer.value->at("error").get<std::string>();
        }
        return std::nullopt;
    };
    self->pressed_.reset();
    // The move may run the page's scripts, which may move things: the element under the pointer is
    // checked again, and aimed at once more where it went.
    for (int attempt = 0;; ++attempt) {
        const auto moved = co_await self->mouse("mouseMoved", x, y);
        if (!moved.error.empty()) co_return firstLine(moved.error);
        const auto answer = co_await check(attempt > 0);
        if (auto failure = failureIn(answer)) co_return *failure;
        if (answer.value->is_object() && answer.value->contains("x") && (*answer.value)["x"].is_number() &&
            (*answer.value)["y"].is_number()) {
            x = std::floor((*answer.value)["x"].get<double>());
            y = std::floor((*answer.value)["y"].get<double>());
            continue;
        }
        break;
    }
    // From here our world watches the press until it is told that the press ended.
    const auto ended = [self, id] {
        if (!self->context_) return;
        self->engine_->send("Runtime.evaluate",
                            {{"expression", "tavro.pressed(" + id.dump() + ")"}, {"contextId", *self->context_}},
                            self->session_);
    };
    const auto down = co_await self->mouse("mousePressed", x, y);
    if (!down.error.empty()) {
        ended();
        co_return firstLine(down.error);
    }
    if (hold > 0) (void)co_await rt::sleep(std::chrono::milliseconds(static_cast<long>(hold)));
    // With the button down: whether the press goes on. A press called off ends with a release of
    // no button, which the page does not hear: nothing that came over the element gets a button
    // going up, and nothing is clicked.
    json heldAt = json::array();
    heldAt.push_back(id);
    heldAt.push_back(x);
    heldAt.push_back(y);
    const auto held = co_await self->checkAt("held", std::move(heldAt), x, y);
    const std::optional<std::string> calledOff = failureIn(held);
    const bool goesOn = !calledOff && !(held.value->is_object() && held.value->value("off", false));
    const std::string button = goesOn ? "left" : "none";
    if (co_await rt::isCancelled()) {
        // Stopped with the button down: it goes up without anyone waiting for it.
        self->engine_->send("Input.dispatchMouseEvent",
                            {{"type", "mouseReleased"}, {"x", x}, {"y", y}, {"button", button}, {"clickCount", 1}},
                            self->session_);
        ended();
        co_return std::string(BrowserEngine::stoppedError);
    }
    const auto up = co_await self->mouse("mouseReleased", x, y, button);
    if (!up.error.empty()) {
        ended();
        co_return firstLine(up.error);
    }
    const auto confirmed = co_await self->evaluate("tavro.pressed(" + id.dump() + ")");
    if (calledOff) co_return *calledOff;
    // A click that left the document was told by our world as it happened; that account stands.
    if (self->pressed_ && self->pressed_->value("id", json()) == id && self->pressed_->value("reached", false)) co_return "";
    co_return failureIn(confirmed).value_or("");
}

// Types as a keyboard does: a key goes down and up for each character a key types, and the rest
// (other scripts, emoji, line breaks) goes in as the platform's text input, in order.
rt::Task<std::string> BrowserPage::typeText(std::string text) {
    auto self = shared_from_this();
    std::size_t i = 0;
    while (i < text.size()) {
        if (auto lost = co_await self->focusLost(); !lost.empty()) co_return lost;
        if (const auto stroke = strokeFor(text[i])) {
            const std::string typed(1, text[i]);
            const int modifiers = stroke->shift ? 8 : 0;
            json down = {{"type", "keyDown"}, {"key", stroke->key}, {"code", stroke->code}, {"text", typed},
                         {"unmodifiedText", typed}, {"windowsVirtualKeyCode", stroke->keyCode},
                         {"nativeVirtualKeyCode", stroke->keyCode}, {"modifiers", modifiers}};
            const auto pressed = co_await self->call("Input.dispatchKeyEvent", std::move(down));
            if (!pressed.error.empty()) co_return firstLine(pressed.error);
            json up = {{"type", "keyUp"}, {"key", stroke->key}, {"code", stroke->code},
                       {"windowsVirtualKeyCode", stroke->keyCode}, {"nativeVirtualKeyCode", stroke->keyCode},
                       {"modifiers", modifiers}};
            const auto released = co_await self->call("Input.dispatchKeyEvent", std::move(up));
            if (!released.error.empty()) co_return firstLine(released.error);
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && !strokeFor(text[end])) ++end;
        json typed = {{"text", text.substr(i, end - i)}};
        const auto reply = co_await self->call("Input.insertText", std::move(typed));
        if (!reply.error.empty()) co_return firstLine(reply.error);
        i = end;
    }
    co_return "";
}

// Before a key of typing: why the typing stopped (the field lost the focus), or the empty text.
rt::Task<std::string> BrowserPage::focusLost() {
    auto self = shared_from_this();
    const auto state = co_await self->evaluate("tavro.typing()");
    if (!state.value) co_return state.error;
    if (state.value->is_object() && state.value->value("error", json()).is_string()) co_return state.value->at("error").get<std::string>();
    co_return "";
}

rt::Task<std::string> BrowserPage::runStep(const json& step) {
    auto self = shared_from_this();
    if (!step.is_object() || step.empty()) co_return "the page asked for an unknown input";
    const std::string name = step.begin().key();
    const json arg = step.begin().value();
    std::string failure;
    if (name == "tap" && arg.is_object()) {
        co_return co_await self->tap(arg);
    } else if (name == "type" && arg.is_string()) {
        co_return co_await self->typeText(arg.get<std::string>());
    } else if (name == "key" && arg.is_string()) {
        if (auto lost = co_await self->focusLost(); !lost.empty()) co_return lost;
        const bool enter = arg == "Enter";
        json down = {{"type", "keyDown"}, {"key", arg}, {"code", arg}, {"windowsVirtualKeyCode", enter ? 13 : 8},
                     {"nativeVirtualKeyCode", enter ? 13 : 8}};
        if (enter) down["text"] = "\r";
        const auto pressed = co_await self->call("Input.dispatchKeyEvent", down);
        if (!pressed.error.empty()) co_return firstLine(pressed.error);
        json up = {{"type", "keyUp"}, {"key", arg}, {"code", arg}, {"windowsVirtualKeyCode", enter ? 13 : 8},
                   {"nativeVirtualKeyCode", enter ? 13 : 8}};
        const auto released = co_await self->call("Input.dispatchKeyEvent", up);
        if (!released.error.empty()) co_return firstLine(released.error);
        // A key the page sent elsewhere on the way (its handler moved the focus) was kept from
        // it; the step says so. A page that went away with the key (a form sent) is no failure.
        const auto after = co_await self->evaluate("tavro.typed()");
        if (after.value && after.value->is_object() && after.value->value("error", json()).is_string()) {
            co_return after.value->at("error").get<std::string>();
        }
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
