// Exact test steps: the rules engine alone carries out one written step, action by action.
#include "AgentTestSupport.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/WebView.h"
#include "tavro/models/TavroRules.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro::agenttest {
namespace {

class ExactSteps : public AgentTest {
protected:
    // A profile form: typing fills a field, Save saves what the fields hold, Dead does nothing.
    static std::shared_ptr<FakeSurface> profile() {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen = TavroScreen{.location = "Profile",
                                      .title = "Profile",
                                      .elements = {element(1, "input", "Name"), element(2, "input", "Email"),
                                                   element(3, "button", "Save"), element(4, "button", "Dead"),
                                                   element(5, "checkbox", "Dark Mode", "1"),
                                                   element(6, "input", "Code", "ABC-123")}};
        surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            auto* e = a.id ? const_cast<TavroElement*>(s.element(*a.id)) : nullptr;
            if (!e) return std::string("failed: no such element");
            if (a.kind == TavroAction::Kind::type) e->value = a.text;
            if (a.kind == TavroAction::Kind::click && e->label == "Save") s.text = "Saved";
            return std::nullopt;
        };
        return surface;
    }

    std::optional<std::string> exact(const std::shared_ptr<TavroAgent>& agent, std::string step) {
        auto result = rt::runToEnd(actor, agent->performExact(std::move(step)));
        EXPECT_TRUE(result.has_value()) << "the step ended";
        return result.value_or(std::string("did not end"));
    }
};

TEST_F(ExactSteps, AStepAlreadyDoneOnTheFirstScreenPerformsNothing) {
    auto surface = profile();
    auto agent = makeAgent(surface, configuration());
    EXPECT_EQ(exact(agent, "turn on Dark Mode"), std::nullopt);
    EXPECT_TRUE(surface->performed.empty());
    EXPECT_TRUE(agent->log().value().empty());
}

TEST_F(ExactSteps, TwoFieldsAreTypedOneActionAtATime) {
    auto surface = profile();
    auto agent = makeAgent(surface, configuration());
    EXPECT_EQ(exact(agent, "Name=\"Rin Tanaka\" Email=rin@example.org"), std::nullopt);
    ASSERT_EQ(surface->performed.size(), 2u);
    EXPECT_EQ(surface->screen.elements[0].value, "Rin Tanaka");
    EXPECT_EQ(surface->screen.elements[1].value, "rin@example.org");
    const auto& log = agent->log().value();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].ok && log[1].ok);
    EXPECT_EQ(log[0].ms, 0);
    // Each action is followed by a 300 ms pause before the next reading.
    EXPECT_GE(msSince(surface->performedAt[0], surface->performedAt[1]), 300);
}

TEST_F(ExactSteps, AMissingTargetGivesTheRulesEnginesOwnText) {
    auto surface = profile();
    auto agent = makeAgent(surface, configuration());
    TavroRules rules("tap Unicorn", {}, false);
    const auto expected = rules.decide(surface->screen);
    ASSERT_EQ(expected.kind, TavroAction::Kind::fail);
    EXPECT_EQ(exact(agent, "tap Unicorn"), expected.text);
    EXPECT_TRUE(surface->performed.empty());
}

TEST_F(ExactSteps, AStepNeedingABrowserIsForTheModel) {
    auto agent = makeAgent(profile(), configuration());
    EXPECT_EQ(exact(agent, "search the web for cats"),
              "This step needs the model or a browser; write it as a plain-English test instead.");
}

TEST_F(ExactSteps, AClickWithoutEffectNamesTheStep) {
    auto surface = profile();
    auto agent = makeAgent(surface, configuration());
    EXPECT_EQ(exact(agent, "tap Dead"), "Tap “Dead”: no visible effect");
    const auto& log = agent->log().value();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "Tap “Dead”");
    EXPECT_FALSE(log[0].ok);
    EXPECT_EQ(agent->currentStep().value(), std::optional<std::string>("Tap “Dead”"));
}

