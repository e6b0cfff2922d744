// The turn loop: a run's start-up (repeat count, engine choice, recipe recall, reasoning pre-pass,
// plan, start line, step limit), the opening of every turn with its pauses for the user, the
// step-limit end and the completion check.
#include <chrono>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "platform/foundation/Console.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroPresenter.h"
#include "tavro/agent/TavroPrompt.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/surfaces/TavroSurface.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro {

namespace {

// The text with its first character upper-cased and the rest unchanged.
std::string capitalized(std::string_view text) {
    auto characters = TavroText::characters(text);
    if (characters.empty()) return std::string(text);
    std::string first;
    icu::UnicodeString::fromUTF8(characters.front()).toUpper(icu::Locale::getRoot()).toUTF8String(first);
    std::string out = first;
    for (std::size_t i = 1; i < characters.size(); ++i) out += characters[i];
    return out;
}

std::string numbered(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += separator;
        out += std::to_string(i + 1) + ". " + items[i];
    }
    return out;
}

constexpr std::string_view keyValuePattern = R"([\p{L}\p{N}_\-]\s*=\s*\S)";

// A watcher of a user turn is cancelled when the wait is over, however it ends.
struct CancelOnExit {
    rt::TaskHandle<void> task;
    ~CancelOnExit() { task.cancel(); }
};

}  // namespace

// The loop's code runs only while run.life holds the agent; every wait goes through run.life, which
// ends the loop (RunOver) when the agent is gone or the run was stopped or replaced meanwhile.
rt::Task<void> TavroAgent::loop(std::shared_ptr<TavroAgent> self, std::string goal, fnd::Uuid id) {
    Run run(std::move(self), id);
    if (!co_await startUp(run, std::move(goal))) co_return;

    if (run.maxSteps <= 0) {
        co_await stepLimit(run);
        co_return;
    }
    run.step = 0;
    for (;;) {
        const Flow flow = co_await turn(run);
        if (flow == Flow::end) co_return;
        if (flow == Flow::tail) run.scrolledOnce = false;
        if (run.step + 1 >= run.maxSteps) {
            co_await stepLimit(run);
            co_return;
        }
        run.step += 1;
    }
}

// Returns false when the loop must return before its first turn.
rt::Task<bool> TavroAgent::startUp(Run& run, std::string goal) {
    if (auto repeat = repeatCount(goal)) {
        run.workingGoal = repeat->goal;
        run.baseGoal = repeat->goal;
        run.repeatTimes = repeat->times;
    } else {
        run.workingGoal = goal;
        run.baseGoal = goal;
    }
    run.routes = surface_->routes();

    run.keyValueGoal = TavroText::groups(keyValuePattern, run.workingGoal).has_value();
    if (!run.keyValueGoal) {
        for (const auto& model : configuration.models) {
            if (model && model->isAvailable()) run.models.push_back(model);
        }
    }
    run.rules = std::make_unique<TavroRules>(run.workingGoal, run.routes, run.models.empty());
    if (configuration.knownDetails) run.known = configuration.knownDetails();
    engineName_.set(run.models.empty() ? L("Rules · no on-device model ready", "ルール · オンデバイスモデル未準備")
                                       : run.models.front()->name());

    if (configuration.learns && memory) {
        // A value never spans the goal's clauses: "Bob then tap Save" is not a name.
        const auto oneClause = [](const std::string& value) { return !TavroRules::breaks(value); };
        if (auto recalled = memory->recall(run.workingGoal, oneClause)) {
            run.replay = std::move(recalled->first);
            run.replayValues = std::move(recalled->second);
        }
    }

    // A run stopped before its task first ran ends here, without touching the screen.
    if (co_await rt::isCancelled()) co_return false;
    co_await run.life.await(activeSurface_, activeSurface_->settle());
    if (co_await rt::isCancelled()) co_return false;

    if (!co_await prePass(run)) co_return false;

    if (reasoning_.value() && !reasoning_.value()->steps.empty()) {
        plan_.set(reasoning_.value()->steps);
    } else {
        auto labels = co_await buildPlan(run);
        plan_.set(std::move(labels));
    }
    run.life.check();
    planIndex_.set(0);
    run.life.check();
    TavroDebug::shared()->log("plan", numbered(plan_.value(), "  "), true);
    co_await say(run.life, planSummary());

    std::string names = "[";
    for (std::size_t i = 0; i < run.models.size(); ++i) {
        if (i > 0) names += ", ";
        names += "\"" + run.models[i]->name() + "\"";
    }
    names += "]";
    fnd::Console::write("[TAVRO_SDK] start models=" + names + " replay=" + (run.replay ? "true" : "false") +
                       " steps=" + std::to_string(plan_.value().size()) +
                       " goal=" + TavroText::prefix(run.workingGoal, 80));

    const auto pack = TavroPacks::current();
    run.maxSteps = pack && pack->maxSteps ? *pack->maxSteps : configuration.maxSteps;
    co_return true;
}

