// The agent never sees or reaches the overlay, and whole runs on the demo app end the same with
// the overlay as presenter as with none.
#include <algorithm>

#include "OverlayTestSupport.h"

namespace tavro::agenttest {
namespace {

// An overlay in full show: launcher, open panel with a run's texts, pointer with a caption, glow.
class OverlayShown : public OverlayTest {
protected:
    std::shared_ptr<TavroAgent> agent;
    std::shared_ptr<TavroOverlay> overlay;

    void SetUp() override {
        OverlayTest::SetUp();
        agent = makeAgent(surface, TavroConfiguration{});
        overlay = overlayFor(agent);
        overlay->setLauncherVisible(true);
        agent->run("open Chats, tap Tuli, type hi into Message and tap Send");
        ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
        overlay->ui().expanded.set(true);
        (void)rt::spawn(overlay->say("Waiting for you"));
        actor->runFor(1s);
        ASSERT_FALSE(overlay->panelView()->isHidden());
        ASSERT_TRUE(overlay->ui().pointer.value().visible);
        ASSERT_TRUE(overlay->ui().glow.value().visible);
    }
    void TearDown() override {
        agent->stop();
        OverlayTest::TearDown();
    }
};

TEST_F(OverlayShown, ReadingsNeverContainTheOverlay) {
    (void)overlay->showWeb();
    std::vector<std::shared_ptr<ui::View>> views;
    allViews(overlay->window(), views);
    for (const auto& view : views) {
        EXPECT_TRUE(view->accessibilityIdentifier().starts_with("tavro.sdk")) << view->className();
        if (auto host = std::dynamic_pointer_cast<ui::HostingView>(view)) {
            for (const auto& id : views::identifiers(host->root())) {
                EXPECT_TRUE(id.starts_with("tavro.sdk")) << id;
            }
        }
    }
    overlay->hideWeb();
    // Even made key by mistake, the overlay window is not the app's window.
    overlay->window()->makeKey();
    EXPECT_EQ(surface->appWindow(), app->window());
    const auto screen = surface->snapshot();
    ASSERT_TRUE(screen);
    for (const auto& e : screen->elements)
        for (const auto& key : e.keys) EXPECT_FALSE(key.starts_with("tavro.sdk")) << key;
    EXPECT_EQ(screen->text.find("Waiting for you"), std::string::npos) << "the pointer's caption";
    EXPECT_EQ(screen->text.find("open Chats, tap Tuli"), std::string::npos) << "the panel's goal";
}

TEST_F(OverlayShown, NoActionOfTheAgentReachesAnOverlayControl) {
    (void)overlay->showWeb();
    const auto screen = surface->snapshot();
    ASSERT_TRUE(screen);
    std::int64_t highest = 0;
    for (const auto& e : screen->elements) highest = std::max(highest, e.id);
    // Taps and long presses on every id the surface knows and far beyond it.
    for (std::int64_t id = 1; id <= highest + 200; ++id) {
        for (auto kind : {TavroAction::Kind::click, TavroAction::Kind::longPress}) {
            TavroAction action{kind, id, "", false, ""};
            (void)rt::runToEnd(actor, surface->perform(std::move(action)));
        }
    }
    actor->runFor(2s);
    EXPECT_TRUE(overlay->ui().expanded.value()) << "the launcher was never tapped";
    EXPECT_TRUE(overlay->ui().browserOpen.value()) << "the close control was never pressed";
    EXPECT_NE(agent->status().value(), std::optional<std::string>("Stopped."));
}

// ---- whole runs ----

struct Outcome {
    bool ok = false;
    std::string status;
    std::vector<TavroRunReport::Step> steps;
    std::vector<std::string> sent;
    bool darkMode = false;
    std::string language;
    std::string name;
    std::vector<std::string> purchases;
    int approvals = 0;

    bool operator==(const Outcome&) const = default;
};

class WholeRuns : public OverlayTest {
protected:
    int serial = 0;

    // Runs the goal on a fresh demo app with a fresh memory, approving every pending step.
    Outcome run(const std::string& goal, bool withOverlay, std::shared_ptr<Script> script = nullptr) {
        app->reset();
        actor->runFor(2s);
        auto memory = std::make_shared<TavroMemory>(fnd::AppDirectories::applicationSupport() / "TavroSDK" /
                                                    ("recipes-" + std::to_string(++serial) + ".json"));
        TavroConfiguration c;
        if (script) c.models = {scriptedModel("Host model", script)};
        auto agent = makeAgent(surface, c, memory);
        auto overlay = withOverlay ? overlayFor(agent) : nullptr;
        Outcome out;
        auto handle = rt::spawn(agent->runAndWait(goal, 600));
        while (!handle.isDone()) {
            if (!runUntil([&] { return handle.isDone() || agent->prompt().value().has_value(); })) break;
            if (!handle.isDone() && agent->prompt().value()) {
                ++out.approvals;
                agent->approve();
            }
        }
        const auto report = handle.result().value_or(TavroRunReport{});
        out.ok = report.ok;
        out.status = report.status;
        out.steps = report.steps;  // durations left out: the overlay's animations take time of their own
        out.sent = app->messagesSent("Tuli");
        out.darkMode = app->darkMode();
        out.language = app->language();
        out.name = app->savedProfile().name;
        out.purchases = app->purchases();
        actor->runFor(3s);
        return out;
    }
};

std::shared_ptr<Script> lunchFriendScript() {
    struct Step {
        std::string action, label, text;
    };
    const std::vector<Step> steps = {{"click", "Chats", ""}, {"click", "Tuli", ""}, {"type", "Message", "hi"},
                                     {"click", "Send", ""},  {"done", "", "Said hi to Tuli"}};
    auto next = std::make_shared<std::size_t>(0);
    auto script = std::make_shared<Script>();
    script->decider = [steps, next](const std::string& user) -> std::optional<std::string> {
        if (*next >= steps.size()) return std::nullopt;
        const auto& step = steps[(*next)++];
        if (step.label.empty()) return reply(step.action, std::nullopt, step.text);
        return reply(step.action, idIn(user, step.label), step.text);
    };
    return script;
}

TEST_F(WholeRuns, EndTheSameWithTheOverlayAsWithNoPresenter) {
    const std::vector<std::string> goals = {
        "open Settings then turn on Dark Mode",
        "open Settings then set Language to 日本語",
        "open Profile then type Rin Tanaka into Name then type rin@example.org into Email then tap Save",
        "open Chats, tap Tuli, type hi into Message and tap Send",
        "open Shop then tap Buy then tap Buy",
        "send hi to Tuli",
        "open Settings then tap Nowhere",
    };
    std::vector<bool> oks;
    for (const auto& goal : goals) {
        const auto bare = run(goal, false);
        const auto shown = run(goal, true);
        EXPECT_EQ(shown, bare) << goal << "\nwithout: " << bare.status << "\nwith: " << shown.status;
        oks.push_back(bare.ok);
    }
    EXPECT_EQ(oks, (std::vector<bool>{true, true, true, true, true, false, false})) << "the runs really ran";
    const auto bare = run("say hi to my lunch friend", false, lunchFriendScript());
    const auto shown = run("say hi to my lunch friend", true, lunchFriendScript());
    EXPECT_TRUE(bare.ok) << bare.status;
    EXPECT_EQ(shown, bare);
    EXPECT_EQ(shown.sent, std::vector<std::string>{"hi"});
}

}  // namespace
}  // namespace tavro::agenttest
