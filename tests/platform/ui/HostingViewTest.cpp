// The host view of node trees: building, rebuilding on published changes, pressing.
#include <memory>

#include "UiTestSupport.h"
#include "platform/foundation/Published.h"
#include "platform/ui/HostingView.h"

namespace uitest {
namespace {

using HostingViewTest = UiTest;

TEST_F(HostingViewTest, RebuildsOnceOnTheMainActorAfterChanges) {
    fnd::Published<int> count{0};
    fnd::Published<std::string> name{std::string("a")};
    auto view = ui::HostingView::create([&] {
        return views::Text(name.value() + std::to_string(count.value())) | views::identifier("label");
    });
    EXPECT_EQ(view->builds(), 1);
    view->observe(count);
    view->observe(name);
    count.set(1);
    count.set(2);
    name.set("b");
    EXPECT_EQ(view->find("label")->text, "a0") << "not rebuilt inside the change";
    EXPECT_TRUE(view->rebuildPending());
    actor->runUntilIdle();
    EXPECT_EQ(view->builds(), 2) << "three changes, one rebuild";
    EXPECT_EQ(view->find("label")->text, "b2");

    view->stopObserving();
    count.set(3);
    actor->runUntilIdle();
    EXPECT_EQ(view->builds(), 2);
}

TEST_F(HostingViewTest, AViewGoneBeforeItsRebuildIsLeftAlone) {
    fnd::Published<int> value{0};
    int built = 0;
    auto view = ui::HostingView::create([&] {
        ++built;
        return views::Text(std::to_string(value.value()));
    });
    view->observe(value);
    value.set(1);
    view.reset();
    actor->runUntilIdle();
    EXPECT_EQ(built, 1);
    value.set(2);  // the subscription ended with the view
    actor->runUntilIdle();
    EXPECT_EQ(built, 1);
}

TEST_F(HostingViewTest, PressingAButtonThatChangesWhatItShows) {
    fnd::Published<bool> open{false};
    auto view = ui::HostingView::create([&] {
        return views::VStack({views::Button(open.value() ? "Close" : "Open", [&] { open.set(!open.value()); }) |
                              views::identifier("toggle.panel")});
    });
    view->observe(open);
    window->addSubview(view);
    EXPECT_TRUE(view->press("Open"));
    EXPECT_TRUE(open.value());
    actor->runUntilIdle();
    EXPECT_NE(view->findText("Close"), nullptr);
    EXPECT_FALSE(view->press("Open")) << "the rebuilt tree has no such button";
    EXPECT_TRUE(view->press("toggle.panel"));
    EXPECT_FALSE(open.value());

    view->setHidden(true);
    EXPECT_FALSE(view->press("toggle.panel")) << "a hidden view takes no touch";
    view->setHidden(false);
    window->setUserInteractionEnabled(false);
    EXPECT_FALSE(view->press("toggle.panel"));
}

TEST_F(HostingViewTest, TappingTheViewPressesItsRootButton) {
    int taps = 0;
    auto view = ui::HostingView::create([&] { return views::Button(views::Image("sparkles"), [&] { ++taps; }); });
    window->addSubview(view);
    EXPECT_TRUE(view->tap());
    EXPECT_EQ(taps, 1);
    view->setBody([] { return views::Text("plain"); });
    EXPECT_FALSE(view->tap()) << "nothing to press";
    view->setOnTap([&] { taps += 10; });
    EXPECT_TRUE(view->tap());
    EXPECT_EQ(taps, 11);
}

}  // namespace
}  // namespace uitest
