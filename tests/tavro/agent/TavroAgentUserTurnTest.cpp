// What holds after a user turn: an approval covers the element as it was named when asked (the
// screen is read again on the active surface, native or web, before anything is pressed), and a
// stop at the plan's question ends saying what the run needed.
#include <algorithm>
#include <functional>

#include "AgentTestSupport.h"
#include "DemoTestSupport.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/WebView.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro::agenttest {
namespace {

class AgentUserTurn : public AgentTest {
protected:
    bool waitFor(const std::shared_ptr<TavroAgent>& agent, TavroAgent::Prompt::Case kind) {
        return runUntil([&] { return agent->prompt().value() && agent->prompt().value()->kind() == kind; });
    }
    bool waitForEnd(const std::shared_ptr<TavroAgent>& agent) {
        return runUntil([&] { return !agent->running().value(); });
    }
};

// A ticket page: one Buy button (it pays, so it asks) and a note.
std::shared_ptr<FakeSurface> ticketPage() {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Tickets",
                                  .title = "Tickets",
                                  .elements = {element(1, "button", "Buy 1 ticket"), element(2, "text", "Row 12")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::click && a.id == 1) s.title = "Bought";
        return std::nullopt;
    };
    return surface;
}

TEST_F(AgentUserTurn, AnElementChangedDuringTheApprovalIsNotPressed) {
    struct Row {
        std::string name;
        std::function<void(TavroScreen&)> change;
        std::string why;
    };
    const std::vector<Row> rows = {
        {"relabelled", [](TavroScreen& s) { s.elements[0].label = "Buy 10 tickets"; },
         "“Buy 1 ticket” now reads “Buy 10 tickets”"},
        {"gone", [](TavroScreen& s) { s.elements.erase(s.elements.begin()); },
         "“Buy 1 ticket” is no longer on the screen"},
        {"another kind", [](TavroScreen& s) { s.elements[0].kind = "link"; },
         "“Buy 1 ticket” is now a link, not a button"},
    };
    for (const auto& row : rows) {
        auto surface = ticketPage();
        auto agent = makeAgent(surface, configuration());
        agent->run("tap Buy 1 ticket");
        ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve)) << row.name;
        ASSERT_EQ(agent->prompt().value()->text(), "Tap “Buy 1 ticket”") << row.name;
        row.change(surface->screen);  // while the person reads the question
        agent->approve();
        ASSERT_TRUE(waitForEnd(agent)) << row.name;

        EXPECT_EQ(surface->count(TavroAction::Kind::click), 0) << row.name << ": nothing pressed";
        EXPECT_FALSE(agent->succeeded().value()) << row.name;
        const auto status = agent->status().value().value_or("");
        EXPECT_NE(status.find(row.why), std::string::npos) << row.name << ": " << status;
        const auto& log = agent->log().value();
        ASSERT_FALSE(log.empty()) << row.name;
        EXPECT_EQ(log[0].text, "Tap “Buy 1 ticket”") << row.name;
        EXPECT_FALSE(log[0].ok) << row.name;
    }
}

TEST_F(AgentUserTurn, AnUnchangedElementIsPressedAfterAnyWait) {
    auto surface = ticketPage();
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Buy 1 ticket");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    actor->runFor(std::chrono::minutes(10));
    surface->screen.elements[0].frame.y += 80;  // moved, but still the same control
    surface->screen.elements[1].label = "Row 14";
    agent->approve();
    ASSERT_TRUE(waitForEnd(agent));
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 1);
    EXPECT_TRUE(agent->succeeded().value()) << agent->status().value().value_or("");
}

TEST_F(AgentUserTurn, TheModelDecidesAgainAndTheNewNameIsAskedFor) {
    auto surface = ticketPage();
    auto script = std::make_shared<Script>();
    script->otherwise = reply("click", 1);
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    agent->run("get me a ticket for tonight");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    EXPECT_EQ(agent->prompt().value()->text(), "Tap “Buy 1 ticket”");
    surface->screen.elements[0].label = "Buy 10 tickets";
    agent->approve();

    // The next turn chooses the same control and asks for it under the name it shows now.
    ASSERT_TRUE(runUntil([&] {
        return agent->prompt().value() && agent->prompt().value()->text() == "Tap “Buy 10 tickets”";
    }));
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 0);
    ASSERT_GE(script->prompts.size(), 2u);
    const auto& user = script->prompts.back().second;
    EXPECT_NE(user.find("Tap “Buy 1 ticket” → failed: “Buy 1 ticket” now reads “Buy 10 tickets”"), std::string::npos)
        << user;
    agent->stop();
    ASSERT_TRUE(waitForEnd(agent));
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 0);
}

