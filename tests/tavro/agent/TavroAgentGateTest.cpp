// User turns: approval, questions, the system-prompt and human-check pauses with their watcher,
// and how stops and newer runs end a wait.
#include "AgentTestSupport.h"

namespace tavro::agenttest {
namespace {

class AgentGate : public AgentTest {
protected:
    bool waitFor(const std::shared_ptr<TavroAgent>& agent, TavroAgent::Prompt::Case kind) {
        return runUntil([&] { return agent->prompt().value() && agent->prompt().value()->kind() == kind; });
    }
};

TEST_F(AgentGate, ApprovingARiskyStepPerformsItAndReportsTheApproval) {
    auto surface = shopScreen();
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(surface, configuration());
    agent->presenter = presenter;
    agent->run("tap Buy");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    EXPECT_EQ(*agent->prompt().value(), TavroAgent::Prompt::approve("Tap “Buy”"));
    EXPECT_EQ(agent->currentStep().value(), "Tap “Buy”");
    EXPECT_TRUE(surface->performed.empty());
    // The pointer previews the target before the question, and the glow waits.
    ASSERT_NE(presenter->last("point"), nullptr);
    EXPECT_EQ(presenter->last("point")->text, "Tap “Buy”");
    EXPECT_EQ(presenter->last("point")->rect, surface->screen.elements[0].frame);
    EXPECT_TRUE(presenter->last("glow")->visible);
    EXPECT_TRUE(presenter->last("glow")->waiting);

    agent->approve();
    EXPECT_FALSE(agent->prompt().value().has_value());
    EXPECT_TRUE(presenter->last("glow")->visible);
    EXPECT_FALSE(presenter->last("glow")->waiting);
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    ASSERT_EQ(surface->performed.size(), 1u);
    EXPECT_EQ(surface->performed[0].id, 1);
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(count("approval"), 1);
    EXPECT_EQ(integer(lastEvent("approval"), "approved"), 1);
}

TEST_F(AgentGate, StoppingAtAnApprovalRefusesItBeforeTheRunEnds) {
    auto surface = shopScreen();
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Buy");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    agent->stop("Stopped.");
    actor->runFor(5s);
    EXPECT_TRUE(surface->performed.empty());
    EXPECT_EQ(agent->status().value(), "Stopped.");
    EXPECT_FALSE(agent->prompt().value().has_value());
    const auto names = eventNames();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "tavro_run_start");
    EXPECT_EQ(names[1], "tavro_approval");
    EXPECT_EQ(names[2], "tavro_run_end");
    EXPECT_EQ(integer(lastEvent("approval"), "approved"), 0);
    EXPECT_EQ(integer(lastEvent("run_end"), "ok"), 0);
}

TEST_F(AgentGate, ANewRunDuringAWaitEndsTheOldRunFirst) {
    auto surface = shopScreen();
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Buy");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    agent->run("tap Save");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    actor->runFor(5s);

    const auto names = eventNames();
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0], "tavro_run_start");
    EXPECT_EQ(names[1], "tavro_approval");
    EXPECT_EQ(names[2], "tavro_run_end");
    EXPECT_EQ(names[3], "tavro_run_start");
    EXPECT_EQ(names[4], "tavro_run_end");
    ASSERT_EQ(surface->performed.size(), 1u);
    EXPECT_EQ(surface->performed[0].id, 2) << "only the new run's step was performed";
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(agent->goal().value(), "tap Save");
}

TEST_F(AgentGate, WithAutoRunOffEveryStepWaitsEvenUnderNever) {
    auto c = configuration();
    c.autoRun = false;
    c.approval = TavroApproval::never;
    auto surface = shopScreen();
    auto agent = makeAgent(surface, c);
    EXPECT_FALSE(agent->autoRun().value());
    agent->run("tap Save");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    agent->approve();
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_EQ(surface->performed.size(), 1u);
}

TEST_F(AgentGate, ApprovalPolicyNeverLetsRiskyStepsThrough) {
    auto c = configuration();
    c.approval = TavroApproval::never;
    auto surface = shopScreen();
    auto agent = makeAgent(surface, c);
    const auto report = runGoal(agent, "tap Buy");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(count("approval"), 0);
}

