// Seeded random interleavings on the demo app: runs, waited runs, stops with and without a note,
// approvals, answers, autoRun changes, app resets, observers that call back into the agent and
// agents dropped mid-run, at random virtual times, with and without a scripted host model.
// Every started run ends exactly once (quietly when its agent was dropped), every waited run
// returns, and the idle timer is held exactly while a run is active.
//
// TAVRO_STRESS_SEEDS sets the number of seeds (500 by default); TAVRO_STRESS_FIRST the first one.
#include <cstdlib>
#include <random>

#include "DemoTestSupport.h"

namespace tavro::agenttest {
namespace {

int fromEnvironment(const char* name, int otherwise) {
    const char* value = std::getenv(name);
    if (!value || !*value) return otherwise;
    return std::atoi(value);
}

const std::vector<std::string> goals = {
    "open Settings then turn on Dark Mode",
    "open Shop then tap Buy Coffee Beans",
    "open Chats, tap Tuli, type hi into Message and tap Send",
    "open Profile then type hunter2 into Password then tap Save",
    "open Shop. tap Buy Mug",
    "tap Buy Mug 3 times",
    "find something nice for me",
    "choose a photo",
    "   ",
};

class AgentStress : public AgentOnDemo {
protected:
    static bool idleTimerDisabled() { return ui::Application::shared()->isIdleTimerDisabled(); }

    // One seed; failures name it.
    void play(unsigned seed);
};

void AgentStress::play(unsigned seed) {
    events.clear();  // each seed counts its own events
    std::mt19937 random(seed);
    const auto chance = [&random](int percent) { return static_cast<int>(random() % 100) < percent; };
    const auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };

    std::shared_ptr<Script> script;
    if (chance(50)) {
        script = std::make_shared<Script>();
        script->latency = std::chrono::milliseconds(random() % 400);
        script->decider = [&random](const std::string& user) -> std::optional<std::string> {
            switch (random() % 6) {
                case 0: return reply("done");
                case 1: return reply("ask", std::nullopt, "Which one?");
                case 2: return std::nullopt;
                case 3: return std::string("not json");
                default: return reply("click", idIn(user, "Settings").value_or(1 + static_cast<int>(random() % 14)));
            }
        };
    }

    std::shared_ptr<TavroAgent> agent;
    std::vector<fnd::ObserverToken> tokens;
    std::vector<rt::TaskHandle<TavroRunReport>> waits;
    int reentries = 0;    // calls made from observers, bounded so that they cannot loop for ever
    int heldWrong = 0;    // changes of running that disagreed with the idle timer
    const auto startsNow = [this] { return count("run_start"); };
    const auto endsNow = [this] { return count("run_end"); };
    int startsBefore = 0;
    int endsBefore = 0;

    const auto makeAgent = [&] {
        auto c = configuration(script ? std::vector<std::shared_ptr<TavroModel>>{scriptedModel("Host", script)}
                                      : std::vector<std::shared_ptr<TavroModel>>{});
        c.learns = chance(30);
        c.maxSteps = 4 + static_cast<int>(pick(6));
        agent = TavroAgent::create(surface, c, chance(30) ? freshMemory() : nullptr);
        startsBefore = startsNow();
        endsBefore = endsNow();
        tokens.clear();
        std::weak_ptr<TavroAgent> weak = agent;
        tokens.push_back(agent->running().didSet([&, weak](const bool& running) {
            if (running != idleTimerDisabled()) ++heldWrong;
            if (reentries >= 3 || !chance(15)) return;
            ++reentries;
            if (auto self = weak.lock()) {
                if (chance(50)) self->run(goals[pick(goals.size())]);
                else self->stop(chance(50) ? std::optional<std::string>("Observer stop.") : std::nullopt);
            }
        }));
        tokens.push_back(agent->prompt().didSet([&, weak](const std::optional<TavroAgent::Prompt>& prompt) {
            if (!prompt || reentries >= 6 || !chance(30)) return;
            ++reentries;
            auto self = weak.lock();
            if (!self) return;
            switch (pick(4)) {
                case 0: self->approve(); break;
                case 1: self->answer("the red one"); break;
                case 2: self->stop(); break;
                default: self->run(goals[pick(goals.size())]); break;
            }
        }));
        tokens.push_back(agent->currentStep().didSet([&](const std::optional<std::string>& step) {
            // The host lets go of the agent from inside a change, mid-step.
            if (step && chance(3)) agent.reset();
        }));
    };
    // A dropped agent's runs: each ended once, or the one in progress ended quietly.
    const auto checkDropped = [&] {
        const int started = startsNow() - startsBefore;
        const int ended = endsNow() - endsBefore;
        EXPECT_TRUE(ended == started || ended == started - 1) << "seed " << seed << ": " << started << " started, "
                                                              << ended << " ended";
    };

