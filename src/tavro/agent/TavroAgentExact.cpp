// Exact test steps: one written step carried out by the rules engine alone, action by action, until
// the engine reports it done.
#include <chrono>

#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/models/TavroRules.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

using namespace std::chrono_literals;

// The step holds the agent while its code runs and lets go of it while it waits; an agent dropped
// meanwhile ends the step as stopped.
rt::Task<std::optional<std::string>> TavroAgent::performExact(std::string step) {
    std::optional<std::string> outcome;
    try {
        Life life(shared_from_this(), std::nullopt);
        outcome = co_await exactStep(life, std::move(step));
    } catch (const RunOver&) {
        outcome = L("Stopped.", "停止しました。");
    }
    co_return outcome;
}

rt::Task<std::optional<std::string>> TavroAgent::exactStep(Life& life, std::string step) {
    activeSurface_ = surface_;
    const auto native = surface_;
    TavroRules rules(step, native->routes(), false);
    const auto routes = rules.routes;

    constexpr int maxActions = 8;
    for (int taken = 0; taken < maxActions; ++taken) {
        if (co_await rt::isCancelled()) co_return L("Stopped.", "停止しました。");
        co_await life.await(native, native->settle());
        const auto screen = co_await life.await(native, native->snapshotAsync());
        if (!screen) co_return L("I couldn't read this screen.", "この画面を読み取れませんでした。");

        const TavroAction decided = rules.decide(*screen);
        using Kind = TavroAction::Kind;
        switch (decided.kind) {
            case Kind::done: co_return std::nullopt;
            case Kind::fail: co_return decided.text;
            case Kind::ask:
            case Kind::openWeb:
                co_return L("This step needs the model or a browser; write it as a plain-English test instead.",
                            "この手順はモデルかブラウザが必要です。");
            default: break;
        }
        const auto checked = TavroAction::validate(decided, *screen, routes);
        if (!checked.action) co_return checked.hint.value_or(L("That step doesn't fit this screen.", "この画面に合わない手順です。"));
        const TavroAction action = *checked.action;

        const std::string caption = action.describe(&*screen);
        currentStep_.set(caption);
        co_await point(life, action, caption);

        std::optional<std::string> failure;
        if (action.isLocalOperation()) {
            failure = co_await performOp(life, action, *screen);
        } else {
            failure = co_await life.await(native, native->perform(action));
            if (!failure) {
                const Effect effect = co_await verify(life, action, *screen);
                if (!effect.took) failure = effect.holds.value_or(L("no visible effect", "変化がありません"));
            }
        }
        if (failure) {
            add(caption, false, 0);
            co_return caption + ": " + *failure;
        }
        add(caption, true, 0);
        (void)co_await life.sleep(pacing::afterSurfaceAction);
    }
    co_return std::nullopt;
}

}  // namespace tavro
