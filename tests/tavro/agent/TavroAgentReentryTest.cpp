// Hosts that call back into the agent from their observers of its state, hosts that drop the
// agent mid-run, host code that throws inside a run, and what the agent's interface lets a host do.
#include <stdexcept>
#include <type_traits>

#include "AgentTestSupport.h"

namespace tavro::agenttest {
namespace {

// Only create makes an agent, and hosts get read-only published state.
static_assert(!std::is_constructible_v<TavroAgent, std::shared_ptr<TavroSurface>, TavroConfiguration,
                                       std::shared_ptr<TavroMemory>>);
static_assert(!std::is_default_constructible_v<TavroAgent::PassKey>);
template <class F>
constexpr bool readOnly = std::is_const_v<std::remove_reference_t<std::invoke_result_t<F, TavroAgent&>>>;
static_assert(readOnly<decltype([](TavroAgent& a) -> decltype(auto) { return a.running(); })>);
static_assert(readOnly<decltype([](TavroAgent& a) -> decltype(auto) { return a.status(); })>);
static_assert(readOnly<decltype([](TavroAgent& a) -> decltype(auto) { return a.log(); })>);
static_assert(readOnly<decltype([](TavroAgent& a) -> decltype(auto) { return a.prompt(); })>);
static_assert(readOnly<decltype([](TavroAgent& a) -> decltype(auto) { return a.succeeded(); })>);
static_assert(readOnly<decltype([](TavroAgent& a) -> decltype(auto) { return a.autoRun(); })>);
static_assert(readOnly<decltype([](TavroAgent& a) -> decltype(auto) { return a.plan(); })>);

class AgentReentry : public AgentTest {
protected:
    StandInApplication application;

