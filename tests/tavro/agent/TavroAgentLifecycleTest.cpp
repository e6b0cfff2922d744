// The life of a run: start, published state, analytics, stop, the common end, the idle timer.
#include "AgentTestSupport.h"

namespace tavro::agenttest {
namespace {

// A screen with a Save button whose tap shows "Saved" in the title.
std::shared_ptr<FakeSurface> saveScreen() {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Form", .title = "Form", .elements = {element(1, "button", "Save")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::click && a.id == 1) s.title = "Saved";
        return std::nullopt;
    };
    return surface;
}

class AgentLifecycle : public AgentTest {};

TEST_F(AgentLifecycle, RulesOnlyGoalRunsToDoneAndReportsEveryLine) {
    auto surface = saveScreen();
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Save");

    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.status, "Done.");
    ASSERT_EQ(report.steps.size(), 2u);
    EXPECT_EQ(report.steps[0].text, "Tap “Save”");
    EXPECT_TRUE(report.steps[0].ok);
    EXPECT_EQ(report.steps[1].text, "✓ Done.");
    EXPECT_GE(report.ms[0], 350) << "the step's time includes its verification";
    EXPECT_EQ(report.ms[1], 0);
    EXPECT_EQ(agent->engineName().value(), "Rules · on-device");
    EXPECT_FALSE(agent->running().value());
    EXPECT_TRUE(agent->succeeded().value());

    const auto* start = lastEvent("run_start");
    EXPECT_EQ(text(start, "engine"), "rules");
    EXPECT_EQ(integer(start, "repeat"), 0);
    EXPECT_EQ(integer(start, "auto"), 1);
    const auto* end = lastEvent("run_end");
    EXPECT_EQ(integer(end, "ok"), 1);
    EXPECT_EQ(integer(end, "steps"), 1) << "the success line does not count";
    EXPECT_EQ(integer(end, "failed_steps"), 0);
    EXPECT_EQ(integer(end, "planned"), 0);
    EXPECT_GE(integer(end, "duration_ms"), 650) << "a 350 ms verification and a 300 ms pause";
    EXPECT_TRUE(console.contains("[TAVRO_SDK] start models=[] replay=false steps=1 goal=tap Save"));
}

TEST_F(AgentLifecycle, EmptyGoalAfterARunClearsTheStateAndSendsNothing) {
    auto agent = makeAgent(saveScreen(), configuration());
    runGoal(agent, "tap Save");
    const auto sent = events.size();

    agent->run("   \n ");
    EXPECT_TRUE(agent->log().value().empty());
    EXPECT_TRUE(agent->plan().value().empty());
    EXPECT_FALSE(agent->status().value().has_value());
    EXPECT_FALSE(agent->currentStep().value().has_value());
    EXPECT_FALSE(agent->running().value());
    EXPECT_FALSE(agent->task());
    actor->runFor(3s);
    EXPECT_EQ(events.size(), sent);
}

TEST_F(AgentLifecycle, PausedPackShowsThePausedStatusAndDoesNotStart) {
    TavroPack pack;
    pack.paused = true;
    TavroPacks::setCurrent(pack);
    auto agent = makeAgent(saveScreen(), configuration());
    const auto report = runGoal(agent, "tap Save");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Nothing to do.");
    EXPECT_EQ(agent->status().value(), "Tavro is paused for this app right now.");
    EXPECT_FALSE(agent->running().value());
    EXPECT_EQ(count("run_start"), 0);
}

TEST_F(AgentLifecycle, PackRewriteRunsTheRewrittenGoal) {
    TavroPack pack;
    pack.rewrites.push_back({.pattern = "^press (.+)$", .templateText = "tap $1"});
    TavroPacks::setCurrent(pack);
    auto agent = makeAgent(saveScreen(), configuration());
    const auto report = runGoal(agent, "  press Save ");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(agent->goal().value(), "tap Save");
}

TEST_F(AgentLifecycle, PackStepLimitReplacesTheConfiguredOne) {
    TavroPack pack;
    pack.maxSteps = 0;
    TavroPacks::setCurrent(pack);
    auto agent = makeAgent(saveScreen(), configuration());
    const auto report = runGoal(agent, "tap Save");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Stopped after 0 steps.");
}

TEST_F(AgentLifecycle, StopWithoutARunTurnsTheGlowOffAndHidesThePointerLater) {
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(saveScreen(), configuration());
    agent->presenter = presenter;
    agent->stop();
    EXPECT_FALSE(agent->running().value());
    EXPECT_FALSE(agent->status().value().has_value());
    ASSERT_NE(presenter->last("glow"), nullptr);
    EXPECT_FALSE(presenter->last("glow")->visible);
    actor->runFor(1799ms);
    EXPECT_EQ(presenter->count("hideCursor"), 0);
    actor->runFor(2ms);
    EXPECT_EQ(presenter->count("hideCursor"), 1);
    EXPECT_EQ(count("run_end"), 0);
}

