// Acting on the chosen action: verification and its waits, the typed-text turn, the repeat guard,
// the step limit, pointer and captions, plan progress and the host's step callback.
#include <algorithm>

#include "AgentTestSupport.h"
#include "platform/ui/WebView.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro::agenttest {
namespace {

class AgentAct : public AgentTest {};

// A screen of three switches; a tap flips the tapped switch.
std::shared_ptr<FakeSurface> switchesScreen() {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Settings",
                                  .title = "Settings",
                                  .elements = {element(1, "checkbox", "A", "0"), element(2, "checkbox", "B", "0"),
                                               element(3, "checkbox", "C", "0")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::click && a.id) {
            auto& e = s.elements[static_cast<std::size_t>(*a.id - 1)];
            e.value = e.value == "1" ? "0" : "1";
        }
        return std::nullopt;
    };
    return surface;
}

TEST_F(AgentAct, ADeadButtonIsReadAfter350And600And900msAndCountsAsNoEffect) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Home", .elements = {element(1, "button", "Dead")}};
    // With a model the run goes on after the dead tap (without one it ends there).
    auto agent = makeAgent(surface, configuration({scriptedModel("M", std::make_shared<Script>())}));
    const auto report = runGoal(agent, "tap Dead");

    ASSERT_EQ(surface->count(TavroAction::Kind::click), 1);
    const auto performedAt = surface->performedAt[0];
    std::vector<std::int64_t> after;
    for (const auto at : surface->readings)
        if (at > performedAt) after.push_back(msSince(performedAt, at));
    ASSERT_GE(after.size(), 3u);
    EXPECT_EQ(after[0], 350);
    EXPECT_EQ(after[1], 950);
    EXPECT_EQ(after[2], 1850);
    ASSERT_FALSE(report.steps.empty());
    EXPECT_EQ(report.steps[0].text, "Tap “Dead”");
    EXPECT_FALSE(report.steps[0].ok);
    EXPECT_GE(report.ms[0], 1850);
    const auto lines = debug("decide");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "step had no effect; will try another way"), lines.end());
}

TEST_F(AgentAct, AScreenThatChangesIsSeenAtTheFirstReading) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Home", .elements = {element(1, "button", "Next")}};
    surface->onPerform = [](const TavroAction&, TavroScreen& s) -> std::optional<std::string> {
        s.location = "Next";
        return std::nullopt;
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Next");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.ms[0], 350);
    EXPECT_TRUE(report.steps[0].ok);
}

TEST_F(AgentAct, ACheckboxCountsByItsValue) {
    // The value flips: verified though nothing else changed.
    auto flips = switchesScreen();
    auto agent = makeAgent(flips, configuration());
    auto report = runGoal(agent, "turn on A");
    ASSERT_FALSE(report.steps.empty());
    EXPECT_TRUE(report.steps[0].ok);

    // The title changes but the value stays: not verified.
    auto stuck = switchesScreen();
    stuck->onPerform = [](const TavroAction&, TavroScreen& s) -> std::optional<std::string> {
        s.title = "Other";
        return std::nullopt;
    };
    auto second = makeAgent(stuck, configuration());
    report = runGoal(second, "turn on A");
    ASSERT_FALSE(report.steps.empty());
    EXPECT_FALSE(report.steps[0].ok);
}

TEST_F(AgentAct, TheFocusAPressGivesThePressedElementIsNoEffect) {
    struct Row {
        const char* name;
        std::function<void(TavroScreen&)> press;  // what tapping Save (id 2) does
        bool verified;
    };
    const std::vector<Row> rows = {
        {"only the button's own focus", [](TavroScreen& s) { s.elements[1].focused = true; }, false},
        {"its focus and a message", [](TavroScreen& s) { s.elements[1].focused = true; s.text = "Saved"; }, true},
        {"the focus moves to the field",
         [](TavroScreen& s) { s.elements[0].focused = true; }, true},
        {"the keyboard comes up with the focus",
         [](TavroScreen& s) { s.elements[1].focused = true; s.keyboardVisible = true; }, true},
    };
    for (const auto& row : rows) {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen = TavroScreen{.location = "Doc", .elements = {element(1, "input", "Title"), element(2, "button", "Save")}};
        auto press = row.press;
        surface->onPerform = [press](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            if (a.kind == TavroAction::Kind::click && a.id == 2) press(s);
            return std::nullopt;
        };
        auto agent = makeAgent(surface, configuration());
        const auto report = runGoal(agent, "tap Save");
        ASSERT_FALSE(report.steps.empty()) << row.name;
        EXPECT_EQ(report.steps[0].ok, row.verified) << row.name;
        EXPECT_EQ(report.ok, row.verified) << row.name;
    }
}

