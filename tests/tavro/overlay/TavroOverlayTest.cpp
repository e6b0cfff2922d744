// The overlay window, its launcher and panel, the pointer's timings, the glow during a run and the
// in-app browser.
#include "OverlayTestSupport.h"
#include "tavro/core/TavroGold.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro::agenttest {
namespace {

TEST_F(OverlayTest, OneWindowAboveTheAppThatTakesOnlyItsOwnTouches) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto overlay = overlayFor(agent);
    const auto& window = overlay->window();
    ASSERT_EQ(window->windowScene(), app->scene());
    EXPECT_EQ(window->accessibilityIdentifier(), "tavro.sdk.overlay");
    EXPECT_GT(window->windowLevel(), app->window()->windowLevel());
    EXPECT_LT(window->windowLevel(), ui::WindowLevel::alert);
    EXPECT_TRUE(app->window()->isKeyWindow());
    EXPECT_FALSE(window->tap());
    EXPECT_FALSE(overlay->glowView()->isUserInteractionEnabled());
    EXPECT_FALSE(overlay->pointerView()->isUserInteractionEnabled());

    // The launcher, hidden at first, opens and closes the panel.
    EXPECT_FALSE(overlay->launcherView()->tap());
    overlay->setLauncherVisible(true);
    ASSERT_TRUE(overlay->launcherView()->tap());
    EXPECT_TRUE(overlay->ui().expanded.value());
    EXPECT_FALSE(overlay->panelView()->isHidden());
    ASSERT_TRUE(overlay->launcherView()->press("tavro.sdk.launcher"));
    EXPECT_TRUE(overlay->panelView()->isHidden());

    const auto before = app->scene()->windows().size();
    overlay.reset();
    EXPECT_EQ(app->scene()->windows().size(), before - 1) << "the window leaves the scene with the overlay";
}

TEST_F(OverlayTest, ThePanelShowsTheRunAndItsSlotsHoldTheCardAndTheRing) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto overlay = overlayFor(agent);
    const auto& panel = overlay->panelView();
    agent->run("open Chats, tap Tuli, type hi into Message and tap Send");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    actor->runFor(1ms);
    EXPECT_EQ(panel->find("tavro.sdk.panel.goal")->text, "open Chats, tap Tuli, type hi into Message and tap Send");
    EXPECT_EQ(panel->find("tavro.sdk.panel.step")->text, "Tap “Send”");
    agent->stop("Stopped.");
    actor->runFor(1ms);
    EXPECT_EQ(panel->find("tavro.sdk.panel.status")->text, "Stopped.");
    EXPECT_EQ(panel->find("tavro.sdk.panel.step"), nullptr);

    fnd::Published<int> phase{0};
    overlay->setCardSlot([&] {
        return phase.value() == 0 ? views::Empty() : views::Text("card") | views::identifier("tavro.sdk.download.progress");
    });
    panel->observe(phase);
    phase.set(2);
    actor->runFor(1ms);
    EXPECT_EQ(panel->texts().front(), "card") << "the card comes first";

    overlay->setRingSlot([] { return views::Circle() | views::identifier("tavro.sdk.download.ring") | views::hitTesting(false); });
    EXPECT_EQ(overlay->launcherView()->find("tavro.sdk.launcher")->overlayNode()->accessibility.identifier,
              "tavro.sdk.download.ring");
    overlay->setLauncherVisible(true);
    EXPECT_TRUE(overlay->launcherView()->tap()) << "the ring lets the tap through to the launcher";
}

TEST_F(OverlayTest, PointerTimings) {
    auto overlay = overlayFor(nullptr);
    // Saying with a hidden pointer places it at the app window's centre first: 0.3 s + 0.5 s.
    EXPECT_EQ(timed([&] { return overlay->say("Opening Settings"); }), 800ms);
    EXPECT_EQ(overlay->ui().pointer.value().caption, "Opening Settings");
    EXPECT_DOUBLE_EQ(overlay->ui().pointer.value().rect.midX(), app->window()->frame().midX());
    EXPECT_DOUBLE_EQ(overlay->ui().pointer.value().rect.midY(), app->window()->frame().midY());

    // Pointing: the pointer is at the target at once, the call returns after the spring and 600 ms.
    const TavroRect target{40, 300, 120, 44};
    auto pointing = rt::spawn(overlay->point(target, "Tap “Send”"));
    actor->runFor(1ms);
    EXPECT_EQ(overlay->ui().pointer.value().rect, target);
    EXPECT_EQ(overlay->pointerView()->frame(), (ui::Rect{40, 300, 120, 44}));
    EXPECT_NE(overlay->pointerView()->findText("Tap “Send”"), nullptr);
    actor->runFor(948ms);
    EXPECT_FALSE(pointing.isDone());
    actor->runFor(1ms);
    EXPECT_TRUE(pointing.isDone()) << "0.35 s spring + 600 ms";
    EXPECT_EQ(timed([&] { return overlay->say("Next"); }), 800ms);
    EXPECT_EQ(overlay->ui().pointer.value().rect, target) << "a shown pointer stays where it points";
    EXPECT_EQ(timed([&] { return overlay->tap(); }), 250ms);

    // Hiding fades for 0.3 s; a pointer placed meanwhile stays.
    overlay->hideCursor();
    actor->runFor(299ms);
    EXPECT_TRUE(overlay->ui().pointer.value().visible);
    actor->runFor(1ms);
    EXPECT_FALSE(overlay->ui().pointer.value().visible);
    EXPECT_TRUE(overlay->pointerView()->isHidden());
    (void)timed([&] { return overlay->point(target, "x"); });
    overlay->hideCursor();
    actor->runFor(100ms);
    (void)timed([&] { return overlay->point(target, "y"); });
    EXPECT_TRUE(overlay->ui().pointer.value().visible);

    // A cancelled run's pause ends at once.
    auto cancelled = rt::spawn(overlay->point(target, "z"));
    actor->runFor(100ms);
    cancelled.cancel();
    actor->runFor(1ms);
    EXPECT_TRUE(cancelled.isDone());
}

