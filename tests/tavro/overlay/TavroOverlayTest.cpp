// The overlay window, its launcher and panel, the pointer's timings, the glow during a run and the
// in-app browser.
#include <algorithm>

#include "OverlayTestSupport.h"
#include "tavro/core/TavroGold.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro::agenttest {
namespace {

TEST_F(OverlayTest, OneWindowAboveTheAppNeverKeyWithEveryViewHidden) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto overlay = overlayFor(agent);
    const auto& window = overlay->window();
    ASSERT_EQ(window->windowScene(), app->scene());
    EXPECT_EQ(window->accessibilityIdentifier(), "tavro.sdk.overlay");
    EXPECT_GT(window->windowLevel(), app->window()->windowLevel());
    EXPECT_LT(window->windowLevel(), ui::WindowLevel::alert);
    EXPECT_FALSE(window->isKeyWindow());
    EXPECT_TRUE(app->window()->isKeyWindow());
    EXPECT_FALSE(overlay->ui().expanded.value());
    EXPECT_FALSE(overlay->ui().launcherVisible.value());
    for (const auto& view : {overlay->launcherView(), overlay->panelView(), overlay->pointerView(), overlay->glowView()})
        EXPECT_TRUE(view->isHidden()) << view->accessibilityIdentifier();

    // Only its own controls take touches: the window itself, the glow and the pointer take none.
    EXPECT_FALSE(window->tap());
    EXPECT_TRUE(window->backgroundColor().isClear());
    EXPECT_FALSE(overlay->glowView()->isUserInteractionEnabled());
    EXPECT_FALSE(overlay->pointerView()->isUserInteractionEnabled());

    const auto before = app->scene()->windows().size();
    overlay.reset();
    EXPECT_EQ(app->scene()->windows().size(), before - 1) << "the window leaves the scene with the overlay";
}

TEST_F(OverlayTest, TheLauncherOpensAndClosesThePanel) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto overlay = overlayFor(agent);
    EXPECT_FALSE(overlay->launcherView()->tap()) << "a hidden launcher takes no tap";
    overlay->setLauncherVisible(true);
    EXPECT_FALSE(overlay->launcherView()->isHidden());
    ASSERT_TRUE(overlay->launcherView()->tap());
    EXPECT_TRUE(overlay->ui().expanded.value());
    EXPECT_FALSE(overlay->panelView()->isHidden());
    ASSERT_TRUE(overlay->launcherView()->press("tavro.sdk.launcher"));
    EXPECT_FALSE(overlay->ui().expanded.value());
    EXPECT_TRUE(overlay->panelView()->isHidden());
    overlay->toggleExpanded();
    overlay->collapse();
    EXPECT_FALSE(overlay->ui().expanded.value());
    overlay->setLauncherVisible(false);
    EXPECT_TRUE(overlay->launcherView()->isHidden());
}

