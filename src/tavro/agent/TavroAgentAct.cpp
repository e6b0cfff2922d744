// What a turn does with its chosen action: dispatch by kind with the loop guards (the typed-text
// turn and the repeat guard) and the approval decision, then acting (question, browser, local
// operation, pointer and perform), verification, the step's outcome and plan progress.
#include <chrono>
#include <utility>

#include "platform/foundation/Console.h"
#include "platform/ui/Pasteboard.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroPresenter.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/remote/TavroApproval.h"
#include "tavro/surfaces/TavroSurface.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro {

using namespace std::chrono_literals;

std::string TavroAgent::keyOf(const TavroAction& action, const TavroScreen& screen) {
    std::string key = screen.location;
    key += '|';
    key += kindName(action.kind);
    key += '|';
    key += std::to_string(action.id ? *action.id : -1);
    key += '|';
    key += action.text;
    return key;
}

rt::Task<TavroAgent::Flow> TavroAgent::dispatch(Run& run, const TavroScreen& screen, TavroAction action,
                                                Source source) {
    using Kind = TavroAction::Kind;
    switch (action.kind) {
        case Kind::fail: {
            if (finishIfDone(run, screen, "model gave up")) {
                co_await say(run.life, "✓ " + status_.value().value_or(""));
                co_return Flow::end;
            }
            status_.set(action.text.empty() ? L("I couldn't finish this.", "完了できませんでした。") : action.text);
            co_await say(run.life, status_.value().value_or(""));
            fnd::Console::write("[TAVRO_SDK] fail " + status_.value().value_or(""));
            co_return Flow::end;
        }
        case Kind::ask: {
            co_await say(run.life, action.text);
            co_return co_await askTurn(run, action.text);
        }
        case Kind::done:
            if (source == Source::rules && run.models.empty() && run.stepFailed) {
                // The rules engine moves past a clause whose step had no effect; with no model to
                // try another way, finishing here would report as done a goal that visibly is not.
                TavroAction failure = failedStepAction(run);
                co_return co_await dispatch(run, screen, std::move(failure), source);
            }
            co_return co_await doneTurn(run, screen, action, source);
        case Kind::openWeb: {
            if (presenter.expired()) {
                status_.set(L("I can't open a browser here.", "ここではブラウザを開けません。"));
                co_return Flow::end;
            }
            co_await say(run.life, action.describe(&screen));
            co_return co_await openWebTurn(run, screen, action, source);
        }
        default:
            break;
    }
    if (!action.isLocalOperation() && !action.isSurfaceAction()) co_return Flow::end;
    if (action.isSurfaceAction()) {
        const int count = ++run.keyCounts[keyOf(action, screen)];
        if (count >= 3) {
            if (finishIfDone(run, screen, "repeating")) {
                co_await say(run.life, "✓ " + status_.value().value_or(""));
                co_return Flow::end;
            }
            status_.set(L("I kept repeating the same step, so I stopped. Try saying it another way.",
                          "同じ手順を繰り返したので停止しました。言い方を変えてお試しください。"));
            co_return Flow::end;
        }
    }
    std::string caption = action.describe(&screen);
    currentStep_.set(caption);
    run.life.check();
    // A paste is judged as typing what it pastes, so the clipboard is read once, here: what was
    // approved is what is typed.
    if (action.kind == TavroAction::Kind::paste && action.text.empty()) {
        action.text = ui::Pasteboard::general()->string().value_or("");
    }
    // Every step that acts passes the one gate here, whatever chose it (a model, the rules engine,
    // a replayed recipe).
    Gate approval = co_await gate(run.life, action, screen, stepPolicy());
    if (action.isLocalOperation()) {
        co_return co_await localOperationTurn(run, screen, action, std::move(caption), std::move(approval), source);
    }
    co_return co_await surfaceActionTurn(run, screen, action, std::move(caption), std::move(approval), source);
}