// The reasoning pre-pass. Returns false when the loop must return (cancelled, or a question left
// unanswered).
rt::Task<bool> TavroAgent::prePass(Run& run) {
    reasoning_.set(std::nullopt);
    if (run.keyValueGoal || run.replay || run.models.empty()) co_return true;
    const auto screen = surface_->snapshot();
    if (!screen) co_return true;

    if (TavroRules::split(run.workingGoal).size() == 1) {
        TavroRules trial(run.workingGoal, run.routes, false);
        if (trial.decide(*screen).kind != TavroAction::Kind::fail) co_return true;
    }

    const auto model = run.models.front();
    const auto system = TavroReasoning::system(surface_->surfaceDescription(), run.routes);
    const auto user = TavroPrompt::user(run.workingGoal, *screen, {}, model->budget(), run.known, run.routes);
    auto text = co_await run.life.await(model->think(system, user));
    if (co_await rt::isCancelled()) co_return false;

    auto parsed = TavroReasoning::parse(text);
    if (!parsed) co_return true;
    const TavroReasoning r = std::move(*parsed);
    reasoning_.set(r);
    run.life.check();
    add("🧠 " + r.summary(), true, 0);
    run.life.check();
    TavroDebug::shared()->log("reason", r.summary(), true);
    if (!r.steps.empty()) run.history = {"Plan: " + numbered(r.steps, " ")};

    if (!r.ask.empty()) {
        const std::string stopped = L("Stopped: I needed “" + r.ask + "”.", "停止:「" + r.ask + "」が必要でした。");
        questionStop_ = stopped;
        auto answer = co_await wait(run.life, Prompt::ask(r.ask));
        questionStop_.reset();
        if (!answer || answer->empty()) {
            status_.set(stopped);
            co_return false;
        }
        run.known.push_back(r.ask + ": " + *answer);
        run.workingGoal += " (" + *answer + ")";
    }
    if (r.steps.size() > 1) run.rules->fallback = r.steps;
    co_return true;
}

rt::Task<std::vector<std::string>> TavroAgent::buildPlan(Run& run) {
    if (run.replay) co_return planLabels(*run.replay);

    const auto& clauses = run.rules->clauses;
    if (clauses.size() >= 2) {
        std::vector<std::string> labels;
        labels.reserve(clauses.size());
        for (const auto& clause : clauses) labels.push_back(capitalized(clause));
        co_return labels;
    }

    if (!run.models.empty()) {
        if (const auto screen = surface_->snapshot()) {
            const std::string system =
                "You plan how to complete the user's GOAL in " + surface_->surfaceDescription() +
                ". Break it into the fewest clear steps, in order, each starting with a verb (Tap…, Type…, Choose…, "
                "Open…). Use only what the GOAL implies and what is on SCREEN. Do not invent personal details.";
            const std::string user = TavroPrompt::planUser(run.workingGoal, *screen, run.known, run.routes);
            for (const auto& model : run.models) {
                auto steps = co_await run.life.await(model->plan(system, user));
                if (steps && !steps->empty()) co_return std::move(*steps);
                if (co_await rt::isCancelled()) break;
            }
        }
    }

    if (run.rules->clauses.empty()) co_return std::vector<std::string>{run.workingGoal};
    co_return std::vector<std::string>{capitalized(run.rules->clauses.front())};
}

