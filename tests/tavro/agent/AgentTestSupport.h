// What the agent's tests share: a virtual-time main actor, a presenter that records its calls
// (pointing takes 600 ms and captions 300 ms of virtual time), a scriptable surface, host text
// models with scripted replies, and an analytics sink that keeps every event.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/PreferredLanguages.h"
#include "platform/objc/Runtime.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAwake.h"
#include "tavro/agent/TavroConfiguration.h"
#include "tavro/agent/TavroPresenter.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/diagnostics/TavroLog.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/models/TextTavroModel.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro::agenttest {

using namespace std::chrono_literals;

inline std::int64_t msSince(rt::Instant start, rt::Instant end) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
}

// ---- Presenter ----

class RecordingPresenter : public TavroPresenter {
public:
    struct Call {
        std::string name;  // "glow", "point", "say", "tap", "hideCursor", "collapse", "showWeb", "hideWeb"
        std::string text;
        TavroRect rect;
        bool visible = false;
        bool waiting = false;
        rt::Instant at;
    };
    std::vector<Call> calls;
    std::shared_ptr<WebSurface> web;

    void setGlow(bool visible, bool waiting) override {
        calls.push_back({.name = "glow", .visible = visible, .waiting = waiting, .at = rt::now()});
    }
    rt::Task<void> point(TavroRect at, std::string label) override {
        calls.push_back({.name = "point", .text = label, .rect = at, .at = rt::now()});
        (void)co_await rt::sleep(600ms);
    }
    rt::Task<void> say(std::string text) override {
        calls.push_back({.name = "say", .text = text, .at = rt::now()});
        (void)co_await rt::sleep(300ms);
    }
    rt::Task<void> tap() override {
        calls.push_back({.name = "tap", .at = rt::now()});
        co_return;
    }
    void hideCursor() override { calls.push_back({.name = "hideCursor", .at = rt::now()}); }
    void collapse() override { calls.push_back({.name = "collapse", .at = rt::now()}); }
    WebPage showWeb() override {
        calls.push_back({.name = "showWeb", .at = rt::now()});
        return {web, ui::Point{0, 44}};
    }
    void hideWeb() override { calls.push_back({.name = "hideWeb", .at = rt::now()}); }

    std::vector<std::string> texts(std::string_view name) const {
        std::vector<std::string> out;
        for (const auto& call : calls)
            if (call.name == name) out.push_back(call.text);
        return out;
    }
    int count(std::string_view name) const {
        int n = 0;
        for (const auto& call : calls) n += call.name == name;
        return n;
    }
    const Call* last(std::string_view name) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->name == name) return &*it;
        return nullptr;
    }
};

// Points and speaks without the on-screen pauses: the page and the agent's own pacing are real.
class QuickPresenter : public RecordingPresenter {
public:
    rt::Task<void> point(TavroRect at, std::string label) override {
        calls.push_back({.name = "point", .text = std::move(label), .rect = at, .at = rt::now()});
        co_return;
    }
    rt::Task<void> say(std::string text) override {
        calls.push_back({.name = "say", .text = std::move(text), .at = rt::now()});
        co_return;
    }
};

// ---- Surface ----

inline TavroElement element(std::int64_t id, std::string kind, std::string label, std::string value = "") {
    return TavroElement{.id = id,
                        .kind = std::move(kind),
                        .label = std::move(label),
                        .value = std::move(value),
                        .inView = true,
                        .frame = TavroRect{10, 100.0 + 50.0 * static_cast<double>(id), 200, 40}};
}

// A surface over a screen the test writes. Performing runs the test's handler (by default a
// success that changes nothing); every reading is timed.
class FakeSurface : public TavroSurface {
public:
    using Handler = std::function<std::optional<std::string>(const TavroAction&, TavroScreen&)>;

    TavroScreen screen;
    Handler onPerform;
    std::vector<TavroAction> performed;
    std::vector<rt::Instant> performedAt;
    std::vector<rt::Instant> readings;
    std::vector<std::string> routeNames;
    bool alert = false;
    bool unreadable = false;
    int settles = 0;

    std::string surfaceDescription() const override { return "the test app"; }
    std::vector<std::string> routes() const override { return routeNames; }
    bool systemAlertShowing() const override { return alert; }
    rt::Task<void> settle() override {
        ++settles;
        co_return;
    }
    std::optional<TavroScreen> snapshot() override {
        if (unreadable) return std::nullopt;
        return screen;
    }
    rt::Task<std::optional<TavroScreen>> snapshotAsync() override {
        readings.push_back(rt::now());
        co_return snapshot();
    }
    rt::Task<std::optional<std::string>> perform(TavroAction action) override {
        performed.push_back(action);
        performedAt.push_back(rt::now());
        if (onPerform) co_return onPerform(action, screen);
        co_return std::nullopt;
    }
    std::optional<TavroRect> frame(std::int64_t id) const override {
        if (const auto* found = screen.element(id)) return found->frame;
        return std::nullopt;
    }

