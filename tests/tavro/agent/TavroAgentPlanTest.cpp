// The plan a run shows before its first step, the reasoning pre-pass, and replaying a recipe.
#include <algorithm>

#include "AgentTestSupport.h"
#include "platform/foundation/AtomicFile.h"

namespace tavro::agenttest {
namespace {

// A model that plans: its plan() answers the steps it was given (and counts the calls); its
// decisions come from a script.
class PlanningModel : public TavroModel {
public:
    PlanningModel(std::string name, std::optional<std::vector<std::string>> steps, std::shared_ptr<Script> script)
        : name_(std::move(name)), steps_(std::move(steps)), script_(std::move(script)) {}
    std::string name() const override { return name_; }
    bool isAvailable() const override { return true; }
    rt::Task<std::optional<TavroAction>> decide(std::string system, std::string user) override {
        auto reply = co_await scriptedAnswer(script_, std::move(system), std::move(user));
        if (!reply) co_return std::nullopt;
        co_return TavroAction::parse(*reply);
    }
    rt::Task<std::optional<std::vector<std::string>>> plan(std::string, std::string user) override {
        planPrompts.push_back(user);
        co_return steps_;
    }
    std::vector<std::string> planPrompts;

private:
    std::string name_;
    std::optional<std::vector<std::string>> steps_;
    std::shared_ptr<Script> script_;
};

std::shared_ptr<FakeSurface> formScreen() {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Form",
                                  .title = "Form",
                                  .elements = {element(1, "button", "Save"), element(2, "input", "Name"),
                                               element(3, "button", "A"), element(4, "button", "B"),
                                               element(5, "button", "C")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::type && a.id == 2) s.elements[1].value = a.text;
        if (a.kind == TavroAction::Kind::click && a.id) s.text += "tapped " + std::to_string(*a.id) + " ";
        if (a.kind == TavroAction::Kind::back) s.location = s.location == "Form" ? "Home" : "Form";
        return std::nullopt;
    };
    return surface;
}

class AgentPlan : public AgentTest {};

TEST_F(AgentPlan, ClausesOfTheGoalAreThePlanCapitalised) {
    auto script = std::make_shared<Script>();
    auto model = std::make_shared<PlanningModel>("Planner", std::nullopt, script);
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(formScreen(), configuration({model}));
    agent->presenter = presenter;
    const auto report = runGoal(agent, "tap A then tap B then tap C");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(agent->plan().value(), (std::vector<std::string>{"Tap A", "Tap B", "Tap C"}));
    EXPECT_EQ(model->planPrompts.size(), 1u) << "only the reasoning pre-pass asks (through think)";
    EXPECT_EQ(presenter->texts("say").front(), "Plan: 3 steps");
    EXPECT_EQ(debug("plan").front(), "1. Tap A  2. Tap B  3. Tap C");
    EXPECT_EQ(script->decideCalls(), 0) << "the rules carried out every clause";
}

TEST_F(AgentPlan, TheFirstModelWithStepsGivesThePlan) {
    auto script = std::make_shared<Script>();
    script->otherwise = reply("fail", std::nullopt, "end");
    auto empty = std::make_shared<PlanningModel>("Empty", std::vector<std::string>{}, script);
    auto planner = std::make_shared<PlanningModel>("Planner", std::vector<std::string>{"Open X", "Tap Y"}, script);
    auto agent = makeAgent(formScreen(), configuration({empty, planner}));
    runGoal(agent, "cheer up my friend");
    EXPECT_EQ(agent->plan().value(), (std::vector<std::string>{"Open X", "Tap Y"}));
    ASSERT_FALSE(planner->planPrompts.empty());
    EXPECT_EQ(planner->planPrompts.back().rfind("GOAL: cheer up my friend\n", 0), 0u);
}

TEST_F(AgentPlan, WithoutModelsOneClauseIsThePlan) {
    auto agent = makeAgent(formScreen(), configuration());
    auto presenter = std::make_shared<RecordingPresenter>();
    agent->presenter = presenter;
    runGoal(agent, "tap Save");
    EXPECT_EQ(agent->plan().value(), std::vector<std::string>{"Tap Save"});
    EXPECT_EQ(presenter->texts("say").front(), "Tap Save");
}

TEST_F(AgentPlan, AReasoningPlanBecomesThePlanAndItsQuestionIsAsked) {
    auto script = std::make_shared<Script>();
    script->thoughts = {
        R"({"intent":"Greet","done":"","steps":["x1","x2"],"ask":"Who is it for?"})"};
    script->otherwise = reply("done", std::nullopt, "ok");
    auto agent = makeAgent(formScreen(), configuration({scriptedModel("M", script)}));
    agent->run("cheer up my friend");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    EXPECT_EQ(*agent->prompt().value(), TavroAgent::Prompt::ask("Who is it for?"));
    ASSERT_TRUE(agent->reasoning().value().has_value());
    agent->answer("Tuli");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));

    EXPECT_EQ(agent->plan().value(), (std::vector<std::string>{"x1", "x2"}));
    EXPECT_EQ(agent->log().value().front().text, "🧠 Greet · 2 steps");
    EXPECT_EQ(debug("reason").front(), "Greet · 2 steps");
    ASSERT_FALSE(script->thinkPrompts.empty());
    EXPECT_EQ(script->thinkPrompts[0].first.rfind("You plan how to complete the user's GOAL in the test app", 0), 0u);
    // The answer joins the goal and the known details; the plan is in the model's history.
    ASSERT_FALSE(script->prompts.empty());
    const auto& user = script->prompts.front().second;
    EXPECT_NE(user.find("GOAL: cheer up my friend (Tuli)\n"), std::string::npos) << user;
    EXPECT_NE(user.find("KNOWN DETAILS: Who is it for?: Tuli\n"), std::string::npos) << user;
    EXPECT_NE(user.find("1. Plan: 1. x1 2. x2"), std::string::npos) << user;
}