TEST_F(AgentAct, TypingIsJudgedByTheFieldsValueAndFocus) {
    struct Row {
        std::string name;
        std::string type;
        std::function<void(TavroElement&, const std::string&)> effect;
        bool verified;
    };
    const std::vector<Row> rows = {
        {"value holds the text in another case", "", [](TavroElement& e, const std::string& t) { e.value = "say " + t + "!"; }, true},
        {"password fields are always verified", "password", [](TavroElement&, const std::string&) {}, true},
        {"empty value but focused", "", [](TavroElement& e, const std::string&) { e.focused = true; }, true},
        {"empty value and not focused", "", [](TavroElement&, const std::string&) {}, false},
    };
    for (const auto& row : rows) {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen = TavroScreen{.location = "Form", .elements = {element(1, "input", "Note")}};
        surface->screen.elements[0].type = row.type;
        auto effect = row.effect;
        surface->onPerform = [effect](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            if (a.kind == TavroAction::Kind::type) effect(s.elements[0], "HELLO");
            return std::nullopt;
        };
        auto script = std::make_shared<Script>();
        script->replies = {reply("type", 1, "hello"), reply("fail", std::nullopt, "end")};
        auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
        const auto report = runGoal(agent, "cheer up my friend");
        ASSERT_FALSE(report.steps.empty()) << row.name;
        EXPECT_EQ(report.steps[0].ok, row.verified) << row.name;
    }
}

TEST_F(AgentAct, ADoneRightAfterUnsentTypingGetsOneMoreTurn) {
    auto surface = chatScreen();
    auto script = std::make_shared<Script>();
    script->replies = {reply("type", 1, "hi"), reply("done", std::nullopt, "typed"), reply("click", 2),
                       reply("done", std::nullopt, "Sent hi")};
    auto agent = makeAgent(surface, unattended({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.status, "Sent hi");
    EXPECT_EQ(surface->screen.text, "sent hi");
    ASSERT_EQ(script->decideCalls(), 4);
    EXPECT_NE(script->prompts[2].second.find("You typed into a field but nothing sent or saved it yet. Finish the goal "
                                             "(for example tap Send or Save), then reply done."),
              std::string::npos);
    const auto reasons = debug("reason");
    EXPECT_NE(std::find(reasons.begin(), reasons.end(), "typed text not sent yet; one more turn"), reasons.end());
    for (const auto& step : report.steps) EXPECT_NE(step.text, "✓ typed") << "the early done is not shown";
}

TEST_F(AgentAct, TheTypedTextTurnIsGivenOncePerRun) {
    auto surface = chatScreen();
    auto script = std::make_shared<Script>();
    script->replies = {reply("type", 1, "hi"), reply("done"), reply("type", 1, "hello"), reply("done")};
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.status, "Done.");
    EXPECT_EQ(script->decideCalls(), 4);
}

TEST_F(AgentAct, RunsWithoutModelsNeverGetTheTypedTextTurn) {
    auto surface = chatScreen();
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "type hi into Message");
    EXPECT_TRUE(report.ok);
    EXPECT_TRUE(debug("reason").empty());
}

TEST_F(AgentAct, TheThirdChoiceOfTheSameStepTripsTheRepeatGuard) {
    auto surface = switchesScreen();
    auto script = std::make_shared<Script>();
    script->replies = {reply("click", 1), reply("click", 2), reply("click", 1), reply("click", 3), reply("click", 1)};
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "I kept repeating the same step, so I stopped. Try saying it another way.");
    ASSERT_EQ(surface->performed.size(), 4u);
    EXPECT_EQ(std::count_if(surface->performed.begin(), surface->performed.end(),
                            [](const TavroAction& a) { return a.id == 1; }),
              2);
    EXPECT_EQ(report.steps.size(), 4u) << "no line for the step that tripped the guard";
}

TEST_F(AgentAct, TheRepeatGuardEndsInSuccessWhenTheGoalIsVisiblyDone) {
    auto surface = switchesScreen();
    surface->onPerform = [](const TavroAction&, TavroScreen& s) -> std::optional<std::string> {
        s.elements[0].value = s.elements[0].value == "1" ? "0" : "1";
        s.text = s.text.empty() ? "dim" : "Lights";
        return std::nullopt;
    };
    auto script = std::make_shared<Script>();
    script->thoughts = {R"({"intent":"lights","done":"Lights on","steps":["x1","x2","x3","x4","x5"],"ask":""})"};
    script->otherwise = reply("click", 1);
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    agent->presenter = presenter;
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.status, "Done: Lights on");
    EXPECT_EQ(surface->performed.size(), 2u);
    EXPECT_EQ(presenter->texts("say").back(), "✓ Done: Lights on");
    EXPECT_EQ(report.steps.front().text, "🧠 lights · 5 steps · done when: Lights on");
    EXPECT_EQ(integer(lastEvent("run_end"), "planned"), 1);
    EXPECT_EQ(integer(lastEvent("run_end"), "steps"), 2) << "neither the plan line nor the success line count";
}