TEST_F(OverlayTest, ThePanelShowsGoalStatusAndStepAndHostsTheCardSlot) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto overlay = overlayFor(agent);
    const auto& panel = overlay->panelView();
    EXPECT_EQ(panel->find("tavro.sdk.panel.goal"), nullptr);
    agent->run("open Chats, tap Tuli, type hi into Message and tap Send");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    actor->runFor(1ms);
    ASSERT_NE(panel->find("tavro.sdk.panel.goal"), nullptr);
    EXPECT_EQ(panel->find("tavro.sdk.panel.goal")->text, "open Chats, tap Tuli, type hi into Message and tap Send");
    ASSERT_NE(panel->find("tavro.sdk.panel.step"), nullptr);
    EXPECT_EQ(panel->find("tavro.sdk.panel.step")->text, "Tap “Send”");
    agent->stop("Stopped.");
    actor->runFor(1ms);
    EXPECT_EQ(panel->find("tavro.sdk.panel.status")->text, "Stopped.");
    EXPECT_EQ(panel->find("tavro.sdk.panel.step"), nullptr);

    // The slot: whoever fills it builds its node and makes the panel follow what it shows.
    fnd::Published<int> phase{0};
    overlay->setCardSlot([&] {
        return phase.value() == 0 ? views::Empty() : views::Text("card " + std::to_string(phase.value())) |
                                                         views::identifier("tavro.sdk.download.progress");
    });
    panel->observe(phase);
    EXPECT_EQ(panel->find("tavro.sdk.download.progress"), nullptr);
    phase.set(2);
    actor->runFor(1ms);
    ASSERT_NE(panel->find("tavro.sdk.download.progress"), nullptr);
    EXPECT_EQ(panel->texts().front(), "card 2") << "the card comes first";

    overlay->setRingSlot([] { return views::Circle() | views::identifier("tavro.sdk.download.ring") | views::hitTesting(false); });
    const auto* launcher = overlay->launcherView()->find("tavro.sdk.launcher");
    ASSERT_NE(launcher, nullptr);
    ASSERT_NE(launcher->overlayNode(), nullptr);
    EXPECT_EQ(launcher->overlayNode()->accessibility.identifier, "tavro.sdk.download.ring");
    overlay->setLauncherVisible(true);
    EXPECT_TRUE(overlay->launcherView()->tap()) << "the ring lets the tap through to the launcher";
    EXPECT_TRUE(overlay->ui().expanded.value());
}

TEST_F(OverlayTest, PointingIsASpringAndAPause) {
    auto overlay = overlayFor(nullptr);
    const TavroRect target{40, 300, 120, 44};
    rt::Instant moved{};
    auto watch = overlay->ui().pointer.didSet([&](const TavroOverlay::Pointer& p) {
        if (p.visible) moved = actor->now();
    });
    const auto start = actor->now();
    EXPECT_EQ(timed([&] { return overlay->point(target, "Tap “Send”"); }), 950ms) << "0.35 s spring + 600 ms";
    EXPECT_EQ(moved, start) << "the pointer moved at once";
    const auto& pointer = overlay->ui().pointer.value();
    EXPECT_TRUE(pointer.visible);
    EXPECT_EQ(pointer.rect, target);
    EXPECT_EQ(pointer.label, "Tap “Send”");
    EXPECT_FALSE(overlay->pointerView()->isHidden());
    EXPECT_EQ(overlay->pointerView()->frame(), (ui::Rect{40, 300, 120, 44}));
    const auto* node = overlay->pointerView()->find("tavro.sdk.pointer");
    ASSERT_NE(node, nullptr);
    EXPECT_FALSE(node->hitTesting);
    EXPECT_NE(overlay->pointerView()->findText("Tap “Send”"), nullptr);

    // A ripple of 0.25 s at the pointer.
    bool rippled = false;
    auto ripple = overlay->ui().pointer.didSet([&](const TavroOverlay::Pointer& p) { rippled = rippled || p.rippling; });
    EXPECT_EQ(timed([&] { return overlay->tap(); }), 250ms);
    EXPECT_TRUE(rippled);
    EXPECT_FALSE(overlay->ui().pointer.value().rippling);
}

TEST_F(OverlayTest, SayingPlacesAHiddenPointerFirst) {
    auto overlay = overlayFor(nullptr);
    EXPECT_EQ(timed([&] { return overlay->say("Opening Settings"); }), 800ms) << "0.3 s animation + 0.5 s pause";
    const auto& p = overlay->ui().pointer.value();
    EXPECT_TRUE(p.visible);
    EXPECT_EQ(p.caption, "Opening Settings");
    const auto appFrame = app->window()->frame();
    EXPECT_DOUBLE_EQ(p.rect.midX(), appFrame.midX());
    EXPECT_DOUBLE_EQ(p.rect.midY(), appFrame.midY());

    // A shown pointer stays where it points and only changes its caption.
    const TavroRect target{10, 20, 30, 40};
    (void)timed([&] { return overlay->point(target, "Tap “A”"); });
    (void)timed([&] { return overlay->say("Next"); });
    EXPECT_EQ(overlay->ui().pointer.value().rect, target);
    EXPECT_EQ(overlay->ui().pointer.value().caption, "Next");
}