rt::Task<TavroAgent::Flow> TavroAgent::doneTurn(Run& run, const TavroScreen& screen, const TavroAction& action,
                                                Source source) {
    const auto& plan = reasoning_.value();
    const bool typedLast = !run.performed.empty() && run.performed.back().action.kind == TavroAction::Kind::type &&
                           !run.performed.back().action.submit;
    if (!run.models.empty() && (source != Source::rules || run.rules->usedFallback) && !run.typedNudged && typedLast &&
        !(plan && plan->isDone(screen, true))) {
        run.rules->handOff();
        run.history.push_back(
            "You typed into a field but nothing sent or saved it yet. Finish the goal (for example tap Send or Save), "
            "then reply done.");
        TavroDebug::shared()->log("reason", "typed text not sent yet; one more turn", false);
        run.typedNudged = true;
        run.scrolledOnce = false;
        co_return Flow::nextTurn;
    }

    if (run.repeatTimes) {
        auto tail = repeatTail(run.performed);
        if (!tail.empty()) {
            co_await repeatSteps(run, std::move(tail), *run.repeatTimes);
            co_return Flow::end;
        }
        TavroDebug::shared()->log("repeat", "nothing to repeat on the final screen", false);
    }

    succeeded_.set(true);
    status_.set(action.text.empty() ? L("Done.", "完了しました。") : action.text);
    const std::string line = "✓ " + status_.value().value_or("");
    add(line, true, 0);
    co_await say(run.life, line);
    learnOnDone(run);
    co_return Flow::end;
}

void TavroAgent::learnOnDone(Run& run) {
    if (run.replay) {
        // Only a recipe whose own steps carried the goal earns a run.
        const bool own = !run.replayDropped && !run.replayLent && run.replayCursor >= run.replay->steps.size();
        if (memory && own) memory->reinforce(run.replay->id);
    } else if (configuration.learns && !run.performed.empty() && memory) {
        // A recipe the memory could not write is not called saved (the memory said why).
        if (memory->learn(run.baseGoal, run.performed)) {
            TavroDebug::shared()->log("learn", "saved recipe for “" + TavroText::prefix(run.baseGoal, 40) + "”", true);
        }
    }
    TavroDebug::shared()->log("act", "done: " + status_.value().value_or(""), true);
}

rt::Task<TavroAgent::Flow> TavroAgent::askTurn(Run& run, std::string question) {
    auto answer = co_await wait(run.life, Prompt::ask(question));
    if (!answer || answer->empty()) co_return Flow::end;
    run.workingGoal += "\n" + question + " → " + *answer;
    run.history.push_back("Asked the user “" + question + "”; they answered “" + *answer + "”");
    add(L("You answered: " + *answer, "回答: " + *answer), true, 0);
    co_return Flow::tail;
}

rt::Task<TavroAgent::Flow> TavroAgent::openWebTurn(Run& run, const TavroScreen& screen, const TavroAction& action,
                                                    Source source) {
    auto shown = presenter.lock();
    if (!shown) {
        status_.set(L("I can't open a browser here.", "ここではブラウザを開けません。"));
        co_return Flow::end;
    }
    auto page = shown->showWeb();
    if (!page.surface) {
        status_.set(L("I can't open a browser here.", "ここではブラウザを開けません。"));
        co_return Flow::end;
    }
    page.surface->open(action.text);
    webSurface_ = page.surface;
    webInset_ = page.inset;
    activeSurface_ = page.surface;
    paceWithBrowser(run);
    engineName_.set(L("Browser · on-device", "ブラウザ · オンデバイス"));
    // The step is done once the page is there: a page that cannot be loaded is a failed step. The
    // browser stays the active surface, so a model reads the failure and decides.
    const std::optional<std::string> failure = co_await run.life.await(page.surface, page.surface->opened());
    const std::string caption = action.describe(&screen);
    add(caption, !failure, 0);
    run.history.push_back("Opened a browser for “" + action.text + "” because the app couldn't do it" +
                          (failure ? " → " + *failure : std::string()));
    TavroDebug::shared()->log("act", "openWeb " + action.text, !failure);
    if (failure) {
        // A step the rules engine or a recipe chose ends the run without a model, as any failed step.
        if (noteFailedStep(run, source, caption, failure)) {
            TavroAction end = failedStepAction(run);
            co_return co_await dispatch(run, screen, std::move(end), Source::agent);
        }
        co_return Flow::tail;
    }
    // Opening a page is no step a recipe stores: a replay stays on its recipe's next step.
    if (!run.replay || source == Source::recipe) {
        advancePlan();
        replayTookEffect(run, source);
    }
    co_return Flow::tail;
}

