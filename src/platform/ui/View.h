// The base of every on-screen object of the headless UI toolkit: a rectangle in its superview with
// subviews, appearance flags, accessibility facts (identifier, label, value, traits, custom actions)
// and the touch behaviours a person can apply to it (tap, long press, context menu).
//
// Views live in std::shared_ptr; a superview owns its subviews and each subview refers back weakly.
// Reading a large tree is a walk over `subviews()` with `role()` telling what each view is, so a
// reader needs no casts to find out; rarely used parts live in a side record allocated on demand.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace ui {

class Window;

// What a view is, for readers of the tree. Each class of the toolkit reports its own role.
enum class Role : std::uint8_t {
    none,        // a plain container
    staticText,  // a label
    button,
    toggle,      // a switch
    textField,
    textView,
    segmented,
    picker,
    slider,
    tab,         // a tab bar's button
    cell,        // a table or collection cell
    scroll,      // a scroll view (tables and collections included)
    image,
    humanCheck,  // a check only a person may answer
    web,
    window,
};

// Accessibility traits, combined as bits.
using Traits = std::uint32_t;
namespace Trait {
inline constexpr Traits none = 0;
inline constexpr Traits button = 1u << 0;
inline constexpr Traits link = 1u << 1;
inline constexpr Traits header = 1u << 2;
inline constexpr Traits searchField = 1u << 3;
inline constexpr Traits image = 1u << 4;
inline constexpr Traits selected = 1u << 5;
inline constexpr Traits notEnabled = 1u << 6;
inline constexpr Traits staticText = 1u << 7;
inline constexpr Traits adjustable = 1u << 8;
inline constexpr Traits tabBar = 1u << 9;
}  // namespace Trait

// A named action an assistive reader can run on a view; the handler answers whether it ran.
struct AccessibilityCustomAction {
    std::string name;
    std::function<bool()> handler;
};

// One entry of a context menu.
struct MenuAction {
    std::string title;
    std::string identifier;
    bool destructive = false;
    bool disabled = false;
    std::function<void()> handler;
};

// A context menu: a title and its actions, shown by a long press.
struct Menu {
    std::string title;
    std::vector<MenuAction> actions;
};

class View : public std::enable_shared_from_this<View> {
public:
    View();
    explicit View(const Rect& frame);
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // The platform class name this view stands for ("UIView", "UIButton", ...).
    virtual std::string_view className() const { return "UIView"; }
    virtual Role role() const { return Role::none; }
    // A number no other view of the process has; never reused.
    std::uint64_t serial() const { return serial_; }

    // ---- geometry ----
    const Rect& frame() const { return frame_; }
    // Sets the frame; a change of size lays the subviews out again.
    void setFrame(const Rect& frame);
    // The view's own coordinate space: its size, with the origin a scroll view moves.
    Rect bounds() const { return {boundsOrigin_.x, boundsOrigin_.y, frame_.width, frame_.height}; }
    Point boundsOrigin() const { return boundsOrigin_; }
    // The frame in the coordinates of the window at the top of the chain (or of the topmost view
    // when the view is in no window).
    Rect frameInWindow() const;
    // A rectangle in this view's bounds coordinates, converted to window coordinates.
    Rect convertToWindow(const Rect& rect) const;

    // ---- hierarchy ----
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    std::shared_ptr<View> superview() const { return superview_.lock(); }
    // Adds the view on top of the others (moving it from its old superview first).
    void addSubview(std::shared_ptr<View> view);
    void insertSubview(std::shared_ptr<View> view, std::size_t index);
    void removeFromSuperview();
    void removeAllSubviews();
    void bringSubviewToFront(const View& view);
    // The window at the top of the chain, or nothing when the view is in no window.
    std::shared_ptr<Window> window() const;
    bool isDescendantOf(const View& ancestor) const;
    // The first view in this subtree (depth first, this view included) with that identifier.
    std::shared_ptr<View> findByIdentifier(std::string_view identifier);