TEST_F(OverlayTest, HidingFadesForAThirdOfASecondAndANewPointKeepsThePointer) {
    auto overlay = overlayFor(nullptr);
    (void)timed([&] { return overlay->point({10, 10, 10, 10}, "x"); });
    overlay->hideCursor();
    EXPECT_TRUE(overlay->ui().pointer.value().fading);
    actor->runFor(299ms);
    EXPECT_TRUE(overlay->ui().pointer.value().visible);
    actor->runFor(1ms);
    EXPECT_FALSE(overlay->ui().pointer.value().visible);
    EXPECT_TRUE(overlay->pointerView()->isHidden());
    overlay->hideCursor();  // already hidden: nothing to fade
    EXPECT_FALSE(overlay->ui().pointer.value().fading);

    (void)timed([&] { return overlay->point({10, 10, 10, 10}, "x"); });
    overlay->hideCursor();
    actor->runFor(100ms);
    auto again = rt::spawn(overlay->point({50, 50, 10, 10}, "y"));
    actor->runFor(1s);
    EXPECT_TRUE(again.isDone());
    EXPECT_TRUE(overlay->ui().pointer.value().visible) << "the older fade-out does not hide the new pointer";
    EXPECT_FALSE(overlay->ui().pointer.value().fading);
}

TEST_F(OverlayTest, ACancelledRunsPausesEndAtOnce) {
    auto overlay = overlayFor(nullptr);
    auto pointing = rt::spawn(overlay->point({0, 0, 10, 10}, "x"));
    actor->runFor(100ms);
    pointing.cancel();
    actor->runFor(0ms);
    actor->runUntilIdle();
    EXPECT_TRUE(pointing.isDone());
    EXPECT_EQ(actor->now() - rt::Instant{}, 100ms);
}

TEST_F(OverlayTest, TheGlowWaitsWhileApprovalIsPendingAndGoesOffAtTheEnd) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto overlay = overlayFor(agent);
    std::vector<TavroOverlay::Glow> seen;
    auto watch = overlay->ui().glow.didSet([&](const TavroOverlay::Glow& g) { seen.push_back(g); });
    agent->run("open Chats, tap Tuli, type hi into Message and tap Send");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    EXPECT_EQ(overlay->ui().glow.value(), (TavroOverlay::Glow{true, true}));
    actor->runFor(1ms);
    const auto* edge = overlay->glowView()->find("tavro.sdk.glow");
    ASSERT_NE(edge, nullptr);
    EXPECT_FALSE(overlay->glowView()->isHidden());
    EXPECT_FALSE(edge->hitTesting);
    ASSERT_TRUE(edge->stroke);
    EXPECT_EQ(edge->stroke->paint, views::Paint(TavroGold::light.withOpacity(0.6))) << "the waiting style";
    agent->approve();
    EXPECT_EQ(overlay->ui().glow.value(), (TavroOverlay::Glow{true, false}));
    actor->runFor(1ms);
    EXPECT_EQ(overlay->glowView()->find("tavro.sdk.glow")->stroke->paint, views::Paint(TavroGold::gradient));
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_TRUE(agent->succeeded().value());
    EXPECT_EQ(seen, (std::vector<TavroOverlay::Glow>{{false, false}, {true, false}, {true, true}, {true, false}, {false, false}}));
    EXPECT_TRUE(overlay->glowView()->isHidden());

    // The pointer followed the run and fades out 1.8 s after its end.
    actor->runFor(1800ms);
    EXPECT_TRUE(overlay->ui().pointer.value().fading);
    actor->runFor(300ms);
    EXPECT_FALSE(overlay->ui().pointer.value().visible);
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
    EXPECT_EQ(agent->webSurface(), overlay->webSurface());
    EXPECT_EQ(agent->activeSurface(), overlay->webSurface());
    EXPECT_EQ(agent->webInset(), (ui::Point{0, 52}));
    EXPECT_EQ(overlay->webSurface()->webView()->url(), WebSurface::searchURL("tavro sdk pricing"));
    const auto web = overlay->webSurface()->webView()->frameInWindow();
    EXPECT_DOUBLE_EQ(web.y, 52) << "below the 52-point top bar";
    EXPECT_DOUBLE_EQ(web.maxY(), overlay->window()->frame().height);
    auto browser = overlay->window()->findByIdentifier("tavro.sdk.browser");
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(overlay->showWeb().surface, overlay->webSurface()) << "an open browser is answered again";
    EXPECT_TRUE(agent->running().value());

    ASSERT_TRUE(overlay->browserBar()->press("tavro.sdk.browser.close"));
    EXPECT_FALSE(agent->running().value());
    EXPECT_EQ(agent->status().value(), "Stopped.");
    EXPECT_FALSE(overlay->ui().browserOpen.value());
    EXPECT_EQ(overlay->webSurface(), nullptr);
    EXPECT_EQ(overlay->window()->findByIdentifier("tavro.sdk.browser"), nullptr);
    EXPECT_EQ(browser->superview(), nullptr);

    // The next run starts on the native surface again.
    agent->run("open Settings then turn on Dark Mode");
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    EXPECT_EQ(agent->activeSurface(), surface);
    EXPECT_TRUE(app->darkMode());
}