TEST_F(AgentGate, ChangingAutoRunWhileWaitingSwitchesTheGlowInItsWaitingStyle) {
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(shopScreen(), configuration());
    agent->presenter = presenter;
    agent->run("tap Buy");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    agent->setAutoRun(false);
    EXPECT_FALSE(presenter->last("glow")->visible);
    EXPECT_TRUE(presenter->last("glow")->waiting);
    agent->approve();
    EXPECT_FALSE(presenter->last("glow")->visible) << "the glow stays off after the resume";
    agent->stop();
}

// ---- Questions ----

TEST_F(AgentGate, AQuestionsAnswerIsTrimmedAndCarriedToTheModel) {
    auto script = std::make_shared<Script>();
    script->replies = {reply("ask", std::nullopt, "Which friend?"), reply("done", std::nullopt, "Asked")};
    auto agent = makeAgent(chatScreen(), configuration({scriptedModel("M", script)}));
    agent->run("message my friend");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::ask));
    EXPECT_EQ(agent->prompt().value()->text(), "Which friend?");
    agent->answer("  Tuli B \n");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));

    EXPECT_TRUE(agent->succeeded().value());
    const auto lines = logTexts(*agent);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "You answered: Tuli B"), lines.end());
    ASSERT_EQ(script->decideCalls(), 2);
    const auto& user = script->prompts[1].second;
    EXPECT_NE(user.find("GOAL: message my friend\nWhich friend? → Tuli B\n"), std::string::npos) << user;
    EXPECT_NE(user.find("Asked the user “Which friend?”; they answered “Tuli B”"), std::string::npos) << user;
}

TEST_F(AgentGate, ABlankAnswerEndsTheRunAndLeavesTheStatus) {
    auto script = std::make_shared<Script>();
    script->replies = {reply("ask", std::nullopt, "Which friend?")};
    auto agent = makeAgent(chatScreen(), configuration({scriptedModel("M", script)}));
    agent->run("message my friend");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::ask));
    agent->answer("   \n");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_FALSE(agent->succeeded().value());
    EXPECT_FALSE(agent->status().value().has_value());
    EXPECT_EQ(script->decideCalls(), 1);
}

// ---- Pauses ----

TEST_F(AgentGate, ASystemPromptThatGoesAwayResumesTheRunWithin300ms) {
    auto surface = shopScreen();
    surface->alert = true;
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(surface, configuration());
    agent->presenter = presenter;
    agent->run("tap Save");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::human));
    EXPECT_EQ(agent->prompt().value()->text(),
              "iOS is asking you something (permission, Apple Pay…). Answer it and I'll carry on.");
    const auto said = presenter->texts("say");
    EXPECT_NE(std::find(said.begin(), said.end(), "Your turn: answer the iOS prompt"), said.end());

    actor->runFor(1s);
    ASSERT_TRUE(agent->prompt().value().has_value()) << "still waiting while the prompt shows";
    const auto gone = actor->now() + 1234ms;
    auto timer = actor->schedule(1234ms, [surface] { surface->alert = false; });
    ASSERT_TRUE(runUntil([&] { return !agent->prompt().value().has_value(); }));
    EXPECT_GE(actor->now(), gone);
    EXPECT_LE(actor->now() - gone, 300ms);
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
}

TEST_F(AgentGate, ContinuingWhileTheSystemPromptStillShowsPausesAgain) {
    auto surface = shopScreen();
    surface->alert = true;
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Save");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::human));
    agent->approve();
    EXPECT_FALSE(agent->prompt().value().has_value());
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::human));
    EXPECT_TRUE(surface->performed.empty());
    agent->stop();
}

TEST_F(AgentGate, EachSystemPromptPauseUsesAStep) {
    auto surface = shopScreen();
    surface->alert = true;
    auto c = configuration();
    c.maxSteps = 3;
    auto agent = makeAgent(surface, c);
    agent->run("tap Save");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::human)) << i;
        agent->approve();
    }
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_EQ(agent->status().value(), "Stopped after 3 steps.");
    EXPECT_TRUE(surface->performed.empty());
}