TEST_F(AgentAct, TheStepLimitEndsAfterExactlyThatManyActions) {
    auto surface = switchesScreen();
    auto script = std::make_shared<Script>();
    script->replies = {reply("click", 1), reply("click", 2), reply("click", 3), reply("click", 2)};
    auto c = configuration({scriptedModel("M", script)});
    c.maxSteps = 3;
    auto agent = makeAgent(surface, c);
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Stopped after 3 steps.");
    EXPECT_EQ(surface->performed.size(), 3u);
    EXPECT_EQ(script->decideCalls(), 3);
}

TEST_F(AgentAct, AStepLimitOfZeroTakesNoTurn) {
    auto surface = switchesScreen();
    auto c = configuration();
    c.maxSteps = 0;
    auto agent = makeAgent(surface, c);
    const auto report = runGoal(agent, "turn on A");
    EXPECT_EQ(report.status, "Stopped after 0 steps.");
    EXPECT_TRUE(surface->performed.empty());
    EXPECT_TRUE(console.contains("[TAVRO_SDK] start models=[] replay=false steps=1 goal=turn on A"));
}

TEST_F(AgentAct, ANegativeStepLimitCountsAsZero) {
    auto surface = switchesScreen();
    auto c = configuration();
    c.maxSteps = -4;
    auto agent = makeAgent(surface, c);
    const auto report = runGoal(agent, "turn on A");
    EXPECT_EQ(report.status, "Stopped after 0 steps.");
    EXPECT_TRUE(surface->performed.empty());
}

TEST_F(AgentAct, ThePointerMovesToTheTargetAndTapsOnlyForClicks) {
    auto surface = chatScreen();
    surface->screen.elements.push_back(element(3, "button", "Nowhere"));
    surface->screen.elements[2].frame = TavroRect{};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::type) s.elements[0].value = a.text;
        if (a.kind == TavroAction::Kind::click) s.text += "x";
        return std::nullopt;
    };
    auto script = std::make_shared<Script>();
    script->replies = {reply("type", 1, "hi"), reply("click", 3), reply("swipe", std::nullopt, "left"),
                       reply("click", 2), reply("done", std::nullopt, "ok")};
    auto presenter = std::make_shared<RecordingPresenter>();
    auto agent = makeAgent(surface, unattended({scriptedModel("M", script)}));
    agent->presenter = presenter;
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_TRUE(report.ok);

    std::vector<std::string> shown;
    for (const auto& call : presenter->calls)
        if (call.name == "point" || call.name == "tap" || call.name == "say") shown.push_back(call.name + ":" + call.text);
    const std::vector<std::string> expected = {
        "say:Cheer up my friend",        // the plan summary
        "point:Type “hi” into Message",  // a type points without a tap
        "say:Tap “Nowhere”",             // a zero frame shows only the caption
        "point:Tap “Send”",
        "tap:",
        "say:✓ ok",
    };
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(presenter->texts("point")[0], "Type “hi” into Message");
    // The step's time includes the pointer's 600 ms and the 350 ms verification.
    EXPECT_GE(report.ms[0], 950);
}

TEST_F(AgentAct, WithoutTheCursorNothingIsShownButTheLogGrows) {
    auto surface = switchesScreen();
    auto presenter = std::make_shared<RecordingPresenter>();
    auto c = configuration();
    c.showsCursor = false;
    auto agent = makeAgent(surface, c);
    agent->presenter = presenter;
    const auto report = runGoal(agent, "turn on A");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(presenter->count("point"), 0);
    EXPECT_EQ(presenter->count("say"), 0);
    EXPECT_EQ(report.steps.size(), 2u);
}

TEST_F(AgentAct, PlanProgressMovesOnWithEachStepThatWorkedAndStopsAtTheLastLabel) {
    auto surface = switchesScreen();
    auto agent = makeAgent(surface, configuration());
    int highest = 0;
    auto token = agent->planIndex().didSet([&](const int& i) { highest = std::max(highest, i); });
    const auto report = runGoal(agent, "turn on A then turn on B then turn on C");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(agent->plan().value(), (std::vector<std::string>{"Turn on A", "Turn on B", "Turn on C"}));
    EXPECT_EQ(agent->planIndex().value(), 2);
    EXPECT_EQ(highest, 2);

    // A failed step does not move the plan on.
    auto stuck = switchesScreen();
    stuck->onPerform = nullptr;
    auto second = makeAgent(stuck, configuration());
    runGoal(second, "turn on A then turn on B");
    EXPECT_EQ(second->planIndex().value(), 0);
}

