// Whole runs on the demo app through the native surface, as the demo command makes them.
#include <algorithm>

#include "DemoTestSupport.h"

namespace tavro::agenttest {
namespace {

TEST_F(AgentOnDemo, ARulesGoalIsLearnedAndASecondRunReplaysIt) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    EXPECT_EQ(agent->engineName().value(), "Rules · no on-device model ready") << "no on-device model on Linux";
    auto report = runGoal(agent, "open Settings then turn on Dark Mode");
    ASSERT_TRUE(report.ok) << report.stepsText();
    EXPECT_TRUE(app->darkMode());
    EXPECT_EQ(agent->engineName().value(), "Rules · on-device");
    EXPECT_EQ(report.stepsText(), "1. ✓ Open Settings · 550 ms\n2. ✓ Tap “Dark Mode” · 550 ms\n3. ✓ ✓ Done.");
    ASSERT_EQ(memory->recipes().size(), 1u);

    app->reset();
    actor->runFor(2s);
    ASSERT_FALSE(app->darkMode());
    report = runGoal(agent, "open Settings then turn on Dark Mode");
    ASSERT_TRUE(report.ok) << report.stepsText();
    EXPECT_TRUE(app->darkMode());
    EXPECT_EQ(agent->engineName().value(), "Learned · on-device");
    EXPECT_TRUE(console.contains("replay=true steps=2 goal=open Settings then turn on Dark Mode"));
    EXPECT_EQ(report.steps.size(), 3u) << report.stepsText();
    EXPECT_EQ(memory->recipes().front().runs, 2);
}

TEST_F(AgentOnDemo, AGoalWrittenAsSentencesIsCarriedOutSentenceBySentence) {
    for (const std::string goal :
         {"Open settings. Turn on dark mode.", "open Settings! Turn on Dark Mode", "open Settings.turn on Dark Mode"}) {
        app->reset();
        actor->runFor(2s);
        ASSERT_FALSE(app->darkMode());
        auto agent = makeAgent(surface, TavroConfiguration{});
        const auto report = runGoal(agent, goal);
        EXPECT_TRUE(report.ok) << goal << "\n" << report.stepsText();
        EXPECT_TRUE(app->darkMode()) << goal;
        EXPECT_EQ(report.steps.size(), 3u) << goal << "\n" << report.stepsText();
    }
}

TEST_F(AgentOnDemo, ThePickerIsSetByName) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    const auto report = runGoal(agent, "open Settings then set Language to 日本語");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(app->language(), "日本語");
}

TEST_F(AgentOnDemo, SendingAMessageWaitsForApproval) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    agent->run("open Chats, tap Tuli, type hi into Message and tap Send");
    ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::approve));
    EXPECT_EQ(agent->prompt().value()->text(), "Tap “Send”");
    EXPECT_TRUE(app->messagesSent("Tuli").empty());
    agent->approve();
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(app->messagesSent("Tuli"), std::vector<std::string>{"hi"});
    EXPECT_EQ(integer(lastEvent("approval"), "approved"), 1);
}

TEST_F(AgentOnDemo, AProfileFormIsFilledAndSaved) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    const auto report =
        runGoal(agent, "open Profile then type Rin Tanaka into Name then type rin@example.org into Email then tap Save");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(app->savedProfile().name, "Rin Tanaka");
    EXPECT_EQ(app->savedProfile().email, "rin@example.org");
}

TEST_F(AgentOnDemo, KeyValueDetailsFillTheForm) {
    auto script = std::make_shared<Script>();
    auto agent = makeAgent(surface, unattended({scriptedModel("Host model", script)}));
    app->routes().at("Profile")();
    actor->runFor(1s);
    const auto report = runGoal(agent, "name=\"Rin Tanaka\" email=rin@example.org Save");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(app->savedProfile().name, "Rin Tanaka");
    EXPECT_EQ(app->savedProfile().email, "rin@example.org");
    EXPECT_EQ(script->decideCalls(), 0);
    EXPECT_TRUE(script->thinkPrompts.empty());
}

TEST_F(AgentOnDemo, AGoalThatNeedsAModelFailsAtOnceWithTheRulesReason) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    const auto start = actor->now();
    const auto report = runGoal(agent, "send hi to Tuli");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status,
              "I couldn't work out “send hi to Tuli” on this screen. Use the names shown on screen, or turn on an "
              "on-device model.");
    EXPECT_TRUE(report.steps.empty());
    EXPECT_LT(actor->now() - start, 2s);
    EXPECT_TRUE(app->messagesSent("Tuli").empty());
}