std::string TavroAgent::planSummary() const {
    const auto& labels = plan_.value();
    if (labels.empty()) return L("Working…", "実行中…");
    if (labels.size() == 1) return labels.front();
    const auto count = std::to_string(labels.size());
    return L("Plan: " + count + " steps", "プラン: " + count + " 手順");
}

std::vector<std::string> TavroAgent::planLabels(const TavroRecipe& recipe) {
    std::vector<std::string> labels;
    labels.reserve(recipe.steps.size());
    for (const auto& step : recipe.steps) {
        const std::string label = step.target ? step.target->label : std::string();
        const auto kind = kindFromName(step.kind);
        if (kind == TavroAction::Kind::type || kind == TavroAction::Kind::select) {
            labels.push_back(L("Fill " + label, label + " を入力"));
        } else if (kind == TavroAction::Kind::back) {
            labels.push_back(L("Go back", "戻る"));
        } else if (!label.empty()) {
            labels.push_back(L("Tap " + label, label + " をタップ"));
        } else {
            labels.push_back(L("Tap", "タップ"));
        }
    }
    return labels;
}

// ---- One turn ----

rt::Task<TavroAgent::Flow> TavroAgent::turn(Run& run) {
    run.stepStart = rt::now();
    run.lastStepByRules = false;
    if (co_await rt::isCancelled()) co_return Flow::end;
    paceWithBrowser(run);
    co_await run.life.await(activeSurface_, activeSurface_->settle());
    if (co_await rt::isCancelled()) co_return Flow::end;

    if (activeSurface_->systemAlertShowing()) co_return co_await systemPromptPause(run);
    if (photoPickerShowing()) co_return co_await photoPickerTurn(run);

    std::optional<TavroScreen> screen = co_await run.life.await(activeSurface_, activeSurface_->snapshotAsync());
    if (!screen) {
        status_.set(L("I couldn't read this screen.", "この画面を読み取れませんでした。"));
        co_return Flow::end;
    }
    co_await awaitDrawn(run, screen);
    if (!run.doneOnFirstScreen) {
        const auto& plan = reasoning_.value();
        run.doneOnFirstScreen = plan && plan->isDone(*screen, true);
    }
    if (webSurface_) webSurface_->cacheFrames(*screen, webInset_);
    if (screen->humanCheck) co_return co_await humanCheckPause(run);

    Choice choice = co_await choose(run, *screen);
    if (!choice.action) co_return choice.flow;

    TavroDebug::shared()->log(
        "decide", "[" + std::string(sourceName(choice.source)) + "] " + choice.action->describe(&*screen), true);
    co_return co_await dispatch(run, *screen, std::move(*choice.action), choice.source);
}

rt::Task<TavroAgent::Flow> TavroAgent::systemPromptPause(Run& run) {
    co_await say(run.life, L("Your turn: answer the iOS prompt", "iOSの確認に答えてください"));
    std::optional<std::string> answer;
    {
        const CancelOnExit watcher{rt::spawn(systemPromptWatcher(weak_from_this()))};
        answer = co_await wait(run.life,
                               Prompt::human(L("iOS is asking you something (permission, Apple Pay…). Answer it and I'll "
                                               "carry on.",
                                               "iOSが確認を表示しています(許可・Apple Payなど)。答えると続きを行います。")));
    }
    if (!answer) co_return Flow::end;
    run.history.push_back("The user answered an iOS system prompt");
    co_return Flow::nextTurn;
}