TEST_F(AgentAct, TheHostHearsOfEveryVerifiedStep) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Home", .elements = {element(1, "button", "Dead"), element(2, "button", "Live")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.id == 2) s.title = "Live";
        return std::nullopt;
    };
    std::vector<std::string> heard;
    auto script = std::make_shared<Script>();
    script->replies = {reply("click", 1), reply("click", 2), reply("done")};
    auto c = configuration({scriptedModel("M", script)});
    c.onStep = [&heard](const std::string& caption) { heard.push_back(caption); };
    auto agent = makeAgent(surface, c);
    runGoal(agent, "cheer me up");
    EXPECT_EQ(heard, std::vector<std::string>{"Tap “Live”"});
}

TEST_F(AgentAct, OpeningTheWebWithoutAPresenterEndsTheRun) {
    auto surface = chatScreen();
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "search the web for red shoes");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "I can't open a browser here.");
    EXPECT_TRUE(report.steps.empty());
}

TEST_F(AgentAct, AfterOpeningTheBrowserTheRunWorksOnThePage) {
    auto web = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    web->setScriptHandler([](const std::string&, const std::string& script) {
        if (script != "tavro.read()") return ui::WebView::ScriptResult{nlohmann::json{{"ok", true}}, ""};
        nlohmann::json link = {{"id", 1},
                               {"kind", "link"},
                               {"label", "Red shoes"},
                               {"inView", true},
                               {"frame", {{"x", 10}, {"y", 20}, {"width", 100}, {"height", 30}}}};
        return ui::WebView::ScriptResult{
            nlohmann::json{{"title", "Results"}, {"text", "Red shoes $20"}, {"elements", nlohmann::json::array({link})}},
            ""};
    });
    auto presenter = std::make_shared<RecordingPresenter>();
    presenter->web = std::make_shared<WebSurface>(web);
    auto surface = chatScreen();
    auto script = std::make_shared<Script>();
    script->replies = {reply("openWeb", std::nullopt, "red shoes"), reply("done", std::nullopt, "Found them")};
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    agent->presenter = presenter;
    std::vector<std::string> engines;
    auto token = agent->engineName().didSet([&](const std::string& name) { engines.push_back(name); });

    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(presenter->count("showWeb"), 1);
    EXPECT_EQ(web->url(), "https://html.duckduckgo.com/html/?q=red%20shoes");
    EXPECT_EQ(agent->activeSurface(), presenter->web);
    EXPECT_EQ(agent->webSurface(), presenter->web);
    EXPECT_EQ(report.steps[0].text, "Open a browser for “red shoes”");
    EXPECT_NE(std::find(engines.begin(), engines.end(), "Browser · on-device"), engines.end());
    ASSERT_EQ(script->decideCalls(), 2);
    EXPECT_NE(script->prompts[1].second.find("SCREEN TEXT: Red shoes $20"), std::string::npos);
    EXPECT_NE(script->prompts[1].second.find("Opened a browser for “red shoes” because the app couldn't do it"),
              std::string::npos);
    EXPECT_EQ(presenter->web->frame(1), (TavroRect{10, 64, 100, 30})) << "frames cached in overlay coordinates";

    // The next run starts on the native screens again.
    agent->run("tap Send");
    EXPECT_EQ(agent->activeSurface(), surface);
    EXPECT_EQ(agent->webSurface(), nullptr);
    EXPECT_GE(presenter->count("hideWeb"), 2);
    agent->stop();
}

TEST_F(AgentAct, LocalOperationsReportTheirOutcomeWithoutBlockingOrRecording) {
    auto surface = chatScreen();
    auto script = std::make_shared<Script>();
    script->replies = {reply("copy", std::nullopt, "hi"), reply("copy", std::nullopt, "hi"),
                       reply("copy", std::nullopt, "hi"), reply("fail", std::nullopt, "end")};
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_EQ(report.status, "end") << "a local operation never trips the repeat guard";
    EXPECT_EQ(script->decideCalls(), 4);
    ASSERT_EQ(report.steps.size(), 3u);
    EXPECT_EQ(report.steps[0].text, "Copy “hi”");
    EXPECT_TRUE(surface->performed.empty());
}

}  // namespace
}  // namespace tavro::agenttest
