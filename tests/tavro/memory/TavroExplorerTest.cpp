// The explorer crawls the demo app: the map it learns, the limits it keeps, what it never taps,
// and the map's way into the planner's prompt.
#include "LearnTestSupport.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationController.h"
#include "tavro/memory/TavroExplorer.h"
#include "tavro/remote/TavroPack.h"

namespace tavro::learntest {
namespace {

using namespace std::chrono_literals;
using Screens = std::vector<std::string>;

// A screen presented over the app whose About button asks an alert: Rate (counted) and, when
// `cancellable`, Close.
class AboutScreen : public ui::ViewController {
public:
    AboutScreen(bool cancellable, std::shared_ptr<int> rated)
        : ui::ViewController("About"), cancellable_(cancellable), rated_(std::move(rated)) {}

protected:
    void loadView() override {
        auto about = std::make_shared<ui::Button>("About", ui::Rect{16, 120, 200, 44});
        about->onTap([this] {
            auto alert = std::make_shared<ui::AlertController>("About Demo", "Version 1.0");
            if (cancellable_) alert->addAction({"Close", ui::AlertAction::Style::cancel, {}});
            alert->addAction({"Rate", ui::AlertAction::Style::normal, [rated = rated_] { ++*rated; }});
            present(alert, true);
        });
        setView(about);
    }

private:
    bool cancellable_;
    std::shared_ptr<int> rated_;
};

class ExplorerOnDemo : public OnDemo {
protected:
    rt::Duration took{};

    void SetUp() override {
        OnDemo::SetUp();
        // The demo has no route to Home; this one lets branches that leave Home come back.
        auto routes = app->routes();
        routes["Home"] = [tabs = std::weak_ptr<ui::TabBarController>(app->tabs())] {
            auto t = tabs.lock();
            t->setSelectedIndex(0);
            std::dynamic_pointer_cast<ui::NavigationController>(t->viewControllers()[0])->popToRootViewController(false);
        };
        surface = std::make_shared<UIKitSurface>(std::move(routes));
    }

    TavroAppMap explore(TavroExplorer& explorer) {
        const auto started = actor->now();
        auto map = rt::runToEnd(actor, explorer.explore("com.example.demo", "1.0"));
        took = actor->now() - started;
        EXPECT_TRUE(map.has_value()) << "the crawl ended";
        return map.value_or(TavroAppMap{});
    }

    // Where the nth control with that label leads ("-" when the screen lacks it, "" when unknown).
    static std::string to(const TavroAppMap& map, const std::string& screen, const std::string& label, int nth = 0) {
        const auto found = map.screens.find(screen);
        if (found == map.screens.end()) return "-";
        for (const auto& c : found->second.controls) {
            if (c.label == label && nth-- == 0) return c.to.value_or("");
        }
        return "-";
    }

