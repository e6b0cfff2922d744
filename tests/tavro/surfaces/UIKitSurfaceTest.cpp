#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "demo/DemoApp.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/objc/Runtime.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Pasteboard.h"
#include "tavro/surfaces/UIKitSurface.h"

using namespace std::chrono_literals;
using namespace tavro;
using Kind = TavroAction::Kind;

namespace {

struct Surface : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<demo::DemoApp> app;
    std::shared_ptr<UIKitSurface> surface;

    Surface() {
        fnd::NotificationCenter::resetDefault();
        fnd::MainBundle::reset();
        objc::Runtime::reset();
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        app = demo::DemoApp::create();
        surface = std::make_shared<UIKitSurface>(app->routes());
    }

    TavroScreen read() {
        auto screen = surface->snapshot();
        EXPECT_TRUE(screen.has_value());
        return screen.value_or(TavroScreen{});
    }

    // The first element with the label (and kind, when given); fails the test when there is none.
    TavroElement element(const TavroScreen& screen, std::string_view label, std::string_view kind = {}) {
        for (const auto& e : screen.elements) {
            if (e.label == label && (kind.empty() || e.kind == kind)) return e;
        }
        ADD_FAILURE() << "no element " << label;
        return {};
    }
    bool has(const TavroScreen& screen, std::string_view label) {
        return std::any_of(screen.elements.begin(), screen.elements.end(), [&](const auto& e) { return e.label == label; });
    }

    std::optional<std::string> perform(Kind kind, std::optional<std::int64_t> id = std::nullopt, std::string text = {},
                                       bool submit = false) {
        auto result = rt::runToEnd(actor, surface->perform(TavroAction{kind, id, std::move(text), submit, ""}));
        EXPECT_TRUE(result.has_value());
        return result.value_or(std::optional<std::string>("not run"));
    }
    std::optional<std::string> on(std::string_view label, Kind kind, std::string text = {}, bool submit = false) {
        const auto e = element(read(), label);
        return perform(kind, e.id, std::move(text), submit);
    }

    void settle() { rt::runToEnd(actor, surface->settle()); }
    void go(const std::string& route) {
        EXPECT_EQ(perform(Kind::navigate, std::nullopt, route), std::nullopt);
        settle();
    }
    auto elapsed() const { return actor->now().time_since_epoch(); }
};

}  // namespace

using Reading = Surface;

TEST_F(Reading, HomeListsItsControlsInReadingOrderWithTheirKinds) {
    const auto screen = read();
    EXPECT_EQ(screen.location, "Home");
    EXPECT_EQ(screen.title, "Home");
    EXPECT_FALSE(screen.humanCheck || screen.systemAlert || screen.keyboardVisible);
    std::vector<std::string> seen;
    for (const auto& e : screen.elements) seen.push_back(e.kind + ":" + e.label);
    EXPECT_EQ(seen, (std::vector<std::string>{"button:Profile", "button:Choose Photo", "button:Verify You're Human",
                                              "button:Allow Notifications", "tab:Home", "tab:Chats", "tab:Shop",
                                              "tab:Settings"}));
    const auto profile = element(screen, "Profile");
    EXPECT_EQ(profile.type, "UIButton");
    EXPECT_EQ(profile.keys, (std::vector<std::string>{"home.profile"}));
    EXPECT_EQ(profile.frame, (TavroRect{16, 44 + 16 + 56, 358, 44}));
    EXPECT_TRUE(profile.inView);
    EXPECT_EQ(element(screen, "Home", "tab").value, "selected");
    EXPECT_EQ(element(screen, "Chats", "tab").value, "");
    EXPECT_EQ(screen.text, "Home\nWelcome to the Demo app.\nNotifications are off.");
}

