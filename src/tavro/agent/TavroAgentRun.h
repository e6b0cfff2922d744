// The run-local state of one goal run, the ways a turn can end, and what keeps the run's code safe
// across its waits. Private to the agent's sources: created when a run's loop starts, kept in the
// loop's frame, gone when the loop returns.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/runtime/Continuation.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroModel.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/memory/TavroPerformedStep.h"
#include "tavro/models/TavroRules.h"

namespace tavro {

// How one turn ended.
enum class TavroAgent::Flow {
    end,       // the loop returns (success, failure, stop, cancellation, an unanswered user turn)
    nextTurn,  // the turn used up one step; nothing else of the run's state is reset
    tail,      // an action was handled: the corrective scroll may be made again, then the next turn
};

// The action a turn settled on, or how the turn ended without one.
struct TavroAgent::Choice {
    std::optional<TavroAction> action;
    Source source = Source::agent;
    Flow flow = Flow::end;
};

// Thrown out of a wait whose run is over (the agent is gone, or a stop or a newer run took its
// place); it unwinds the run's frames without touching the agent and is caught where the run's
// task awaits the loop (or where an exact step is carried out).
struct TavroAgent::RunOver {};

// Keeps the agent alive while a run's code runs and lets go of it while the run waits, so that
// dropping the agent ends the run and nothing of the agent is touched after it is gone. Every wait
// of the run goes through `await` or `sleep`: they let go of the agent for the wait and, when it
// is over, take it back or throw RunOver. A wait written without them keeps the agent alive until
// it returns: the worst a forgotten one can do is delay the end of a dropped agent's run.
// `check` does the same test without waiting, after the run called out to host code (an observer)
// that may have stopped it.
class TavroAgent::Life {
public:
    // With an id the life ends when the agent moves to another run; without one only with the agent.
    Life(std::shared_ptr<TavroAgent> agent, std::optional<fnd::Uuid> id)
        : weak_(agent), strong_(std::move(agent)), id_(id) {}
    Life(const Life&) = delete;
    Life& operator=(const Life&) = delete;

    bool live() const { return strong_ && (!id_ || strong_->runID_ == *id_); }
    void check() const {
        if (!live()) throw RunOver{};
    }

    template <class T>
    rt::Task<T> await(rt::Task<T> task) {
        letGo();
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            takeBack();
        } else {
            T value = co_await std::move(task);
            takeBack();
            co_return std::move(value);
        }
    }

    // The same for a task of an object the agent may let go of meanwhile (its active surface): the
    // wait holds the object until the task is over.
    template <class T>
    rt::Task<T> await(std::shared_ptr<void> owner, rt::Task<T> task) {
        const auto keep = std::move(owner);
        co_return co_await await(std::move(task));
    }

    // A pause; whether the whole time passed (false: the run's task was cancelled).
    rt::Task<bool> sleep(rt::Duration duration) {
        letGo();
        const bool full = co_await rt::sleep(duration);
        takeBack();
        co_return full;
    }

    // The value the gate is resumed with.
    rt::Task<std::optional<std::string>> await(rt::Continuation<std::optional<std::string>> gate) {
        letGo();
        auto value = co_await gate;
        takeBack();
        co_return std::move(value);
    }

private:
    // A run that is over begins no wait. Letting go may destroy the agent on the spot (its last
    // owner dropped it meanwhile); then the wait is not begun either.
    void letGo() {
        check();
        strong_.reset();
        if (weak_.expired()) throw RunOver{};
    }
    void takeBack() {
        strong_ = weak_.lock();
        check();
    }

    std::weak_ptr<TavroAgent> weak_;
    std::shared_ptr<TavroAgent> strong_;
    std::optional<fnd::Uuid> id_;
};

struct TavroAgent::Run {
    Run(std::shared_ptr<TavroAgent> agent, fnd::Uuid id) : life(std::move(agent), id) {}

    Life life;

    // The goal without a repeat count; after an answered question it also carries the answer.
    std::string workingGoal;
    // The goal without a repeat count, never extended: what a success teaches to memory.
    std::string baseGoal;
    std::optional<int> repeatTimes;
    bool keyValueGoal = false;

    std::vector<std::string> routes;
    std::vector<std::shared_ptr<TavroModel>> models;
    std::unique_ptr<TavroRules> rules;
    std::vector<std::string> known;
    std::vector<std::string> history;

    // A recalled recipe, its slot values, and the index of its next step to replay. The cursor
    // moves on, as the plan does, with every step that took effect and past every step whose
    // element already held what it would give; once every step was the recipe's own, the replay
    // reports done.
    std::optional<TavroRecipe> replay;
    std::vector<std::string> replayValues;
    std::size_t replayCursor = 0;
    // Another source took a step in the recipe's place: the replay no longer says done, and the
    // recipe is not reinforced.
    bool replayLent = false;
    // The rules engine as it would be once this turn's replayed step took effect, when the engine
    // would have taken that very step: adopted then, so that its clauses follow the replay and a
    // step the replay took is not taken again.
    std::optional<TavroRules> replayRules;
    // The rules engine took every replayed step along: the clauses it has left are what the
    // goal asks beyond the recipe's steps (a switch that was already on when it was learned).
    bool replayFollowed = true;

    int maxSteps = 0;
    int step = 0;
    rt::Instant stepStart{};

    std::vector<TavroPerformedStep> performed;
    std::map<std::string, int> keyCounts;
    std::set<std::string> blockedKeys;
    int misses = 0;
    bool scrolledOnce = false;
    bool typedNudged = false;
    // A step the rules engine or the replayed recipe chose failed, and no step has taken effect
    // since; with its caption and the surface's reason when it gave one. The engines cannot carry
    // the goal past such a step (its clause is used up all the same).
    bool stepFailed = false;
    std::string failureCaption;
    std::optional<std::string> failureReason;
    // A replayed step failed: the recipe is not replayed again in this run.
    bool replayDropped = false;
    // Whether the plan's done words were all on the run's first screen reading: they then say
    // nothing of what the run did, so they do not turn a give-up into success.
    std::optional<bool> doneOnFirstScreen;
    // This turn's action came from the rules engine and took effect.
    bool lastStepByRules = false;
    // Held while a real browser's page is the active surface: the page draws itself on the wall
    // clock, so the run's waits (settling, verification, pauses) keep that pace as well, as they
    // do for any answer from outside; a virtual clock would read the page before it has drawn.
    rt::MainActor::Hold browserPace;

    bool usable(const TavroAction& action, const TavroScreen& screen) const {
        return !blockedKeys.contains(TavroAgent::keyOf(action, screen));
    }
};

}  // namespace tavro