    // Whatever the user keeps in the app is as it was at install.
    void expectUntouched() {
        for (const auto& chat : app->chats()) EXPECT_TRUE(app->messagesSent(chat).empty()) << chat;
        EXPECT_EQ(app->chats().size(), 6u);
        EXPECT_TRUE(app->purchases().empty());
        EXPECT_FALSE(app->accountDeleted());
        EXPECT_TRUE(!app->darkMode() && app->wifi() && !app->notifications() && app->language() == "English");
        EXPECT_EQ(app->textSize(), 17);
        EXPECT_EQ(app->savedProfile(), demo::Profile{});
        EXPECT_FALSE(app->chosenPhoto() || app->humanVerified() || app->state().notificationAnswer);
        EXPECT_FALSE(ui::Pasteboard::general()->string().has_value());
    }
};

TEST_F(ExplorerOnDemo, MapsTheDemoAppChangesNothingAndReturnsToTheStart) {
    TavroExplorer explorer(surface, 40, 150, 600);
    auto map = explore(explorer);
    EXPECT_EQ(map.app + " " + map.appVersion + " " + map.start, "com.example.demo 1.0 Home");
    EXPECT_EQ(map.screens.size(), 40u) << "the screen limit is reached";
    EXPECT_EQ((Screens{to(map, "Home", "Profile"), to(map, "Home", "Chats"), to(map, "Home", "Shop"),
                       to(map, "Home", "Settings"), to(map, "Home", "Home"), to(map, "Home", "Verify You're Human"),
                       to(map, "Chats", "Tuli"), to(map, "Tuli", "Back"), to(map, "Settings", "General")}),
              (Screens{"Profile", "Chats", "Shop", "Settings", "Home", "Verification", "Tuli", "Chats", "General"}));
    // Refused: buying, deleting, sending, saving, granting a permission, switches; fields are not controls.
    EXPECT_EQ((Screens{to(map, "Shop", "Buy Kettle"), to(map, "Shop", "Delete Account"), to(map, "Tuli", "Send"),
                       to(map, "Profile", "Save"), to(map, "Home", "Allow Notifications"),
                       to(map, "Settings", "Dark Mode"), to(map, "Profile", "Name")}),
              (Screens{"", "", "", "", "", "", "-"}));
    EXPECT_GT(explorer.taps(), 40);
    EXPECT_LT(took, 120s);
    EXPECT_EQ(location(), "Home");
    expectUntouched();

    // With the demo's own routes, branches that leave Home end, and the Home tab leads back.
    TavroExplorer ownRoutes(std::make_shared<UIKitSurface>(app->routes()), 40, 150, 600);
    map = explore(ownRoutes);
    EXPECT_EQ((Screens{to(map, "Home", "Profile"), to(map, "Home", "Shop"), to(map, "Settings", "Home")}),
              (Screens{"Profile", "", "Home"}));
    EXPECT_TRUE(map.screens.count("Shop"));
    EXPECT_EQ(location(), "Home");
    expectUntouched();
}

TEST_F(ExplorerOnDemo, KeepsItsScreenTapAndTimeLimits) {
    TavroExplorer unlimited(surface, 40, 150, 600);
    (void)explore(unlimited);
    const rt::Duration whole = took;
    TavroExplorer fewScreens(surface, 3, 150, 600);
    EXPECT_EQ(explore(fewScreens).screens.size(), 3u);
    TavroExplorer fewTaps(surface, 40, 5, 600);
    (void)explore(fewTaps);
    EXPECT_EQ(fewTaps.taps(), 5);
    TavroExplorer fewSeconds(surface, 40, 150, 5);
    (void)explore(fewSeconds);
    EXPECT_GT(fewSeconds.taps(), 0);
    EXPECT_LT(fewSeconds.taps(), unlimited.taps());
    EXPECT_LT(took, 15s) << "the last tap may start just before the limit, and the way home follows";
    EXPECT_LT(took, whole);
    EXPECT_EQ(location(), "Home");

    app->routes().at("Shop")();
    actor->runFor(1s);
    for (const double limit : {0.0, -3.0}) {
        TavroExplorer none(surface, 40, 150, limit);
        const auto map = explore(none);
        EXPECT_EQ(none.taps(), 0);
        ASSERT_EQ(map.screens.size(), 1u);
        EXPECT_EQ(map.start, "Shop");
        EXPECT_EQ(map.screens.at("Shop").controls.size(), 10u) << "five Buy, Delete Account and four tabs";
        for (const auto& c : map.screens.at("Shop").controls) EXPECT_FALSE(c.to) << c.label;
        EXPECT_LT(took, 1s);
    }
    expectUntouched();
}

TEST_F(ExplorerOnDemo, ClosesAlertsItOpensAndLeavesWhatItMayNotAnswer) {
    auto rated = std::make_shared<int>(0);
    for (const bool cancellable : {true, false}) {
        app->reset();
        ASSERT_TRUE(app->window()->rootViewController()->present(std::make_shared<AboutScreen>(cancellable, rated), false));
        actor->runFor(1s);
        TavroExplorer explorer(surface, 40, 150, 600);
        const auto map = explore(explorer);
        EXPECT_EQ(explorer.taps(), 1);
        EXPECT_EQ(to(map, "About", "About"), "") << "an alert is no screen";
        EXPECT_EQ(*rated, 0);
        const bool alertUp = std::dynamic_pointer_cast<ui::AlertController>(app->window()->topPresentedViewController()) != nullptr;
        EXPECT_EQ(alertUp, !cancellable) << "a cancellable alert is closed; the crawl stops at the other";
    }
    app->reset();
    app->showSystemPrompt();
    TavroExplorer explorer(surface, 40, 150, 600);
    EXPECT_EQ(explore(explorer).screens.size(), 1u);
    EXPECT_EQ(explorer.taps(), 0);
    EXPECT_TRUE(app->systemPromptShowing()) << "left to the user";
    app->window()->setHidden(true);
    EXPECT_TRUE(explore(explorer).screens.empty()) << "nothing to read";
}

TEST_F(ExplorerOnDemo, RefusesWhatSignsOutSavesOrNeedsApprovalAlsoByThePacksPattern) {
    TavroScreen screen;
    for (const auto* kind : {"button", "cell", "link", "tab", "checkbox", "input", "select"}) {
        for (const auto* label : {"Sign Out", "Log out", "Save", "ログアウト", "Send", "Checkout", "Saved Items", "Help"}) {
            screen.elements.push_back(agenttest::element(static_cast<std::int64_t>(screen.elements.size()) + 1, kind, label));
        }
    }
    screen.elements.push_back(agenttest::element(99, "button", ""));
    screen.elements.back().keys = {"profile.logout"};
    std::vector<std::string> tapped;
    for (const auto& e : screen.elements) {
        if (TavroExplorer::mayTap(e, screen)) tapped.push_back(e.kind + " " + e.label);
    }
    EXPECT_EQ(tapped, (Screens{"button Saved Items", "button Help", "cell Saved Items", "cell Help", "link Saved Items",
                               "link Help", "tab Saved Items", "tab Help"}));

    TavroPacks::setCurrent(TavroPack::parse(R"({"version": 1, "approve": "tuli|\\bshop\\b"})"));
    TavroExplorer explorer(surface, 40, 150, 600);
    const auto map = explore(explorer);
    EXPECT_EQ((Screens{to(map, "Home", "Shop"), to(map, "Chats", "Tuli"), to(map, "Chats", "Mika")}),
              (Screens{"", "", "Mika"}));
    EXPECT_FALSE(map.screens.count("Shop") || map.screens.count("Tuli"));
}

TEST_F(ExplorerOnDemo, TheMapIsSavedLoadedAndHintsThePlanner) {
    TavroExplorer explorer(surface, 40, 150, 600);
    const auto map = explore(explorer);
    TavroMaps::save(map);
    TavroMaps::reset();
    TavroMaps::loadSaved();
    ASSERT_EQ(TavroMaps::learned(), map);

    auto script = std::make_shared<agenttest::Script>();
    auto agent = makeAgent(surface, configuration({agenttest::scriptedModel("Host model", script)}));
    EXPECT_FALSE(runGoal(agent, "send hi to Tuli").ok) << "the model gives no step";
    ASSERT_FALSE(script->prompts.empty());
    EXPECT_NE(script->prompts.front().second.find("APP MAP: Tuli: Chats > Tuli"), std::string::npos)
        << script->prompts.front().second;
}

}  // namespace
}  // namespace tavro::learntest