    // How often an action of that kind was performed.
    int count(TavroAction::Kind kind) const {
        int n = 0;
        for (const auto& a : performed) n += a.kind == kind;
        return n;
    }
};

// ---- Models ----

// Replies a scripted host model gives: one queue for step decisions, one for reasoning (think).
// An empty queue answers `otherwise` (nothing by default). Every prompt is kept.
struct Script {
    std::deque<std::optional<std::string>> replies;
    std::deque<std::optional<std::string>> thoughts;
    std::optional<std::string> otherwise;
    std::vector<std::pair<std::string, std::string>> prompts;      // decide prompts (system, user)
    std::vector<std::pair<std::string, std::string>> thinkPrompts;  // reasoning prompts
    rt::Duration latency{0};
    bool available = true;
    // When set, step decisions come from it (given the user prompt) instead of the queue.
    std::function<std::optional<std::string>(const std::string& user)> decider;

    int decideCalls() const { return static_cast<int>(prompts.size()); }
};

inline rt::Task<std::optional<std::string>> scriptedAnswer(std::shared_ptr<Script> script, std::string system,
                                                           std::string user) {
    const bool reasoning = system.starts_with("You plan how to complete");
    (reasoning ? script->thinkPrompts : script->prompts).emplace_back(system, user);
    if (script->latency > rt::Duration::zero()) (void)co_await rt::sleep(script->latency);
    if (!reasoning && script->decider) co_return script->decider(user);
    auto& queue = reasoning ? script->thoughts : script->replies;
    if (queue.empty()) co_return reasoning ? std::nullopt : script->otherwise;
    auto reply = std::move(queue.front());
    queue.pop_front();
    co_return reply;
}

inline std::shared_ptr<TextTavroModel> scriptedModel(std::string name, std::shared_ptr<Script> script,
                                                     TavroContextBudget budget = TavroContextBudget::large) {
    return std::make_shared<TextTavroModel>(
        std::move(name), budget, [script] { return script->available; },
        [script](std::string system, std::string user) {
            return scriptedAnswer(script, std::move(system), std::move(user));
        });
}

inline std::string reply(std::string_view action, std::optional<std::int64_t> id = std::nullopt,
                         std::string_view text = "", bool submit = false) {
    std::string out = R"({"thought":"","action":")" + std::string(action) + "\"";
    out += ",\"id\":" + std::to_string(id ? *id : -1);
    out += ",\"text\":\"" + std::string(text) + "\"";
    out += std::string(",\"submit\":") + (submit ? "true" : "false") + "}";
    return out;
}

// The id of the element listed in a user prompt with that label, or nothing.
inline std::optional<std::int64_t> idIn(const std::string& user, std::string_view label) {
    const std::string quoted = "\"" + std::string(label) + "\"";
    std::size_t start = 0;
    while (start < user.size()) {
        auto end = user.find('\n', start);
        if (end == std::string::npos) end = user.size();
        const std::string_view line(user.data() + start, end - start);
        if (line.starts_with("[") && line.find(quoted) != std::string_view::npos) {
            return std::stoll(std::string(line.substr(1, line.find(']') - 1)));
        }
        start = end + 1;
    }
    return std::nullopt;
}

// ---- Fixture ----

class AgentTest : public ::testing::Test {
protected:
    struct Event {
        std::string name;
        TavroAnalytics::Parameters parameters;
    };

    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    fnd::Console::Capture console{false};
    std::vector<Event> events;
    std::vector<std::shared_ptr<TavroAgent>> agents;

    void SetUp() override {
        fnd::AppDirectories::useFreshTemporaryRoot();
        fnd::PreferredLanguages::setOverride(std::vector<std::string>{"en-US"});
        TavroAnalytics::reset();
        TavroAnalytics::setSink([this](const std::string& name, const TavroAnalytics::Parameters& parameters) {
            events.push_back({name, parameters});
        });
        TavroPacks::reset();
        TavroDebug::reset();
        TavroDebug::shared()->enabled.set(true);
        TavroLog::reset();
        TavroLog::setRecording(true);
        TavroAwake::shared().reset();
        objc::Runtime::reset();
    }

    void TearDown() override {
        EXPECT_EQ(count("run_start"), count("run_end")) << "every run_start has its run_end";
        for (const auto& agent : agents) agent->stop();
        agents.clear();
        actor->runFor(5s);
        TavroAnalytics::reset();
        TavroPacks::reset();
        TavroDebug::reset();
        TavroLog::reset();
        TavroAwake::shared().reset();
        objc::Runtime::reset();
        fnd::PreferredLanguages::reset();
        fnd::AppDirectories::reset();
    }