rt::Task<TavroAgent::Flow> TavroAgent::photoPickerTurn(Run& run) {
    if (photosWanted(run.workingGoal)) {
        const auto outcome = co_await handOffPhoto(run.life);
        switch (outcome.kind) {
            case PhotoHandOff::Kind::picked:
                add(L("Picked " + outcome.text, outcome.text + "を選択"), true, 0);
                run.history.push_back("Tavro picked " + outcome.text + " in the photo picker");
                co_return Flow::nextTurn;
            case PhotoHandOff::Kind::failed:
                add(outcome.text, false, 0);
                break;
            case PhotoHandOff::Kind::notHandled:
                break;
        }
    }
    if (!photoPickerShowing()) co_return Flow::nextTurn;

    co_await say(run.life, L("Your turn: pick a photo", "写真を選んでください"));
    std::optional<std::string> answer;
    {
        const CancelOnExit watcher{rt::spawn(photoPickerWatcher(weak_from_this()))};
        answer = co_await wait(
            run.life,
            Prompt::human(L("Pick a photo. iOS keeps its photo picker private, so Tavro can't see inside it; I'll "
                            "carry on when you're done.",
                            "写真を選んでください。iOS の写真ピッカーの中は Tavro から見えません。選び終わったら続けます。")));
    }
    if (!answer) co_return Flow::end;
    run.history.push_back("The user picked a photo in the photo picker");
    co_return Flow::nextTurn;
}

rt::Task<TavroAgent::Flow> TavroAgent::humanCheckPause(Run& run) {
    co_await say(run.life, L("Your turn: solve the check", "確認を解いてください"));
    const auto answer = co_await wait(
        run.life, Prompt::human(L("A human check (CAPTCHA) is showing. Solve it, then tap Continue and I'll carry on.",
                                  "人間確認(CAPTCHA)が表示されています。解いてから「続ける」を押すと続きを行います。")));
    if (!answer) co_return Flow::end;
    run.history.push_back("The user solved a human check");
    co_return Flow::nextTurn;
}

rt::Task<void> TavroAgent::stepLimit(Run& run) {
    const std::optional<TavroScreen> screen = co_await run.life.await(activeSurface_, activeSurface_->snapshotAsync());
    if (screen && finishIfDone(run, *screen, "step limit")) co_return;
    // The rules engine carried out its last clause and that step took effect: the goal is reached,
    // and the engine's done, which the next turn would have given, ends the run. (Its completion
    // needs no reasoning, so the check above cannot see it.) A repeat count still owes its repeats.
    const auto& rules = *run.rules;
    if (screen && run.lastStepByRules && !run.stepFailed && !run.repeatTimes && !rules.handedOff &&
        rules.queue.empty() && rules.clauses.empty()) {
        TavroAction done = run.rules->decide(*screen);
        if (done.kind == TavroAction::Kind::done) {
            (void)co_await dispatch(run, *screen, std::move(done), Source::rules);
            if (succeeded_.value()) co_return;
        }
    }
    const auto n = std::to_string(std::max(run.maxSteps, 0));
    status_.set(L("Stopped after " + n + " steps.", n + "手順で停止しました。"));
}

bool TavroAgent::finishIfDone(Run& run, const TavroScreen& screen, std::string_view why) {
    const auto& plan = reasoning_.value();
    if (!plan || run.performed.empty()) return false;
    // A give-up or a repeated step is overridden only by done words the run brought on screen:
    // words the first screen already showed (a footer, a banner) tell nothing of this run.
    if ((why == "model gave up" || why == "repeating") && run.doneOnFirstScreen.value_or(false)) return false;
    if (!plan->isDone(screen, true)) return false;
    const std::string done = plan->done;
    succeeded_.set(true);
    status_.set(L("Done: " + done, "完了: " + done));
    add("✓ " + *status_.value(), true, 0);
    TavroDebug::shared()->log("act", "done check visible (" + std::string(why) + "): " + done, true);
    if (configuration.learns && !run.replay && memory) memory->learn(run.baseGoal, run.performed);
    return true;
}

}  // namespace tavro
