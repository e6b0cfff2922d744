#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/ContextMenuController.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TextField.h"

using namespace ui;
using namespace std::chrono_literals;
using uitest::UiTest;

namespace {

// A screen that records what it was told.
class Screen : public ViewController {
public:
    explicit Screen(std::string title, std::vector<std::string>* log = nullptr)
        : ViewController(std::move(title)), log_(log) {}

protected:
    void viewDidAppear(bool) override {
        if (log_) log_->push_back(title() + " appeared");
    }
    void viewDidDisappear(bool) override {
        if (log_) log_->push_back(title() + " disappeared");
    }

private:
    std::vector<std::string>* log_;
};

}  // namespace

using Controllers = UiTest;

TEST_F(Controllers, PushTakesTheTransitionTimeAndSwapsTheViewsAtTheEnd) {
    std::vector<std::string> log;
    auto home = std::make_shared<Screen>("Home", &log);
    auto nav = std::make_shared<NavigationController>(home);
    window->setRootViewController(nav);
    log.clear();
    auto settings = std::make_shared<Screen>("Settings", &log);

    nav->pushViewController(settings, true);
    EXPECT_EQ(nav->topViewController(), settings);
    EXPECT_EQ(settings->navigationController(), nav);
    EXPECT_TRUE(app->isTransitionRunning());
    EXPECT_TRUE(nav->isTransitionRunning());
    EXPECT_FALSE(settings->view()->frameInWindow().intersects(window->bounds()));  // still sliding in
    actor->runFor(349ms);
    EXPECT_TRUE(app->isTransitionRunning());
    actor->runFor(1ms);
    EXPECT_FALSE(app->isTransitionRunning());
    EXPECT_EQ(elapsed(), 350ms);
    EXPECT_EQ(settings->view()->frameInWindow(), (Rect{0, NavigationBar::height, 390, 844 - NavigationBar::height}));
    EXPECT_EQ(home->view()->window(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"Settings appeared", "Home disappeared"}));
    EXPECT_EQ(nav->navigationBar()->titleLabel()->text(), "Settings");
    EXPECT_FALSE(nav->navigationBar()->backButton()->isHidden());
    EXPECT_EQ(nav->navigationBar()->backButton()->title(), "Back");
}

TEST_F(Controllers, BackButtonPopsAndTheRootHasNoBackButton) {
    auto home = std::make_shared<Screen>("Home");
    auto nav = std::make_shared<NavigationController>(home);
    window->setRootViewController(nav);
    auto profile = std::make_shared<Screen>("Profile");
    nav->pushViewController(profile, false);
    EXPECT_FALSE(app->isTransitionRunning());
    EXPECT_TRUE(nav->navigationBar()->backButton()->tap());
    EXPECT_EQ(nav->viewControllers().size(), 1u);
    EXPECT_TRUE(app->isTransitionRunning());
    EXPECT_EQ(profile->view()->window(), window);  // leaving on top of the revealed screen
    actor->runUntilIdle();
    EXPECT_EQ(profile->view()->window(), nullptr);
    EXPECT_EQ(profile->parent(), nullptr);
    EXPECT_TRUE(nav->navigationBar()->backButton()->isHidden());
    EXPECT_EQ(nav->popViewController(true), nullptr);
}

TEST_F(Controllers, ANewPushFinishesTheRunningOneFirst) {
    auto nav = std::make_shared<NavigationController>(std::make_shared<Screen>("A"));
    window->setRootViewController(nav);
    auto b = std::make_shared<Screen>("B");
    auto c = std::make_shared<Screen>("C");
    nav->pushViewController(b, true);
    nav->pushViewController(c, true);
    actor->runUntilIdle();
    EXPECT_EQ(elapsed(), 350ms);
    EXPECT_EQ(nav->viewControllers().size(), 3u);
    EXPECT_EQ(b->view()->window(), nullptr);
    EXPECT_EQ(c->view()->window(), window);
    auto popped = nav->popToRootViewController(false);
    EXPECT_EQ(popped.size(), 2u);
    EXPECT_EQ(c->view()->window(), nullptr);
    EXPECT_EQ(nav->navigationBar()->titleLabel()->text(), "A");
}

