// A view controller: owns one screen's view (loaded on first use), its title and navigation item,
// its place among parent and child controllers, and modal presentation: present another controller
// over it and dismiss it again, each with an optional completion. Animated transitions take
// `transitionDuration` on the main actor's clock; meanwhile the application reports a transition
// running. A new transition on the same controller first finishes the one in progress at once.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/MainActor.h"
#include "platform/ui/View.h"

namespace ui {

class NavigationController;
class TabBarController;
class Window;

// How long an animated push, pop, presentation or dismissal takes.
inline constexpr std::chrono::milliseconds transitionDuration{350};

enum class ModalPresentationStyle : std::uint8_t { fullScreen, pageSheet, overFullScreen, popover };

// A button in a navigation bar.
struct BarButtonItem {
    std::string title;
    std::string identifier;
    std::function<void()> handler;
    bool enabled = true;
};

// What a navigation bar shows while the controller is on top of a navigation stack.
struct NavigationItem {
    std::string title;  // empty: the controller's title is shown
    std::optional<std::string> backButtonTitle;
    std::vector<BarButtonItem> leftBarButtonItems;
    std::vector<BarButtonItem> rightBarButtonItems;
    bool hidesBackButton = false;
};

namespace ArrowDirection {
inline constexpr unsigned up = 1, down = 2, left = 4, right = 8, any = 15;
}

// Where a popover points: a source view and a rectangle in its bounds.
struct PopoverPresentationController {
    std::weak_ptr<View> sourceView;
    Rect sourceRect;
    unsigned permittedArrowDirections = ArrowDirection::any;
};

class ViewController : public std::enable_shared_from_this<ViewController> {
public:
    ViewController();
    explicit ViewController(std::string title);
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    virtual std::string_view className() const { return "UIViewController"; }

    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    // Changing the item directly? Call navigationItemChanged() so a visible bar follows.
    NavigationItem& navigationItem() { return navigationItem_; }
    const NavigationItem& navigationItem() const { return navigationItem_; }
    void navigationItemChanged();
    // The navigation item's title, else the controller's title.
    std::string displayTitle() const;

    // ---- the view ----
    // The controller's view, loaded (loadView, then viewDidLoad) on first use.
    std::shared_ptr<View> view();
    std::shared_ptr<View> viewIfLoaded() const { return view_; }
    bool isViewLoaded() const { return static_cast<bool>(view_); }
    // The window the view is in, if any.
    std::shared_ptr<Window> window() const;

    // ---- containment ----
    std::shared_ptr<ViewController> parent() const { return parent_.lock(); }
    const std::vector<std::shared_ptr<ViewController>>& children() const { return children_; }
    void addChild(std::shared_ptr<ViewController> child);
    void removeFromParent();
    // The nearest navigation or tab bar controller above this one.
    std::shared_ptr<NavigationController> navigationController() const;
    std::shared_ptr<TabBarController> tabBarController() const;
    // For containers: the child a person sees (a navigation stack's top, the selected tab).
    virtual std::shared_ptr<ViewController> visibleChild() const { return nullptr; }

    // ---- modal presentation ----
    std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
    std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }
    // Presents the controller over this one's outermost parent. False (and no completion) when
    // that controller already presents one, its view is in no window, or the controller is
    // already presented somewhere.
    bool present(std::shared_ptr<ViewController> controller, bool animated, std::function<void()> completion = {});
    // Dismisses what this controller presents (and everything above it); a controller that
    // presents nothing dismisses itself. The completion runs when the dismissal is over; it runs at
    // once when there is nothing to dismiss.
    void dismiss(bool animated, std::function<void()> completion = {});
    ModalPresentationStyle modalPresentationStyle() const { return style_; }
    void setModalPresentationStyle(ModalPresentationStyle style) { style_ = style; }
    // Present while the style is popover.
    PopoverPresentationController* popoverPresentationController();
    bool isBeingPresented() const { return beingPresented_; }
    bool isBeingDismissed() const { return beingDismissed_; }

    // A push, pop, tab switch, presentation or dismissal of this controller is in progress.
    bool isTransitionRunning() const { return static_cast<bool>(transition_); }
    // Ends the transition in progress at once, as if its time had passed.
    void finishTransition();

protected:
    // Creates the view; the default is a plain view the size of the screen.
    virtual void loadView();
    void setView(std::shared_ptr<View> view) { view_ = std::move(view); }
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    // Told when a child's title or navigation item changed (containers refresh their bars).
    virtual void childTitleChanged(ViewController& /*child*/) {}
    // The presented view's frame in a window of the given bounds.
    virtual Rect presentationFrame(const Rect& windowBounds) const;
    // Runs `finish` after the transition time (animated) or at once; the application reports a
    // transition running meanwhile. A transition still in progress is finished first.
    void runTransition(bool animated, std::function<void()> finish);

    // Appearance callbacks for containers that move children in and out of view.
    // Each is passed on to the child a container shows.
    static void callWillAppear(ViewController& vc, bool animated);
    static void callDidAppear(ViewController& vc, bool animated);
    static void callWillDisappear(ViewController& vc, bool animated);
    static void callDidDisappear(ViewController& vc, bool animated);

private:
    friend class Window;
    struct Transition;
    void setParent(const std::shared_ptr<ViewController>& parent) { parent_ = parent; }
    std::shared_ptr<ViewController> outermost();

    std::string title_;
    NavigationItem navigationItem_;
    std::shared_ptr<View> view_;
    std::weak_ptr<ViewController> parent_;
    std::vector<std::shared_ptr<ViewController>> children_;
    std::shared_ptr<ViewController> presented_;
    std::weak_ptr<ViewController> presenting_;
    std::shared_ptr<View> presentationView_;  // the container that holds the view while presented
    std::unique_ptr<PopoverPresentationController> popover_;
    std::unique_ptr<Transition> transition_;
    ModalPresentationStyle style_ = ModalPresentationStyle::pageSheet;
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
};

}  // namespace ui
