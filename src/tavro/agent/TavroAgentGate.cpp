// User turns: the run publishes what it waits for, lights the glow in its waiting style and suspends
// on the gate until the user answers, a watcher sees the obstacle go away, or the run is stopped.
#include <chrono>

#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroPresenter.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroApproval.h"
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

TavroApproval TavroAgent::stepPolicy() const {
    return autoRun_.value() ? configuration.approval : TavroApproval::everyStep;
}

rt::Task<TavroReachWords> TavroAgent::reachOf(Life& life, const TavroAction& action, const TavroElement& element) {
    using Kind = TavroAction::Kind;
    const bool surfaceResolves = action.kind == Kind::click || action.kind == Kind::type || action.kind == Kind::select ||
                                 action.kind == Kind::paste || action.kind == Kind::swipe ||
                                 action.kind == Kind::longPress;
    TavroReach reach;
    if (surfaceResolves) {
        // The surface is asked as it will act: a paste types what it pastes.
        TavroAction acted = action;
        if (acted.kind == Kind::paste) acted.kind = Kind::type;
        const auto active = activeSurface_;
        reach = co_await life.await(active, active->reached(std::move(acted)));
    }
    co_return reachWords(action, element, reach);
}

rt::Task<TavroAgent::Gate> TavroAgent::gate(Life& life, const TavroAction& action, const TavroScreen& screen,
                                            TavroApproval policy) {
    Gate out;
    const TavroElement* element = action.id ? screen.element(*action.id) : nullptr;
    if (element && policy != TavroApproval::never) out.reached = co_await reachOf(life, action, *element);
    switch (policy) {
        case TavroApproval::everyStep: out.ask = true; break;
        case TavroApproval::never: out.ask = false; break;
        case TavroApproval::deleteOrPay:
            out.ask = action.kind == TavroAction::Kind::share ||
                      (element && out.reached && isDeleteOrPay(action, *element, *out.reached));
            break;
    }
    co_return out;
}

rt::Task<TavroAgent::Reread> TavroAgent::rereadApproved(Life& life, const TavroAction& action, const TavroScreen& asked,
                                                        const std::optional<TavroReachWords>& approved) {
    Reread out;
    const TavroElement* was = action.id ? asked.element(*action.id) : nullptr;
    if (!was) co_return out;
    const auto active = activeSurface_;
    out.screen = co_await life.await(active, active->snapshotAsync());
    const auto named = [](const TavroElement& e) { return e.label.empty() ? e.kind : e.label; };
    const std::string name = named(*was);
    if (!out.screen) {
        out.lapsed = L("failed: the screen could not be read again after the approval of “" + name + "”",
                       "failed: 「" + name + "」の承認後に画面を読み直せませんでした");
        co_return out;
    }
    // Element ids hold within one document: in another (a new page, a reload) the same id and name
    // may be another control altogether.
    if (out.screen->document != asked.document) {
        out.lapsed = pageChanged();
        co_return out;
    }
    const TavroElement* now = out.screen->element(*action.id);
    if (!now) {
        out.lapsed = L("failed: “" + name + "” is no longer on the screen", "failed: 「" + name + "」が画面からなくなりました");
    } else if (now->label != was->label) {
        const std::string reads = named(*now);
        out.lapsed = L("failed: “" + name + "” now reads “" + reads + "”",
                       "failed: 「" + name + "」の表示が「" + reads + "」に変わりました");
    } else if (now->kind != was->kind) {
        out.lapsed = L("failed: “" + name + "” is now a " + now->kind + ", not a " + was->kind,
                       "failed: 「" + name + "」が" + was->kind + "から" + now->kind + "に変わりました");
    } else if (approved) {
        // What the step reaches (the words drawn, the option picked, the action a swipe runs, the
        // button a submission presses) is read again too: the approval was for that.
        const TavroElement element = *now;
        const TavroReachWords reached = co_await reachOf(life, action, element);
        if (reached != *approved) {
            out.lapsed = L("failed: what “" + name + "” does changed while you were deciding",
                           "failed: 判断している間に「" + name + "」の動作が変わりました");
        }
    }
    co_return out;
}

std::string TavroAgent::pageChanged() {
    return L("failed: the page changed while you were deciding", "failed: 判断している間にページが変わりました");
}

}  // namespace tavro