TEST_F(Reading, SettingsShowsSwitchesPickerSliderAndRowsBelowTheFold) {
    go("Settings");
    const auto screen = read();
    EXPECT_EQ(screen.location, "Settings");
    const auto dark = element(screen, "Dark Mode", "checkbox");
    EXPECT_EQ(dark.type, "UISwitch");
    EXPECT_EQ(dark.value, "0");
    EXPECT_EQ(dark.keys, (std::vector<std::string>{"settings.darkMode"}));
    EXPECT_EQ(element(screen, "Wi-Fi", "checkbox").value, "1");
    const auto language = element(screen, "Language", "select");
    EXPECT_EQ(language.type, "UIPickerView");
    EXPECT_EQ(language.value, "English");
    EXPECT_EQ(language.options, demo::languages());
    const auto size = element(screen, "Text Size", "slider");
    EXPECT_EQ(size.value, "17");
    EXPECT_TRUE(element(screen, "General", "cell").inView);
    const auto legal = element(screen, "Legal", "cell");
    EXPECT_FALSE(legal.inView);
    EXPECT_GT(legal.frame.y, 844);
    EXPECT_NE(screen.text.find("Appearance"), std::string::npos);
    EXPECT_EQ(screen.text.find("Version"), std::string::npos);  // off screen: not visible text
}

TEST_F(Reading, FieldsReportTypesValuesAndTheFocus) {
    go("Profile");
    auto screen = read();
    const auto email = element(screen, "Email", "input");
    EXPECT_EQ(email.type, "UITextField");
    EXPECT_EQ(email.keys, (std::vector<std::string>{"profile.email", "emailAddress"}));
    EXPECT_EQ(element(screen, "Password", "input").type, "password");
    EXPECT_EQ(perform(Kind::type, element(screen, "Password").id, "hunter2"), std::nullopt);
    EXPECT_EQ(perform(Kind::click, email.id), std::nullopt);
    screen = read();
    EXPECT_TRUE(element(screen, "Email").focused);
    EXPECT_FALSE(element(screen, "Name").focused);
    EXPECT_TRUE(screen.keyboardVisible);
    EXPECT_EQ(element(screen, "Password").value, "•••••••");
    EXPECT_FALSE(element(screen, "Save").focused);
}

TEST_F(Reading, IdsStayWithTheirViewsAcrossReadings) {
    const auto first = read();
    const auto again = read();
    EXPECT_EQ(first.elements, again.elements);
    go("Chats");
    const auto chats = read();
    go("Shop");
    go("Chats");  // the list rebuilds its rows: new views, new ids
    const auto rebuilt = read();
    EXPECT_NE(element(rebuilt, "Tuli").id, element(chats, "Tuli").id);
    for (const auto& e : rebuilt.elements) {
        for (const auto& h : first.elements) {
            if (e.id == h.id) {
                EXPECT_EQ(e.label, h.label);  // one id never names two views
            }
        }
    }
    perform(Kind::click, element(rebuilt, "Home", "tab").id);
    settle();
    EXPECT_EQ(element(read(), "Profile").id, element(first, "Profile").id);
    EXPECT_EQ(element(read(), "Home", "tab").id, element(first, "Home", "tab").id);
}

TEST_F(Reading, ExcludedIdentifierPrefixesHideViewsWithTheirSubviews) {
    surface->excludedIdentifierPrefixes = {"tavro.sdk", "", "debug."};  // an empty prefix hides nothing
    auto root = app->window()->rootViewController()->view();
    auto card = std::make_shared<ui::View>(ui::Rect{0, 300, 390, 100});
    card->setAccessibilityIdentifier("tavro.sdk.card");
    root->addSubview(card);
    card->addSubview(std::make_shared<ui::Button>("Download", ui::Rect{0, 0, 100, 44}));
    auto debug = std::make_shared<ui::Button>("Debug", ui::Rect{0, 500, 100, 44});
    debug->setAccessibilityIdentifier("debug.menu");
    root->addSubview(debug);
    const auto screen = read();
    EXPECT_FALSE(has(screen, "Download"));
    EXPECT_FALSE(has(screen, "Debug"));
    EXPECT_TRUE(has(screen, "Profile"));
}

TEST_F(Reading, FlagsForHumanCheckSystemPromptAndCaptchaNames) {
    app->showHumanCheck();
    settle();
    EXPECT_TRUE(read().humanCheck);
    EXPECT_TRUE(app->solveHumanCheck());
    EXPECT_FALSE(read().humanCheck);

    auto root = app->window()->rootViewController()->view();
    auto widget = std::make_shared<ui::Label>("Type the letters", ui::Rect{0, 300, 200, 40});
    widget->setAccessibilityIdentifier("login.reCaptcha");
    root->addSubview(widget);
    EXPECT_TRUE(read().humanCheck);
    widget->removeFromSuperview();

    app->showSystemPrompt();
    EXPECT_TRUE(surface->systemAlertShowing());
    EXPECT_TRUE(read().systemAlert);
    app->answerSystemPrompt("Don't Allow");
    EXPECT_FALSE(read().systemAlert);
}

