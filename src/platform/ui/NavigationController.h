// A navigation controller: a stack of controllers with a navigation bar on top (title, back
// button, bar buttons). Pushing slides the new top in and popping slides it out, each taking the
// transition time when animated; the stack itself changes at once.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace ui {

class NavigationBar : public View {
public:
    static constexpr double height = 44;
    NavigationBar();

    std::string_view className() const override { return "UINavigationBar"; }

    const std::shared_ptr<Label>& titleLabel() const { return title_; }
    // The back button; hidden at the root of the stack.
    const std::shared_ptr<Button>& backButton() const { return back_; }
    const std::vector<std::shared_ptr<Button>>& itemButtons() const { return items_; }

    void layoutSubviews() override;

private:
    friend class NavigationController;
    std::shared_ptr<Label> title_;
    std::shared_ptr<Button> back_;
    std::vector<std::shared_ptr<Button>> items_;
};

class NavigationController : public ViewController {
public:
    explicit NavigationController(std::shared_ptr<ViewController> root);

    std::string_view className() const override { return "UINavigationController"; }

    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
    std::shared_ptr<ViewController> topViewController() const;
    // The top controller, or what it presents.
    std::shared_ptr<ViewController> visibleViewController() const;
    std::shared_ptr<ViewController> visibleChild() const override { return topViewController(); }

    void pushViewController(std::shared_ptr<ViewController> controller, bool animated);
    // Pops the top controller and returns it; nothing at the root.
    std::shared_ptr<ViewController> popViewController(bool animated);
    // Pops down to the root; returns the popped controllers.
    std::vector<std::shared_ptr<ViewController>> popToRootViewController(bool animated);
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated);

    const std::shared_ptr<NavigationBar>& navigationBar();
    bool isNavigationBarHidden() const { return barHidden_; }
    void setNavigationBarHidden(bool hidden);

    // The area below the bar where the top controller's view sits (in this view's coordinates).
    Rect contentFrame();

protected:
    void loadView() override;
    void childTitleChanged(ViewController& child) override;

private:
    void show(const std::shared_ptr<ViewController>& incoming, const std::shared_ptr<ViewController>& outgoing,
              bool forward, bool animated);
    void updateBar();
    void adoptChildren();

    std::vector<std::shared_ptr<ViewController>> stack_;
    std::shared_ptr<NavigationBar> bar_;
    std::shared_ptr<View> content_;
    bool barHidden_ = false;
};

}  // namespace ui
