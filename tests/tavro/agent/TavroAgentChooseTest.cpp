// Choosing the next action: rules before models, models in order, the one retry with half the
// budget, corrective turns, the corrective scroll and giving up.
#include <algorithm>
#include <sstream>

#include "AgentTestSupport.h"

namespace tavro::agenttest {
namespace {

int elementLines(const std::string& user) {
    std::istringstream in(user);
    int n = 0;
    for (std::string line; std::getline(in, line);) n += line.starts_with("[");
    return n;
}

std::string screenTextLine(const std::string& user) {
    std::istringstream in(user);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("SCREEN TEXT: ")) return line.substr(13);
    return {};
}

class AgentChoose : public AgentTest {};

TEST_F(AgentChoose, RulesGoFirstAndTheModelsNameStays) {
    auto script = std::make_shared<Script>();
    auto agent = makeAgent(chatScreen(), unattended({scriptedModel("Host model", script)}));
    const auto report = runGoal(agent, "tap Send");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(script->decideCalls(), 0);
    EXPECT_TRUE(script->thinkPrompts.empty()) << "a one-clause goal the rules can do needs no pre-pass";
    EXPECT_EQ(agent->engineName().value(), "Host model");
    EXPECT_FALSE(agent->reasoning().value().has_value());
    EXPECT_TRUE(debug("decide").size() >= 1);
    EXPECT_TRUE(debug("decide").front().starts_with("[rules] Tap “Send”"));
}

TEST_F(AgentChoose, KeyValueGoalsNeverAskAModel) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Profile",
                                  .elements = {element(1, "input", "Name"), element(2, "input", "Email")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::type && a.id) s.elements[static_cast<std::size_t>(*a.id - 1)].value = a.text;
        return std::nullopt;
    };
    auto script = std::make_shared<Script>();
    script->otherwise = reply("done", std::nullopt, "model");
    auto agent = makeAgent(surface, configuration({scriptedModel("Host model", script)}));
    std::vector<std::string> engines;
    auto token = agent->engineName().didSet([&](const std::string& name) { engines.push_back(name); });
    agent->run("name=Rin email=rin@example.org");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    ASSERT_FALSE(engines.empty());
    EXPECT_EQ(engines.front(), "Rules · no on-device model ready") << "the rules label from the start";
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(script->decideCalls(), 0);
    EXPECT_TRUE(script->thinkPrompts.empty());
    EXPECT_EQ(surface->screen.elements[0].value, "Rin");
    EXPECT_EQ(surface->screen.elements[1].value, "rin@example.org");
    EXPECT_EQ(agent->engineName().value(), "Rules · on-device");
    EXPECT_EQ(text(lastEvent("run_start"), "engine"), "model") << "analytics name the configured engine";
}

TEST_F(AgentChoose, TwoModelsWhereTheFirstAnswersNothing) {
    auto quiet = std::make_shared<Script>();
    auto helpful = std::make_shared<Script>();
    helpful->replies = {reply("type", 1, "hi"), reply("click", 2), reply("done", std::nullopt, "Sent hi")};
    auto agent = makeAgent(chatScreen(), unattended({scriptedModel("Quiet", quiet), scriptedModel("Helpful", helpful)}));
    agent->run("cheer up my friend");
    EXPECT_EQ(agent->engineName().value(), "Quiet");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(agent->status().value(), "Sent hi");
    EXPECT_EQ(agent->engineName().value(), "Helpful");
    EXPECT_EQ(quiet->decideCalls(), 6) << "asked and asked again on each of three turns";
    EXPECT_EQ(helpful->decideCalls(), 3) << "asked in the same turn, once per turn";
    EXPECT_EQ(debug("decide")[0], "[model] Type “hi” into Message");
}

