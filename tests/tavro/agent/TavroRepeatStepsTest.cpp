// Replaying a goal's final steps for its repeat count: captions, statuses, the risk question,
// stopping, and runs that neither learn nor reinforce.
#include "AgentTestSupport.h"
#include "tavro/agent/TavroRepeat.h"

namespace tavro::agenttest {
namespace {

class RepeatSteps : public AgentTest {
protected:
    // A feed with a Like button whose count goes up with every tap, and a Back button.
    static std::shared_ptr<FakeSurface> feed() {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen = TavroScreen{.location = "Feed",
                                      .title = "Feed",
                                      .elements = {element(1, "button", "Like", "0"), element(2, "button", "Share")}};
        surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            if (a.kind == TavroAction::Kind::click && a.id) {
                if (auto* e = const_cast<TavroElement*>(s.element(*a.id)); e && e->label == "Like") {
                    e->value = std::to_string(std::stoi(e->value) + 1);
                }
            }
            return std::nullopt;
        };
        return surface;
    }
    // A shop with a Pay now button whose value grows with every tap: a risky step to repeat.
    static std::shared_ptr<FakeSurface> payScreen() {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen = TavroScreen{.location = "Shop", .elements = {element(1, "button", "Pay now", "0")}};
        surface->onPerform = [](const TavroAction&, TavroScreen& s) -> std::optional<std::string> {
            s.elements[0].value += "1";
            return std::nullopt;
        };
        return surface;
    }
    static int likes(const FakeSurface& s) {
        const auto* e = s.screen.element(1);
        return e ? std::stoi(e->value) : -1;
    }
};

TEST_F(RepeatSteps, ReplaysTheFinalStepUntilDoneThatManyTimes) {
    auto surface = feed();
    std::vector<std::string> stepped;
    auto c = configuration();
    c.onStep = [&stepped](const std::string& caption) { stepped.push_back(caption); };
    auto agent = makeAgent(surface, c);
    const auto report = runGoal(agent, "tap Like 3 times");

    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.status, "Done 3 times.");
    EXPECT_EQ(likes(*surface), 3);
    EXPECT_EQ(logTexts(*agent),
              (std::vector<std::string>{"Tap “Like”", "Tap “Like” (2 of 3)", "Tap “Like” (3 of 3)", "✓ Done 3 times."}));
    EXPECT_EQ(stepped, (std::vector<std::string>{"Tap “Like”", "Tap “Like” (2 of 3)", "Tap “Like” (3 of 3)"}));
    EXPECT_EQ(debug("act").back(), "repeated 3 times");
    // The replayed steps are found again by their element, each on a fresh reading.
    for (const auto& a : surface->performed) EXPECT_EQ(a.id, std::optional<std::int64_t>(1));
    // A repeated run is neither learned nor reinforced.
    EXPECT_FALSE(agent->memory->recall("tap Like").has_value());
}

TEST_F(RepeatSteps, TwoStepsOnTheFinalScreenReplayInOrderEachPass) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Chat",
                                  .title = "Chat",
                                  .elements = {element(1, "input", "Note"), element(2, "button", "Add")}};
    std::vector<std::string> posted;
    surface->onPerform = [&posted](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::type && a.id == 1) s.elements[0].value = a.text;
        if (a.kind == TavroAction::Kind::click && a.id == 2) {
            posted.push_back(s.elements[0].value);
            s.elements[0].value.clear();
            s.text = std::to_string(posted.size()) + " added";
        }
        return std::nullopt;
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "type hi into Note and tap Add 3 times");

    EXPECT_TRUE(report.ok) << report.status;
    EXPECT_EQ(posted, (std::vector<std::string>{"hi", "hi", "hi"}));
    const auto lines = logTexts(*agent);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], "Type “hi” into Note (2 of 3)");
    EXPECT_EQ(lines[3], "Tap “Add” (2 of 3)");
    EXPECT_EQ(lines[4], "Type “hi” into Note (3 of 3)");
    EXPECT_EQ(lines[5], "Tap “Add” (3 of 3)");
    EXPECT_EQ(lines[6], "✓ Done 3 times.");
}