TEST_F(OverlayTest, TheGlowWaitsWhileApprovalIsPendingAndGoesOffAtTheEnd) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto overlay = overlayFor(agent);
    std::vector<TavroOverlay::Glow> seen;
    auto watch = overlay->ui().glow.didSet([&](const TavroOverlay::Glow& g) { seen.push_back(g); });
    agent->run("open Chats, tap Tuli, type hi into Message and tap Send");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    actor->runFor(1ms);
    EXPECT_FALSE(overlay->glowView()->isHidden());
    EXPECT_EQ(overlay->glowView()->find("tavro.sdk.glow")->stroke->paint, views::Paint(TavroGold::light.withOpacity(0.6)));
    agent->approve();
    actor->runFor(1ms);
    EXPECT_EQ(overlay->glowView()->find("tavro.sdk.glow")->stroke->paint, views::Paint(TavroGold::gradient));
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(seen, (std::vector<TavroOverlay::Glow>{{false, false}, {true, false}, {true, true}, {true, false}, {false, false}}));
    EXPECT_TRUE(overlay->glowView()->isHidden());
    actor->runFor(2100ms);
    EXPECT_FALSE(overlay->ui().pointer.value().visible) << "hidden 1.8 s after the end and a 0.3 s fade";
}

TEST_F(OverlayTest, TheBrowserOpensFromAnOpenWebStepAndItsCloseControlStopsTheRun) {
    auto script = std::make_shared<Script>();
    script->replies.push_back(reply("openWeb", std::nullopt, "tavro sdk pricing"));
    script->latency = 5s;
    auto agent = makeAgent(surface, unattended({scriptedModel("Host model", script)}));
    auto overlay = overlayFor(agent);
    overlay->hideWeb();  // none open: nothing happens
    agent->run("cheer up my friend");
    ASSERT_TRUE(runUntil([&] { return overlay->ui().browserOpen.value(); }));
    actor->runFor(1ms);
    ASSERT_NE(overlay->webSurface(), nullptr);
    EXPECT_EQ(agent->activeSurface(), overlay->webSurface());
    EXPECT_EQ(agent->webInset(), (ui::Point{0, 52}));
    EXPECT_EQ(overlay->webSurface()->webView()->url(), WebSurface::searchURL("tavro sdk pricing"));
    EXPECT_DOUBLE_EQ(overlay->webSurface()->webView()->frameInWindow().y, 52) << "below the top bar";

    ASSERT_TRUE(overlay->browserBar()->press("tavro.sdk.browser.close"));
    EXPECT_FALSE(agent->running().value());
    EXPECT_EQ(agent->status().value(), "Stopped.");
    EXPECT_FALSE(overlay->ui().browserOpen.value());
    EXPECT_EQ(overlay->window()->findByIdentifier("tavro.sdk.browser"), nullptr);
}

TEST_F(OverlayTest, ClosingTheBrowserAfterTheRunKeepsItsOutcome) {
    auto script = std::make_shared<Script>();
    script->replies.push_back(reply("openWeb", std::nullopt, "tavro sdk pricing"));
    script->replies.push_back(reply("done", std::nullopt, "Found the prices."));
    auto agent = makeAgent(surface, unattended({scriptedModel("Host model", script)}));
    auto overlay = overlayFor(agent);
    agent->run("cheer up my friend");
    ASSERT_TRUE(runUntil([&] { return overlay->ui().browserOpen.value(); }));
    overlay->webSurface()->webView()->setScriptHandler([](const std::string&, const std::string&) {
        return ui::WebView::ScriptResult{nlohmann::json{{"title", "Prices"}, {"elements", nlohmann::json::array()}}, ""};
    });
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    ASSERT_EQ(agent->status().value(), "Found the prices.");
    ASSERT_TRUE(overlay->browserBar()->press("tavro.sdk.browser.close"));
    EXPECT_FALSE(overlay->ui().browserOpen.value());
    EXPECT_EQ(agent->status().value(), "Found the prices.") << "not turned into a stop";
}

}  // namespace
}  // namespace tavro::agenttest
