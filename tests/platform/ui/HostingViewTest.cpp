// The host view of node trees: rebuilding on published changes, pressing, tapping.
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
    auto view = ui::HostingView::create([&] { return views::Text(name.value() + std::to_string(count.value())); });
    view->observe(count);
    view->observe(name);
    count.set(1);
    count.set(2);
    name.set("b");
    EXPECT_NE(view->findText("a0"), nullptr) << "not rebuilt inside the change";
    actor->runUntilIdle();
    EXPECT_EQ(view->builds(), 2) << "three changes, one rebuild";
    EXPECT_NE(view->findText("b2"), nullptr);

    view->stopObserving();
    count.set(3);
    // A view gone before its rebuild is left alone.
    auto other = ui::HostingView::create([&] { return views::Text(std::to_string(count.value())); });
    other->observe(count);
    count.set(4);
    other.reset();
    actor->runUntilIdle();
    EXPECT_EQ(view->builds(), 2);
}

TEST_F(HostingViewTest, PressingAndTappingAsAPersonWould) {
    fnd::Published<bool> open{false};
    auto view = ui::HostingView::create([&] {
        return views::Button(open.value() ? "Close" : "Open", [&] { open.set(!open.value()); }) |
               views::identifier("panel.toggle");
    });
    view->observe(open);
    window->addSubview(view);
    EXPECT_TRUE(view->press("Open"));
    actor->runUntilIdle();
    EXPECT_FALSE(view->press("Open")) << "the rebuilt tree has no such button";
    EXPECT_TRUE(view->tap()) << "a tap presses the root button";
    EXPECT_FALSE(open.value());

    view->setHidden(true);
    EXPECT_FALSE(view->press("panel.toggle"));
    EXPECT_FALSE(view->tap());
    view->setHidden(false);
    view->setBody([] { return views::Text("plain"); });
    EXPECT_FALSE(view->tap()) << "nothing to press";
}

}  // namespace
}  // namespace uitest
