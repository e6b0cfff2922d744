// The run-local state of one goal run and the ways a turn can end. Private to the agent's sources:
// created when a run's loop starts, kept in the loop's frame, gone when the loop returns.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/runtime/MainActor.h"
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
    std::string source;  // "recipe", "rules", "model", or empty for the agent's own fail action
    Flow flow = Flow::end;
};

struct TavroAgent::Run {
    // The agent, held weakly, and the run's identity. After every suspension the loop goes on only
    // while the agent exists and no stop or newer run has superseded this run.
    std::weak_ptr<TavroAgent> agent;
    fnd::Uuid id;

    bool live() const {
        auto self = agent.lock();
        return self && self->runID_ == id;
    }

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
    // moves on when a replayed step took effect; once every step has, the replay reports done.
    std::optional<TavroRecipe> replay;
    std::vector<std::string> replayValues;
    std::size_t replayCursor = 0;

    int maxSteps = 0;
    int step = 0;
    rt::Instant stepStart{};

    std::vector<TavroPerformedStep> performed;
    std::map<std::string, int> keyCounts;
    std::set<std::string> blockedKeys;
    int misses = 0;
    bool scrolledOnce = false;
    bool typedNudged = false;
    // A step the rules engine chose had no effect (its clause is used up all the same).
    bool rulesStepFailed = false;

    bool usable(const TavroAction& action, const TavroScreen& screen) const {
        return !blockedKeys.contains(TavroAgent::keyOf(action, screen));
    }
};

}  // namespace tavro
