// The explorer crawls the demo app: the map it learns, the limits it keeps, what it never taps,
// and the map's way into the planner's prompt.
#include "LearnTestSupport.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Button.h"
#include "tavro/memory/TavroExplorer.h"
#include "tavro/remote/TavroPack.h"

namespace tavro::learntest {
namespace {

using namespace std::chrono_literals;

// A screen presented over the app with one button, About, that asks an alert. With `cancellable`
// the alert has a Close (cancel) action besides Rate; Rate counts its answers.
class AboutScreen : public ui::ViewController {
public:
    AboutScreen(bool cancellable, std::shared_ptr<int> rated)
        : ui::ViewController("About"), cancellable_(cancellable), rated_(std::move(rated)) {}

protected:
    void loadView() override {
        auto root = std::make_shared<ui::ContainerView>(ui::Application::shared()->screenBounds());
        auto about = std::make_shared<ui::Button>("About", ui::Rect{16, 120, 200, 44});
        about->onTap([this] {
            auto alert = std::make_shared<ui::AlertController>("About Demo", "Version 1.0");
            if (cancellable_) alert->addAction({"Close", ui::AlertAction::Style::cancel, {}});
            alert->addAction({"Rate", ui::AlertAction::Style::normal, [rated = rated_] { ++*rated; }});
            present(alert, true);
        });
        root->addSubview(about);
        setView(root);
    }

private:
    bool cancellable_;
    std::shared_ptr<int> rated_;
};

class ExplorerOnDemo : public OnDemo {
protected:
    void SetUp() override {
        OnDemo::SetUp();
        surface = std::make_shared<UIKitSurface>(routesWithHome());
    }

    rt::Duration took{};

    TavroAppMap explore(TavroExplorer& explorer) {
        const auto started = actor->now();
        auto map = rt::runToEnd(actor, explorer.explore("com.example.demo", "1.0"));
        took = actor->now() - started;
        EXPECT_TRUE(map.has_value()) << "the crawl ended";
        return map.value_or(TavroAppMap{});
    }

    static const TavroAppMap::Control* control(const TavroAppMap& map, const std::string& screen,
                                               const std::string& label, int nth = 0) {
        const auto found = map.screens.find(screen);
        if (found == map.screens.end()) return nullptr;
        for (const auto& c : found->second.controls) {
            if (c.label == label && nth-- == 0) return &c;
        }
        return nullptr;
    }
    static std::optional<std::string> to(const TavroAppMap& map, const std::string& screen, const std::string& label,
                                         int nth = 0) {
        const auto* c = control(map, screen, label, nth);
        EXPECT_NE(c, nullptr) << screen << " lists " << label;
        return c ? c->to : std::nullopt;
    }