TEST_F(AgentChoose, AnInvalidReplyIsAskedForOnceMoreWithHalfTheBudget) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen.location = "Grid";
    surface->screen.text = std::string(1000, 'a');
    for (int i = 1; i <= 40; ++i) surface->screen.elements.push_back(element(i, "button", "B" + std::to_string(i)));
    surface->onPerform = [](const TavroAction&, TavroScreen& s) -> std::optional<std::string> {
        s.title = "changed";
        return std::nullopt;
    };
    auto script = std::make_shared<Script>();
    script->replies = {reply("click", 99), reply("click", 1), reply("done", std::nullopt, "ok")};
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script, TavroContextBudget{30, 801})}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_TRUE(report.ok);
    ASSERT_EQ(script->decideCalls(), 3);

    const auto& first = script->prompts[0].second;
    const auto& retry = script->prompts[1].second;
    EXPECT_EQ(elementLines(first), 30);
    EXPECT_EQ(screenTextLine(first).size(), 801u);
    EXPECT_EQ(elementLines(retry), 15);
    EXPECT_EQ(screenTextLine(retry).size(), 400u);
    EXPECT_NE(retry.find("Your previous reply was invalid: id 99 is not in ELEMENTS. Choose a valid action.\n\n"
                         "What is the next action?"),
              std::string::npos)
        << retry;
    EXPECT_EQ(first.find("Your previous reply was invalid"), std::string::npos);
    EXPECT_EQ(script->prompts[2].second.find("Your previous reply was invalid"), std::string::npos)
        << "the retry note lives only in the second prompt";
}

TEST_F(AgentChoose, RetryBudgetsFollowTheHalvingRule) {
    struct Row {
        TavroContextBudget budget;
        int elements;
        std::size_t chars;
    };
    const std::vector<Row> rows = {
        {{70, 1600}, 35, 800}, {{40, 800}, 20, 400}, {{32, 600}, 16, 300}, {{29, 100}, 15, 50}, {{10, 10}, 15, 5},
    };
    for (const auto& row : rows) {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen.text = std::string(2000, 'b');
        for (int i = 1; i <= 80; ++i) surface->screen.elements.push_back(element(i, "button", "B" + std::to_string(i)));
        auto script = std::make_shared<Script>();
        script->replies = {std::nullopt, reply("fail", std::nullopt, "stop")};
        auto agent = makeAgent(surface, configuration({scriptedModel("M", script, row.budget)}));
        runGoal(agent, "cheer up my friend");
        ASSERT_GE(script->decideCalls(), 2);
        const auto& retry = script->prompts[1].second;
        EXPECT_EQ(elementLines(retry), row.elements) << row.budget.elements;
        EXPECT_EQ(screenTextLine(retry).size(), row.chars) << row.budget.textChars;
        EXPECT_NE(retry.find("Your previous reply was invalid: reply with exactly one JSON object. Choose a valid action."),
                  std::string::npos);
    }
}

TEST_F(AgentChoose, CorrectiveTurnsThenGivingUp) {
    auto surface = chatScreen();
    auto script = std::make_shared<Script>();  // never answers
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "I couldn't find the next control.");
    EXPECT_EQ(script->decideCalls(), 6);
    EXPECT_EQ(surface->count(TavroAction::Kind::scroll), 1) << "one corrective scroll between acted steps";
    const auto lines = debug("decide");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "no usable step; retrying (1)");
    EXPECT_EQ(lines[1], "no usable step; retrying (2)");
    EXPECT_EQ(lines[2], "[] I couldn't find the next control.");
    EXPECT_NE(script->prompts[4].second.find("Your last reply wasn't a usable action. Look at ELEMENTS again; if the "
                                             "goal is already complete, reply done."),
              std::string::npos);
    EXPECT_TRUE(console.contains("[TAVRO_SDK] fail I couldn't find the next control."));
}

TEST_F(AgentChoose, AFailedCorrectiveScrollIsTriedAgainOnTheNextMiss) {
    auto surface = chatScreen();
    surface->onPerform = [](const TavroAction& a, TavroScreen&) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::scroll) return "failed: nothing to scroll here";
        return std::nullopt;
    };
    auto script = std::make_shared<Script>();
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_EQ(report.status, "I couldn't find the next control.");
    EXPECT_EQ(surface->count(TavroAction::Kind::scroll), 3) << "two corrective turns, then the last try";
}