TEST_F(AgentLifecycle, StopWithANoteDuringARunEndsItOnce) {
    auto surface = saveScreen();
    surface->onPerform = nullptr;  // Save does nothing: the run would go on for a while
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Save");
    actor->runFor(500ms);
    ASSERT_TRUE(agent->running().value());
    agent->stop("x");
    EXPECT_EQ(agent->status().value(), "x");
    EXPECT_FALSE(agent->running().value());
    actor->runFor(10s);
    EXPECT_EQ(count("run_end"), 1);
    EXPECT_EQ(integer(lastEvent("run_end"), "ok"), 0);
    EXPECT_EQ(agent->status().value(), "x") << "the stopped loop writes nothing more";
}

TEST_F(AgentLifecycle, ARunStoppedBeforeItsTaskRunsNeverTouchesTheScreen) {
    auto surface = saveScreen();
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Save");
    agent->stop("x");
    actor->runFor(5s);
    EXPECT_EQ(surface->settles, 0);
    EXPECT_TRUE(surface->readings.empty());
    EXPECT_TRUE(surface->performed.empty());
    EXPECT_EQ(agent->status().value(), "x");
    EXPECT_EQ(count("run_end"), 1);
}

TEST_F(AgentLifecycle, RunEndCountsStepsAndFailedStepsByTheirLines) {
    // The tap on a dead button fails (no visible effect); the rules engine, its clause used up,
    // would report done, but with no model to try another way the run fails instead.
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Home", .elements = {element(1, "button", "Dead")}};
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Dead");
    ASSERT_EQ(report.steps.size(), 1u);
    EXPECT_FALSE(report.steps[0].ok);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "A step had no visible effect, so the goal is not done.");
    const auto* end = lastEvent("run_end");
    EXPECT_EQ(integer(end, "ok"), 0);
    EXPECT_EQ(integer(end, "failed_steps"), 1);
    EXPECT_EQ(integer(end, "steps"), 0);
}

TEST_F(AgentLifecycle, EngineNameComesFromTheFirstAvailableModel) {
    auto off = std::make_shared<Script>();
    off->available = false;
    auto on = std::make_shared<Script>();
    auto agent = makeAgent(saveScreen(), configuration({scriptedModel("Off", off), scriptedModel("On", on)}));
    EXPECT_EQ(agent->engineName().value(), "On");

    auto rulesOnly = makeAgent(saveScreen(), configuration({scriptedModel("Off", off)}));
    EXPECT_EQ(rulesOnly->engineName().value(), "Rules · no on-device model ready");
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    rulesOnly->refreshEngine();
    EXPECT_EQ(rulesOnly->engineName().value(), "ルール · オンデバイスモデル未準備");
}

TEST_F(AgentLifecycle, RefreshEngineWaitsWhileARunIsActive) {
    auto surface = saveScreen();
    surface->onPerform = nullptr;
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Save");
    actor->runFor(100ms);
    const auto during = agent->engineName().value();
    agent->configuration.models = {scriptedModel("Late", std::make_shared<Script>())};
    agent->refreshEngine();
    EXPECT_EQ(agent->engineName().value(), during);
    agent->stop();
    agent->refreshEngine();
    EXPECT_EQ(agent->engineName().value(), "Late");
}

TEST_F(AgentLifecycle, GlowFollowsAutoRunAndShowsGlow) {
    auto presenter = std::make_shared<RecordingPresenter>();
    auto surface = saveScreen();
    auto c = configuration();
    c.showsGlow = false;
    auto agent = makeAgent(surface, c);
    agent->presenter = presenter;
    runGoal(agent, "tap Save");
    for (const auto& call : presenter->calls) {
        if (call.name == "glow") {
            EXPECT_FALSE(call.visible);
        }
    }

    auto shown = std::make_shared<RecordingPresenter>();
    auto glowing = makeAgent(saveScreen(), configuration());
    glowing->presenter = shown;
    glowing->run("tap Save");
    ASSERT_NE(shown->last("glow"), nullptr);
    EXPECT_TRUE(shown->last("glow")->visible);
    EXPECT_FALSE(shown->last("glow")->waiting);
    runUntil([&] { return !glowing->running().value(); });
    EXPECT_FALSE(shown->last("glow")->visible);
}

