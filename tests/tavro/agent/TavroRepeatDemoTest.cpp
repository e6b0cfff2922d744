// Whole runs with a repeat count on the demo app, with a host model that reads each screen the
// way a model would: by the names in its element lines.
#include <deque>

#include "AgentTestSupport.h"
#include "demo/DemoApp.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Application.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro::agenttest {
namespace {

// One planned step of the model: an action kind, the label of its element (empty for none) and
// its text.
struct Intent {
    std::string kind;
    std::string label;
    std::string text;
};

class RepeatOnTheDemo : public AgentTest {
protected:
    std::shared_ptr<demo::DemoApp> app;
    std::shared_ptr<Script> script = std::make_shared<Script>();
    std::deque<Intent> intents;

    void SetUp() override {
        AgentTest::SetUp();
        ui::Application::resetShared();
        photos::PhotoLibrary::resetShared();
        app = demo::DemoApp::create();
    }
    void TearDown() override {
        AgentTest::TearDown();
        app.reset();
    }

    // A model that answers each step with the next intent, its element found by label among the
    // prompt's element lines, and done when none is left.
    std::shared_ptr<TavroAgent> agentOnTheApp() {
        script->decider = [this](const std::string& user) -> std::optional<std::string> {
            if (intents.empty()) return reply("done");
            const Intent intent = intents.front();
            intents.pop_front();
            std::optional<std::int64_t> id;
            if (!intent.label.empty()) {
                id = idIn(user, intent.label);
                if (!id) return reply("fail", std::nullopt, "no " + intent.label);
            }
            return reply(intent.kind, id, intent.text);
        };
        return makeAgent(std::make_shared<UIKitSurface>(app->routes()),
                         configuration({scriptedModel("Host", script)}));
    }

    // Runs the goal, approving every step the user is asked about; returns the approvals asked.
    std::vector<std::string> runApproving(const std::shared_ptr<TavroAgent>& agent, std::string goal,
                                          TavroRunReport& report) {
        std::vector<std::string> asked;
        auto run = rt::spawn(agent->runAndWait(std::move(goal), 600), actor);
        while (!run.isDone()) {
            if (!runUntil([&] { return run.isDone() || agent->prompt().value().has_value(); })) break;
            if (const auto p = agent->prompt().value()) {
                asked.push_back(p->text());
                agent->approve();
            }
        }
        report = run.result().value_or(TavroRunReport{});
        return asked;
    }
};

TEST_F(RepeatOnTheDemo, SendHiToTuliThreeTimesSendsThreeMessages) {
    intents = {{"navigate", "", "Chats"}, {"click", "Tuli", ""}, {"type", "Message", "hi"}, {"click", "Send", ""}};
    auto agent = agentOnTheApp();
    TavroRunReport report;
    const auto asked = runApproving(agent, "send hi to Tuli 3 times", report);

    EXPECT_TRUE(report.ok) << report.status;
    EXPECT_EQ(report.status, "Done 3 times.");
    EXPECT_EQ(app->messagesSent("Tuli"), (std::vector<std::string>{"hi", "hi", "hi"}));
    // Sending a message needs approval, and so does sending it twice more.
    EXPECT_EQ(asked, (std::vector<std::string>{"Tap “Send”", "Do it 2 more times?"}));
    std::vector<std::string> texts;
    for (const auto& s : report.steps) texts.push_back(s.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Open Chats", "Tap “Tuli”", "Type “hi” into Message", "Tap “Send”",
                                                "Type “hi” into Message (2 of 3)", "Tap “Send” (2 of 3)",
                                                "Type “hi” into Message (3 of 3)", "Tap “Send” (3 of 3)",
                                                "✓ Done 3 times."}));
    // The goal the models saw carried no count.
    ASSERT_EQ(script->decideCalls(), 5);
    EXPECT_TRUE(script->prompts[0].second.starts_with("GOAL: send hi to Tuli\n")) << script->prompts[0].second;
    EXPECT_FALSE(agent->memory->recall("send hi to Tuli").has_value());
}

}  // namespace
}  // namespace tavro::agenttest