TEST_F(AgentOnDemo, AGoalOfOnlyPunctuationFailsInsteadOfBeingDone) {
    // Each goal with the clause the failure quotes (the agent trims the goal first).
    for (const auto& [goal, quoted] : std::vector<std::pair<std::string, std::string>>{{".", "."}, {"!", "!"}, {" . . ", ". ."}}) {
        auto agent = makeAgent(surface, TavroConfiguration{});
        const auto report = runGoal(agent, goal);
        EXPECT_FALSE(report.ok) << goal << "\n" << report.stepsText();
        EXPECT_FALSE(agent->succeeded().value()) << goal;
        EXPECT_EQ(report.status, "I couldn't work out “" + quoted +
                                     "” on this screen. Use the names shown on screen, or turn on an on-device model.");
    }
}

TEST_F(AgentOnDemo, OpeningTheScreenAlreadyShowingIsNothingToDo) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto report = runGoal(agent, "open Home");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(report.stepsText(), "1. ✓ ✓ Done.");

    report = runGoal(agent, "open Settings then turn on Dark Mode then open Settings then turn off Dark Mode");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(report.steps.size(), 4u) << report.stepsText();
    EXPECT_FALSE(app->darkMode());
}

TEST_F(AgentOnDemo, ABuyIsAskedTwiceAndRefusingStopsIt) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    agent->run("open Shop then tap Buy then tap Buy");
    ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::approve));
    EXPECT_EQ(agent->prompt().value()->text(), "Tap “Buy Coffee Beans”") << "the approval says what is bought";
    agent->approve();
    ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::approve)) << "the confirmation's Buy asks again";
    agent->approve();
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_EQ(app->purchases().size(), 1u);

    app->reset();
    actor->runFor(2s);
    agent->run("open Shop then tap Buy");
    ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::approve));
    agent->stop("Stopped.");
    actor->runFor(5s);
    EXPECT_TRUE(app->purchases().empty());
    EXPECT_EQ(agent->status().value(), "Stopped.");
}

TEST_F(AgentOnDemo, AStepThatFailsSaysWhyInTheRunsStatus) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    const auto report = runGoal(agent, "open Profile then type hunter2 into Password then tap Save");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Tap “Save” failed: Save is disabled, so the goal is not done.");
    ASSERT_FALSE(report.steps.empty());
    EXPECT_FALSE(report.steps.back().ok);
}

TEST_F(AgentOnDemo, ASliderThatCannotHoldTheValueSaysWhatItHolds) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    const auto report = runGoal(agent, "open Settings then set Text Size to 12.5");
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "Set Text Size to “12.5” failed: Text Size holds “13”, not “12.5”, so the goal is not done.");
    EXPECT_TRUE(runGoal(makeAgent(surface, TavroConfiguration{}), "set Text Size to 18").ok);
}

TEST_F(AgentOnDemo, AScrollWithNothingFurtherToGoIsWhereItAskedAndTheGoalGoesOn) {
    for (const char* goal : {"scroll down then tap Profile", "open Settings then scroll up then turn on Dark Mode"}) {
        auto agent = makeAgent(surface, TavroConfiguration{});
        const auto report = runGoal(agent, goal);
        EXPECT_TRUE(report.ok) << goal << "\n" << report.stepsText() << "\n" << report.status;
        for (const auto& step : report.steps) EXPECT_TRUE(step.ok) << goal << ": " << step.text;
    }
    EXPECT_TRUE(app->darkMode());
}

TEST_F(AgentOnDemo, TheSystemPromptPauseEndsWhenThePromptIsAnswered) {
    app->showSystemPrompt();
    ASSERT_TRUE(surface->systemAlertShowing());
    auto agent = makeAgent(surface, TavroConfiguration{});
    agent->run("open Settings then turn on Wi-Fi then turn on Notifications");
    ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::human));
    const auto answered = actor->now() + 1234ms;
    auto timer = actor->schedule(1234ms, [this] { app->answerSystemPrompt("Allow"); });
    ASSERT_TRUE(runUntil([&] { return !agent->prompt().value().has_value(); }));
    EXPECT_LE(actor->now() - answered, 300ms);
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_TRUE(app->notifications());
}

TEST_F(AgentOnDemo, AHumanCheckIsLeftToThePerson) {
    app->showHumanCheck();
    actor->runFor(2s);
    auto agent = makeAgent(surface, TavroConfiguration{});
    agent->run("open Settings then turn on Dark Mode");
    ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::human));
    EXPECT_FALSE(app->humanVerified());
    ASSERT_TRUE(app->solveHumanCheck());
    agent->approve();
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_TRUE(app->darkMode());
}

