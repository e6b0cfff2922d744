// The agent's replay of a goal's final steps for a repeat count.
#include <chrono>

#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroRepeat.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/memory/TavroRecipe.h"
#include "tavro/remote/TavroApproval.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

using namespace std::chrono_literals;

std::optional<TavroAgent::RepeatGoal> TavroAgent::repeatCount(std::string_view goal) {
    auto parsed = TavroRepeat::parse(goal);
    if (!parsed) return std::nullopt;
    return RepeatGoal{std::move(parsed->goal), parsed->times};
}

std::vector<TavroPerformedStep> TavroAgent::repeatTail(const std::vector<TavroPerformedStep>& steps) {
    return TavroRepeat::tail(steps);
}

rt::Task<void> TavroAgent::repeatSteps(Run& run, std::vector<TavroPerformedStep> steps, int total) {
    struct Item {
        TavroAction action;
        std::optional<TavroTarget> target;
        // What the step reaches on the screen the question was asked on, when it was found there.
        std::optional<TavroReachWords> approved;
    };
    std::vector<Item> items;
    items.reserve(steps.size());
    for (const auto& s : steps) {
        Item item{s.action, std::nullopt, std::nullopt};
        if (s.element) item.target = TavroTarget{s.element->kind, s.element->label, s.element->keys, s.location};
        items.push_back(std::move(item));
    }

    // The risk is judged on the screen as it is when the question is asked, by what each step
    // reaches there as the surface resolves it; a step not found there, by its recorded element.
    const auto reader = activeSurface_;
    const std::optional<TavroScreen> asked = co_await run.life.await(reader, reader->snapshotAsync());
    bool risky = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& s = steps[i];
        if (!s.element) continue;
        auto& item = items[i];
        const std::optional<TavroElement> found = asked && item.target ? item.target->find(*asked) : std::nullopt;
        if (found) {
            TavroAction action = item.action;
            action.id = found->id;
            Gate judged = co_await gate(run.life, action, *asked, TavroApproval::deleteOrPay);
            item.approved = std::move(judged.reached);
            risky = risky || judged.ask;
        } else {
            TavroScreen alone;
            alone.location = s.location;
            alone.elements.push_back(*s.element);
            risky = risky || isDeleteOrPay(s.action, alone);
        }
    }
    if (risky && !(autoRun_.value() && configuration.approval == TavroApproval::never)) {
        const std::string more = std::to_string(total - 1);
        auto question = Prompt::approve(L("Do it " + more + " more times?", "あと" + more + "回行いますか?"));
        const auto answer = co_await wait(run.life, std::move(question));
        if (!answer) co_return;
    }
    // The approval binds every press of the repeat to the document it was asked on.
    const std::optional<std::string> document = risky && asked ? std::optional(asked->document) : std::nullopt;

    const std::string all = std::to_string(total);
    for (int pass = 1; pass < total; ++pass) {
        for (const auto& item : items) {
            if (co_await rt::isCancelled()) co_return;
            const auto active = activeSurface_;
            paceWithBrowser(run);
            co_await run.life.await(active, active->settle());
            const auto screen = co_await run.life.await(active, active->snapshotAsync());
            if (!screen) {
                status_.set(L("I couldn't read this screen.", "この画面を読み取れませんでした。"));
                co_return;
            }

            TavroAction action;
            action.kind = item.action.kind;
            action.text = item.action.text;
            action.submit = item.action.submit;
            if (item.target) {
                const auto found = item.target->find(*screen);
                if (!found) {
                    const std::string done = std::to_string(pass);
                    const std::string& label = item.target->label;
                    status_.set(L("Did it " + done + " of " + all + " times. I couldn't find “" + label + "” again.",
                                  all + "回中" + done + "回行いました。「" + label + "」が見つかりません。"));
                    co_await say(run.life, status_.value().value_or(""));
                    co_return;
                }
                action.id = found->id;
            }
            // A step that set a state the goal names holds it: a switch already in that state is
            // not pressed again ("turn on Dark Mode then tap Wi-Fi 2 times" leaves Dark Mode on).
            if (const auto wanted = wantedState(run, action, *screen)) {
                const auto* box = screen->element(*action.id);
                if (box && box->isOn() == *wanted) {
                    TavroDebug::shared()->log("repeat", "already set: " + action.describe(&*screen), true);
                    continue;
                }
            }

            const std::string desc = action.describe(&*screen);
            const std::string number = std::to_string(pass + 1);
            const std::string caption =
                L(desc + " (" + number + " of " + all + ")", desc + "(" + number + "/" + all + ")");
            currentStep_.set(caption);
            co_await point(run.life, action, caption);
            // Risky repeats were approved for what their steps reached on the question's document:
            // each is read again right before its press.
            std::optional<std::string> failure;
            std::optional<TavroScreen> reread;
            if (document && screen->document != *document) {
                failure = pageChanged();
            } else if (risky) {
                auto approved = co_await rereadApproved(run.life, action, *screen, item.approved);
                failure = std::move(approved.lapsed);
                reread = std::move(approved.screen);
            }
            if (!failure) {
                failure = co_await run.life.await(active, active->perform(action));
                if (scrolledToEnd(action, failure)) failure.reset();
                else if (!failure) {
                    // A repeated step counts only when it took effect, as any step.
                    const Effect effect = co_await verify(run.life, action, reread ? *reread : *screen);
                    if (!effect.took) failure = effect.failure();
                }
            }
            if (failure) {
                add(caption, false, 0);
                const std::string done = std::to_string(pass);
                status_.set(L("Did it " + done + " of " + all + " times, then “" + desc + "” failed: " + *failure,
                              all + "回中" + done + "回行いました。「" + desc + "」に失敗: " + *failure));
                co_await say(run.life, status_.value().value_or(""));
                co_return;
            }
            add(caption, true, 0);
            reportStep(caption);
            (void)co_await run.life.sleep(pacing::afterSurfaceAction);
        }
    }

    succeeded_.set(true);
    status_.set(L("Done " + all + " times.", all + "回完了しました。"));
    const std::string line = "✓ " + status_.value().value_or("");
    add(line, true, 0);
    co_await say(run.life, line);
    TavroDebug::shared()->log("act", "repeated " + all + " times", true);
}

}  // namespace tavro
