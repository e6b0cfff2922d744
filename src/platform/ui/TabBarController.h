// A tab bar controller: a row of tabs at the bottom, each showing one child controller. A person
// taps a tab to switch; tapping the selected tab of a navigation stack pops it to its root.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Control.h"
#include "platform/ui/ViewController.h"

namespace ui {

class TabBarController;

class TabBarButton : public Control {
public:
    explicit TabBarButton(std::string title) : title_(std::move(title)) {}

    std::string_view className() const override { return "UITabBarButton"; }
    Role role() const override { return Role::tab; }

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    // A person's tap: the tab bar controller switches to this tab.
    bool tap() override;

protected:
    std::string defaultAccessibilityLabel() const override { return title_; }
    Traits defaultTraits() const override;

private:
    friend class TabBarController;
    std::string title_;
    std::weak_ptr<TabBarController> owner_;
    int index_ = 0;
};

class TabBar : public View {
public:
    static constexpr double height = 49;
    using View::View;
    std::string_view className() const override { return "UITabBar"; }
    const std::vector<std::shared_ptr<TabBarButton>>& buttons() const { return buttons_; }
    void layoutSubviews() override;

private:
    friend class TabBarController;
    std::vector<std::shared_ptr<TabBarButton>> buttons_;
};

class TabBarController : public ViewController {
public:
    TabBarController() = default;

    std::string_view className() const override { return "UITabBarController"; }

    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return tabs_; }
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);
    int selectedIndex() const { return selected_; }
    // Switches tabs as code does.
    void setSelectedIndex(int index);
    std::shared_ptr<ViewController> selectedViewController() const;
    std::shared_ptr<ViewController> visibleChild() const override { return selectedViewController(); }
    // A person's tap on the tab: switches to it, or pops a navigation stack to its root when it
    // is already selected. False for an index out of range or a bar that cannot be touched.
    bool tapTab(int index);
    // Told when a person switches tabs.
    void setOnSelect(std::function<void(int)> handler) { onSelect_ = std::move(handler); }

    const std::shared_ptr<TabBar>& tabBar();

protected:
    void loadView() override;
    void childTitleChanged(ViewController& child) override;

private:
    void rebuildBar();
    void showSelected(int previous);

    std::vector<std::shared_ptr<ViewController>> tabs_;
    std::shared_ptr<TabBar> bar_;
    std::shared_ptr<View> content_;
    std::function<void(int)> onSelect_;
    int selected_ = 0;
};

}  // namespace ui
