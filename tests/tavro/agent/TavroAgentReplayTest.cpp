// Replaying a learned recipe on an app whose state survives between runs, as a host's does: the
// replay leaves the state the goal asks for, follows the goal's clauses, and presses only what it
// pressed when it learned.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "DemoTestSupport.h"

namespace tavro::agenttest {
namespace {

TEST_F(AgentOnDemo, AReplayLeavesTheStateTheGoalAsksFor) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    ASSERT_FALSE(app->notifications());
    auto report = runGoal(agent, "open Settings then turn on Notifications");
    ASSERT_TRUE(report.ok) << report.stepsText();
    ASSERT_TRUE(app->notifications());
    ASSERT_EQ(memory->recipes().size(), 1u);

    // The same goal again on the same app: the switch is already on, so nothing is tapped.
    for (int run = 2; run <= 3; ++run) {
        report = runGoal(agent, "open Settings then turn on Notifications");
        EXPECT_TRUE(report.ok) << run << "\n" << report.stepsText();
        EXPECT_TRUE(app->notifications()) << run << "\n" << report.stepsText();
        EXPECT_EQ(std::count_if(report.steps.begin(), report.steps.end(),
                                [](const TavroRunReport::Step& s) { return s.text.find("Notifications") != std::string::npos; }),
                  0)
            << run << "\n" << report.stepsText();
    }

    // Turned off by the person, the replay turns it on again and checks that it took.
    app->routes().at("Shop")();
    actor->runFor(1s);
    ASSERT_TRUE(runGoal(agent, "open Settings then turn off Notifications").ok);
    ASSERT_FALSE(app->notifications());
    report = runGoal(agent, "open Settings then turn on Notifications");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_TRUE(app->notifications());
}

TEST_F(AgentOnDemo, AReplayedPickerOrFieldThatAlreadyHoldsTheValueIsLeftAsItIs) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    ASSERT_TRUE(runGoal(agent, "open Settings then set Language to Deutsch").ok);
    ASSERT_EQ(app->language(), "Deutsch");
    auto report = runGoal(agent, "open Settings then set Language to Deutsch");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(app->language(), "Deutsch");
    EXPECT_EQ(report.stepsText(), "1. ✓ ✓ Done.") << "nothing to choose again";
    // A new value is chosen and checked.
    report = runGoal(agent, "open Settings then set Language to Español");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(app->language(), "Español");
}

TEST_F(AgentOnDemo, AClauseThatNeededNothingWhenLearnedIsStillCarriedOut) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    // Wi-Fi is on when the goal is learned: the recipe holds no step for it.
    ASSERT_TRUE(app->wifi());
    ASSERT_TRUE(runGoal(agent, "open Settings then turn on Dark Mode then turn on Wi-Fi").ok);
    ASSERT_EQ(memory->recipes().front().steps.size(), 2u);
    ASSERT_TRUE(runGoal(agent, "open Settings then turn off Dark Mode then turn off Wi-Fi").ok);
    ASSERT_FALSE(app->wifi());
    app->routes().at("Shop")();
    actor->runFor(1s);
    const auto report = runGoal(agent, "open Settings then turn on Dark Mode then turn on Wi-Fi");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_TRUE(app->darkMode()) << report.stepsText();
    EXPECT_TRUE(app->wifi()) << report.stepsText();
}

TEST_F(AgentOnDemo, ALearnedValueEndsAtTheGoalsNextClause) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    ASSERT_TRUE(runGoal(agent, "open Profile then set Name to Rin").ok);
    const auto report = runGoal(agent, "open Profile then set Name to Bob then tap Save");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(app->savedProfile().name, "Bob") << report.stepsText();
    EXPECT_EQ(report.stepsText().find("then tap Save”"), std::string::npos) << report.stepsText();
}

// ---- A host screen the test writes ----

// A shop page: "Add Mug" counts the mugs in the cart, the next button moves on to the checkout,
// and the cart shows its count so every press changes the screen.
class ShopPage : public AgentTest {
protected:
    std::shared_ptr<FakeSurface> surface = std::make_shared<FakeSurface>();
    int mugs = 0;
    int nexts = 0;
    std::string addLabel = "Add Mug";
    std::string nextLabel = "Next";

    void SetUp() override {
        AgentTest::SetUp();
        surface->routeNames = {"Shop"};
        surface->onPerform = [this](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            if (a.kind == TavroAction::Kind::navigate) s.location = a.text;
            if (a.kind == TavroAction::Kind::click && a.id == 1) ++mugs;
            if (a.kind == TavroAction::Kind::click && a.id == 2) ++nexts;
            draw(s);
            return std::nullopt;
        };
        surface->screen.location = "Home";
        draw(surface->screen);
    }
    void draw(TavroScreen& s) {
        s.title = s.location;
        s.elements.clear();
        if (s.location != "Shop") return;
        s.elements = {element(1, "button", addLabel), element(2, "button", nextLabel),
                      element(3, "text", "Cart: " + std::to_string(mugs) + " · step " + std::to_string(nexts))};
        s.text = s.elements[2].label;
    }
    void home() {
        surface->screen.location = "Home";
        draw(surface->screen);
    }
};

TEST_F(ShopPage, AReplayThatLosesItsWayPressesNoStepTwice) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, unattended(), memory);
    ASSERT_TRUE(runGoal(agent, "open Shop then tap Add Mug then tap Next").ok);
    ASSERT_EQ(mugs, 1);
    home();
    nextLabel = "Continue";
    draw(surface->screen);
    const auto report = runGoal(agent, "open Shop then tap Add Mug then tap Next");
    EXPECT_EQ(mugs, 2) << "one more mug, not two\n" << report.stepsText();
    EXPECT_FALSE(report.ok) << "Next is not on the page\n" << report.stepsText();
    EXPECT_EQ(memory->recipes().front().runs, 1);
}