TEST_F(AgentPlan, AnUnansweredPrePassQuestionStopsTheRun) {
    auto script = std::make_shared<Script>();
    script->thoughts = {R"({"intent":"","done":"","steps":[],"ask":"Which one?"})"};
    auto agent = makeAgent(formScreen(), configuration({scriptedModel("M", script)}));
    agent->run("cheer up my friend");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    agent->answer("  ");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_EQ(agent->status().value(), "Stopped: I needed “Which one?”.");
    EXPECT_EQ(script->decideCalls(), 0);
}

TEST_F(AgentPlan, AReplyThatIsNotAPlanCostsNothing) {
    auto script = std::make_shared<Script>();
    script->thoughts = {std::string("   ")};
    script->replies = {reply("fail", std::nullopt, "end")};
    auto agent = makeAgent(formScreen(), configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_FALSE(agent->reasoning().value().has_value());
    EXPECT_EQ(agent->plan().value(), std::vector<std::string>{"Cheer up my friend"});
    EXPECT_EQ(report.status, "end");
    EXPECT_EQ(integer(lastEvent("run_end"), "planned"), 0);
}

TEST_F(AgentPlan, TheFinishedPlanIsCheckedOnTheScreen) {
    auto script = std::make_shared<Script>();
    script->thoughts = {R"({"intent":"Say hi","done":"tapped","steps":["x"],"ask":""})"};
    script->replies = {reply("click", 3)};
    auto agent = makeAgent(formScreen(), configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.status, "Done: tapped");
    EXPECT_EQ(script->decideCalls(), 1) << "done once the one planned step took effect";
    const auto acts = debug("act");
    EXPECT_NE(std::find(acts.begin(), acts.end(), "done check visible (plan finished): tapped"), acts.end());
}

// ---- Learned recipes ----

TEST_F(AgentPlan, ARecipeThatCannotBeWrittenIsNeverCalledSavedAndTheHostHearsWhy) {
    // Application Support is a file: the recipes' folder cannot be made in it.
    const auto blocker = fnd::AppDirectories::root() / "Application Support";
    std::filesystem::remove_all(blocker);
    ASSERT_TRUE(fnd::writeAtomically(blocker, "not a folder"));
    for (const bool activityLog : {true, false}) {
        SCOPED_TRACE(activityLog ? "activity log on" : "activity log off");
        TavroDebug::reset();
        TavroDebug::shared()->enabled.set(activityLog);
        fnd::Console::Capture lines(false);
        auto memory = std::make_shared<TavroMemory>(blocker / "TavroSDK" / "recipes.json");
        auto agent = makeAgent(formScreen(), configuration(), memory);
        ASSERT_TRUE(runGoal(agent, "tap Save then type Rin into Name then go back").ok);
        EXPECT_EQ(memory->recipes().size(), 1u) << "kept until the next save";
        const auto consoleLines = lines.lines();
        const auto unsaved = std::find_if(consoleLines.begin(), consoleLines.end(), [](const std::string& line) {
            return line.starts_with("[TAVRO_SDK] recipes not saved (") && line.find("Not a directory") != std::string::npos &&
                   line.ends_with("); kept until the next save");
        });
        EXPECT_NE(unsaved, consoleLines.end()) << "the host hears it on the console";
        EXPECT_FALSE(lines.contains("saved recipe"));
        if (activityLog) {
            const auto learned = debug("learn");
            ASSERT_EQ(learned.size(), 1u);
            EXPECT_TRUE(learned[0].starts_with("recipes not saved (")) << learned[0];
        }
    }
}

TEST_F(AgentPlan, ALearnedRecipeIsReplayedWithItsLabels) {
    auto memory = freshMemory();
    {
        auto surface = formScreen();
        auto agent = makeAgent(surface, configuration(), memory);
        const auto report = runGoal(agent, "tap Save then type Rin into Name then go back");
        ASSERT_TRUE(report.ok);
        const auto learned = debug("learn");
        ASSERT_EQ(learned.size(), 1u);
        EXPECT_EQ(learned[0], "saved recipe for “tap Save then type Rin into Name then go”");
    }
    auto surface = formScreen();
    auto agent = makeAgent(surface, configuration(), memory);
    agent->run("tap Save then type Mia into Name then go back");
    ASSERT_TRUE(runUntil([&] { return !agent->plan().value().empty(); }));
    EXPECT_EQ(agent->plan().value(), (std::vector<std::string>{"Tap Save", "Fill Name", "Go back"}));
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(agent->status().value(), "Done.");
    EXPECT_EQ(agent->engineName().value(), "Learned · on-device");
    EXPECT_EQ(surface->screen.elements[1].value, "Mia");
    EXPECT_EQ(surface->performed.size(), 3u) << "each step once, then done";
    EXPECT_TRUE(console.contains("replay=true steps=3 goal=tap Save then type Mia into Name then go back"));
    const auto recipes = memory->recipes();
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0].runs, 2) << "the replay reinforced the recipe";
}