TEST_F(RepeatSteps, AnElementThatDisappearsStopsTheReplay) {
    auto surface = feed();
    int taps = 0;
    const auto base = surface->onPerform;
    surface->onPerform = [&taps, base](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        auto r = base(a, s);
        if (++taps == 2) s.elements.erase(s.elements.begin());  // Like is gone after the second tap
        return r;
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Like four times");

    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Did it 2 of 4 times. I couldn't find “Like” again.");
    EXPECT_EQ(logTexts(*agent), (std::vector<std::string>{"Tap “Like”", "Tap “Like” (2 of 4)"}));
}

TEST_F(RepeatSteps, AFailedReplayStepEndsWithItsReason) {
    auto surface = feed();
    int taps = 0;
    const auto base = surface->onPerform;
    surface->onPerform = [&taps, base](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (++taps == 2) return std::string("failed: the button is disabled");
        return base(a, s);
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Like 3 times");

    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Did it 1 of 3 times, then “Tap “Like”” failed: failed: the button is disabled");
    ASSERT_EQ(report.steps.size(), 2u);
    EXPECT_EQ(report.steps[1].text, "Tap “Like” (2 of 3)");
    EXPECT_FALSE(report.steps[1].ok);
}

TEST_F(RepeatSteps, AReplayedStepWithoutEffectEndsNotDoneSayingHowManyTookEffect) {
    // Add Mug takes only the first tap; later taps change nothing on the screen.
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Shop", .text = "Cart: 0", .elements = {element(1, "button", "Add Mug")}};
    int cart = 0;
    surface->onPerform = [&cart](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::click && cart == 0) s.text = "Cart: " + std::to_string(++cart);
        return std::nullopt;
    };
    std::vector<std::string> stepped;
    auto c = configuration();
    c.onStep = [&stepped](const std::string& caption) { stepped.push_back(caption); };
    auto agent = makeAgent(surface, c);
    const auto report = runGoal(agent, "tap Add Mug 3 times");

    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Did it 1 of 3 times, then “Tap “Add Mug”” failed: no visible effect");
    EXPECT_EQ(cart, 1);
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 2) << "the replay stops at the step without effect";
    ASSERT_EQ(report.steps.size(), 2u);
    EXPECT_FALSE(report.steps[1].ok);
    EXPECT_EQ(stepped, (std::vector<std::string>{"Tap “Add Mug”"})) << "the host hears only of the tap that took effect";
}

TEST_F(RepeatSteps, AnUnreadableScreenEndsTheReplay) {
    auto surface = feed();
    auto c = configuration();
    int stepped = 0;
    // The screen turns unreadable after the first replayed step.
    c.onStep = [surface, &stepped](const std::string&) {
        if (++stepped == 2) surface->unreadable = true;
    };
    auto agent = makeAgent(surface, c);
    const auto report = runGoal(agent, "tap Like 3 times");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "I couldn't read this screen.");
    EXPECT_EQ(logTexts(*agent), (std::vector<std::string>{"Tap “Like”", "Tap “Like” (2 of 3)"}));
}

TEST_F(RepeatSteps, ARiskyStepAsksBeforeTheReplay) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Files", .elements = {element(1, "button", "Delete", "5")}};
    surface->onPerform = [](const TavroAction&, TavroScreen& s) -> std::optional<std::string> {
        s.elements[0].value = std::to_string(std::stoi(s.elements[0].value) - 1);
        return std::nullopt;
    };
    auto agent = makeAgent(surface, configuration());
    auto run = rt::spawn(agent->runAndWait("tap Delete 5 times", 600), actor);

    // The first tap itself needs approval under the default policy.
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    EXPECT_EQ(*agent->prompt().value(), TavroAgent::Prompt::approve("Tap “Delete”"));
    agent->approve();
    ASSERT_TRUE(runUntil([&] {
        return agent->prompt().value() && agent->prompt().value()->text() != "Tap “Delete”";
    }));
    EXPECT_EQ(*agent->prompt().value(), TavroAgent::Prompt::approve("Do it 4 more times?"));
    EXPECT_EQ(surface->performed.size(), 1u);
    agent->approve();
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_TRUE(run.result()->ok);
    EXPECT_EQ(surface->performed.size(), 5u);
}

// Points as the recording presenter does, and lets the test change the screen on the way.
class MovingPresenter : public RecordingPresenter {
public:
    std::function<void(const std::string&)> onPoint;
    rt::Task<void> point(TavroRect at, std::string label) override {
        calls.push_back({.name = "point", .text = label, .rect = at, .at = rt::now()});
        (void)co_await rt::sleep(300ms);
        if (onPoint) onPoint(label);
        (void)co_await rt::sleep(300ms);
    }
};

