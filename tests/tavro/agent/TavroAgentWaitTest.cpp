// Waiting for a run: the report, the "Nothing to do." answer, the timeout with its 5 s floor.
#include "AgentTestSupport.h"

namespace tavro::agenttest {
namespace {

class AgentWait : public AgentTest {
protected:
    // A screen whose Buy button waits for approval that never comes.
    std::shared_ptr<FakeSurface> waitingScreen() {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen = TavroScreen{.location = "Shop", .elements = {element(1, "button", "Buy")}};
        return surface;
    }
};

TEST_F(AgentWait, AnEmptyGoalAnswersNothingToDoAtOnce) {
    auto agent = makeAgent(waitingScreen(), configuration());
    const auto start = actor->now();
    const auto report = runGoal(agent, "   ", 60);
    EXPECT_EQ(actor->now(), start);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Nothing to do.");
    EXPECT_TRUE(report.steps.empty());
    EXPECT_TRUE(report.ms.empty());

    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    EXPECT_EQ(runGoal(agent, "", 60).status, "実行する内容がありません。");
}

TEST_F(AgentWait, AShortTimeoutWaitsFiveSecondsAndNamesTheTimeoutGiven) {
    auto agent = makeAgent(waitingScreen(), configuration());
    const auto start = actor->now();
    const auto report = runGoal(agent, "tap Buy", 2);
    EXPECT_EQ(actor->now() - start, 5s);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Timed out after 2 s.");
    EXPECT_FALSE(agent->running().value());
}

TEST_F(AgentWait, ALongerTimeoutIsKeptAndCutToWholeSecondsInTheNote) {
    auto agent = makeAgent(waitingScreen(), configuration());
    const auto start = actor->now();
    const auto report = runGoal(agent, "tap Buy", 7.9);
    EXPECT_EQ(actor->now() - start, 7900ms);
    EXPECT_EQ(report.status, "Timed out after 7 s.");
}

TEST_F(AgentWait, TimeoutsThatAreNotFiniteNumbers) {
    auto agent = makeAgent(waitingScreen(), configuration());
    auto start = actor->now();
    auto report = runGoal(agent, "tap Buy", std::nan(""));
    EXPECT_EQ(actor->now() - start, 5s);
    EXPECT_EQ(report.status, "Timed out after 0 s.");

    // An endless timeout sets no timer: the run waits until someone stops it.
    agent->run("");
    start = actor->now();
    auto waiting = rt::spawn(agent->runAndWait("tap Buy", std::numeric_limits<double>::infinity()), actor);
    actor->runFor(std::chrono::hours(2));
    EXPECT_FALSE(waiting.isDone());
    agent->stop("Stopped.");
    actor->runUntil([&] { return waiting.isDone(); });
    ASSERT_TRUE(waiting.result());
    EXPECT_EQ(waiting.result()->status, "Stopped.");
}

TEST_F(AgentWait, TheTimerOfAFinishedRunNeverStopsALaterRun) {
    auto surface = waitingScreen();
    surface->screen.elements.push_back(element(2, "button", "Save"));
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.id == 2) s.title = "Saved";
        return std::nullopt;
    };
    auto agent = makeAgent(surface, configuration());
    EXPECT_TRUE(runGoal(agent, "tap Save", 5).ok);
    agent->run("tap Buy");
    actor->runFor(20s);
    EXPECT_TRUE(agent->running().value());
    EXPECT_FALSE(agent->status().value().has_value());
    agent->stop();
}

TEST_F(AgentWait, TheReportCopiesEveryLogLineAndTheStopNote) {
    auto agent = makeAgent(waitingScreen(), configuration());
    auto waiting = rt::spawn(agent->runAndWait("tap Buy", 60), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    agent->stop("Stopped by the host.");
    ASSERT_TRUE(runUntil([&] { return waiting.isDone(); }));
    const auto report = *waiting.result();
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Stopped by the host.");
    EXPECT_EQ(report.steps.size(), agent->log().value().size());
}

TEST_F(AgentWait, TheReportOfARealRunRendersItsSteps) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Home", .elements = {element(1, "button", "Next"), element(2, "button", "Dead")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.id == 1) s.title = "Next";
        return std::nullopt;
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Next then tap Dead");
    EXPECT_EQ(report.stepsText(), "1. ✓ Tap “Next” · 350 ms\n2. ✗ Tap “Dead” · 1850 ms");
    EXPECT_EQ(report.ms, (std::vector<std::int64_t>{350, 1850}));
    EXPECT_FALSE(report.ok);
}

}  // namespace
}  // namespace tavro::agenttest