rt::Task<TavroAgent::Flow> TavroAgent::localOperationTurn(Run& run, const TavroScreen& screen,
                                                          const TavroAction& action, std::string caption,
                                                          Gate gate, Source source) {
    if (gate.ask) {
        auto answer = co_await wait(run.life, Prompt::approve(caption));
        if (!answer) co_return Flow::end;
    }
    co_await point(run.life, action, caption);
    // The approval holds for what the step reached as it was named, up to the moment it acts.
    std::optional<std::string> failure;
    if (gate.ask) failure = (co_await rereadApproved(run.life, action, screen, gate.reached)).lapsed;
    if (!failure) failure = co_await performOp(run.life, action, screen);

    add(caption, !failure, 0);
    run.life.check();
    run.history.push_back(caption + " → " + failure.value_or("ok"));
    TavroDebug::shared()->log("act", caption, !failure);
    if (failure && noteFailedStep(run, source, caption, failure)) {
        TavroAction end = failedStepAction(run);
        co_return co_await dispatch(run, screen, std::move(end), Source::agent);
    }
    if (!failure) {
        run.stepFailed = false;
        reportStep(caption);
        run.life.check();
        // Nor is a local operation: a replay stays on its recipe's next step.
        if (!run.replay || source == Source::recipe) {
            advancePlan();
            replayTookEffect(run, source);
        }
        run.lastStepByRules = source == Source::rules;
    }
    (void)co_await run.life.sleep(pacing::afterLocalOperation);
    co_return Flow::tail;
}