TEST_F(AgentPlan, RecipeLabelsInJapanese) {
    auto memory = freshMemory();
    memory->learn("tap Save then go back",
                  {TavroPerformedStep{TavroAction{.kind = TavroAction::Kind::click, .id = 1},
                                      element(1, "button", "Save"), "Tap “Save”", "Form"},
                   TavroPerformedStep{TavroAction{.kind = TavroAction::Kind::back}, std::nullopt, "Go back", "Form"},
                   TavroPerformedStep{TavroAction{.kind = TavroAction::Kind::scroll, .text = "down"}, std::nullopt,
                                      "Scroll down", "Home"}});
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    auto agent = makeAgent(formScreen(), configuration(), memory);
    agent->run("tap Save then go back");
    ASSERT_TRUE(runUntil([&] { return !agent->plan().value().empty(); }));
    EXPECT_EQ(agent->plan().value(), (std::vector<std::string>{"Save をタップ", "戻る", "タップ"}));
    agent->stop();
}

TEST_F(AgentPlan, AReplayedStepThatCannotBeFoundFallsBackToTheRules) {
    auto memory = freshMemory();
    memory->learn("tap Save",
                  {TavroPerformedStep{TavroAction{.kind = TavroAction::Kind::click, .id = 9},
                                      element(9, "button", "Gone"), "Tap “Gone”", "Form"}});
    auto agent = makeAgent(formScreen(), configuration(), memory);
    const auto report = runGoal(agent, "tap Save");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(agent->engineName().value(), "Rules · on-device");
    EXPECT_EQ(report.steps[0].text, "Tap “Save”");
}

TEST_F(AgentPlan, WithLearningOffNothingIsRecalledOrStored) {
    auto memory = freshMemory();
    auto c = configuration();
    c.learns = false;
    auto agent = makeAgent(formScreen(), c, memory);
    EXPECT_TRUE(runGoal(agent, "tap Save").ok);
    EXPECT_TRUE(memory->recipes().empty());
    EXPECT_TRUE(debug("learn").empty());
}

}  // namespace
}  // namespace tavro::agenttest