    // Whatever the user keeps in the app is as it was at install.
    void expectUntouched() {
        for (const auto& chat : app->chats()) EXPECT_TRUE(app->messagesSent(chat).empty()) << chat;
        EXPECT_EQ(app->chats().size(), 6u);
        EXPECT_TRUE(app->purchases().empty());
        EXPECT_FALSE(app->accountDeleted());
        EXPECT_FALSE(app->darkMode());
        EXPECT_TRUE(app->wifi());
        EXPECT_FALSE(app->notifications());
        EXPECT_FALSE(app->state().notificationAnswer.has_value());
        EXPECT_EQ(app->language(), "English");
        EXPECT_EQ(app->textSize(), 17);
        EXPECT_EQ(app->savedProfile(), demo::Profile{});
        EXPECT_FALSE(app->chosenPhoto().has_value());
        EXPECT_FALSE(app->humanVerified());
        EXPECT_FALSE(ui::Pasteboard::general()->string().has_value());
        EXPECT_FALSE(app->systemPromptShowing());
    }
};

TEST_F(ExplorerOnDemo, MapsTheTabsAndTheirScreensAndChangesNothing) {
    TavroExplorer explorer(surface, 40, 150, 600);
    const auto map = explore(explorer);

    EXPECT_EQ(map.app, "com.example.demo");
    EXPECT_EQ(map.appVersion, "1.0");
    EXPECT_EQ(map.start, "Home");
    for (const auto* screen : {"Home", "Chats", "Shop", "Settings", "Profile", "Tuli", "General"}) {
        EXPECT_TRUE(map.screens.count(screen)) << screen;
    }
    EXPECT_EQ(map.screens.size(), 40u) << "the screen limit is reached";
    EXPECT_EQ(to(map, "Home", "Profile"), "Profile");
    EXPECT_EQ(to(map, "Home", "Chats"), "Chats");
    EXPECT_EQ(to(map, "Home", "Shop"), "Shop");
    EXPECT_EQ(to(map, "Home", "Settings"), "Settings");
    EXPECT_EQ(to(map, "Home", "Home"), "Home") << "a tap that stays shows where it leads";
    EXPECT_EQ(to(map, "Home", "Verify You're Human"), "Verification");
    EXPECT_EQ(to(map, "Home", "Choose Photo"), "Photos") << "the system picker, closed again";
    EXPECT_EQ(to(map, "Chats", "Tuli"), "Tuli");
    EXPECT_EQ(to(map, "Chats", "Ren"), "Ren");
    EXPECT_EQ(to(map, "Settings", "General"), "General");
    EXPECT_EQ(to(map, "Tuli", "Back"), "Chats");
    EXPECT_EQ(to(map, "Profile", "Back"), "Home");

    // Refused: paying, deleting, sending, saving, granting, and every switch.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(to(map, "Shop", "Buy", i), std::nullopt);
    EXPECT_EQ(to(map, "Shop", "Delete Account"), std::nullopt);
    EXPECT_EQ(to(map, "Tuli", "Send"), std::nullopt);
    EXPECT_EQ(to(map, "Profile", "Save"), std::nullopt);
    EXPECT_EQ(to(map, "Home", "Allow Notifications"), std::nullopt);
    EXPECT_EQ(to(map, "Settings", "Dark Mode"), std::nullopt);
    EXPECT_EQ(control(map, "Settings", "Dark Mode")->kind, "checkbox");
    EXPECT_EQ(control(map, "Profile", "Name"), nullptr) << "fields are not tapped controls";

    EXPECT_GT(explorer.taps(), 40);
    EXPECT_LE(explorer.taps(), 150);
    EXPECT_LT(took, 120s);
    EXPECT_EQ(location(), "Home") << "back where it started";
    expectUntouched();
}

TEST_F(ExplorerOnDemo, WithTheDemosOwnRoutesHomeIsReachedAgainByItsTab) {
    // No route opens Home: a branch that leaves Home ends there, but the way back is known.
    TavroExplorer explorer(std::make_shared<UIKitSurface>(app->routes()), 40, 150, 600);
    const auto map = explore(explorer);
    EXPECT_EQ(to(map, "Home", "Profile"), "Profile");
    EXPECT_EQ(to(map, "Home", "Chats"), std::nullopt);
    EXPECT_EQ(to(map, "Profile", "Home"), "Home");
    EXPECT_EQ(to(map, "Settings", "Home"), "Home");
    for (const auto* screen : {"Home", "Chats", "Shop", "Settings", "Profile"}) {
        EXPECT_TRUE(map.screens.count(screen)) << screen;
    }
    EXPECT_EQ(location(), "Home");
    expectUntouched();
}

TEST_F(ExplorerOnDemo, KeepsItsScreenTapAndTimeLimits) {
    {
        TavroExplorer explorer(surface, 3, 150, 600);
        const auto map = explore(explorer);
        EXPECT_EQ(map.screens.size(), 3u);
        EXPECT_EQ(location(), "Home");
    }
    {
        TavroExplorer explorer(surface, 40, 5, 600);
        const auto map = explore(explorer);
        EXPECT_EQ(explorer.taps(), 5);
        int withTo = 0;
        for (const auto& [name, screen] : map.screens) {
            for (const auto& c : screen.controls) withTo += c.to.has_value();
        }
        EXPECT_LE(withTo, 5);
        EXPECT_EQ(location(), "Home");
    }
    {
        TavroExplorer unlimited(surface, 40, 150, 600);
        (void)explore(unlimited);
        const rt::Duration whole = took;
        TavroExplorer explorer(surface, 40, 150, 5);
        (void)explore(explorer);
        EXPECT_GT(explorer.taps(), 0);
        EXPECT_LT(explorer.taps(), unlimited.taps());
        // The last tap may start just before the limit, and the way home follows.
        EXPECT_LT(took, 15s);
        EXPECT_LT(took, whole);
        EXPECT_EQ(location(), "Home");
    }
    expectUntouched();
}

TEST_F(ExplorerOnDemo, ATimeLimitOfZeroGivesTheStartScreenAlone) {
    app->routes().at("Shop")();
    actor->runFor(1s);
    for (const double limit : {0.0, -3.0}) {
        TavroExplorer explorer(surface, 40, 150, limit);
        const auto map = explore(explorer);
        EXPECT_EQ(explorer.taps(), 0);
        EXPECT_EQ(map.start, "Shop");
        ASSERT_EQ(map.screens.size(), 1u);
        const auto& shop = map.screens.at("Shop");
        EXPECT_EQ(shop.title, "Shop");
        EXPECT_EQ(shop.controls.size(), 10u) << "five Buy, Delete Account and four tabs";
        for (const auto& c : shop.controls) EXPECT_FALSE(c.to) << c.label;
        EXPECT_LT(took, 1s);
    }
}

TEST_F(ExplorerOnDemo, ClosesAnAlertItOpensAndStopsAtOneItCannotCancel) {
    auto rated = std::make_shared<int>(0);
    for (const bool cancellable : {true, false}) {
        app->reset();
        ASSERT_TRUE(app->window()->rootViewController()->present(std::make_shared<AboutScreen>(cancellable, rated), false));
        actor->runFor(1s);
        TavroExplorer explorer(surface, 40, 150, 600);
        const auto map = explore(explorer);
        EXPECT_EQ(map.start, "About");
        EXPECT_EQ(explorer.taps(), 1);
        EXPECT_EQ(to(map, "About", "About"), std::nullopt) << "an alert is no screen";
        EXPECT_EQ(map.screens.count("About Demo"), 0u);
        EXPECT_EQ(*rated, 0) << "never answered";
        const auto alert =
            std::dynamic_pointer_cast<ui::AlertController>(app->window()->topPresentedViewController());
        EXPECT_EQ(alert != nullptr, !cancellable) << "a cancellable alert is closed, the other is left";
    }
}

TEST_F(ExplorerOnDemo, TheActivePacksApprovalPatternIsRefusedToo) {
    auto pack = TavroPack::parse(R"({"version": 1, "approve": "tuli|\\bshop\\b"})");
    ASSERT_TRUE(pack);
    TavroPacks::setCurrent(pack);
    TavroExplorer explorer(surface, 40, 150, 600);
    const auto map = explore(explorer);
    EXPECT_EQ(to(map, "Home", "Shop"), std::nullopt);
    EXPECT_EQ(map.screens.count("Shop"), 0u);
    EXPECT_EQ(to(map, "Chats", "Tuli"), std::nullopt);
    EXPECT_EQ(to(map, "Chats", "Mika"), "Mika");
    EXPECT_EQ(map.screens.count("Tuli"), 0u);
    expectUntouched();
}

TEST_F(ExplorerOnDemo, RefusesWhatSignsOutSavesOrWouldNeedApproval) {
    const TavroScreen screen{.elements = {
                                 agenttest::element(1, "button", "Sign Out"),
                                 agenttest::element(2, "cell", "Log out"),
                                 agenttest::element(3, "button", "Save"),
                                 agenttest::element(4, "button", "Submit"),
                                 agenttest::element(5, "link", "ログアウト"),
                                 agenttest::element(6, "button", "Send"),
                                 agenttest::element(7, "button", "Checkout"),
                                 agenttest::element(8, "checkbox", "Wi-Fi"),
                                 agenttest::element(9, "input", "Name"),
                                 agenttest::element(10, "slider", "Volume"),
                                 agenttest::element(11, "select", "Language"),
                                 agenttest::element(12, "button", "Saved Items"),
                                 agenttest::element(13, "tab", "Settings"),
                                 agenttest::element(14, "cell", "Account"),
                                 agenttest::element(15, "link", "Terms"),
                             }};
    std::vector<std::string> tapped;
    for (const auto& e : screen.elements) {
        if (TavroExplorer::mayTap(e, screen)) tapped.push_back(e.label);
    }
    EXPECT_EQ(tapped, (std::vector<std::string>{"Saved Items", "Settings", "Account", "Terms"}));
    auto keyed = agenttest::element(16, "button", "");
    keyed.keys = {"profile.logout"};
    const TavroScreen withKey{.elements = {keyed}};
    EXPECT_FALSE(TavroExplorer::mayTap(keyed, withKey)) << "identifiers count as words too";
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
    const auto report = runGoal(agent, "send hi to Tuli");
    EXPECT_FALSE(report.ok) << "the model gives no step";
    ASSERT_FALSE(script->prompts.empty());
    const std::string& user = script->prompts.front().second;
    EXPECT_NE(user.find("APP MAP: Tuli: Chats > Tuli"), std::string::npos) << user;
    expectUntouched();
}

TEST_F(ExplorerOnDemo, ASystemPromptIsLeftToTheUser) {
    app->showSystemPrompt();
    TavroExplorer explorer(surface, 40, 150, 600);
    const auto map = explore(explorer);
    EXPECT_EQ(explorer.taps(), 0);
    EXPECT_EQ(map.start, "Home");
    EXPECT_EQ(map.screens.size(), 1u);
    EXPECT_TRUE(app->systemPromptShowing());
    EXPECT_FALSE(app->state().notificationAnswer.has_value());
}

TEST_F(ExplorerOnDemo, AnUnreadableAppGivesAnEmptyMap) {
    app->window()->setHidden(true);
    TavroExplorer explorer(surface, 40, 150, 600);
    const auto map = explore(explorer);
    EXPECT_EQ(map.app, "com.example.demo");
    EXPECT_TRUE(map.start.empty());
    EXPECT_TRUE(map.screens.empty());
    EXPECT_EQ(explorer.taps(), 0);
}

}  // namespace
}  // namespace tavro::learntest