TEST_F(Reading, APresentedAlertHidesTheScreenBeneathIt) {
    go("Shop");
    EXPECT_EQ(perform(Kind::click, element(read(), "Buy Coffee Beans").id), std::nullopt);
    settle();
    const auto screen = read();
    EXPECT_EQ(screen.location, "Buy Coffee Beans?");
    EXPECT_EQ(screen.title, "");
    std::vector<std::string> labels;
    for (const auto& e : screen.elements) labels.push_back(e.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"Cancel", "Buy"}));
    EXPECT_EQ(screen.text, "Buy Coffee Beans?\n$12.00 will be charged.");
}

TEST_F(Reading, FramesComeFromTheLastReadingOnly) {
    const auto home = read();
    const auto profile = element(home, "Profile");
    EXPECT_EQ(surface->frame(profile.id), profile.frame);
    EXPECT_EQ(surface->frame(987654), std::nullopt);
    go("Shop");
    read();
    EXPECT_EQ(surface->frame(profile.id), std::nullopt);
}

TEST_F(Reading, DescriptionNamesTheAppAndRoutesAreTheTablesNames) {
    EXPECT_EQ(surface->surfaceDescription(),
              "the iOS app “Tavro Demo” the user is using (native screens; tap with click, fill fields with type)");
    fnd::MainBundle::reset();
    fnd::MainBundle::setInfo("CFBundleName", "Shop Pro");
    EXPECT_EQ(surface->surfaceDescription(),
              "the iOS app “Shop Pro” the user is using (native screens; tap with click, fill fields with type)");
    fnd::MainBundle::reset();
    EXPECT_EQ(surface->surfaceDescription(),
              "the iOS app “this app” the user is using (native screens; tap with click, fill fields with type)");
    EXPECT_EQ(surface->routes(), (std::vector<std::string>{"Chats", "Profile", "Settings", "Shop"}));
    const UIKitSurface plain({}, {"host.private"});
    EXPECT_EQ(plain.excludedIdentifierPrefixes, (std::vector<std::string>{"tavro.sdk", "host.private"}));
    EXPECT_TRUE(plain.routes().empty());
}

using AppWindow = Surface;

TEST_F(AppWindow, TheOverlayAboveIsNeverTheAppWindow) {
    auto overlay = std::make_shared<ui::Window>();
    overlay->setAccessibilityIdentifier("tavro.sdk.overlay");
    overlay->setWindowLevel(ui::WindowLevel::statusBar);
    overlay->setWindowScene(app->scene());
    overlay->makeKeyAndVisible();
    overlay->addSubview(std::make_shared<ui::Button>("Run", ui::Rect{0, 0, 80, 44}));
    EXPECT_EQ(surface->appWindow(), app->window());  // the only candidate
    EXPECT_FALSE(has(read(), "Run"));

    auto keyboard = std::make_shared<ui::KeyboardWindow>();
    keyboard->setWindowScene(app->scene());
    auto alert = std::make_shared<ui::Window>();
    alert->setWindowLevel(ui::WindowLevel::alert);
    alert->setWindowScene(app->scene());
    auto second = std::make_shared<ui::Window>();
    second->setWindowLevel(1);
    second->setWindowScene(app->scene());
    EXPECT_EQ(surface->appWindow(), second);  // no key candidate: the highest
    app->window()->makeKey();
    EXPECT_EQ(surface->appWindow(), app->window());
    second->setHidden(true);
    app->window()->setHidden(true);
    EXPECT_EQ(surface->appWindow(), nullptr);
    EXPECT_EQ(surface->snapshot(), std::nullopt);
    EXPECT_EQ(perform(Kind::scroll, std::nullopt, "down"), "failed: nothing on screen");
}

TEST_F(AppWindow, ScenesInTheBackgroundAreNotRead) {
    app->scene()->setActivationState(ui::WindowScene::ActivationState::background);
    EXPECT_EQ(surface->appWindow(), nullptr);
    app->scene()->setActivationState(ui::WindowScene::ActivationState::foregroundInactive);
    EXPECT_EQ(surface->appWindow(), app->window());
}