TEST_F(Controllers, PresentAndDismissRunTheirCompletionsAfterTheTransition) {
    auto root = std::make_shared<Screen>("Root");
    window->setRootViewController(root);
    auto sheet = std::make_shared<Screen>("Sheet");
    std::vector<std::string> done;
    EXPECT_TRUE(root->present(sheet, true, [&] { done.push_back("presented"); }));
    EXPECT_EQ(root->presentedViewController(), sheet);
    EXPECT_EQ(sheet->presentingViewController(), root);
    EXPECT_TRUE(sheet->isBeingPresented());
    EXPECT_FALSE(root->present(std::make_shared<Screen>("Other"), false));  // already presenting
    actor->runUntilIdle();
    EXPECT_EQ(done, (std::vector<std::string>{"presented"}));
    EXPECT_EQ(window->topPresentedViewController(), sheet);
    EXPECT_TRUE(sheet->view()->superview()->accessibilityViewIsModal());

    sheet->dismiss(true, [&] { done.push_back("dismissed"); });
    EXPECT_TRUE(app->isTransitionRunning());
    EXPECT_EQ(root->presentedViewController(), sheet);  // until the dismissal ends
    actor->runUntilIdle();
    EXPECT_EQ(done, (std::vector<std::string>{"presented", "dismissed"}));
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(sheet->view()->window(), nullptr);
    EXPECT_EQ(elapsed(), 700ms);
}

TEST_F(Controllers, DismissingFromTheBottomRemovesTheWholeChain) {
    auto root = std::make_shared<Screen>("Root");
    window->setRootViewController(root);
    auto first = std::make_shared<Screen>("First");
    auto second = std::make_shared<Screen>("Second");
    ASSERT_TRUE(root->present(first, false));
    ASSERT_TRUE(first->present(second, false));
    EXPECT_EQ(window->topPresentedViewController(), second);
    bool done = false;
    root->dismiss(false, [&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_EQ(window->topPresentedViewController(), root);
    EXPECT_EQ(first->presentedViewController(), nullptr);
    EXPECT_EQ(window->subviews().size(), 1u);
}

TEST_F(Controllers, PresentingFromAChildUsesItsOutermostParentAndNeedsAWindow) {
    auto child = std::make_shared<Screen>("Child");
    auto nav = std::make_shared<NavigationController>(child);
    EXPECT_FALSE(child->present(std::make_shared<Screen>("Nowhere"), false));  // not in a window
    window->setRootViewController(nav);
    auto sheet = std::make_shared<Screen>("Sheet");
    ASSERT_TRUE(child->present(sheet, false));
    EXPECT_EQ(sheet->presentingViewController(), nav);
    EXPECT_EQ(nav->visibleViewController(), sheet);
    child->dismiss(false);
    EXPECT_EQ(nav->presentedViewController(), nullptr);
}

TEST_F(Controllers, AlertActionDismissesAndThenRunsItsHandler) {
    auto root = std::make_shared<Screen>("Root");
    window->setRootViewController(root);
    std::vector<std::string> log;
    auto alert = std::make_shared<AlertController>("Buy Coffee?", "$12.00");
    alert->addAction({"Cancel", AlertAction::Style::cancel, [&] { log.push_back("cancel"); }});
    alert->addAction({"Buy", AlertAction::Style::normal, [&] {
                          log.push_back(root->presentedViewController() ? "buy while shown" : "buy");
                      }});
    EXPECT_FALSE(alert->tapAction(1));  // not on screen yet
    ASSERT_TRUE(root->present(alert, true));
    actor->runUntilIdle();
    EXPECT_EQ(alert->cancelActionIndex(), 0u);
    EXPECT_EQ(alert->buttonForAction(1)->title(), "Buy");
    EXPECT_TRUE(alert->buttonForAction(1)->tap());
    EXPECT_FALSE(alert->tapAction(0));  // answered once
    EXPECT_TRUE(log.empty());
    actor->runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"buy"}));
    EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(Controllers, LongPressShowsTheContextMenuAndItsActionRunsAfterItCloses) {
    auto root = std::make_shared<Screen>("Root");
    window->setRootViewController(root);
    auto bubble = std::make_shared<Label>("hi", Rect{20, 300, 100, 40});
    root->view()->addSubview(bubble);
    std::vector<std::string> ran;
    bubble->setContextMenu(Menu{"", {{"Copy", "copy", false, false, [&] { ran.push_back("copy"); }},
                                     {"Delete", "delete", true, false, [&] { ran.push_back("delete"); }}}});
    ASSERT_TRUE(bubble->longPress());
    auto menu = std::dynamic_pointer_cast<ContextMenuController>(root->presentedViewController());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->sourceView(), bubble);
    actor->runUntilIdle();
    EXPECT_GT(menu->view()->frameInWindow().minY(), 340);  // below the bubble
    EXPECT_TRUE(menu->tapAction(1));
    actor->runUntilIdle();
    EXPECT_EQ(ran, (std::vector<std::string>{"delete"}));
    EXPECT_EQ(root->presentedViewController(), nullptr);

    ASSERT_TRUE(bubble->longPress());
    actor->runUntilIdle();
    menu = std::dynamic_pointer_cast<ContextMenuController>(root->presentedViewController());
    ASSERT_NE(menu, nullptr);
    menu->close(false);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(ran.size(), 1u);
}