    void SetUp() override {
        AgentTest::SetUp();
        application.install(false);
    }
    bool idleTimerDisabled() const { return application.idleTimerDisabled(); }
};

// ---- Answers given inside the prompt's publication ----

TEST_F(AgentReentry, AnApprovalGivenWhileThePromptIsPublishedReachesTheWait) {
    auto surface = shopScreen();
    auto agent = makeAgent(surface, configuration());
    std::weak_ptr<TavroAgent> weak = agent;
    auto token = agent->prompt().didSet([weak](const std::optional<TavroAgent::Prompt>& prompt) {
        if (prompt) weak.lock()->approve();
    });
    const auto start = actor->now();
    const auto report = runGoal(agent, "tap Buy", 60);
    EXPECT_TRUE(report.ok) << report.status;
    EXPECT_LT(actor->now() - start, 10s) << "no wait for the timeout";
    ASSERT_EQ(surface->performed.size(), 1u);
    EXPECT_FALSE(agent->prompt().value().has_value());
    EXPECT_EQ(integer(lastEvent("approval"), "approved"), 1);
}

TEST_F(AgentReentry, AnAnswerGivenWhileTheQuestionIsPublishedReachesTheWait) {
    auto script = std::make_shared<Script>();
    script->replies = {reply("ask", std::nullopt, "Which one?"), reply("done")};
    auto agent = makeAgent(shopScreen(), configuration({scriptedModel("Host", script)}));
    std::weak_ptr<TavroAgent> weak = agent;
    auto token = agent->prompt().willChange([weak](const std::optional<TavroAgent::Prompt>& prompt) {
        if (prompt && prompt->kind() == TavroAgent::Prompt::Case::ask) weak.lock()->answer("  the red one ");
    });
    const auto report = runGoal(agent, "find the thing", 60);
    EXPECT_TRUE(report.ok) << report.status;
    ASSERT_GE(script->prompts.size(), 2u);
    EXPECT_NE(script->prompts[1].second.find("Which one? → the red one"), std::string::npos);
    EXPECT_FALSE(agent->prompt().value().has_value());
}

TEST_F(AgentReentry, AStopGivenWhileThePromptIsPublishedEndsTheRunOnce) {
    auto surface = shopScreen();
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(surface, configuration());
    agent->presenter = presenter;
    std::weak_ptr<TavroAgent> weak = agent;
    auto token = agent->prompt().didSet([weak](const std::optional<TavroAgent::Prompt>& prompt) {
        if (prompt) weak.lock()->stop("No thanks.");
    });
    const auto start = actor->now();
    const auto report = runGoal(agent, "tap Buy", 60);
    EXPECT_LT(actor->now() - start, 10s);
    EXPECT_EQ(report.status, "No thanks.");
    EXPECT_TRUE(surface->performed.empty());
    EXPECT_FALSE(agent->prompt().value().has_value());
    EXPECT_FALSE(presenter->last("glow")->visible) << "no waiting glow after the stop";
    EXPECT_EQ(count("run_end"), 1);
    EXPECT_FALSE(idleTimerDisabled());
}

// ---- run and stop from observers of the agent's state ----

TEST_F(AgentReentry, AQueuedGoalStartedWhenRunningTurnsFalseRunsAndEveryRunEndsOnce) {
    auto surface = shopScreen();
    auto agent = makeAgent(surface, configuration());
    std::weak_ptr<TavroAgent> weak = agent;
    std::vector<std::string> queue;
    std::vector<bool> heldWhileRunning;
    auto token = agent->running().didSet([&, weak](const bool& running) {
        heldWhileRunning.push_back(running == idleTimerDisabled());
        if (!running && !queue.empty()) {
            auto next = queue.back();
            queue.pop_back();
            weak.lock()->run(next);
        }
    });
    agent->run("tap Buy");  // waits for approval
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    queue.push_back("tap Save");
    agent->run("tap Buy");  // stops the waiting run; the observer starts the queued goal inside that stop
    EXPECT_EQ(agent->goal().value(), "tap Save") << "the goal asked last runs";
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
    ASSERT_EQ(surface->performed.size(), 1u);
    EXPECT_EQ(surface->performed[0].id, 2);
    EXPECT_EQ(count("run_start"), 2);
    EXPECT_EQ(count("run_end"), 2);
    EXPECT_FALSE(idleTimerDisabled());
    for (const bool ok : heldWhileRunning) EXPECT_TRUE(ok) << "the idle timer is held exactly while running";
}

TEST_F(AgentReentry, AStopFromTheObserverOfTheRunsStartEndsItBeforeItTakesAStep) {
    auto surface = shopScreen();
    auto agent = makeAgent(surface, configuration());
    std::weak_ptr<TavroAgent> weak = agent;
    auto token = agent->running().didSet([weak](const bool& running) {
        if (running) weak.lock()->stop("Not now.");
    });
    agent->run("tap Save");
    actor->runFor(10s);
    EXPECT_FALSE(agent->running().value());
    EXPECT_EQ(agent->status().value(), "Not now.");
    EXPECT_TRUE(surface->performed.empty());
    EXPECT_EQ(count("run_start"), 1);
    EXPECT_EQ(count("run_end"), 1);
    EXPECT_FALSE(idleTimerDisabled());
    EXPECT_FALSE(TavroAwake::shared().held());
}

TEST_F(AgentReentry, ARunStartedFromAnAnalyticsSinkReplacesTheRunBeingStarted) {
    auto surface = shopScreen();
    auto agent = makeAgent(surface, configuration());
    std::weak_ptr<TavroAgent> weak = agent;
    bool again = true;
    TavroAnalytics::setSink([&, weak](const std::string& name, const TavroAnalytics::Parameters& parameters) {
        events.push_back({name, parameters});
        if (name == "tavro_run_start" && again) {
            again = false;
            weak.lock()->run("tap Save");
        }
    });
    agent->run("tap Buy");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_EQ(agent->goal().value(), "tap Save");
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(count("run_start"), 2);
    EXPECT_EQ(count("run_end"), 2);
    EXPECT_FALSE(idleTimerDisabled());
}

// ---- Dropped agents ----

TEST_F(AgentReentry, DroppingAnAgentThatWaitsForApprovalGivesTheIdleTimerBack) {
    auto surface = shopScreen();
    auto agent = TavroAgent::create(surface, configuration(), freshMemory());
    agent->run("tap Buy");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    ASSERT_TRUE(idleTimerDisabled());
    agent.reset();
    EXPECT_FALSE(idleTimerDisabled());
    EXPECT_FALSE(TavroAwake::shared().held());
    actor->runFor(60s);
    EXPECT_TRUE(surface->performed.empty());
    // The run ends quietly: its agent is gone, so no run_end reports on it.
    EXPECT_EQ(count("run_end"), 0);
    events.clear();
}

TEST_F(AgentReentry, AnAgentDroppedByItsOwnObserverEndsItsRunQuietlyAtItsNextWait) {
    auto surface = shopScreen();
    auto agent = TavroAgent::create(surface, configuration(), freshMemory());
    std::weak_ptr<TavroAgent> weak = agent;
    std::shared_ptr<TavroAgent> owner = agent;
    agent.reset();
    auto token = owner->currentStep().didSet([&owner](const std::optional<std::string>& step) {
        if (step) owner.reset();  // the host lets go from inside the change
    });
    owner->run("tap Save");
    ASSERT_TRUE(runUntil([&] { return !owner; }));
    actor->runFor(10s);
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(surface->performed.empty()) << "the step in progress is not performed for an agent that is gone";
    EXPECT_FALSE(idleTimerDisabled());
    events.clear();
}

// ---- Exceptions inside a run ----

// A host model whose every call throws.
class ThrowingModel : public TavroModel {
public:
    std::string name() const override { return "Thrower"; }
    bool isAvailable() const override { return true; }
    rt::Task<std::optional<TavroAction>> decide(std::string, std::string) override {
        throw std::runtime_error("model broke");
        co_return std::nullopt;
    }
};

TEST_F(AgentReentry, AHostModelThatThrowsEndsTheRunAsAFailureAndCancelsTheTimeout) {
    auto agent = makeAgent(shopScreen(), configuration({std::make_shared<ThrowingModel>()}));
    const auto report = runGoal(agent, "find something nice", 60);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Something went wrong, so I stopped: model broke");
    EXPECT_EQ(count("run_end"), 1);
    EXPECT_FALSE(agent->running().value());
    EXPECT_FALSE(idleTimerDisabled());

    // The ended run's timeout timer must not stop a later run.
    agent->run("tap Buy");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    actor->runFor(90s);
    EXPECT_TRUE(agent->running().value());
    EXPECT_FALSE(agent->status().value().has_value());
    agent->stop();
}

TEST_F(AgentReentry, ASurfaceThatThrowsEndsTheRunAsAFailure) {
    auto surface = shopScreen();
    surface->onPerform = [](const TavroAction&, TavroScreen&) -> std::optional<std::string> {
        throw std::length_error("surface broke");
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Save", 60);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Something went wrong, so I stopped: surface broke");
    EXPECT_EQ(count("run_end"), 1);
    EXPECT_FALSE(idleTimerDisabled());
}

TEST_F(AgentReentry, AnObserverThatThrowsWhileTheRunStartsFailsThatRunOnly) {
    auto agent = makeAgent(shopScreen(), configuration());
    bool once = true;
    auto token = agent->goal().didSet([&once](const std::string&) {
        if (std::exchange(once, false)) throw std::runtime_error("observer broke");
    });
    auto report = runGoal(agent, "tap Save", 60);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Something went wrong, so I stopped: observer broke");
    EXPECT_EQ(count("run_end"), 1);
    EXPECT_FALSE(idleTimerDisabled());
    report = runGoal(agent, "tap Save", 60);
    EXPECT_TRUE(report.ok) << report.status;
}

}  // namespace
}  // namespace tavro::agenttest