using Performing = Surface;

TEST_F(Performing, ClickTypeAndSelectChangeTheAppLikeTouches) {
    go("Settings");
    EXPECT_EQ(on("Dark Mode", Kind::click), std::nullopt);
    EXPECT_TRUE(app->darkMode());
    EXPECT_EQ(element(read(), "Dark Mode").value, "1");
    EXPECT_EQ(on("Dark Mode", Kind::click, "on"), std::nullopt);  // already on: stays on
    EXPECT_TRUE(app->darkMode());
    EXPECT_EQ(on("Wi-Fi", Kind::select, "off"), std::nullopt);
    EXPECT_FALSE(app->wifi());
    EXPECT_EQ(on("Language", Kind::select, "日本語"), std::nullopt);
    EXPECT_EQ(app->language(), "日本語");
    EXPECT_EQ(on("Language", Kind::select, "espanol"), std::nullopt);  // matched as a name
    EXPECT_EQ(app->language(), "Español");
    EXPECT_EQ(on("Text Size", Kind::select, "20"), std::nullopt);
    EXPECT_EQ(app->textSize(), 20);
    EXPECT_EQ(on("Text Size", Kind::select, "max"), std::nullopt);
    EXPECT_EQ(app->textSize(), 24);

    go("Profile");
    EXPECT_EQ(on("Name", Kind::type, "Rin Tanaka", true), std::nullopt);
    auto screen = read();
    EXPECT_EQ(element(screen, "Name").value, "Rin Tanaka");
    EXPECT_TRUE(element(screen, "Email").focused);  // Return moved on
    EXPECT_EQ(perform(Kind::type, std::nullopt, "rin@example.org"), std::nullopt);  // where the keyboard is
    EXPECT_EQ(on("Save", Kind::click), std::nullopt);
    EXPECT_EQ(app->savedProfile().email, "rin@example.org");
}

TEST_F(Performing, EveryFailureIsOneLineForTheModel) {
    go("Settings");
    auto settings = read();
    EXPECT_EQ(perform(Kind::click, 99999), "failed: element 99999 is not on screen");
    EXPECT_EQ(perform(Kind::select, element(settings, "Language").id, "Klingon"),
              "failed: Language has no option “Klingon”; options: English, 日本語, Español, Français, Deutsch");
    EXPECT_EQ(perform(Kind::select, element(settings, "Text Size").id, "40"),
              "failed: Text Size takes a number from 12 to 24");
    EXPECT_EQ(perform(Kind::select, element(settings, "Dark Mode").id, "maybe"),
              "failed: Dark Mode is a switch; choose on or off");
    EXPECT_EQ(perform(Kind::click, element(settings, "Language").id), "failed: Language takes a value; use select with one of its options");
    EXPECT_EQ(perform(Kind::type, element(settings, "General").id, "x"), "failed: General is not a text field");
    EXPECT_EQ(perform(Kind::longPress, element(settings, "General").id), "failed: General has no long-press action");
    EXPECT_EQ(perform(Kind::done, std::nullopt, "ok"), "failed: done is not a screen action");
    EXPECT_EQ(perform(Kind::navigate, std::nullopt, "Nowhere"), "failed: no route named “Nowhere”");
    EXPECT_EQ(perform(Kind::click), "failed: click needs an element id");
    EXPECT_EQ(perform(Kind::type, std::nullopt, "hi"), "failed: type needs the id of a text field");

    go("Profile");
    EXPECT_EQ(on("Save", Kind::click), "failed: Save is disabled");
    const auto name = element(read(), "Name");
    go("Shop");
    EXPECT_EQ(perform(Kind::click, name.id), "failed: element " + std::to_string(name.id) + " is not on screen");
    go("Chats");
    EXPECT_EQ(on("Tuli", Kind::swipe, "up"), "failed: nothing to swipe here");  // the short list does not scroll
    EXPECT_EQ(perform(Kind::back), "failed: nothing to go back to");
    UIKitSurface noRoutes;
    EXPECT_EQ(rt::runToEnd(actor, noRoutes.perform(TavroAction{Kind::navigate, std::nullopt, "Settings", false, ""})),
              std::optional<std::string>("failed: this app has no routes; tap the app's buttons instead"));
}