TEST_F(AgentLifecycle, ChangingAutoRunWhileIdleShowsNothing) {
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(saveScreen(), configuration());
    agent->presenter = presenter;
    agent->setAutoRun(false);
    agent->setAutoRun(true);
    EXPECT_EQ(presenter->count("glow"), 0);
}

TEST_F(AgentLifecycle, DroppingTheAgentEndsItsRunQuietly) {
    auto surface = saveScreen();
    surface->onPerform = nullptr;
    auto agent = TavroAgent::create(surface, configuration(), freshMemory());
    agent->run("tap Save");
    actor->runFor(400ms);
    std::weak_ptr<TavroAgent> weak = agent;
    agent.reset();
    EXPECT_TRUE(weak.expired()) << "the run task holds the agent weakly";
    actor->runFor(30s);
    const auto performed = surface->performed.size();
    actor->runFor(30s);
    EXPECT_EQ(surface->performed.size(), performed) << "nothing runs after the agent is gone";
    // A dropped agent does not finish its run: no run_end, so the balance check does not apply.
    EXPECT_EQ(count("run_end"), 0);
    events.clear();
}

TEST_F(AgentLifecycle, DroppingAnAgentThatWaitsForTheUserEndsTheWait) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Shop", .elements = {element(1, "button", "Buy")}};
    auto agent = TavroAgent::create(surface, configuration(), freshMemory());
    auto waiting = rt::spawn(agent->runAndWait("tap Buy", 60), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    agent.reset();
    ASSERT_TRUE(runUntil([&] { return waiting.isDone(); }));
    ASSERT_TRUE(waiting.result());
    EXPECT_FALSE(waiting.result()->ok);
    EXPECT_TRUE(surface->performed.empty());
    EXPECT_EQ(count("run_end"), 0);
    events.clear();
}

// ---- Idle timer ----

class AgentIdleTimer : public AgentTest {
protected:
    StandInApplication application;

    void registerApplication(bool disabled) { application.install(disabled); }
    bool idleTimerDisabled() const { return application.idleTimerDisabled(); }
};

TEST_F(AgentIdleTimer, ARunHoldsTheIdleTimerAndGivesItBack) {
    registerApplication(false);
    auto surface = saveScreen();
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Save");
    EXPECT_TRUE(idleTimerDisabled());
    EXPECT_TRUE(TavroAwake::shared().held());
    runUntil([&] { return !agent->running().value(); });
    EXPECT_FALSE(idleTimerDisabled());
    EXPECT_FALSE(TavroAwake::shared().held());
}

TEST_F(AgentIdleTimer, AnAppThatDisabledItsIdleTimerKeepsItDisabled) {
    registerApplication(true);
    auto agent = makeAgent(saveScreen(), configuration());
    runGoal(agent, "tap Save");
    EXPECT_TRUE(idleTimerDisabled());
}

TEST_F(AgentIdleTimer, SecondHoldKeepsTheFirstSetting) {
    registerApplication(false);
    TavroAwake::shared().hold();
    TavroAwake::shared().hold();
    EXPECT_TRUE(idleTimerDisabled());
    TavroAwake::shared().release();
    EXPECT_FALSE(idleTimerDisabled());
}

TEST_F(AgentIdleTimer, ReleaseWithoutHoldLeavesTheAppAlone) {
    registerApplication(true);
    TavroAwake::shared().release();
    EXPECT_TRUE(idleTimerDisabled());
    application.object->setValue(false, "idleTimerDisabled");
    TavroAwake::shared().release();
    EXPECT_FALSE(idleTimerDisabled());
}

TEST_F(AgentIdleTimer, AnswerThatIsNotAnApplicationIsNoApplication) {
    // The class answers an object of another class: nothing is held and that object is left alone.
    auto stranger = objc::Object::make("NSObject");
    stranger->setValue(false, "idleTimerDisabled");
    auto cls = objc::Object::make("UIApplication");
    cls->method("sharedApplication", [stranger](objc::Object&, const objc::Args&) { return objc::Value(stranger); });
    objc::Runtime::registerClass(cls);

    TavroAwake::shared().hold();
    EXPECT_FALSE(TavroAwake::shared().held());
    EXPECT_FALSE(stranger->valueForKey("idleTimerDisabled")->boolean().value_or(true));
}

TEST_F(AgentIdleTimer, WithoutAnApplicationNothingIsHeld) {
    TavroAwake::shared().hold();
    EXPECT_FALSE(TavroAwake::shared().held());
    auto agent = makeAgent(saveScreen(), configuration());
    const auto report = runGoal(agent, "tap Save");
    EXPECT_TRUE(report.ok);
}

}  // namespace
}  // namespace tavro::agenttest