TEST_F(Controllers, TabsSwitchOnTapAndReselectingPopsToTheRoot) {
    auto chats = std::make_shared<NavigationController>(std::make_shared<Screen>("Chats"));
    auto settings = std::make_shared<NavigationController>(std::make_shared<Screen>("Settings"));
    auto tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers({chats, settings});
    window->setRootViewController(tabs);
    std::vector<int> picked;
    tabs->setOnSelect([&](int i) { picked.push_back(i); });

    const auto& buttons = tabs->tabBar()->buttons();
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[1]->accessibilityLabel(), "Settings");
    EXPECT_NE(buttons[0]->accessibilityTraits() & Trait::selected, 0u);
    EXPECT_TRUE(buttons[1]->tap());
    EXPECT_EQ(tabs->selectedViewController(), settings);
    EXPECT_EQ(chats->view()->window(), nullptr);
    EXPECT_EQ(settings->view()->window(), window);
    EXPECT_EQ(buttons[0]->accessibilityTraits() & Trait::selected, 0u);

    settings->pushViewController(std::make_shared<Screen>("Wi-Fi"), false);
    EXPECT_TRUE(buttons[1]->tap());
    actor->runUntilIdle();
    EXPECT_EQ(settings->viewControllers().size(), 1u);
    EXPECT_EQ(picked, (std::vector<int>{1}));
}

TEST_F(Controllers, ShareSheetCopiesItsTextAndTellsItsCompletion) {
    auto root = std::make_shared<Screen>("Root");
    window->setRootViewController(root);
    auto sheet = std::make_shared<ActivityViewController>(std::vector<ActivityItem>{std::string("Hello Tuli")});
    EXPECT_EQ(sheet->popoverPresentationController(), nullptr);  // a phone shows a sheet
    std::string activity = "none";
    bool completed = false;
    sheet->setCompletionHandler([&](const std::string& a, bool c) {
        activity = a;
        completed = c;
    });
    ASSERT_TRUE(root->present(sheet, true));
    actor->runUntilIdle();
    EXPECT_TRUE(sheet->copyItems());
    EXPECT_FALSE(sheet->close());
    actor->runUntilIdle();
    EXPECT_EQ(Pasteboard::general()->string(), "Hello Tuli");
    EXPECT_EQ(activity, "copyToPasteboard");
    EXPECT_TRUE(completed);
    EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(Controllers, OnATabletTheShareSheetIsAPopoverWithAnAnchor) {
    app->setUserInterfaceIdiom(Application::Idiom::pad);
    ActivityViewController sheet({Image::filled(2, 2, Color::white())});
    auto* popover = sheet.popoverPresentationController();
    ASSERT_NE(popover, nullptr);
    auto anchor = std::make_shared<View>(Rect{0, 0, 100, 100});
    popover->sourceView = anchor;
    popover->sourceRect = {50, 60, 1, 1};
    popover->permittedArrowDirections = 0;
    EXPECT_EQ(sheet.popoverPresentationController()->sourceView.lock(), anchor);
    EXPECT_EQ(sheet.popoverPresentationController()->permittedArrowDirections, 0u);
}

TEST_F(Controllers, ClosingASheetWithAFocusedFieldPutsTheKeyboardAway) {
    auto root = std::make_shared<Screen>("Root");
    window->setRootViewController(root);
    auto sheet = std::make_shared<Screen>("Compose");
    auto field = std::make_shared<TextField>("Message", Rect{0, 0, 200, 44});
    sheet->view()->addSubview(field);
    ASSERT_TRUE(root->present(sheet, false));
    ASSERT_TRUE(field->tap());
    EXPECT_TRUE(app->isKeyboardVisible());
    sheet->dismiss(false);
    EXPECT_FALSE(app->isKeyboardVisible());
}