    std::shared_ptr<TavroMemory> freshMemory() {
        return std::make_shared<TavroMemory>(fnd::AppDirectories::applicationSupport() / "TavroSDK" / "recipes.json");
    }

    static TavroConfiguration configuration(std::vector<std::shared_ptr<TavroModel>> models = {}) {
        TavroConfiguration c;
        c.models = std::move(models);
        return c;
    }
    // The same, with no step waiting for approval (tapping Send would).
    static TavroConfiguration unattended(std::vector<std::shared_ptr<TavroModel>> models = {}) {
        auto c = configuration(std::move(models));
        c.approval = TavroApproval::never;
        return c;
    }

    std::shared_ptr<TavroAgent> makeAgent(std::shared_ptr<TavroSurface> surface, TavroConfiguration c,
                                          std::shared_ptr<TavroMemory> memory = nullptr) {
        if (!memory) memory = freshMemory();
        auto agent = TavroAgent::create(std::move(surface), std::move(c), std::move(memory));
        agents.push_back(agent);
        return agent;
    }

    TavroRunReport runGoal(const std::shared_ptr<TavroAgent>& agent, std::string goal, double timeout = 600) {
        auto report = rt::runToEnd(actor, agent->runAndWait(std::move(goal), timeout));
        EXPECT_TRUE(report.has_value()) << "the run ended";
        return report.value_or(TavroRunReport{});
    }

    // Runs the actor until the predicate holds (at most an hour of virtual time).
    bool runUntil(const std::function<bool()>& done) { return actor->runUntil(done, std::chrono::hours(1)); }

    int count(std::string_view name) const {
        int n = 0;
        for (const auto& e : events) n += e.name == "tavro_" + std::string(name);
        return n;
    }
    const Event* lastEvent(std::string_view name) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->name == "tavro_" + std::string(name)) return &*it;
        return nullptr;
    }
    std::vector<std::string> eventNames() const {
        std::vector<std::string> out;
        for (const auto& e : events) out.push_back(e.name);
        return out;
    }
    static std::int64_t integer(const Event* event, const std::string& key) {
        if (!event) return -1;
        const auto it = event->parameters.find(key);
        if (it == event->parameters.end()) return -1;
        const auto* v = std::get_if<std::int64_t>(&it->second);
        return v ? *v : -1;
    }
    static std::string text(const Event* event, const std::string& key) {
        if (!event) return {};
        const auto it = event->parameters.find(key);
        if (it == event->parameters.end()) return {};
        const auto* v = std::get_if<std::string>(&it->second);
        return v ? *v : std::string();
    }

    std::vector<std::string> debug(std::string_view tag) const {
        std::vector<std::string> out;
        for (const auto& entry : TavroDebug::shared()->entries.value())
            if (entry.tag == tag) out.push_back(entry.text);
        return out;
    }

    static std::vector<std::string> logTexts(const TavroAgent& agent) {
        std::vector<std::string> out;
        for (const auto& line : agent.log().value()) out.push_back(line.text);
        return out;
    }
};

// A chat screen: typing fills Message, Send shows what was sent.
inline std::shared_ptr<FakeSurface> chatScreen() {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Chat",
                                  .title = "Chat",
                                  .elements = {element(1, "input", "Message"), element(2, "button", "Send")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::type && a.id == 1) s.elements[0].value = a.text;
        if (a.kind == TavroAction::Kind::click && a.id == 2) s.text = "sent " + s.elements[0].value;
        return std::nullopt;
    };
    return surface;
}

// A shop screen: Buy needs approval (it pays); Save does not. A tap shows what was tapped.
inline std::shared_ptr<FakeSurface> shopScreen() {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Shop",
                                  .title = "Shop",
                                  .elements = {element(1, "button", "Buy"), element(2, "button", "Save")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::click && a.id) s.title = "Tapped " + std::to_string(*a.id);
        return std::nullopt;
    };
    return surface;
}

// An application object registered under the platform's name, as the idle-timer hold finds it.
struct StandInApplication {
    objc::ObjectPtr object = objc::Object::make("UIApplication");

    void install(bool idleTimerDisabled) {
        object->setValue(idleTimerDisabled, "idleTimerDisabled");
        auto cls = objc::Object::make("UIApplication");
        auto app = object;
        cls->method("sharedApplication", [app](objc::Object&, const objc::Args&) { return objc::Value(app); });
        objc::Runtime::registerClass(cls);
    }
    bool idleTimerDisabled() const { return object->valueForKey("idleTimerDisabled")->boolean().value_or(false); }
};

}  // namespace tavro::agenttest