TEST_F(AgentUserTurn, AnApprovedStepIsJudgedAgainstTheScreenAsItWasWhenPerformed) {
    // The page's note changes while the question waits; the approved tap itself does nothing. The
    // change made during the wait is not the tap's effect.
    auto surface = ticketPage();
    surface->onPerform = nullptr;
    auto agent = makeAgent(surface, configuration());
    agent->run("tap Buy 1 ticket");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    surface->screen.elements[1].label = "Row 14";
    agent->approve();
    ASSERT_TRUE(waitForEnd(agent));
    EXPECT_EQ(surface->count(TavroAction::Kind::click), 1);
    EXPECT_FALSE(agent->succeeded().value());
    ASSERT_FALSE(agent->log().value().empty());
    EXPECT_FALSE(agent->log().value()[0].ok);
}

TEST_F(AgentUserTurn, ALocalOperationHoldsOnlyForTheElementAsNamed) {
    ui::Pasteboard::resetGeneral();
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Wallet",
                                  .title = "Wallet",
                                  .elements = {element(1, "text", "Gift code", "ABC-123")}};
    auto script = std::make_shared<Script>();
    script->replies = {reply("copy", 1), reply("fail", std::nullopt, "end")};
    auto agent = makeAgent(surface, configuration({scriptedModel("M", script)}));
    agent->setAutoRun(false);  // every step asks
    agent->run("keep my code handy");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    surface->screen.elements[0].label = "Bank PIN";
    agent->approve();
    ASSERT_TRUE(waitForEnd(agent));
    EXPECT_EQ(ui::Pasteboard::general()->string(), std::nullopt) << "nothing copied";
    ASSERT_FALSE(agent->log().value().empty());
    EXPECT_FALSE(agent->log().value()[0].ok);
    ASSERT_GE(script->prompts.size(), 2u);
    EXPECT_NE(script->prompts[1].second.find("“Gift code” now reads “Bank PIN”"), std::string::npos);
}

TEST_F(AgentUserTurn, InTheBrowserARelabelledLinkIsNotPressed) {
    std::string label = "Buy 1 ticket";
    std::vector<std::string> scripts;
    auto web = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    web->setScriptHandler([&](const std::string&, const std::string& script) {
        scripts.push_back(script);
        if (script != "tavro.read()") return ui::WebView::ScriptResult{nlohmann::json{{"ok", true}}, ""};
        nlohmann::json buy = {{"id", 1},
                              {"kind", "button"},
                              {"label", label},
                              {"inView", true},
                              {"frame", {{"x", 10}, {"y", 20}, {"width", 100}, {"height", 30}}}};
        return ui::WebView::ScriptResult{
            nlohmann::json{{"title", "Tickets"}, {"text", "Tonight"}, {"elements", nlohmann::json::array({buy})}}, ""};
    });
    auto presenter = std::make_shared<RecordingPresenter>();
    presenter->web = std::make_shared<WebSurface>(web);
    auto script = std::make_shared<Script>();
    script->replies = {reply("openWeb", std::nullopt, "tickets tonight"), reply("click", 1),
                       reply("fail", std::nullopt, "end")};
    auto agent = makeAgent(ticketPage(), configuration({scriptedModel("M", script)}));
    agent->presenter = presenter;
    agent->run("get me a ticket for tonight");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    ASSERT_EQ(agent->activeSurface(), presenter->web);
    EXPECT_EQ(agent->prompt().value()->text(), "Tap “Buy 1 ticket”");
    label = "Buy 10 tickets";
    agent->approve();
    ASSERT_TRUE(waitForEnd(agent));

    const auto performs = std::count_if(scripts.begin(), scripts.end(),
                                        [](const std::string& s) { return s.starts_with("tavro.perform("); });
    EXPECT_EQ(performs, 0) << "nothing pressed on the page";
    ASSERT_GE(script->prompts.size(), 3u);
    EXPECT_NE(script->prompts[2].second.find("“Buy 1 ticket” now reads “Buy 10 tickets”"), std::string::npos);
}