    makeAgent();
    std::vector<rt::Timer> timers;
    rt::Duration at{0};
    const int operations = 6 + static_cast<int>(pick(10));
    for (int i = 0; i < operations; ++i) {
        at += std::chrono::milliseconds(random() % 4000);
        const auto what = pick(11);
        const auto goal = goals[pick(goals.size())];
        const double timeout = 1.0 + static_cast<double>(random() % 20);
        const bool note = chance(50);
        const bool autoRun = chance(70);
        timers.push_back(actor->schedule(at, [&, what, goal, timeout, note, autoRun] {
            reentries = 0;
            if (!agent) {
                checkDropped();
                makeAgent();
            }
            switch (what) {
                case 0:
                case 1: agent->run(goal); break;
                case 2: waits.push_back(rt::spawn(agent->runAndWait(goal, timeout), actor)); break;
                case 3: agent->stop(note ? std::optional<std::string>("Stopped.") : std::nullopt); break;
                case 4: agent->approve(); break;
                case 5: agent->answer("the red one"); break;
                case 6: agent->setAutoRun(autoRun); break;
                case 7: app->reset(); break;
                case 8: agent.reset(); break;
                default: waits.push_back(rt::spawn(agent->runAndWait(goal, timeout), actor)); break;
            }
        }));
    }
    actor->runFor(at + std::chrono::minutes(3));
    if (agent) {
        tokens.clear();  // no observer starts a run during the final stop
        agent->stop();
        actor->runFor(std::chrono::seconds(5));
        EXPECT_EQ(startsNow() - startsBefore, endsNow() - endsBefore) << "seed " << seed;
        EXPECT_FALSE(agent->running().value()) << "seed " << seed;
        EXPECT_FALSE(agent->prompt().value().has_value()) << "seed " << seed;
    } else {
        checkDropped();
    }
    agent.reset();
    actor->runFor(std::chrono::minutes(2));
    for (const auto& wait : waits) EXPECT_TRUE(wait.isDone()) << "seed " << seed << ": a waited run never returned";
    EXPECT_FALSE(idleTimerDisabled()) << "seed " << seed;
    EXPECT_FALSE(TavroAwake::shared().held()) << "seed " << seed;
    EXPECT_EQ(heldWrong, 0) << "seed " << seed << ": the idle timer disagreed with running";
}

TEST_F(AgentStress, RandomInterleavingsEndEveryRunOnce) {
    const int seeds = fromEnvironment("TAVRO_STRESS_SEEDS", 500);
    const int first = fromEnvironment("TAVRO_STRESS_FIRST", 1);
    for (int seed = first; seed < first + seeds && !HasFailure(); ++seed) {
        play(static_cast<unsigned>(seed));
        app->reset();
        actor->runFor(std::chrono::seconds(2));
    }
    // The runs of the last agent are balanced above; dropped ones may lack their quiet end.
    events.clear();
}

}  // namespace
}  // namespace tavro::agenttest
