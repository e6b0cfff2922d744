// The agent's object and the life of one run: starting it, the task that carries the loop,
// stopping it and the common end.
#include "tavro/agent/TavroAgent.h"

#include <chrono>
#include <cmath>

#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroAwake.h"
#include "tavro/agent/TavroPresenter.h"
#include "tavro/core/TavroModel.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/models/AppleIntelligenceModel.h"
#include "tavro/models/TavroDownloadableModel.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/surfaces/TavroSurface.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro {

using namespace std::chrono_literals;

TavroAgent::TavroAgent(std::shared_ptr<TavroSurface> surface, TavroConfiguration configuration,
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
    return std::make_shared<TavroAgent>(std::move(surface), std::move(configuration), std::move(memory));
}

// A run waiting on the gate is let go, so that its loop sees the agent gone and ends.
TavroAgent::~TavroAgent() {
    if (auto gate = std::exchange(gate_, std::nullopt)) gate->resume(std::nullopt);
}

std::string TavroAgent::engineLabel() const {
    for (const auto& model : configuration.models) {
        if (model && model->isAvailable()) return model->name();
    }
    return L("Rules · no on-device model ready", "ルール · オンデバイスモデル未準備");
}

void TavroAgent::setAutoRun(bool value) { autoRun_.set(value); }

void TavroAgent::refreshEngine() {
    if (running_.value()) return;
    engineName_.set(engineLabel());
}

void TavroAgent::run(std::string goal) {
    stop();

    status_.set(std::nullopt);
    log_.set({});
    currentStep_.set(std::nullopt);
    plan_.set({});
    planIndex_.set(0);
    succeeded_.set(false);

    activeSurface_ = surface_;
    webSurface_.reset();
    if (auto shown = presenter.lock()) shown->hideWeb();

    const auto pack = TavroPacks::current();
    if (pack) goal = pack->rewrite(goal);
    std::string trimmed = TavroText::trim(goal);
    if (trimmed.empty()) return;
    if (pack && pack->paused) {
        status_.set(L("Tavro is paused for this app right now.", "このアプリでは Tavro は一時停止中です。"));
        return;
    }

    goal_.set(trimmed);
    running_.set(true);
    runStarted_ = rt::now();

    std::shared_ptr<TavroModel> first;
    for (const auto& model : configuration.models) {
        if (model && model->isAvailable()) {
            first = model;
            break;
        }
    }
    runEngine_ = engine(first.get());
    TavroAnalytics::log("run_start", {{"engine", runEngine_},
                                      {"repeat", repeatCount(trimmed).has_value()},
                                      {"auto", autoRun_.value()}});
    TavroAwake::shared().hold();
    if (auto shown = presenter.lock()) shown->setGlow(autoRun_.value() && configuration.showsGlow, false);

    runID_ = fnd::Uuid::random();
    task_ = rt::spawn(runTask(weak_from_this(), std::move(trimmed), runID_));
}

rt::Task<void> TavroAgent::runTask(std::weak_ptr<TavroAgent> weak, std::string goal, fnd::Uuid id) {
    rt::Task<void> loop;
    {
        auto self = weak.lock();
        if (!self) co_return;
        loop = self->loop(std::move(goal), id);
    }
    co_await std::move(loop);
    if (auto self = weak.lock(); self && self->runID_ == id) self->finish();
}

void TavroAgent::stop(std::optional<std::string> note) {
    runID_ = fnd::Uuid::random();
    if (task_) {
        task_.cancel();
        task_ = {};
    }
    releaseGate();
    if (note) status_.set(std::move(note));
    finish();
}

void TavroAgent::finish() {
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
    }
    running_.set(false);
    prompt_.set(std::nullopt);
    currentStep_.set(std::nullopt);
    TavroAwake::shared().release();
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
    run(std::move(goal));
    if (!task_) {
        co_return TavroRunReport{.ok = false, .status = L("Nothing to do.", "実行する内容がありません。")};
    }
    const auto handle = task_;
    rt::TaskHandle<void> timer;
    // An endless timeout (positive infinity) sets no timer at all.
    if (!(std::isinf(timeout) && timeout > 0)) timer = rt::spawn(timeoutTask(weak, timeout));
    co_await handle.join();
    if (timer) timer.cancel();

    TavroRunReport report;
    if (weak.expired()) co_return report;
    report.ok = succeeded_.value();
    report.status = status_.value().value_or("");
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

std::string TavroAgent::engine(const TavroModel* model) {
    if (!model) return "rules";
    if (dynamic_cast<const AppleIntelligenceModel*>(model)) return "apple";
    if (dynamic_cast<const TavroDownloadableModel*>(model)) return "local";
    return "model";
}

}  // namespace tavro
