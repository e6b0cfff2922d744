// Choosing a turn's one next action: the replayed recipe, then the rules engine, then the models in
// their configured order (each asked once more, with half the screen, when its reply is missing or
// invalid); when nothing usable comes, the completion check, the corrective turns and the single
// corrective scroll, else giving up.
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroPrompt.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/surfaces/TavroSurface.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro {

rt::Task<TavroAgent::Choice> TavroAgent::choose(Run& run, const TavroScreen& screen) {
    std::optional<TavroAction> rulesFailure;

    if (run.replay && !run.replayDropped) {
        auto action = replayStep(run, screen);
        // A replayed step passes the same check as a model's: a recipe file is input like any reply.
        if (action) action = TavroAction::validate(*action, screen, run.routes).action;
        if (action && run.usable(*action, screen)) {
            engineName_.set(L("Learned · on-device", "学習済み · オンデバイス"));
            run.life.check();
            co_return Choice{std::move(action), Source::recipe};
        }
    }

    {
        TavroAction action = run.rules->decide(screen);
        if (action.kind != TavroAction::Kind::fail) {
            if (run.usable(action, screen)) {
                if (run.models.empty()) engineName_.set(L("Rules · on-device", "ルール · オンデバイス"));
                run.life.check();
                co_return Choice{std::move(action), Source::rules};
            }
            // The engine's step for its clause is one that already failed here: with no model to
            // try another way, that clause cannot be carried out, and the later ones build on it.
            if (run.models.empty() && run.stepFailed) co_return Choice{failedStepAction(run), Source::agent};
        } else {
            rulesFailure = std::move(action);
        }
    }

    for (const auto& model : run.models) {
        auto action = co_await decide(run, model, screen);
        if (action && run.usable(*action, screen)) {
            engineName_.set(model->name());
            run.life.check();
            co_return Choice{std::move(action), Source::model};
        }
        if (co_await rt::isCancelled()) co_return Choice{};
    }

    // Nothing usable from any source.
    if (finishIfDone(run, screen, "no next step")) {
        co_await say(run.life, "✓ " + status_.value().value_or(""));
        co_return Choice{};
    }

    if (!run.models.empty() && run.misses <= 1) {
        run.history.push_back(
            "Your last reply wasn't a usable action. Look at ELEMENTS again; if the goal is already complete, reply "
            "done.");
        if (!run.scrolledOnce) {
            const bool scrolled = co_await correctiveScroll(run);
            TavroDebug::shared()->log("decide", "no usable step; retrying (" + std::to_string(run.misses + 1) + ")",
                                      false);
            run.scrolledOnce = scrolled;
        } else {
            TavroDebug::shared()->log("decide", "no usable step; retrying (" + std::to_string(run.misses + 1) + ")",
                                      false);
        }
        run.misses += 1;
        co_return Choice{.flow = Flow::nextTurn};
    }

    if (!run.scrolledOnce) {
        const bool scrolled = co_await correctiveScroll(run);
        if (scrolled) {
            if (run.models.empty() && run.rules->lastFailed) {
                auto& clauses = run.rules->clauses;
                clauses.insert(clauses.begin(), *run.rules->lastFailed);
                run.rules->lastFailed.reset();
            }
            TavroDebug::shared()->log("decide", "nothing matched; scrolled to look further", false);
            run.scrolledOnce = true;
            co_return Choice{.flow = Flow::nextTurn};
        }
    }

    if (run.models.empty() && rulesFailure) co_return Choice{std::move(rulesFailure), Source::agent};
    co_return Choice{TavroAction{.kind = TavroAction::Kind::fail,
                                 .text = L("I couldn't find the next control.", "次の操作先が見つかりませんでした。")},
                     Source::agent};
}

namespace {

// Whether the rules engine's action is the replayed one: the same kind on the same element, with
// the same text as a choice reads it.
bool sameStep(const TavroAction& a, const TavroAction& b) {
    return a.kind == b.kind && a.id == b.id && TavroText::fold(a.text) == TavroText::fold(b.text);
}

}  // namespace

std::optional<TavroAction> TavroAgent::replayStep(Run& run, const TavroScreen& screen) {
    const auto& steps = run.replay->steps;
    run.replayRules.reset();
    while (run.replayCursor < steps.size()) {
        const auto& step = steps[run.replayCursor];
        auto action = step.action(screen, run.replayValues);
        if (!action) return std::nullopt;
        // The rules engine follows the replay when it would take the same step here.
        TavroRules follower = *run.rules;
        if (sameStep(follower.decide(screen), *action)) run.replayRules = std::move(follower);
        // A checkbox tap holds a state only when the goal asks one; a tap goal taps.
        if (!step.holds(*action, screen, wantedState(run, *action, screen))) return action;
        // Already as the step would leave it (the screen already open, a switch already on, a
        // field already filled): done without acting, as the rules engine leaves a box already in
        // the wanted state.
        TavroDebug::shared()->log("replay", "already set: " + action->describe(&screen), true);
        if (run.replayRules) *run.rules = std::move(*run.replayRules);
        run.replayRules.reset();
        run.replayCursor += 1;
        advancePlan();
    }
    // Every step of the recipe took effect, or already held: the goal is reached as when learned,
    // unless the rules engine, having followed the replay, still reads a clause to carry out.
    if (steps.empty() || run.replayLent) return std::nullopt;
    if (run.replayFollowed) {
        TavroRules follower = *run.rules;
        const auto next = follower.decide(screen).kind;
        if (next != TavroAction::Kind::done && next != TavroAction::Kind::fail) return std::nullopt;
    }
    return TavroAction{.kind = TavroAction::Kind::done};
}

std::optional<bool> TavroAgent::wantedState(const Run& run, const TavroAction& action, const TavroScreen& screen) {
    if (action.kind != TavroAction::Kind::click || !action.id) return std::nullopt;
    return run.rules->wantedState(run.workingGoal, *action.id, screen);
}

void TavroAgent::replayTookEffect(Run& run, Source source) {
    if (!run.replay || run.replayDropped || run.replayCursor >= run.replay->steps.size()) return;
    if (source == Source::recipe) {
        if (run.replayRules) *run.rules = std::move(*run.replayRules);
        else run.replayFollowed = false;
    } else {
        run.replayLent = true;
    }
    run.replayRules.reset();
    run.replayCursor += 1;
}

rt::Task<void> TavroAgent::awaitDrawn(Run& run, std::optional<TavroScreen>& screen) {
    const auto web = webSurface_;
    if (!web || activeSurface_ != web) co_return;
    // Whether the replay or the rules engine has a next step on this screen (the engine's clause
    // names an element that is there), tried on a copy so that nothing of the run moves. An engine
    // that handed the goal to the models has no step of its own to wait for.
    const auto ready = [&run](const TavroScreen& on) {
        if (run.replay && !run.replayDropped && run.replayCursor < run.replay->steps.size() &&
            run.replay->steps[run.replayCursor].action(on, run.replayValues))
            return true;
        if (run.rules->handedOff) return true;
        TavroRules trial = *run.rules;
        return trial.decide(on).kind != TavroAction::Kind::fail;
    };
    while (screen && !ready(*screen)) {
        const bool changed = co_await run.life.await(web, web->drawsMore());
        if (changed) co_await run.life.await(web, web->settle());
        auto again = co_await run.life.await(web, web->snapshotAsync());
        if (!again) co_return;
        screen = std::move(again);
        // A quiet page was read once more for what drew meanwhile; it is not waited for again.
        if (!changed) co_return;
    }
}

rt::Task<bool> TavroAgent::correctiveScroll(Run& run) {
    // Built before the await: a braced temporary handed to a coroutine inside co_await is
    // miscompiled by GCC 12.
    TavroAction down{.kind = TavroAction::Kind::scroll, .text = "down", .submit = false};
    const auto failure = co_await run.life.await(activeSurface_, activeSurface_->perform(std::move(down)));
    co_return !failure.has_value();
}

rt::Task<std::optional<TavroAction>> TavroAgent::decide(Run& run, const std::shared_ptr<TavroModel>& model,
                                                        const TavroScreen& screen) {
    const auto keep = model;
    const std::string& goal = run.workingGoal;
    const std::vector<std::string>& history = run.history;
    const std::vector<std::string>& known = run.known;
    const std::vector<std::string>& routes = run.routes;
    TavroContextBudget budget = keep->budget();
    std::string system = TavroPrompt::system(activeSurface_->surfaceDescription(), keep->wantsJSONInstructions(), routes);
    std::string user = TavroPrompt::user(goal, screen, history, budget, known, routes);
    bool retried = false;
    for (;;) {
        auto reply = co_await run.life.await(keep->decide(system, user));
        if (co_await rt::isCancelled()) co_return std::nullopt;

        std::optional<std::string> reason;
        if (!reply) {
            reason = "reply with exactly one JSON object";
        } else {
            auto checked = TavroAction::validate(*reply, screen, routes);
            if (checked.action) co_return std::move(checked.action);
            reason = std::move(checked.hint);
        }
        if (retried) co_return std::nullopt;

        retried = true;
        std::vector<std::string> retryHistory = history;
        if (reason) retryHistory.push_back("Your previous reply was invalid: " + *reason + ". Choose a valid action.");
        budget = keep->budget();
        const TavroContextBudget smaller{budget.elements > 29 ? budget.elements / 2 : 15, budget.textChars / 2};
        system = TavroPrompt::system(activeSurface_->surfaceDescription(), keep->wantsJSONInstructions(), routes);
        user = TavroPrompt::user(goal, screen, retryHistory, smaller, known, routes);
    }
}

}  // namespace tavro