TEST_F(AgentOnDemo, CorrectiveTurnsScrollTheLongListOnce) {
    app->routes().at("Settings")();
    actor->runFor(1s);
    auto first = surface->snapshot();
    ASSERT_TRUE(first);
    auto script = std::make_shared<Script>();  // never answers
    auto agent = makeAgent(surface, unattended({scriptedModel("Host model", script)}));
    const auto report = runGoal(agent, "cheer up my friend");
    EXPECT_EQ(report.status, "I couldn't find the next control.");
    const auto lines = debug("decide");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "no usable step; retrying (1)");
    EXPECT_EQ(lines[1], "no usable step; retrying (2)");
    const auto after = surface->snapshot();
    ASSERT_TRUE(after);
    const auto inView = [](const TavroScreen& s, std::string_view label) {
        for (const auto& e : s.elements)
            if (e.label == label) return e.inView;
        return false;
    };
    EXPECT_TRUE(inView(*first, "General"));
    EXPECT_FALSE(inView(*after, "General")) << "the list was scrolled down once";
}

TEST_F(AgentOnDemo, AModelDrivenRunGetsTheTypedTextTurnOnTheChat) {
    // The model names its targets by label; the ids come from the prompt it is shown.
    struct Step {
        std::string action;
        std::string label;
        std::string text;
    };
    const std::vector<Step> steps = {{"click", "Chats", ""}, {"click", "Tuli", ""},  {"type", "Message", "hi"},
                                     {"done", "", "typed"},  {"click", "Send", ""}, {"done", "", "Said hi to Tuli"}};
    auto next = std::make_shared<std::size_t>(0);
    auto script = std::make_shared<Script>();
    script->decider = [steps, next](const std::string& user) -> std::optional<std::string> {
        if (*next >= steps.size()) return std::nullopt;
        const auto& step = steps[(*next)++];
        if (step.label.empty()) return reply(step.action, std::nullopt, step.text);
        return reply(step.action, idIn(user, step.label), step.text);
    };
    auto agent = makeAgent(surface, unattended({scriptedModel("Host model", script)}));
    const auto report = runGoal(agent, "say hi to my lunch friend");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Said hi to Tuli");
    EXPECT_EQ(app->messagesSent("Tuli"), std::vector<std::string>{"hi"});
    EXPECT_EQ(agent->engineName().value(), "Host model");
    const auto reasons = debug("reason");
    EXPECT_NE(std::find(reasons.begin(), reasons.end(), "typed text not sent yet; one more turn"), reasons.end());
}

TEST_F(AgentOnDemo, ANameNoElementCarriesIsNeverTakenForAnotherOne) {
    // Unattended, so that a tap on a wrong element would be carried out rather than stopped at approval.
    for (const auto& [goal, screenName] : std::vector<std::pair<std::string, std::string>>{
             {"open Shop then tap Buy Laptop", "Shop"},
             {"open Shop then buy a laptop", "Shop"},
             {"open Shop then tap Buy Television", "Shop"},
             {"open Chats then delete Family", "Chats"},
             {"open Chats then tap Tuli Smith", "Chats"},
             {"Chatsを開いて、Familyを削除", "Chats"},
         }) {
        app->reset();
        actor->runFor(2s);
        auto agent = makeAgent(surface, unattended());
        const auto report = runGoal(agent, goal);
        EXPECT_FALSE(report.ok) << goal << "\n" << report.stepsText();
        ASSERT_EQ(report.steps.size(), 1u) << goal << "\n" << report.stepsText();  // opening the screen only
        EXPECT_TRUE(report.status.starts_with("I couldn't work out")) << goal << ": " << report.status;
        const auto after = surface->snapshot();
        ASSERT_TRUE(after);
        EXPECT_EQ(after->title, screenName) << goal;
        EXPECT_TRUE(app->purchases().empty()) << goal;
        EXPECT_EQ(app->chats().size(), 6u) << goal;
    }
}