TEST_F(Performing, EveryScreenActionKindAndNoOtherIsCarriedOut) {
    go("Settings");
    const auto target = element(read(), "General").id;
    for (const auto kind : allKinds) {
        const std::string refusal = "failed: " + std::string(kindName(kind)) + " is not a screen action";
        const auto answer = perform(kind, target, "Settings");
        const bool refused = answer == refusal;
        EXPECT_EQ(refused, !TavroAction{.kind = kind}.isSurfaceAction()) << kindName(kind) << ": " << answer.value_or("ok");
        go("Settings");
    }
}

TEST_F(Performing, TheCorrectiveScrollAnswersExactly) {
    EXPECT_EQ(perform(Kind::scroll, std::nullopt, "down"), "failed: nothing to scroll here");
    go("Settings");
    EXPECT_EQ(perform(Kind::scroll, std::nullopt, "up"), "failed: already at the top");
    int pages = 0;
    std::optional<std::string> result;
    while (!(result = perform(Kind::scroll, std::nullopt, "down")) && pages < 20) ++pages;
    EXPECT_EQ(result, "failed: already at the bottom");
    EXPECT_EQ(pages, 2);
    const auto screen = read();
    EXPECT_TRUE(element(screen, "Legal").inView);
    EXPECT_FALSE(element(screen, "Dark Mode").inView);
    EXPECT_NE(screen.text.find("Version\n1.0 (42)"), std::string::npos);
    EXPECT_EQ(perform(Kind::scroll, element(screen, "Legal").id, "up"), std::nullopt);  // the list holding it
}

TEST_F(Performing, AnElementBelowTheFoldIsScrolledIntoViewBeforeItIsTapped) {
    go("Settings");
    const auto legal = element(read(), "Legal");
    ASSERT_FALSE(legal.inView);
    EXPECT_EQ(perform(Kind::click, legal.id), std::nullopt);
    settle();
    EXPECT_EQ(read().location, "Legal");
    EXPECT_EQ(perform(Kind::back), std::nullopt);
    settle();
    EXPECT_TRUE(element(read(), "Legal").inView);
}

TEST_F(Performing, SwipePagesTheBannerAndRunsARowsSwipeAction) {
    go("Shop");
    EXPECT_EQ(perform(Kind::swipe, std::nullopt, "left"), std::nullopt);
    EXPECT_EQ(perform(Kind::swipe, std::nullopt, "left"), std::nullopt);
    EXPECT_EQ(perform(Kind::swipe, std::nullopt, "left"), "failed: already on the last page");
    EXPECT_EQ(perform(Kind::swipe, std::nullopt, "right"), std::nullopt);
    go("Chats");
    EXPECT_EQ(on("Kenji", Kind::swipe, "left"), std::nullopt);
    EXPECT_EQ(app->chats(), (std::vector<std::string>{"Tuli", "Mika", "Family", "Work", "Ren"}));
    EXPECT_FALSE(has(read(), "Kenji"));
    go("Settings");
    EXPECT_EQ(on("General", Kind::swipe, "left"), "failed: General has no swipe actions");
    EXPECT_EQ(on("Text Size", Kind::swipe, "right"), std::nullopt);
    EXPECT_EQ(app->textSize(), 18);
}

TEST_F(Performing, LongPressShowsTheMenuAndAClickRunsItsAction) {
    go("Chats");
    EXPECT_EQ(on("Tuli", Kind::click), std::nullopt);
    settle();
    EXPECT_EQ(on("Message", Kind::type, "hi", true), std::nullopt);
    EXPECT_EQ(app->messagesSent("Tuli"), (std::vector<std::string>{"hi"}));
    EXPECT_EQ(on("You: hi", Kind::longPress), std::nullopt);
    settle();
    auto menu = read();
    EXPECT_EQ(menu.location, "UIContextMenu");
    EXPECT_EQ(on("Copy", Kind::click), std::nullopt);
    settle();
    EXPECT_EQ(ui::Pasteboard::general()->string(), "You: hi");
    EXPECT_EQ(read().location, "Tuli");

    go("Chats");  // a row's swipe actions are offered by a long press too
    EXPECT_EQ(on("Mika", Kind::longPress), std::nullopt);
    settle();
    std::vector<std::string> labels;
    for (const auto& e : read().elements) labels.push_back(e.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"Pin", "Delete"}));
    EXPECT_EQ(on("Pin", Kind::click), std::nullopt);
    settle();
    EXPECT_EQ(app->chats().front(), "Mika");
}

