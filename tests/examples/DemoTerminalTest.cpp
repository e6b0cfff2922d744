// Whole demo runs through the demo's terminal front end, as the demo command makes them: the goals
// that hand the app to the person, answered from the lines the person types, and without a terminal.
#include <gtest/gtest.h>

#include <sstream>

#include "demo/DemoScreens.h"
#include "demo/DemoTerminal.h"
#include "platform/web/WebTestSupport.h"
#include "tavro/sdk/SDKTestSupport.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace {

class DemoTerminalRun : public tavro::agenttest::SDKTest {
protected:
    std::optional<tavro::TavroRunReport> report;

    void SetUp() override {
        SDKTest::SetUp();
        app = demo::DemoApp::create();
        tavro::TavroConfiguration configuration;
        configuration.routes = app->routes();
        configuration.packs = std::nullopt;
        tavro::TavroSDK::shared().configure(configuration);
    }

    // What the demo prints for the goal, with `typed` as the person's lines.
    std::string run(const std::string& goal, const std::string& typed, bool terminal = true, bool show = false) {
        auto& sdk = tavro::TavroSDK::shared();
        std::istringstream in(typed);
        std::ostringstream out;
        demo::DemoTerminal front(app, in, out, terminal);
        report = front.run(actor, sdk.agent(), goal, show);
        return out.str();
    }
};

constexpr const char* notifications = "tap Allow Notifications";
constexpr const char* humanCheck = "tap Verify You're Human";

TEST_F(DemoTerminalRun, TheSystemPromptIsShownAndAnsweredByNumberOrName) {
    auto printed = run(notifications, "2\n");
    EXPECT_NE(printed.find("  “Demo” Would Like to Send You Notifications\n"
                           "  Notifications may include alerts, sounds and icon badges.\n"
                           "  1. Don't Allow\n  2. Allow\n"),
              std::string::npos)
        << printed;
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->ok) << printed;
    EXPECT_NE(printed.find("Status: Done.\n"), std::string::npos) << printed;
    EXPECT_TRUE(app->notifications());
    EXPECT_FALSE(app->systemPromptShowing());

    // An unknown reply asks again; the name is matched without case or punctuation.
    app->reset();
    printed = run(notifications, "maybe\n3\ndont ALLOW\n");
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->ok) << printed;
    EXPECT_FALSE(app->notifications());
    EXPECT_EQ(app->state().notificationAnswer, "Don't Allow");
}

TEST_F(DemoTerminalRun, TheHumanCheckIsSolvedByItsControlsThenTheRunIsDone) {
    auto printed = run(humanCheck, "Continue\nI’m not a robot\n2\n");
    // Continue does nothing before the check is solved; each control keeps the number it was shown
    // with, so the "2" read beside Continue still taps it.
    EXPECT_NE(printed.find("  1. I'm not a robot\n  2. Continue (not enabled yet)\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("  Verification: Thanks, you're verified.\n  1. I'm not a robot (solved)\n  2. Continue\n"),
              std::string::npos)
        << printed;
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->ok) << printed;
    EXPECT_NE(printed.find("Status: Done.\n"), std::string::npos) << printed;
    EXPECT_TRUE(app->humanVerified());
    EXPECT_EQ(app->humanCheckScreen(), nullptr) << "Continue goes back to Home";

    // Solved, then the input ends: what is left is Continue, and the status says so.
    app->reset();
    printed = run(humanCheck, "1\n1\n");
    EXPECT_NE(printed.find("Status: Stopped. (the human check is solved; the app is waiting for you to tap Continue)\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(app->humanCheckScreen(), nullptr);
}

TEST_F(DemoTerminalRun, AStoppedHandOffSaysWhatTheAppIsWaitingFor) {
    auto printed = run(notifications, "", false);
    EXPECT_NE(printed.find("  not answered: standard input is not a terminal\n"
                           "Status: Stopped. (the app is waiting for you to answer its system prompt)\n"),
              std::string::npos)
        << printed;
    EXPECT_TRUE(app->systemPromptShowing());
    EXPECT_FALSE(app->notifications());
    EXPECT_EQ(tavro::TavroSDK::shared().agent()->status().value(), "Stopped.") << "the agent's own status";

    app->reset();
    printed = run(humanCheck, "", false);
    EXPECT_NE(printed.find("  not solved: standard input is not a terminal\n"
                           "Status: Stopped. (the app is waiting for you to solve the human check)\n"),
              std::string::npos)
        << printed;

    // On a terminal: typing stop, or the end of the input.
    app->reset();
    printed = run(humanCheck, "stop\n");
    EXPECT_NE(printed.find("Status: Stopped. (the app is waiting for you to solve the human check)\n"),
              std::string::npos)
        << printed;
    EXPECT_FALSE(app->humanVerified());
    app->reset();
    printed = run(notifications, "");
    EXPECT_NE(printed.find("Status: Stopped. (the app is waiting for you to answer its system prompt)\n"),
              std::string::npos)
        << printed;
}

// The in-app browser on a page served here, on the demo's virtual clock.
class ChromiumDemoTerminal : public DemoTerminalRun {
protected:
    void SetUp() override {
        DemoTerminalRun::SetUp();
        TAVRO_NEEDS_BROWSER();
    }
};

TEST_F(ChromiumDemoTerminal, ShowPrintsTheScreenTheRunWorksOnBeforeAndAfter) {
    auto& server = webtest::ChromiumTest::sharedServer();
    server.add("/demo-show", "<title>Notes</title><p>Remember the milk</p><button>Pin note</button>");
    const auto printed = run("open " + server.url("/demo-show"), "", false, true);
    ASSERT_TRUE(report) << printed;
    const auto before = printed.find("--- screen before ---\nSCREEN: Home\n");
    const auto after = printed.find("--- screen after ---\n");
    ASSERT_NE(before, std::string::npos) << printed;
    ASSERT_NE(after, std::string::npos) << printed;
    const auto page = printed.substr(after);
    EXPECT_NE(page.find("Remember the milk"), std::string::npos) << printed;
    EXPECT_NE(page.find("\"Pin note\""), std::string::npos) << printed;
    EXPECT_EQ(page.find("SCREEN: Home"), std::string::npos) << "the page, not the app under it: " << printed;
}

}  // namespace