TEST_F(AgentOnDemo, NamesThePersonMeantAreStillFound) {
    auto agent = makeAgent(surface, unattended());
    auto report = runGoal(agent, "open Chats then open the chat with Tuli");
    EXPECT_TRUE(report.ok) << report.stepsText();
    auto after = surface->snapshot();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->title, "Tuli");

    app->reset();
    actor->runFor(2s);
    report = runGoal(agent, "open Settings then tap Display Settings");
    EXPECT_TRUE(report.ok) << report.stepsText();
    after = surface->snapshot();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->title, "Display");

    app->reset();
    actor->runFor(2s);
    auto asking = makeAgent(surface, TavroConfiguration{});
    asking->run("open Shop then tap Buy Mug");
    ASSERT_TRUE(waitForPrompt(asking, TavroAgent::Prompt::Case::approve));
    EXPECT_EQ(asking->prompt().value()->text(), "Tap “Buy Mug”");
    asking->stop("Stopped.");
    actor->runFor(5s);
    EXPECT_TRUE(app->purchases().empty());
}

TEST_F(AgentOnDemo, TypedTextArrivesWithTheQuotesThatBelongToIt) {
    for (const auto& [what, sent] : std::vector<std::pair<std::string, std::string>>{
             {"\"hello 'there'\"", "hello 'there'"},
             {"the students'", "the students'"},
             {"'ok'", "ok"},
             {"\u201Chi\u201D", "hi"},
             {"\"hello", "\"hello"},
         }) {
        app->reset();
        actor->runFor(2s);
        auto agent = makeAgent(surface, unattended());
        const auto report = runGoal(agent, "open Chats then tap Mika then type " + what + " into Message and tap Send");
        EXPECT_TRUE(report.ok) << what << "\n" << report.stepsText();
        EXPECT_EQ(app->messagesSent("Mika"), std::vector<std::string>{sent}) << what;
    }
}

TEST_F(AgentOnDemo, TheRulesEnginesLastStepAtTheStepLimitIsASuccess) {
    app->routes().at("Settings")();
    actor->runFor(1s);
    auto c = TavroConfiguration{};
    c.maxSteps = 1;
    auto agent = makeAgent(surface, c);
    auto report = runGoal(agent, "turn on Dark Mode");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Done.");
    EXPECT_TRUE(app->darkMode());

    // A clause still to do at the limit is not done.
    app->reset();
    actor->runFor(2s);
    report = runGoal(agent, "open Settings then turn on Dark Mode");
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Stopped after 1 steps.");
    EXPECT_FALSE(app->darkMode());

    // Nor is a last step that had no effect.
    app->reset();
    actor->runFor(2s);
    app->routes().at("Profile")();
    actor->runFor(1s);
    report = runGoal(agent, "tap Save");
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Tap “Save” failed: Save is disabled, so the goal is not done.");
}

TEST_F(AgentOnDemo, EveryJapaneseClauseIsCarriedOutOrSaidUndone) {
    // The second clause is read, not dropped: the rules engine cannot turn a switch on in
    // Japanese, so the run says so instead of ending done with Dark Mode off.
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto report = runGoal(agent, "Settingsを開いてDark Modeをオンにして");
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_NE(report.status.find("Dark Modeをオンにして"), std::string::npos) << report.status;

    app->reset();
    actor->runFor(2s);
    report = runGoal(agent, "Shopを開いてアカウントを削除");
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_FALSE(app->accountDeleted());

    app->reset();
    actor->runFor(2s);
    report = runGoal(agent, "Chatsを開いてTuliを選んでください");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(report.steps.size(), 3u) << report.stepsText();
}

TEST_F(AgentOnDemo, ARouteIsOpenedWhenTheOtherWordsNameThePlaceAndNotOtherwise) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    for (const std::string goal : {"open the Settings app then turn on Wi-Fi", "open settings for notifications",
                                   "go to settings list then turn on Dark Mode"}) {
        app->reset();
        actor->runFor(2s);
        const auto report = runGoal(agent, goal);
        EXPECT_TRUE(report.ok) << goal << "\n" << report.stepsText();
        EXPECT_TRUE(report.stepsText().starts_with("1. ✓ Open Settings")) << goal << "\n" << report.stepsText();
    }
    EXPECT_TRUE(app->darkMode());
    for (const std::string goal :
         {"open Shop and удалить аккаунт", "open Shop and 删除账户", "open Shop and ｄｅｌｅｔｅ ａｃｃｏｕｎｔ"}) {
        app->reset();
        actor->runFor(2s);
        const auto report = runGoal(agent, goal);
        EXPECT_FALSE(report.ok) << goal << "\n" << report.stepsText();
    }
}

TEST_F(AgentOnDemo, AChoiceWithoutItsAccentsIsCheckedAsItWasChosen) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    const auto report = runGoal(agent, "open Settings then set Language to Francais");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(app->language(), "Français");
}

}  // namespace
}  // namespace tavro::agenttest