TEST_F(AgentGate, TheModelHearsThatTheUserAnsweredASystemPrompt) {
    auto surface = chatScreen();
    surface->alert = true;
    auto script = std::make_shared<Script>();
    script->replies = {reply("done", std::nullopt, "ok")};
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    agent->run("message my friend");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::human));
    surface->alert = false;
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    ASSERT_GE(script->decideCalls(), 1);
    EXPECT_NE(script->prompts[0].second.find("The user answered an iOS system prompt"), std::string::npos);
}

TEST_F(AgentGate, AHumanCheckWaitsForTheUserAndUsesAStep) {
    auto surface = shopScreen();
    surface->screen.humanCheck = true;
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(surface, configuration());
    agent->presenter = presenter;
    agent->run("tap Save");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::human));
    EXPECT_EQ(agent->prompt().value()->text(),
              "A human check (CAPTCHA) is showing. Solve it, then tap Continue and I'll carry on.");
    const auto said = presenter->texts("say");
    EXPECT_NE(std::find(said.begin(), said.end(), "Your turn: solve the check"), said.end());
    surface->screen.humanCheck = false;
    agent->approve();
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());

    auto limited = configuration();
    limited.maxSteps = 1;
    auto second = shopScreen();
    second->screen.humanCheck = true;
    auto once = makeAgent(second, limited);
    once->run("tap Save");
    ASSERT_TRUE(waitFor(once, TavroAgent::Prompt::Case::human));
    once->approve();
    ASSERT_TRUE(runUntil([&] { return !once->running().value(); }));
    EXPECT_EQ(once->status().value(), "Stopped after 1 steps.");
}

TEST_F(AgentGate, PausesSpeakJapaneseToAJapaneseUser) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    struct Case {
        bool alert;
        bool humanCheck;
        std::string said;
        std::string prompt;
    };
    const std::vector<Case> cases = {
        {true, false, "iOSの確認に答えてください",
         "iOSが確認を表示しています(許可・Apple Payなど)。答えると続きを行います。"},
        {false, true, "確認を解いてください",
         "人間確認(CAPTCHA)が表示されています。解いてから「続ける」を押すと続きを行います。"},
    };
    for (const auto& c : cases) {
        auto surface = shopScreen();
        surface->alert = c.alert;
        surface->screen.humanCheck = c.humanCheck;
        auto presenter = std::make_shared<RecordingPresenter>();
        auto agent = makeAgent(surface, configuration());
        agent->presenter = presenter;
        agent->run("tap Save");
        ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::human)) << c.said;
        EXPECT_EQ(agent->prompt().value()->text(), c.prompt);
        const auto said = presenter->texts("say");
        EXPECT_NE(std::find(said.begin(), said.end(), c.said), said.end()) << c.said;
        agent->stop();
    }

    auto script = std::make_shared<Script>();
    script->thoughts = {R"({"intent":"","done":"","steps":[],"ask":"どれ?"})"};
    auto asking = makeAgent(shopScreen(), configuration({scriptedModel("M", script)}));
    asking->run("cheer up my friend");
    ASSERT_TRUE(waitFor(asking, TavroAgent::Prompt::Case::ask));
    asking->answer("");
    ASSERT_TRUE(runUntil([&] { return !asking->running().value(); }));
    EXPECT_EQ(asking->status().value(), "停止:「どれ?」が必要でした。");
}

TEST_F(AgentGate, StoppingDuringAHumanPauseEndsTheLoopSilently) {
    auto surface = shopScreen();
    surface->screen.humanCheck = true;
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Save");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::human));
    agent->stop("Stopped.");
    actor->runFor(5s);
    EXPECT_EQ(agent->status().value(), "Stopped.");
    EXPECT_TRUE(logTexts(*agent).empty());
    EXPECT_EQ(count("approval"), 0) << "only approvals are reported";
}

}  // namespace
}  // namespace tavro::agenttest