rt::Task<TavroAgent::Flow> TavroAgent::surfaceActionTurn(Run& run, const TavroScreen& screen,
                                                         const TavroAction& action, std::string caption,
                                                         Gate gate, Source source) {
    Reread approved;
    if (gate.ask) {
        if (action.id && configuration.showsCursor) {
            const auto frame = activeSurface_->frame(*action.id);
            auto shown = presenter.lock();
            if (frame && shown) co_await run.life.await(shown, shown->point(*frame, caption));
        }
        auto answer = co_await wait(run.life, Prompt::approve(caption));
        if (!answer) co_return Flow::end;
    }
    co_await point(run.life, action, caption);
    // The approval holds for the element as it was named up to the press: it is checked after the
    // pointer's travel, right before the surface acts. One that no longer holds ends the turn as a
    // failed step, with nothing performed.
    if (gate.ask) approved = co_await rereadApproved(run.life, action, screen, gate.reached);
    std::optional<std::string> failure = approved.lapsed;
    std::optional<std::string> atEnd;
    if (!failure) {
        failure = co_await run.life.await(activeSurface_, activeSurface_->perform(action));
        // The rules engine's scroll that is already where it was asked to go carried out its
        // clause, and the engine's run goes on to the next. For a model or a recipe it stays the
        // failed step the surface says it is.
        if (source == Source::rules && scrolledToEnd(action, failure)) atEnd = std::exchange(failure, std::nullopt);
    }
    // Why the step failed as the run's end would say it: the surface's reason, or what the control
    // holds in place of the value asked of it.
    std::optional<std::string> surfaceFailure = failure;
    if (!failure) {
        // Judged against the screen as it was when the step was performed, not before the wait.
        const Effect effect = co_await verify(run.life, action, approved.screen ? *approved.screen : screen);
        if (!effect.took) {
            failure = effect.failure();
            surfaceFailure = effect.holds;
        }
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(rt::now() - run.stepStart).count();

    add(caption, !failure, ms);
    run.life.check();
    run.history.push_back(caption + " → " + failure.value_or(atEnd ? "ok, " + atEnd->substr(8) : "ok"));
    TavroDebug::shared()->log("act", caption, !failure);

    if (failure) {
        // A step whose approval lapsed was not tried: the next turn may choose it again and ask anew.
        if (!approved.lapsed) run.blockedKeys.insert(keyOf(action, screen));
        if (noteFailedStep(run, source, caption, surfaceFailure)) {
            TavroAction end = failedStepAction(run);
            co_return co_await dispatch(run, screen, std::move(end), Source::agent);
        }
        TavroDebug::shared()->log("decide", "step had no effect; will try another way", false);
    } else if (atEnd) {
        // No step was taken: nothing to learn, report to the host or reset.
        advancePlan();
    } else {
        reportStep(caption);
        run.life.check();
        std::optional<TavroElement> element;
        if (action.id) {
            if (const auto* found = screen.element(*action.id)) element = *found;
        }
        run.performed.push_back(TavroPerformedStep{action, std::move(element), caption, screen.location});
        run.blockedKeys.clear();
        run.stepFailed = false;
        advancePlan();
        run.life.check();
        replayTookEffect(run, source);
        run.misses = 0;
        run.lastStepByRules = source == Source::rules;
        if (run.performed.size() >= plan_.value().size() && !run.repeatTimes) {
            const std::optional<TavroScreen> after =
                co_await run.life.await(activeSurface_, activeSurface_->snapshotAsync());
            if (after && finishIfDone(run, *after, "plan finished")) {
                co_await say(run.life, "✓ " + status_.value().value_or(""));
                co_return Flow::end;
            }
        }
    }
    (void)co_await run.life.sleep(pacing::afterSurfaceAction);
    co_return Flow::tail;
}

bool TavroAgent::scrolledToEnd(const TavroAction& action, const std::optional<std::string>& failure) {
    if (action.kind != TavroAction::Kind::scroll || !failure) return false;
    return failure->starts_with("failed: already ") || *failure == "failed: nothing to scroll here";
}

bool TavroAgent::noteFailedStep(Run& run, Source source, const std::string& caption,
                                const std::optional<std::string>& failure) {
    if (source != Source::rules && source != Source::recipe) return false;
    run.stepFailed = true;
    run.failureCaption = caption;
    run.failureReason.reset();
    if (failure) {
        std::string reason = *failure;
        if (reason.starts_with("failed: ")) reason.erase(0, 8);
        reason = TavroText::trim(reason);
        if (!reason.empty()) run.failureReason = std::move(reason);
    }
    // The recipe's later steps build on this one; it is not replayed again.
    if (source == Source::recipe) run.replayDropped = true;
    if (!run.models.empty()) {
        // The engine's later clauses would build on the failed step: the models take the rest of
        // the goal, with the failure in their history.
        run.rules->handOff();
        return false;
    }
    // Without models a failed recipe step is left to the rules engine; a failed rules step ends.
    return source == Source::rules;
}

TavroAction TavroAgent::failedStepAction(const Run& run) {
    TavroAction failure{.kind = TavroAction::Kind::fail};
    if (run.failureReason) {
        const auto& caption = run.failureCaption;
        const auto& reason = *run.failureReason;
        failure.text = L(caption + " failed: " + reason + ", so the goal is not done.",
                         caption + " に失敗しました(" + reason + ")。目標は完了していません。");
    } else {
        failure.text = L("A step had no visible effect, so the goal is not done.",
                         "画面が変わらない手順があったため、目標は完了していません。");
    }
    return failure;
}

void TavroAgent::paceWithBrowser(Run& run) const {
    const bool real = webSurface_ && activeSurface_ == webSurface_ && webSurface_->webView() &&
                      webSurface_->webView()->showsEngine();
    if (!real) {
        run.browserPace.release();
        return;
    }
    run.browserPace = rt::MainActor::Hold(rt::MainActor::shared(), pacing::browserTurn);
}

void TavroAgent::advancePlan() {
    const int count = static_cast<int>(plan_.value().size());
    if (planIndex_.value() < count - 1) planIndex_.set(planIndex_.value() + 1);
}

// The host's per-step callback, with the agent kept alive for the call.
void TavroAgent::reportStep(const std::string& caption) {
    if (!configuration.onStep) return;
    auto keep = shared_from_this();
    auto onStep = configuration.onStep;
    onStep(caption);
}

}  // namespace tavro