    // ---- appearance ----
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    double alpha() const { return alpha_; }
    void setAlpha(double alpha) { alpha_ = alpha; }
    bool clipsToBounds() const { return clipsToBounds_; }
    void setClipsToBounds(bool clips) { clipsToBounds_ = clips; }
    const Color& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const Color& color) { backgroundColor_ = color; }
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    // Not hidden, not transparent, here and in every superview.
    bool isVisibleInHierarchy() const;

    // ---- touches ----
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    // Whether a touch can reach this view: visible and interactive along the whole chain.
    bool receivesTouches() const;
    // A tap gesture on a plain view; controls have their own actions.
    void setOnTap(std::function<void()> handler);
    bool hasTapHandler() const;
    void setOnLongPress(std::function<void()> handler);
    bool hasLongPressHandler() const;
    void setContextMenu(std::optional<Menu> menu);
    const Menu* contextMenu() const;

    // A person's tap: runs what the view does on a tap. False when nothing responds (hidden,
    // disabled, interaction off, or the view has no tap behaviour).
    virtual bool tap();
    // A person's long press: shows the context menu over the window's top view controller, else
    // runs the long-press handler. False when the view has neither or cannot be touched.
    virtual bool longPress();

    // ---- accessibility ----
    const std::string& accessibilityIdentifier() const { return identifier_; }
    void setAccessibilityIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    // The label set on the view, else the class's own (a button's title, a label's text, ...).
    std::string accessibilityLabel() const;
    void setAccessibilityLabel(std::optional<std::string> label) { label_ = std::move(label); }
    bool hasExplicitAccessibilityLabel() const { return label_.has_value(); }
    // The value set on the view, else the class's own (a switch's "1" or "0", a field's text, ...).
    std::string accessibilityValue() const;
    void setAccessibilityValue(std::optional<std::string> value) { value_ = std::move(value); }
    // The traits set on the view combined with the class's own.
    Traits accessibilityTraits() const { return traits_ | defaultTraits(); }
    void setAccessibilityTraits(Traits traits) { traits_ = traits; }
    // Further names a person might use for the view.
    const std::vector<std::string>& accessibilityUserInputLabels() const;
    void setAccessibilityUserInputLabels(std::vector<std::string> labels);
    const std::vector<AccessibilityCustomAction>& accessibilityCustomActions() const;
    void setAccessibilityCustomActions(std::vector<AccessibilityCustomAction> actions);
    // Runs the custom action of that name; false when there is none or it did not run.
    bool performAccessibilityCustomAction(std::string_view name);
    // Hides this view and its subviews from assistive readers.
    bool accessibilityElementsHidden() const { return elementsHidden_; }
    void setAccessibilityElementsHidden(bool hidden) { elementsHidden_ = hidden; }
    // Readers ignore the siblings of a modal view (and their subviews).
    bool accessibilityViewIsModal() const { return viewIsModal_; }
    void setAccessibilityViewIsModal(bool modal) { viewIsModal_ = modal; }

    // ---- first responder ----
    virtual bool canBecomeFirstResponder() const { return false; }
    // Takes the window's keyboard focus; false when the view cannot (or is in no window).
    bool becomeFirstResponder();
    bool resignFirstResponder();
    bool isFirstResponder() const;

    // ---- layout ----
    // Lays out the subviews for the current size; called when the size changes.
    virtual void layoutSubviews() {}
    void layoutIfNeeded() { layoutSubviews(); }

protected:
    virtual std::string defaultAccessibilityLabel() const { return {}; }
    virtual std::string defaultAccessibilityValue() const { return {}; }
    virtual Traits defaultTraits() const { return Trait::none; }
    // Told when the view gains (true) or loses (false) the keyboard focus.
    virtual void firstResponderChanged(bool /*isFirst*/) {}

private:
    friend class Window;
    struct Extras {
        std::function<void()> onTap;
        std::function<void()> onLongPress;
        std::optional<Menu> menu;
        std::vector<AccessibilityCustomAction> customActions;
        std::vector<std::string> userInputLabels;
    };
    Extras& extras();
    void detachFromParent();
    void willLeaveWindow(Window& window);

    std::vector<std::shared_ptr<View>> subviews_;
    std::weak_ptr<View> superview_;
    std::unique_ptr<Extras> extras_;
    std::string identifier_;
    std::optional<std::string> label_;
    std::optional<std::string> value_;
    Rect frame_;
    Point boundsOrigin_;
    Color backgroundColor_;
    double alpha_ = 1;
    std::uint64_t serial_;
    Traits traits_ = Trait::none;
    int tag_ = 0;
    bool hidden_ = false;
    bool clipsToBounds_ = false;
    bool userInteractionEnabled_ = true;
    bool elementsHidden_ = false;
    bool viewIsModal_ = false;
    bool inSuperview_ = false;

protected:
    // Scroll views move their bounds origin to scroll.
    void setBoundsOriginInternal(Point origin) { boundsOrigin_ = origin; }
};

}  // namespace ui

namespace ui {

// A plain view that lays out its subviews with a function (containers of view controllers).
class ContainerView : public View {
public:
    using View::View;
    void setOnLayout(std::function<void(ContainerView&)> layout) { onLayout_ = std::move(layout); }
    void layoutSubviews() override {
        if (onLayout_) onLayout_(*this);
    }

private:
    std::function<void(ContainerView&)> onLayout_;
};

}  // namespace ui
