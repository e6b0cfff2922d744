// The agent's object and the life of one run: starting it, the task that carries the loop,
// stopping it and the common end.
#include "tavro/agent/TavroAgent.h"

#include <chrono>
#include <cmath>

#include "platform/foundation/Console.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroAwake.h"
#include "tavro/agent/TavroPresenter.h"
#include "tavro/core/TavroModel.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/surfaces/TavroSurface.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro {

using namespace std::chrono_literals;

TavroAgent::TavroAgent(PassKey, std::shared_ptr<TavroSurface> surface, TavroConfiguration configuration,
                       std::shared_ptr<TavroMemory> memory)
    : configuration(std::move(configuration)),
      memory(std::move(memory)),
      surface_(std::move(surface)),
      activeSurface_(surface_),
      runID_(fnd::Uuid::random()) {
    // A change of autoRun during a run turns the glow on or off at once.
    autoRunReaction_ = autoRun_.didSet([this](const bool& value) {
        if (!running_.value()) return;
        if (auto shown = presenter.lock()) {
            shown->setGlow(value && this->configuration.showsGlow, prompt_.value().has_value());
        }
    });
    autoRun_.set(this->configuration.autoRun);
    engineName_.set(engineLabel());
}

std::shared_ptr<TavroAgent> TavroAgent::create(std::shared_ptr<TavroSurface> surface,
                                               TavroConfiguration configuration,
                                               std::shared_ptr<TavroMemory> memory) {
    return std::make_shared<TavroAgent>(PassKey{}, std::move(surface), std::move(configuration), std::move(memory));
}

// A run that is still going ends quietly: nothing is reported for an agent that is gone, but the
// app gets its idle timer back, and the run's task is cancelled and its gate opened so that its
// next wait finds the agent gone and unwinds.
TavroAgent::~TavroAgent() {
    if (runStarted_) TavroAwake::shared().release();
    if (task_) task_.cancel();
    if (auto gate = std::exchange(gate_, std::nullopt)) gate->resume(std::nullopt);
}

std::string TavroAgent::engineLabel() const {
    for (const auto& model : configuration.models) {
        if (model && model->isAvailable()) return model->name();
    }
    return L("Rules · no on-device model ready", "ルール · オンデバイスモデル未準備");
}

void TavroAgent::setAutoRun(bool value) {
    const auto keep = shared_from_this();
    autoRun_.set(value);
}

void TavroAgent::refreshEngine() {
    if (running_.value()) return;
    engineName_.set(engineLabel());
}

// Every published change may call into a host's observer, which may call run or stop again (or
// drop its last reference to the agent: `keep` holds it for the call). After each change the call
// returns at once when it has been overtaken: the later call has ended or started what it wanted.
void TavroAgent::run(std::string goal) { (void)start(std::move(goal)); }

rt::TaskHandle<void> TavroAgent::start(std::string goal) {
    const auto keep = shared_from_this();
    const auto call = ++calls_;
    end(std::nullopt);
    if (overtaken(call)) return {};

    status_.set(std::nullopt);
    if (overtaken(call)) return {};
    log_.set({});
    if (overtaken(call)) return {};
    currentStep_.set(std::nullopt);
    if (overtaken(call)) return {};
    plan_.set({});
    if (overtaken(call)) return {};
    planIndex_.set(0);
    if (overtaken(call)) return {};
    succeeded_.set(false);
    if (overtaken(call)) return {};

    activeSurface_ = surface_;
    webSurface_.reset();
    if (auto shown = presenter.lock()) shown->hideWeb();
    if (overtaken(call)) return {};

    const auto pack = TavroPacks::current();
    if (pack) goal = pack->rewrite(goal);
    std::string trimmed = TavroText::trim(goal);
    if (trimmed.empty()) return {};
    if (pack && pack->paused) {
        status_.set(L("Tavro is paused for this app right now.", "このアプリでは Tavro は一時停止中です。"));
        return {};
    }

    std::shared_ptr<TavroModel> first;
    for (const auto& model : configuration.models) {
        if (model && model->isAvailable()) {
            first = model;
            break;
        }
    }

    // The run is started before anything of it is published, so that whatever an observer does
    // meets a run that a stop ends properly.
    runStarted_ = rt::now();
    runEngine_ = TavroAnalytics::engine(first.get());
    runID_ = fnd::Uuid::random();
    task_ = rt::spawn(runTask(weak_from_this(), trimmed, runID_));
    const auto started = task_;
    try {
        TavroAnalytics::log("run_start", {{"engine", runEngine_},
                                          {"repeat", repeatCount(trimmed).has_value()},
                                          {"auto", autoRun_.value()}});
        if (overtaken(call)) return started;
        TavroAwake::shared().hold();
        goal_.set(std::move(trimmed));
        if (overtaken(call)) return started;
        running_.set(true);
        if (overtaken(call)) return started;
        if (auto shown = presenter.lock()) shown->setGlow(autoRun_.value() && configuration.showsGlow, false);
    } catch (const std::exception& e) {
        // A host's code failed while the run was being announced: the run ends as a failure.
        if (overtaken(call)) return started;
        failRun(e.what());
        if (!overtaken(call)) end(std::nullopt);
    }
    return started;
}

rt::Task<void> TavroAgent::runTask(std::weak_ptr<TavroAgent> weak, std::string goal, fnd::Uuid id) {
    // Whatever a run throws (the memory, a host's model, surface or observer) ends it here as a
    // failure; RunOver only says that the run is over already.
    std::optional<std::string> failure;
    try {
        rt::Task<void> loop;
        {
            auto self = weak.lock();
            if (!self) co_return;
            loop = self->loop(self, std::move(goal), id);
        }
        co_await std::move(loop);
    } catch (const RunOver&) {
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "";
    }
    auto self = weak.lock();
    if (!self || self->runID_ != id) co_return;
    const auto call = self->calls_;
    if (failure) self->failRun(*failure);
    if (!self->overtaken(call) && self->runID_ == id) self->finish();
}

