// A step that failed ends what the engines can carry: no later clause or recipe step runs after it
// and no engine reports the goal done past it; and a model's give-up is not turned into success by
// done words the run's first screen already showed.
#include "DemoTestSupport.h"

namespace tavro::agenttest {
namespace {

// A payment page whose Amount field refuses typing; Pay shows that it paid.
std::shared_ptr<FakeSurface> payScreen() {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Pay",
                                  .title = "Pay",
                                  .elements = {element(1, "input", "Amount"), element(2, "button", "Pay")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::type && a.id == 1) return "failed: Amount is read-only";
        if (a.kind == TavroAction::Kind::click && a.id == 2) s.text = "Paid";
        return std::nullopt;
    };
    return surface;
}

int clicksOn(const FakeSurface& surface, std::int64_t id) {
    return static_cast<int>(std::count_if(surface.performed.begin(), surface.performed.end(), [&](const TavroAction& a) {
        return a.kind == TavroAction::Kind::click && a.id == id;
    }));
}

class AgentFailedStep : public AgentTest {};

TEST_F(AgentFailedStep, WithoutAModelAFailedRulesStepEndsTheRunBeforeTheNextClause) {
    for (const bool attended : {false, true}) {
        SCOPED_TRACE(attended ? "approval asked" : "unattended");
        auto surface = payScreen();
        auto agent = makeAgent(surface, attended ? configuration() : unattended());
        int approvals = 0;
        const auto watch = agent->prompt().didSet([&](const std::optional<TavroAgent::Prompt>& prompt) {
            if (prompt && prompt->kind() == TavroAgent::Prompt::Case::approve) ++approvals;
        });
        const auto report = runGoal(agent, "type 250 into Amount then tap Pay");
        EXPECT_FALSE(report.ok);
        EXPECT_EQ(report.status, "Type “250” into Amount failed: Amount is read-only, so the goal is not done.");
        EXPECT_EQ(clicksOn(*surface, 2), 0) << "Pay is never pressed after the amount failed";
        EXPECT_EQ(approvals, 0) << "nothing is asked for a step that will not run";
        ASSERT_EQ(report.steps.size(), 1u) << report.stepsText();
        EXPECT_FALSE(report.steps[0].ok);
        EXPECT_TRUE(console.contains("[TAVRO_SDK] fail Type “250” into Amount failed: Amount is read-only"));
    }
}

TEST_F(AgentFailedStep, WithoutAModelAFailedRecipeStepIsNotFollowedByItsLaterSteps) {
    // Learned while Amount took the typing; replayed when it refuses it. The rules engine, tried in
    // the failed step's place, can only repeat that same typing: the run ends there, unpaid.
    auto memory = freshMemory();
    auto surface = payScreen();
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::type && a.id == 1) s.elements[0].value = a.text;
        if (a.kind == TavroAction::Kind::click && a.id == 2) s.text = "Paid";
        return std::nullopt;
    };
    const auto learned = runGoal(makeAgent(surface, unattended(), memory), "type 250 into Amount then tap Pay");
    ASSERT_TRUE(learned.ok) << learned.status;

    auto refusing = payScreen();
    auto agent = makeAgent(refusing, unattended(), memory);
    const auto report = runGoal(agent, "type 250 into Amount then tap Pay");
    EXPECT_TRUE(console.contains("replay=true"));
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Type “250” into Amount failed: Amount is read-only, so the goal is not done.");
    EXPECT_EQ(clicksOn(*refusing, 2), 0);
    EXPECT_EQ(refusing->count(TavroAction::Kind::type), 1) << "the failed typing is not made again";
}