TEST_F(ExactSteps, ASurfaceFailureNamesTheStepAndTheReason) {
    auto surface = profile();
    surface->onPerform = [](const TavroAction&, TavroScreen&) -> std::optional<std::string> {
        return std::string("failed: the button is disabled");
    };
    auto agent = makeAgent(surface, configuration());
    EXPECT_EQ(exact(agent, "tap Save"), "Tap “Save”: failed: the button is disabled");
}

TEST_F(ExactSteps, AStepThatNeverEndsPassesAfterEightActions) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen.location = "Form";
    std::string step;
    for (int i = 1; i <= 9; ++i) {
        const std::string name = "Field" + std::string(1, static_cast<char>('A' + i - 1));
        surface->screen.elements.push_back(element(i, "input", name));
        if (!step.empty()) step += " ";
        step += name + "=v" + std::to_string(i);
    }
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.id) const_cast<TavroElement*>(s.element(*a.id))->value = a.text;
        return std::nullopt;
    };
    auto agent = makeAgent(surface, configuration());
    EXPECT_EQ(exact(agent, step), std::nullopt);
    EXPECT_EQ(surface->performed.size(), 8u);
    EXPECT_TRUE(surface->screen.elements[8].value.empty());
}

TEST_F(ExactSteps, LocalOperationsRunInExactSteps) {
    ui::Pasteboard::resetGeneral();
    auto surface = profile();
    auto agent = makeAgent(surface, configuration());
    EXPECT_EQ(exact(agent, "copy Code"), std::nullopt);
    EXPECT_EQ(ui::Pasteboard::general()->string(), "ABC-123");
    EXPECT_TRUE(surface->performed.empty());
}

TEST_F(ExactSteps, AnUnreadableScreenStopsTheStep) {
    auto surface = profile();
    surface->unreadable = true;
    auto agent = makeAgent(surface, configuration());
    EXPECT_EQ(exact(agent, "tap Save"), "I couldn't read this screen.");
}

TEST_F(ExactSteps, ACancelledCallerStops) {
    auto surface = profile();
    auto agent = makeAgent(surface, configuration());
    auto task = rt::spawn(agent->performExact("Name=Rin Email=rin@example.org"), actor);
    ASSERT_TRUE(runUntil([&] { return surface->performed.size() == 1; }));
    task.cancel();
    ASSERT_TRUE(runUntil([&] { return task.isDone(); }));
    EXPECT_EQ(task.result(), std::optional<std::optional<std::string>>(std::string("Stopped.")));
    EXPECT_EQ(surface->performed.size(), 1u);
}

TEST_F(ExactSteps, WithTheBrowserOpenTheNativeAppIsDriven) {
    auto surface = profile();
    auto script = std::make_shared<Script>();
    script->replies.push_back(reply("openWeb", std::nullopt, "cats"));
    auto presenter = std::make_shared<RecordingPresenter>();
    presenter->web = std::make_shared<WebSurface>(std::make_shared<ui::WebView>());
    auto agent = makeAgent(surface, configuration({scriptedModel("Host", script)}));
    agent->presenter = presenter;
    runGoal(agent, "zq wibble frobnicate");
    ASSERT_EQ(agent->activeSurface(), presenter->web);

    EXPECT_EQ(exact(agent, "tap Save"), std::nullopt);
    ASSERT_EQ(surface->performed.size(), 1u);
    EXPECT_EQ(surface->screen.text, "Saved");
    EXPECT_EQ(agent->activeSurface(), agent->surface());
    EXPECT_EQ(agent->webSurface(), presenter->web);  // left open
}

TEST_F(ExactSteps, JapaneseTexts) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    auto surface = profile();
    auto agent = makeAgent(surface, configuration());
    EXPECT_EQ(exact(agent, "tap Dead"), "「Dead」をタップ: 変化がありません");
    surface->unreadable = true;
    EXPECT_EQ(exact(agent, "tap Save"), "この画面を読み取れませんでした。");
}

}  // namespace
}  // namespace tavro::agenttest