TEST_F(ShopPage, AStepTheRulesEngineTookForTheRecipeMovesTheReplayOn) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, unattended(), memory);
    ASSERT_TRUE(runGoal(agent, "open Shop then tap Add Mug then tap Next").ok);
    home();
    // The learned "Add Mug" now reads otherwise: the replay cannot find it, the rules engine can.
    addLabel = "Add Mug (2 left)";
    draw(surface->screen);
    TavroDebug::reset();
    TavroDebug::shared()->enabled.set(true);
    const auto report = runGoal(agent, "open Shop then tap Add Mug then tap Next");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(mugs, 2) << report.stepsText();
    EXPECT_EQ(nexts, 2) << report.stepsText();
    std::vector<std::string> decisions;
    for (const auto& line : TavroDebug::shared()->entries.value())
        if (line.tag == "decide" && line.ok) decisions.push_back(line.text);
    ASSERT_EQ(decisions.size(), 4u) << "navigate, tap, tap, done";
    EXPECT_TRUE(decisions[1].starts_with("[rules]")) << decisions[1];
    EXPECT_TRUE(decisions[2].starts_with("[recipe]")) << "the recipe's next step is replayed: " << decisions[2];
    EXPECT_EQ(memory->recipes().front().runs, 1) << "not reinforced: one of its steps was not its own";
}

TEST_F(ShopPage, AReplayPressesOnlyAnElementThatReadsAsTheLearnedOne) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, unattended(), memory);
    surface->screen.location = "Shop";
    surface->screen.elements = {element(1, "button", "Mark as read")};
    surface->screen.elements[0].keys = {"primary_action"};
    surface->onPerform = [this](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::click) ++(a.id == 1 ? mugs : nexts);
        s.text = std::to_string(mugs + nexts);
        return std::nullopt;
    };
    ASSERT_TRUE(runGoal(agent, "tap Mark as read").ok);
    ASSERT_EQ(mugs, 1);
    // The same id now reads "Unsubscribe", beside a separate "Mark as read".
    surface->screen.elements = {element(1, "button", "Unsubscribe"), element(2, "button", "Mark as read")};
    surface->screen.elements[0].keys = {"primary_action"};
    const auto report = runGoal(agent, "tap Mark as read");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(mugs, 1) << "Unsubscribe was pressed\n" << report.stepsText();
    EXPECT_EQ(nexts, 1) << report.stepsText();
}

// ---- A recipe stored before a checkbox's state was kept ----

// A settings page whose Newsletter switch keeps its state between runs, and a memory holding the
// recipes learned from "turn on Newsletter" and "tap Newsletter" as they were stored then: their
// taps have no "state".
class OldRecipeOnNewsletter : public AgentTest {
protected:
    std::shared_ptr<FakeSurface> surface = std::make_shared<FakeSurface>();
    std::shared_ptr<TavroMemory> memory;

    void SetUp() override {
        AgentTest::SetUp();
        surface->screen = {.location = "Settings", .title = "Settings",
                           .elements = {element(1, "checkbox", "Newsletter", "0"), element(2, "button", "Save")}};
        surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            auto& box = s.elements[0].value;
            if (a.kind == TavroAction::Kind::click && a.id == 1) box = box == "1" ? "0" : "1";
            return std::nullopt;
        };
        const auto file = TavroMemory::defaultURL();
        std::filesystem::create_directories(file.parent_path());
        std::string list = "[";
        for (const std::string goal : {"turn on Newsletter", "tap Newsletter"}) {
            if (list.size() > 1) list += ",";
            list += R"({"id":")" + fnd::Uuid::random().text() + R"(","goal":")" + goal + R"(","template":")" + goal +
                    R"(","steps":[{"kind":"click","text":"","submit":false,"target":{"kind":"checkbox",)"
                    R"("label":"Newsletter","keys":[],"screen":"Settings"}}],"runs":1,)"
                    R"("created":"2025-01-01T00:00:00.000Z","lastUsed":"2025-01-01T00:00:00.000Z"})";
        }
        std::ofstream(file) << list << "]";
        memory = std::make_shared<TavroMemory>(file);
    }
    std::string& newsletter() { return surface->screen.elements[0].value; }
    std::int64_t runsOf(const std::string& goal) const {
        for (const auto& recipe : memory->recipes())
            if (recipe.goal == goal) return recipe.runs;
        return 0;
    }
};

TEST_F(OldRecipeOnNewsletter, ItsTapLeavesTheStateTheGoalAsksFor) {
    ASSERT_EQ(memory->recipes().size(), 2u);
    ASSERT_EQ(memory->recipes().front().steps.front().state, "");
    auto agent = makeAgent(surface, unattended(), memory);
    // Already on: the replay is done without tapping.
    newsletter() = "1";
    auto report = runGoal(agent, "turn on Newsletter");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(newsletter(), "1") << report.stepsText();
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 0) << report.stepsText();
    EXPECT_EQ(runsOf("turn on Newsletter"), 2) << "the recipe was replayed";

    // Off: tapped once, checked, and done.
    newsletter() = "0";
    report = runGoal(agent, "turn on Newsletter");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(newsletter(), "1") << report.stepsText();
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 1) << report.stepsText();
    EXPECT_EQ(runsOf("turn on Newsletter"), 3);

    // A goal that says no state taps as it always did.
    report = runGoal(agent, "tap Newsletter");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(newsletter(), "0") << report.stepsText();
    EXPECT_EQ(runsOf("tap Newsletter"), 2);
}

}  // namespace
}  // namespace tavro::agenttest