TEST_F(AgentFailedStep, WithAModelAFailedRulesStepHandsTheRestOfTheGoalToTheModel) {
    // "tap Send" whose press fails: the rules engine has no clause left, yet its done is not taken.
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Chat", .elements = {element(1, "button", "Send")}};
    surface->onPerform = [](const TavroAction&, TavroScreen&) -> std::optional<std::string> {
        return "failed: Send is disabled";
    };
    auto script = std::make_shared<Script>();
    script->replies = {reply("fail", std::nullopt, "Send stays disabled.")};
    auto agent = makeAgent(surface, unattended({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "tap Send");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Send stays disabled.");
    ASSERT_EQ(script->decideCalls(), 1) << "the model is asked after the failed step";
    EXPECT_NE(script->prompts[0].second.find("Tap “Send” → failed: Send is disabled"), std::string::npos)
        << "the failure is in the model's history";

    // A later clause is left to the model too: the rules engine does not press Pay on its own.
    auto pay = payScreen();
    auto payScript = std::make_shared<Script>();
    payScript->replies = {reply("fail", std::nullopt, "The amount cannot be entered.")};
    auto payAgent = makeAgent(pay, unattended({scriptedModel("M", payScript)}));
    const auto payReport = runGoal(payAgent, "type 250 into Amount then tap Pay");
    EXPECT_FALSE(payReport.ok);
    EXPECT_EQ(payReport.status, "The amount cannot be entered.");
    EXPECT_EQ(clicksOn(*pay, 2), 0);
    EXPECT_GE(payScript->decideCalls(), 1);
}

TEST_F(AgentFailedStep, WithAModelAFailedRecipeStepHandsTheRestOfTheGoalToTheModel) {
    auto memory = freshMemory();
    auto surface = chatScreen();
    const auto learned = runGoal(makeAgent(surface, unattended(), memory), "type hi into Message then tap Send");
    ASSERT_TRUE(learned.ok) << learned.status;

    // Send now fails; the replay's press of it is the failed step.
    surface->performed.clear();
    surface->screen.elements[0].value.clear();
    surface->screen.text.clear();
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::type && a.id == 1) s.elements[0].value = a.text;
        if (a.kind == TavroAction::Kind::click && a.id == 2) return "failed: Send is disabled";
        return std::nullopt;
    };
    auto script = std::make_shared<Script>();
    script->otherwise = reply("fail", std::nullopt, "Sending is off.");
    auto agent = makeAgent(surface, unattended({scriptedModel("M", script)}), memory);
    const auto report = runGoal(agent, "type hi into Message then tap Send");
    EXPECT_TRUE(console.contains("replay=true"));
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Sending is off.");
    ASSERT_GE(script->decideCalls(), 1);
    EXPECT_NE(script->prompts[0].second.find("Tap “Send” → failed: Send is disabled"), std::string::npos);
    EXPECT_EQ(clicksOn(*surface, 2), 1) << "the failed press is not made again by the rules engine";
}

// ---- Replays on the demo app, without a model ----

class AgentFailedStepOnDemo : public AgentOnDemo {};

TEST_F(AgentFailedStepOnDemo, AFailedReplayedStepEndsTheRunAsNotDone) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    const auto learned = runGoal(agent, "open Settings then set Text Size to 13");
    ASSERT_TRUE(learned.ok) << learned.status;
    EXPECT_EQ(app->textSize(), 13);

    app->reset();
    actor->runFor(2s);
    console.clear();
    const auto report = runGoal(agent, "open Settings then set Text Size to 31");
    EXPECT_TRUE(console.contains("replay=true")) << "the learned recipe is replayed";
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Set Text Size to “31” failed: Text Size takes a number from 12 to 24, so the goal is not done.");
    EXPECT_EQ(app->textSize(), 17) << "the slider is left as it was";
    ASSERT_FALSE(report.steps.empty());
    EXPECT_FALSE(report.steps.back().ok) << "no success line after the failed step";

    const auto deutsch = runGoal(agent, "open Settings then set Language to Deutsch");
    ASSERT_TRUE(deutsch.ok) << deutsch.status;
    app->reset();
    actor->runFor(2s);
    console.clear();
    const auto klingon = runGoal(agent, "open Settings then set Language to Klingon");
    EXPECT_TRUE(console.contains("replay=true"));
    EXPECT_FALSE(klingon.ok) << klingon.stepsText();
    EXPECT_NE(klingon.status.find("Set Language to “Klingon” failed"), std::string::npos) << klingon.status;
    EXPECT_EQ(app->language(), "English");
}

// ---- The model's give-up ----

// A checkout page whose footer may already hold the words of the plan's done text; pressing Pay
// now puts `afterPress` in its title.
std::shared_ptr<FakeSurface> checkoutScreen(std::string footer, std::string afterPress) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Checkout",
                                  .title = "Checkout",
                                  .text = std::move(footer),
                                  .elements = {element(1, "button", "Pay now")}};
    surface->onPerform = [afterPress = std::move(afterPress)](const TavroAction&, TavroScreen& s) -> std::optional<std::string> {
        s.title = afterPress;
        return std::nullopt;
    };
    return surface;
}

// A model whose plan says the order is done when "Order placed" shows.
std::shared_ptr<Script> orderingScript() {
    auto script = std::make_shared<Script>();
    script->thoughts = {R"({"intent":"order","done":"Order placed","steps":["Pay for the order","Confirm it","Wait for the receipt","Close it"],"ask":""})"};
    return script;
}

constexpr std::string_view kFooterWithDoneWords = "Every order placed before 2pm ships the same day";