std::string TavroAgent::failureStatus(std::string_view reason) {
    const std::string why(reason);
    if (why.empty()) return L("Something went wrong, so I stopped.", "問題が発生したため停止しました。");
    return L("Something went wrong, so I stopped: " + why, "問題が発生したため停止しました: " + why);
}

void TavroAgent::failRun(std::string_view reason) {
    const std::string why(reason);
    TavroDebug::shared()->log("act", "run failed: " + why, false);
    const auto call = calls_;
    succeeded_.set(false);
    if (overtaken(call)) return;
    status_.set(failureStatus(why));
    if (overtaken(call)) return;
    fnd::Console::write("[TAVRO_SDK] fail " + status_.value().value_or(""));
}

void TavroAgent::stop(std::optional<std::string> note) {
    const auto keep = shared_from_this();
    ++calls_;
    // A run stopped at the plan's question ends saying what it needed, whatever the stop's note.
    if (questionStop_) note = *questionStop_;
    end(std::move(note));
}

// Ends the current run, if any: the run's task is cancelled and superseded, a pending user turn
// gets no answer, then the common end.
void TavroAgent::end(std::optional<std::string> note) {
    const auto call = calls_;
    runID_ = fnd::Uuid::random();
    questionStop_.reset();
    if (task_) {
        task_.cancel();
        task_ = {};
    }
    releaseGate();
    if (overtaken(call)) return;
    if (note) status_.set(std::move(note));
    if (overtaken(call)) return;
    finish();
}

// The common end of a run. The idle timer is given back before `running` turns false, so that an
// observer that starts the next run from that change holds it anew.
void TavroAgent::finish() {
    const auto call = calls_;
    if (auto started = std::exchange(runStarted_, std::nullopt)) {
        std::int64_t steps = 0;
        std::int64_t failed = 0;
        for (const auto& line : log_.value()) {
            if (!line.ok) {
                ++failed;
            } else if (!line.text.starts_with("✓") && !line.text.starts_with("🧠")) {
                ++steps;
            }
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(rt::now() - *started);
        TavroAnalytics::log("run_end", {{"ok", succeeded_.value()},
                                        {"engine", runEngine_},
                                        {"steps", steps},
                                        {"failed_steps", failed},
                                        {"duration_ms", static_cast<std::int64_t>(elapsed.count())},
                                        {"planned", reasoning_.value().has_value()}});
        if (overtaken(call)) return;
    }
    TavroAwake::shared().release();
    running_.set(false);
    if (overtaken(call)) return;
    prompt_.set(std::nullopt);
    if (overtaken(call)) return;
    currentStep_.set(std::nullopt);
    if (overtaken(call)) return;
    if (auto shown = presenter.lock()) {
        shown->setGlow(false, false);
        rt::spawn(hideCursorLater(std::move(shown)));
    }
}

rt::Task<void> TavroAgent::hideCursorLater(std::shared_ptr<TavroPresenter> presenter) {
    (void)co_await rt::sleep(pacing::hidePointer);
    presenter->hideCursor();
}

// ---- Waiting for a run ----

rt::Task<TavroRunReport> TavroAgent::runAndWait(std::string goal, double timeout) {
    const auto weak = weak_from_this();
    // The timer ends with this wait, however it ends.
    struct Timer {
        rt::TaskHandle<void> handle;
        ~Timer() { handle.cancel(); }
    } timer;
    std::optional<std::string> failure;
    try {
        const auto handle = start(std::move(goal));
        if (!handle) {
            co_return TavroRunReport{.ok = false, .status = L("Nothing to do.", "実行する内容がありません。")};
        }
        // An endless timeout (positive infinity) sets no timer at all.
        if (!(std::isinf(timeout) && timeout > 0)) timer.handle = rt::spawn(timeoutTask(weak, timeout));
        co_await handle.join();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "";
    }
    timer.handle.cancel();

    TavroRunReport report;
    if (weak.expired()) co_return report;
    report.ok = succeeded_.value();
    report.status = status_.value().value_or("");
    if (failure) {
        // The host's code failed outside the run's own task (while it was started or ended).
        report.ok = false;
        report.status = failureStatus(*failure);
    }
    for (const auto& line : log_.value()) {
        report.steps.push_back({line.text, line.ok});
        report.ms.push_back(line.ms);
    }
    co_return report;
}

rt::Task<void> TavroAgent::timeoutTask(std::weak_ptr<TavroAgent> weak, double timeout) {
    // A timeout that is not a finite number counts as 0 s (the floor applies); a huge one is held
    // below what the clock can count.
    const double seconds = std::isfinite(timeout) ? std::min(timeout, 1e9) : 0.0;
    const double wait = std::max(seconds, 5.0);
    (void)co_await rt::sleep(std::chrono::duration_cast<rt::Duration>(std::chrono::duration<double>(wait)));
    if (co_await rt::isCancelled()) co_return;
    auto self = weak.lock();
    if (!self) co_return;
    const auto n = std::to_string(static_cast<std::int64_t>(std::trunc(seconds)));
    self->stop(L("Timed out after " + n + " s.", n + "秒でタイムアウトしました。"));
}

std::string_view TavroAgent::sourceName(Source source) {
    switch (source) {
        case Source::recipe: return "recipe";
        case Source::rules: return "rules";
        case Source::model: return "model";
        case Source::agent: break;
    }
    return "";
}

}  // namespace tavro
