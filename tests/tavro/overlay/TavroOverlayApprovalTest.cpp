// Approvals on the demo's native screens with the overlay's pointer: an approval holds until the
// press, after the pointer's travel, and a swipe that runs a row's delete action asks first. Each
// hostile case prints one line "[hostile] name: outcome", so runs of the same set can be compared.
#include <cstdio>

#include "OverlayTestSupport.h"
#include "platform/ui/AlertController.h"

namespace tavro::agenttest {
namespace {

std::shared_ptr<ui::View> findLabelled(const std::shared_ptr<ui::View>& view, std::string_view label) {
    if (view->accessibilityLabel() == label) return view;
    for (const auto& sub : view->subviews()) {
        if (auto found = findLabelled(sub, label)) return found;
    }
    return nullptr;
}

class OverlayApproval : public OverlayTest {
protected:
    std::shared_ptr<TavroAgent> agent;
    std::shared_ptr<TavroOverlay> overlay;

    void SetUp() override {
        OverlayTest::SetUp();
        agent = makeAgent(surface, TavroConfiguration{});
        overlay = overlayFor(agent);
    }

    bool alertShowing() const {
        return std::dynamic_pointer_cast<ui::AlertController>(app->window()->topPresentedViewController()) != nullptr;
    }
    bool hasChat(const std::string& name) const {
        const auto chats = app->chats();
        return std::find(chats.begin(), chats.end(), name) != chats.end();
    }
    static void report(const char* name, bool unapproved) {
        std::printf("[hostile] %s: %s\n", name, unapproved ? "pressed something unapproved" : "held");
    }

    // Approves the first question, then renames the approved button `after` the answer, while the
    // pointer travels to it or plays its tap.
    void renameAfterApproval(rt::Duration after, const char* renamed) {
        agent->run("open Shop then tap Buy");
        ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::approve));
        ASSERT_EQ(agent->prompt().value()->text(), "Tap “Buy Coffee Beans”");
        const auto button = findLabelled(app->window(), "Buy Coffee Beans");
        ASSERT_NE(button, nullptr);
        const auto answered = actor->now();
        agent->approve();
        ASSERT_TRUE(runUntil([&] { return actor->now() - answered >= after; }));
        button->setAccessibilityLabel(renamed);
        ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    }
};

}  // namespace

TEST_F(OverlayApproval, AButtonRenamedWhileThePointerTravelsIsNotPressed) {
    renameAfterApproval(std::chrono::milliseconds(400), "Buy 12 Coffee Beans");
    report("native-rename-during-travel", alertShowing() || !app->purchases().empty());
    EXPECT_FALSE(alertShowing()) << "the purchase was never confirmed";
    EXPECT_FALSE(agent->succeeded().value());
    EXPECT_NE(agent->status().value().value_or("").find("“Buy Coffee Beans” now reads “Buy 12 Coffee Beans”"),
              std::string::npos)
        << agent->status().value().value_or("");
}

TEST_F(OverlayApproval, AButtonRenamedJustBeforeTheTapIsNotPressed) {
    // The pointer's move and pause take 950 ms; the tap's ripple follows.
    renameAfterApproval(std::chrono::milliseconds(1000), "Subscribe yearly");
    report("native-rename-before-tap", alertShowing() || !app->purchases().empty());
    EXPECT_FALSE(alertShowing()) << "nothing was bought";
    EXPECT_FALSE(agent->succeeded().value());
}

TEST_F(OverlayApproval, AnUnchangedButtonIsPressedOnceApproved) {
    agent->run("open Shop then tap Buy");
    ASSERT_TRUE(waitForPrompt(agent, TavroAgent::Prompt::Case::approve));
    agent->approve();
    ASSERT_TRUE(runUntil([&] { return alertShowing() || !agent->running().value(); }));
    EXPECT_TRUE(alertShowing()) << agent->status().value().value_or("");
    agent->stop();
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
}

TEST_F(OverlayApproval, ASwipeThatDeletesARowAsksFirst) {
    for (const char* goal : {"open Chats then swipe left on Mika", "open Chats then swipe Kenji left"}) {
        const std::string name = std::string(goal).find("Mika") != std::string::npos ? "Mika" : "Kenji";
        agent->run(goal);
        ASSERT_TRUE(runUntil([&] {
            return !agent->running().value() ||
                   (agent->prompt().value() && agent->prompt().value()->kind() == TavroAgent::Prompt::Case::approve);
        }));
        const bool asked = agent->running().value();
        if (asked) EXPECT_EQ(agent->prompt().value()->text(), "Swipe left on " + name);
        agent->stop();
        ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
        report(name == "Mika" ? "native-swipe-left-on" : "native-swipe-row-left", !hasChat(name));
        EXPECT_TRUE(asked) << goal;
        EXPECT_TRUE(hasChat(name)) << goal << ": refused, so nothing is deleted";
    }
}

TEST_F(OverlayApproval, ASwipeThatPinsARowNeedsNoApproval) {
    const auto report = runGoal(agent, "open Chats then swipe right on Ren");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(app->chats().front(), "Ren");
    EXPECT_EQ(count("approval"), 0);
}

}  // namespace tavro::agenttest