// The view with that accessibility label under `view`, or nothing.
std::shared_ptr<ui::View> findLabelled(const std::shared_ptr<ui::View>& view, std::string_view label) {
    if (view->accessibilityLabel() == label) return view;
    for (const auto& sub : view->subviews()) {
        if (auto found = findLabelled(sub, label)) return found;
    }
    return nullptr;
}

class UserTurnOnDemo : public AgentOnDemo {};

TEST_F(UserTurnOnDemo, ANativeButtonRelabelledDuringTheApprovalIsNotPressed) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    agent->run("open Shop then tap Buy");
    ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::approve));
    ASSERT_EQ(agent->prompt().value()->text(), "Tap “Buy Coffee Beans”");
    const auto button = findLabelled(app->window(), "Buy Coffee Beans");
    ASSERT_NE(button, nullptr);
    button->setAccessibilityLabel("Buy 10 Coffee Beans");
    agent->approve();
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));

    EXPECT_FALSE(agent->succeeded().value());
    EXPECT_NE(agent->status().value().value_or("").find("“Buy Coffee Beans” now reads “Buy 10 Coffee Beans”"),
              std::string::npos)
        << agent->status().value().value_or("");
    EXPECT_FALSE(agent->prompt().value().has_value()) << "the confirmation was never opened";
    EXPECT_TRUE(app->purchases().empty());
}

// ---- The plan's question ----

TEST_F(AgentUserTurn, StoppingAtThePlansQuestionSaysWhatWasNeeded) {
    for (const auto& note : {std::optional<std::string>(), std::optional<std::string>("Stopped.")}) {
        auto script = std::make_shared<Script>();
        script->thoughts = {R"({"intent":"","done":"","steps":[],"ask":"Which account?"})"};
        auto agent = makeAgent(ticketPage(), configuration({scriptedModel("M", script)}));
        agent->run("move my savings");
        ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::ask));
        agent->stop(note);
        ASSERT_TRUE(waitForEnd(agent));
        EXPECT_EQ(agent->status().value(), "Stopped: I needed “Which account?”.") << note.value_or("(no note)");
        EXPECT_FALSE(agent->succeeded().value());
        EXPECT_EQ(script->decideCalls(), 0);

        // A later stop of a run that asks nothing keeps its own note.
        agent->run("tap Buy 1 ticket");
        ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
        agent->stop("Stopped.");
        EXPECT_EQ(agent->status().value(), "Stopped.");
    }
}

TEST_F(AgentUserTurn, ATimeoutAtThePlansQuestionSaysWhatWasNeeded) {
    auto script = std::make_shared<Script>();
    script->thoughts = {R"({"intent":"","done":"","steps":[],"ask":"Which account?"})"};
    auto agent = makeAgent(ticketPage(), configuration({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "move my savings", 30);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Stopped: I needed “Which account?”.");
}

TEST_F(AgentUserTurn, ANewerRunThatReplacesTheQuestionDoesNotInheritItsStatus) {
    auto script = std::make_shared<Script>();
    script->thoughts = {R"({"intent":"","done":"","steps":[],"ask":"Which account?"})"};
    auto agent = makeAgent(ticketPage(), configuration({scriptedModel("M", script)}));
    std::vector<std::optional<std::string>> statuses;
    auto token = agent->status().didSet([&](const std::optional<std::string>& s) { statuses.push_back(s); });
    agent->run("move my savings");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::ask));
    statuses.clear();
    agent->run("tap Buy 1 ticket");
    ASSERT_TRUE(waitFor(agent, TavroAgent::Prompt::Case::approve));
    for (const auto& s : statuses) EXPECT_NE(s.value_or(""), "Stopped: I needed “Which account?”.");
    agent->stop();
    ASSERT_TRUE(waitForEnd(agent));
    EXPECT_NE(agent->status().value().value_or(""), "Stopped: I needed “Which account?”.");
}

}  // namespace
}  // namespace tavro::agenttest