TEST_F(AgentFailedStep, AGiveUpStandsWhenTheDoneWordsWereOnTheFirstScreen) {
    auto surface = checkoutScreen(std::string(kFooterWithDoneWords), "Payment declined");
    auto script = orderingScript();
    script->replies = {reply("click", 1), reply("fail", std::nullopt, "I could not place the order.")};
    auto agent = makeAgent(surface, unattended({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "place my order please");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "I could not place the order.");
}

TEST_F(AgentFailedStep, TheRepeatGuardDoesNotSucceedOnDoneWordsOfTheFirstScreen) {
    auto surface = checkoutScreen(std::string(kFooterWithDoneWords), "");
    int presses = 0;
    surface->onPerform = [&presses](const TavroAction&, TavroScreen& s) -> std::optional<std::string> {
        s.title = "Declined " + std::to_string(++presses);
        return std::nullopt;
    };
    auto script = orderingScript();
    script->otherwise = reply("click", 1);
    auto agent = makeAgent(surface, unattended({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "place my order please");
    EXPECT_EQ(surface->performed.size(), 2u);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "I kept repeating the same step, so I stopped. Try saying it another way.");
}

TEST_F(AgentFailedStep, TheCompletionCheckStillTrustsWhatTheRunBroughtOnScreen) {
    // The done words come with the run: the model's give-up is overridden.
    {
        auto surface = checkoutScreen("Ships the same day", "Order placed");
        auto script = orderingScript();
        script->replies = {reply("click", 1), reply("fail", std::nullopt, "I could not place the order.")};
        auto agent = makeAgent(surface, unattended({scriptedModel("M", script)}));
        const auto report = runGoal(agent, "place my order please");
        EXPECT_TRUE(report.ok);
        EXPECT_EQ(report.status, "Done: Order placed");
    }
    // The step-limit end keeps its own test, whatever the first screen showed.
    {
        auto surface = checkoutScreen(std::string(kFooterWithDoneWords), "Pressed");
        auto script = orderingScript();
        script->otherwise = reply("click", 1);
        auto c = unattended({scriptedModel("M", script)});
        c.maxSteps = 1;
        c.learns = false;  // no replay of the run above
        auto agent = makeAgent(surface, c);
        const auto report = runGoal(agent, "place my order please");
        EXPECT_TRUE(report.ok) << report.stepsText();
        EXPECT_EQ(report.status, "Done: Order placed");
    }
}

}  // namespace
}  // namespace tavro::agenttest

namespace tavro::agenttest {
namespace {

// Terms with an Accept button on a screen whose scrolling answers `scrolled`.
std::shared_ptr<FakeSurface> termsScreen(std::string scrolled) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Terms", .text = "Be kind.", .elements = {element(1, "button", "Accept")}};
    surface->onPerform = [scrolled](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::scroll) return scrolled;
        if (a.kind == TavroAction::Kind::click && a.id == 1) s.text = "Accepted";
        return std::nullopt;
    };
    return surface;
}

class AgentScrollAtItsEnd : public AgentTest {};

TEST_F(AgentScrollAtItsEnd, AScrollThatCannotGoFurtherReachedWhatItAskedAndTheGoalGoesOn) {
    for (const char* answer : {"failed: already at the bottom", "failed: nothing to scroll here"}) {
        auto surface = termsScreen(answer);
        auto agent = makeAgent(surface, unattended());
        const auto report = runGoal(agent, "scroll down then tap Accept");
        EXPECT_TRUE(report.ok) << answer << "\n" << report.stepsText() << "\n" << report.status;
        EXPECT_EQ(surface->screen.text, "Accepted") << answer;
        ASSERT_GE(report.steps.size(), 2u) << answer;
        EXPECT_TRUE(report.steps[0].ok) << answer << ": not a failed step";
    }
}

TEST_F(AgentScrollAtItsEnd, ItIsNoStepToLearnOrReportAndForAModelItStaysAFailure) {
    // The rules engine's run goes on past it, but the scroll is not learned nor told to the host.
    auto memory = freshMemory();
    auto c = unattended();
    std::vector<std::string> reported;
    c.onStep = [&reported](std::string caption) { reported.push_back(std::move(caption)); };
    auto surface = termsScreen("failed: already at the bottom");
    const auto done = runGoal(makeAgent(surface, c, memory), "scroll down then tap Accept");
    EXPECT_TRUE(done.ok) << done.stepsText();
    EXPECT_EQ(reported, std::vector<std::string>{"Tap “Accept”"});
    ASSERT_EQ(memory->recipes().size(), 1u);
    ASSERT_EQ(memory->recipes().front().steps.size(), 1u);
    EXPECT_EQ(memory->recipes().front().steps.front().kind, "click");

    // A model hears that the scroll failed where it stopped.
    surface = termsScreen("failed: already at the bottom");
    auto script = std::make_shared<Script>();
    script->replies = {reply("scroll", std::nullopt, "down"), reply("fail", std::nullopt, "end")};
    const auto report = runGoal(makeAgent(surface, unattended({scriptedModel("M", script)})), "read the terms");
    ASSERT_FALSE(report.steps.empty());
    EXPECT_FALSE(report.steps[0].ok);
    ASSERT_GE(script->prompts.size(), 2u);
    EXPECT_NE(script->prompts[1].second.find("→ failed: already at the bottom"), std::string::npos)
        << script->prompts[1].second;
}

TEST_F(AgentScrollAtItsEnd, AScrollThatFailsOtherwiseIsStillAFailedStep) {
    auto surface = termsScreen("failed: nothing on screen");
    auto agent = makeAgent(surface, unattended());
    const auto report = runGoal(agent, "scroll down then tap Accept");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Scroll down failed: nothing on screen, so the goal is not done.");
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 0);
}

}  // namespace
}  // namespace tavro::agenttest