TEST_F(Performing, BackHidesTheKeyboardThenPopsThenCancelsAnAlert) {
    go("Profile");
    EXPECT_EQ(on("Name", Kind::click), std::nullopt);
    EXPECT_TRUE(read().keyboardVisible);
    EXPECT_EQ(perform(Kind::back), std::nullopt);
    EXPECT_FALSE(read().keyboardVisible);
    EXPECT_EQ(read().location, "Profile");
    EXPECT_EQ(perform(Kind::back), std::nullopt);
    settle();
    EXPECT_EQ(read().location, "Home");

    go("Shop");
    EXPECT_EQ(on("Delete Account", Kind::click), std::nullopt);
    settle();
    EXPECT_EQ(perform(Kind::back), std::nullopt);
    settle();
    EXPECT_EQ(read().location, "Shop");
    EXPECT_FALSE(app->accountDeleted());

    app->showPhotoPicker();
    settle();
    EXPECT_EQ(read().location, "Photos");
    EXPECT_EQ(perform(Kind::back), std::nullopt);
    settle();
    EXPECT_EQ(read().location, "Shop");
}

TEST_F(Performing, AFailureStaysOnOneLineWhateverTheLabel) {
    auto root = app->window()->rootViewController()->view();
    auto button = std::make_shared<ui::Button>("Pay\nnow", ui::Rect{16, 500, 200, 44});
    button->setEnabled(false);
    root->addSubview(button);
    EXPECT_EQ(on("Pay\nnow", Kind::click), "failed: Pay now is disabled");
}

TEST_F(Performing, AnAlertWithoutCancelMustBeAnswered) {
    auto root = app->window()->rootViewController();
    auto alert = std::make_shared<ui::AlertController>("Update required", "");
    alert->addAction({"Update", ui::AlertAction::Style::normal, {}});
    ASSERT_TRUE(root->present(alert, false));
    EXPECT_EQ(perform(Kind::back), "failed: the alert has no cancel button; choose one of its buttons");
}

TEST_F(Performing, NavigateRunsTheRouteActionMatchedByName) {
    EXPECT_EQ(perform(Kind::navigate, std::nullopt, "settings page"), std::nullopt);
    settle();
    EXPECT_EQ(read().location, "Settings");
}

using Settling = Surface;

TEST_F(Settling, AStillScreenSettlesAfter200Milliseconds) {
    settle();
    EXPECT_EQ(elapsed(), 200ms);
}

TEST_F(Settling, ATransitionIsWaitedForUntilTheScreenRepeats) {
    auto nav = std::dynamic_pointer_cast<ui::NavigationController>(app->tabs()->selectedViewController());
    nav->pushViewController(std::make_shared<ui::ViewController>("Next"), true);
    settle();
    EXPECT_FALSE(ui::Application::shared()->isTransitionRunning());
    EXPECT_EQ(elapsed(), 560ms);  // 200, then rounds at 320 (running), 440 (changed), 560 (same)
    EXPECT_EQ(read().location, "Next");
}

TEST_F(Settling, AScreenThatNeverStopsChangingGivesUpAfter25Rounds) {
    auto label = std::make_shared<ui::Label>("0", ui::Rect{0, 300, 100, 40});
    app->window()->rootViewController()->view()->addSubview(label);
    int ticks = 0;
    std::function<void()> tick;
    std::vector<rt::Timer> timers;
    tick = [&] {
        label->setText(std::to_string(++ticks));
        timers.push_back(actor->schedule(50ms, tick));
    };
    tick();
    auto handle = rt::spawn(surface->settle(), actor);
    actor->runUntil([&] { return handle.isDone(); });
    EXPECT_EQ(elapsed(), 200ms + 25 * 120ms);
    timers.clear();
}

TEST_F(Settling, ACancelledRunStopsSettlingAtOnce) {
    auto handle = rt::spawn(surface->settle(), actor);
    actor->runFor(50ms);
    handle.cancel();
    actor->runUntil([&] { return handle.isDone(); });
    EXPECT_TRUE(handle.isDone());
    EXPECT_LT(elapsed(), 200ms);
}