TEST_F(OverlayTest, ClosingTheBrowserInJapaneseStopsWithTheJapaneseNote) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    auto agent = makeAgent(surface, TavroConfiguration{});
    auto overlay = overlayFor(agent);
    agent->run("open Chats, tap Tuli, type hi into Message and tap Send");
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    (void)overlay->showWeb();
    overlay->closeBrowser();
    EXPECT_EQ(agent->status().value(), "停止しました。");
    EXPECT_FALSE(agent->running().value());
    EXPECT_TRUE(app->messagesSent("Tuli").empty()) << "the pending step never ran";
}

TEST_F(OverlayTest, ClosingTheBrowserAfterTheRunKeepsItsOutcome) {
    auto script = std::make_shared<Script>();
    script->replies.push_back(reply("openWeb", std::nullopt, "tavro sdk pricing"));
    script->replies.push_back(reply("done", std::nullopt, "Found the prices."));
    auto agent = makeAgent(surface, unattended({scriptedModel("Host model", script)}));
    auto overlay = overlayFor(agent);
    agent->run("cheer up my friend");
    ASSERT_TRUE(runUntil([&] { return overlay->ui().browserOpen.value(); }));
    // The page answers the reader, so the run can finish in the browser.
    overlay->webSurface()->webView()->setScriptHandler([](const std::string&, const std::string& script) {
        if (script == "tavro.read()") {
            return ui::WebView::ScriptResult{nlohmann::json{{"title", "Prices"}, {"elements", nlohmann::json::array()}}, ""};
        }
        return ui::WebView::ScriptResult{nlohmann::json{{"ok", true}}, ""};
    });
    ASSERT_TRUE(runUntil([&] { return !agent->running().value(); }));
    ASSERT_TRUE(agent->succeeded().value());
    EXPECT_EQ(agent->status().value(), "Found the prices.");
    EXPECT_TRUE(overlay->ui().browserOpen.value()) << "the browser stays open after the run";
    ASSERT_TRUE(overlay->browserBar()->press("tavro.sdk.browser.close"));
    EXPECT_FALSE(overlay->ui().browserOpen.value());
    EXPECT_EQ(agent->status().value(), "Found the prices.") << "not turned into a stop";
    EXPECT_EQ(count("run_end"), 1);
}

}  // namespace
}  // namespace tavro::agenttest