TEST_F(AgentChoose, WithoutModelsTheRulesOwnFailureEndsTheRun) {
    auto surface = chatScreen();
    surface->onPerform = [](const TavroAction& a, TavroScreen&) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::scroll) return "failed: nothing to scroll here";
        return std::nullopt;
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Missing");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status,
              "I couldn't work out “tap Missing” on this screen. Use the names shown on screen, or turn on an "
              "on-device model.");
    EXPECT_EQ(surface->count(TavroAction::Kind::scroll), 1);
    EXPECT_TRUE(console.contains("[TAVRO_SDK] fail I couldn't work out “tap Missing”"));
}

TEST_F(AgentChoose, WithoutModelsOneScrollLetsTheRulesTryTheClauseAgain) {
    auto surface = chatScreen();
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::scroll) {
            if (s.element(3)) return "failed: already at the bottom";
            s.elements.push_back(element(3, "button", "Hidden"));
        }
        if (a.kind == TavroAction::Kind::click && a.id == 3) s.title = "Found";
        return std::nullopt;
    };
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Hidden");
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(surface->screen.title, "Found");
    const auto lines = debug("decide");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "nothing matched; scrolled to look further"), lines.end());
}

TEST_F(AgentChoose, AnUnreadableScreenEndsTheRun) {
    auto surface = chatScreen();
    surface->unreadable = true;
    auto agent = makeAgent(surface, configuration());
    const auto report = runGoal(agent, "tap Send");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "I couldn't read this screen.");
    EXPECT_TRUE(report.steps.empty());
}

TEST_F(AgentChoose, StatusesOfAnUnreadableScreenAndOfGivingUpInJapanese) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    auto unreadable = chatScreen();
    unreadable->unreadable = true;
    EXPECT_EQ(runGoal(makeAgent(unreadable, configuration()), "tap Send").status, "この画面を読み取れませんでした。");

    auto script = std::make_shared<Script>();  // never answers
    const auto report = runGoal(makeAgent(chatScreen(), configuration({scriptedModel("M", script)})), "cheer up");
    EXPECT_EQ(report.status, "次の操作先が見つかりませんでした。");
}

TEST_F(AgentChoose, AModelsFailWithoutTextEndsWithTheDefaultStatus) {
    auto script = std::make_shared<Script>();
    script->replies = {reply("fail")};
    auto agent = makeAgent(chatScreen(), configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "I couldn't finish this.");
    EXPECT_TRUE(console.contains("[TAVRO_SDK] fail I couldn't finish this."));
}

TEST_F(AgentChoose, ABlockedStepPassesTheTurnToTheNextModel) {
    // Tapping Send changes nothing: its key is blocked, so the first model's second tap is not used.
    auto surface = chatScreen();
    surface->onPerform = nullptr;
    auto first = std::make_shared<Script>();
    first->otherwise = reply("click", 2);
    auto second = std::make_shared<Script>();
    second->replies = {reply("fail", std::nullopt, "gave up")};
    auto agent = makeAgent(surface, unattended({scriptedModel("First", first), scriptedModel("Second", second)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 1);
    EXPECT_EQ(report.status, "gave up");
    EXPECT_EQ(agent->engineName().value(), "Second");
}

TEST_F(AgentChoose, StoppingWhileAModelThinksAsksNoOtherModel) {
    auto slow = std::make_shared<Script>();
    slow->latency = 10s;
    slow->otherwise = reply("click", 2);
    auto other = std::make_shared<Script>();
    auto agent = makeAgent(chatScreen(), configuration({scriptedModel("Slow", slow), scriptedModel("Other", other)}));
    agent->run("cheer up my friend");
    ASSERT_TRUE(runUntil([&] { return slow->decideCalls() == 1; }));
    agent->stop("Stopped.");
    actor->runFor(30s);
    EXPECT_EQ(slow->decideCalls(), 1);
    EXPECT_EQ(other->decideCalls(), 0);
    EXPECT_EQ(agent->status().value(), "Stopped.");
}

}  // namespace
}  // namespace tavro::agenttest
