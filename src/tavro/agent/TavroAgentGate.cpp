// User turns: the run publishes what it waits for, lights the glow in its waiting style and suspends
// on the gate until the user answers, a watcher sees the obstacle go away, or the run is stopped.
#include <chrono>

#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroPresenter.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

using namespace std::chrono_literals;

// The gate is in place before the prompt is published, so that an answer given at any moment after
// (even by an observer of the prompt, inside its publication) reaches this wait.
rt::Task<std::optional<std::string>> TavroAgent::wait(Life& life, Prompt prompt) {
    life.check();
    rt::Continuation<std::optional<std::string>> gate;
    gate_ = gate;
    prompt_.set(std::move(prompt));
    life.check();
    if (!gate.isResumed()) {
        if (auto shown = presenter.lock()) shown->setGlow(autoRun_.value() && configuration.showsGlow, true);
    }
    auto value = co_await life.await(gate);
    prompt_.set(std::nullopt);
    life.check();
    if (co_await rt::isCancelled()) co_return std::nullopt;
    co_return value;
}

// A stop ends a pending user turn with no answer. The refusal of a pending approval is reported
// here, when the gate opens, so that it comes before the run's end.
void TavroAgent::releaseGate() {
    auto gate = std::exchange(gate_, std::nullopt);
    if (!gate) return;
    const auto& pending = prompt_.value();
    if (pending && pending->kind() == Prompt::Case::approve) TavroAnalytics::log("approval", {{"approved", false}});
    gate->resume(std::nullopt);
}

void TavroAgent::resume(std::string text) {
    auto gate = std::exchange(gate_, std::nullopt);
    const auto pending = prompt_.value();
    prompt_.set(std::nullopt);
    if (auto shown = presenter.lock()) {
        shown->setGlow(running_.value() && autoRun_.value() && configuration.showsGlow, false);
    }
    if (!gate) return;
    if (pending && pending->kind() == Prompt::Case::approve) {
        TavroAnalytics::log("approval", {{"approved", !(task_ && task_.isCancelled())}});
    }
    gate->resume(std::move(text));
}

void TavroAgent::approve() {
    const auto keep = shared_from_this();
    resume("");
}

void TavroAgent::answer(std::string_view text) {
    const auto keep = shared_from_this();
    resume(TavroText::trim(text));
}

rt::Task<void> TavroAgent::systemPromptWatcher(std::weak_ptr<TavroAgent> weak) {
    for (;;) {
        if (co_await rt::isCancelled()) co_return;
        {
            auto self = weak.lock();
            if (!self) co_return;
            if (!self->activeSurface_->systemAlertShowing()) break;
        }
        (void)co_await rt::sleep(pacing::watcherPoll);
    }
    if (co_await rt::isCancelled()) co_return;
    if (auto self = weak.lock()) self->resume("");
}

rt::Task<void> TavroAgent::photoPickerWatcher(std::weak_ptr<TavroAgent> weak) {
    for (;;) {
        if (co_await rt::isCancelled()) co_return;
        {
            auto self = weak.lock();
            if (!self) co_return;
            if (!self->photoPickerShowing()) break;
        }
        (void)co_await rt::sleep(pacing::watcherPoll);
    }
    if (co_await rt::isCancelled()) co_return;
    if (auto self = weak.lock()) self->resume("");
}

}  // namespace tavro