TEST_F(RepeatSteps, ARiskyRepeatRenamedWhileThePointerTravelsIsNotPressed) {
    auto surface = payScreen();
    auto presenter = std::make_shared<MovingPresenter>();
    presenter->onPoint = [&](const std::string& label) {
        if (label.find("(2 of 3)") != std::string::npos) surface->screen.elements[0].label = "Pay now and subscribe";
    };
    auto agent = makeAgent(surface, configuration());
    agent->presenter = presenter;
    auto run = rt::spawn(agent->runAndWait("tap Pay now 3 times", 600), actor);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value() || run.isDone(); }));
        if (run.isDone()) break;
        agent->approve();
        actor->runFor(1ms);
    }
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_FALSE(run.result()->ok);
    EXPECT_EQ(surface->performed.size(), 1u) << "only the first, approved, press";
    EXPECT_NE(run.result()->status.find("now reads “Pay now and subscribe”"), std::string::npos) << run.result()->status;
}

TEST_F(RepeatSteps, StoppingAtTheRiskQuestionDoesNothingMore) {
    auto surface = payScreen();
    auto agent = makeAgent(surface, configuration());
    auto run = rt::spawn(agent->runAndWait("tap Pay now twice", 600), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    agent->approve();  // the first tap
    ASSERT_TRUE(runUntil([&] {
        return agent->prompt().value() && agent->prompt().value()->text() != "Tap “Pay now”";
    }));
    EXPECT_EQ(*agent->prompt().value(), TavroAgent::Prompt::approve("Do it 1 more times?"));
    agent->stop();
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_FALSE(run.result()->ok);
    EXPECT_EQ(surface->performed.size(), 1u);
}

TEST_F(RepeatSteps, AutoRunWithNoApprovalReplaysRiskyStepsWithoutAsking) {
    auto surface = payScreen();
    auto c = configuration();
    c.approval = TavroApproval::never;
    auto agent = makeAgent(surface, c);
    agent->setAutoRun(true);
    const auto report = runGoal(agent, "tap Pay now 3 times");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(surface->performed.size(), 3u);
}

TEST_F(RepeatSteps, StoppingDuringTheReplayEndsItQuietly) {
    auto surface = feed();
    auto c = configuration();
    auto agent = makeAgent(surface, c);
    auto run = rt::spawn(agent->runAndWait("tap Like 10 times", 600), actor);
    ASSERT_TRUE(runUntil([&] { return likes(*surface) == 4; }));
    agent->stop(std::string("Stopped by test"));
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_FALSE(run.result()->ok);
    EXPECT_EQ(run.result()->status, "Stopped by test");
    actor->runFor(std::chrono::seconds(10));
    EXPECT_LE(likes(*surface), 5);
}

TEST_F(RepeatSteps, AFinalBackStepLeavesNothingToRepeat) {
    auto surface = feed();
    const auto base = surface->onPerform;
    surface->onPerform = [base](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::back) {
            s.location = "Home";
            s.title = "Home";
            return std::nullopt;
        }
        return base(a, s);
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Like then go back 3 times");
    EXPECT_TRUE(report.ok) << report.status;
    EXPECT_EQ(report.status, "Done.");
    EXPECT_EQ(likes(*surface), 1);
    EXPECT_EQ(debug("repeat"), std::vector<std::string>{"nothing to repeat on the final screen"});
}

TEST_F(RepeatSteps, JapaneseCaptionsAndStatuses) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    {
        auto surface = feed();
        auto agent = makeAgent(surface, configuration());
        const auto report = runGoal(agent, "tap Like 3 times");
        EXPECT_EQ(report.status, "3回完了しました。");
        EXPECT_EQ(logTexts(*agent), (std::vector<std::string>{"「Like」をタップ", "「Like」をタップ(2/3)",
                                                              "「Like」をタップ(3/3)", "✓ 3回完了しました。"}));
    }
    {
        auto surface = feed();
        int taps = 0;
        const auto base = surface->onPerform;
        surface->onPerform = [&taps, base](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            auto r = base(a, s);
            if (++taps == 2) s.elements.erase(s.elements.begin());
            return r;
        };
        auto agent = makeAgent(surface, configuration());
        EXPECT_EQ(runGoal(agent, "tap Like four times").status, "4回中2回行いました。「Like」が見つかりません。");
    }
    {
        auto surface = feed();
        int taps = 0;
        const auto base = surface->onPerform;
        surface->onPerform = [&taps, base](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            if (++taps == 2) return std::string("failed: the button is disabled");
            return base(a, s);
        };
        auto agent = makeAgent(surface, configuration());
        EXPECT_EQ(runGoal(agent, "tap Like 3 times").status,
                  "3回中1回行いました。「「Like」をタップ」に失敗: failed: the button is disabled");
    }
}

}  // namespace
}  // namespace tavro::agenttest
