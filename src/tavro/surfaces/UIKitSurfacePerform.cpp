// Performing actions on the native surface: each kind becomes the touches a person would make,
// and every failure is one line beginning "failed: " written for a model.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/ContextMenuController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "tavro/core/TavroText.h"
#include "tavro/surfaces/UIKitSurface.h"
#include "tavro/surfaces/UIKitSurfaceParts.h"

namespace tavro {

using namespace surfaceparts;

namespace {

using Kind = TavroAction::Kind;
using Failure = std::optional<std::string>;

// One line for the model, whatever line breaks the app's labels hold.
Failure fail(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return "failed: " + std::move(text);
}

// The part of the window left visible by every clipping view above the view.
ui::Rect visibleArea(const ui::View& view, const ui::Window& window) {
    ui::Rect clip{0, 0, window.frame().width, window.frame().height};
    for (auto p = view.superview(); p && p->role() != ui::Role::window; p = p->superview()) {
        if (p->clipsToBounds() || p->role() == ui::Role::scroll) clip = clip.intersection(p->frameInWindow());
    }
    return clip;
}

// A touch lands on the middle of a view: it is on screen when that point is visible.
bool onScreen(const ui::View& view, const ui::Window& window) {
    const ui::Rect f = view.frameInWindow();
    return !f.isEmpty() && visibleArea(view, window).contains(f.center());
}

// Scrolls every scroll view around the view so that the view comes into sight.
void bringIntoView(const ui::View& view) {
    for (auto p = view.superview(); p; p = p->superview()) {
        if (auto scroll = std::dynamic_pointer_cast<ui::ScrollView>(p)) {
            const ui::Rect f = view.frameInWindow();
            const ui::Rect s = scroll->frameInWindow();
            const ui::Point offset = scroll->contentOffset();
            scroll->scrollRectToVisible({f.x - s.x + offset.x, f.y - s.y + offset.y, f.width, f.height});
        }
    }
}

bool isOnWord(const std::string& word) {
    static const std::vector<std::string> words = {"on", "yes", "true", "1", "enable", "enabled", "オン"};
    return std::find(words.begin(), words.end(), word) != words.end();
}
bool isOffWord(const std::string& word) {
    static const std::vector<std::string> words = {"off", "no", "false", "0", "disable", "disabled", "オフ"};
    return std::find(words.begin(), words.end(), word) != words.end();
}

std::string number(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    std::string text = buffer;
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text == "-0" ? "0" : text;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

// The index of the option the text names, as every choice of an option reads it.
std::optional<std::size_t> optionIndex(const std::vector<std::string>& options, const std::string& text) {
    return TavroText::option(text, options);
}

// A slider value from text: a number, a percentage of the range, or the words for the ends.
std::optional<double> sliderValue(const std::string& text, const ui::Slider& slider) {
    const std::string t = TavroText::lower(TavroText::trim(text));
    for (const char* word : {"max", "maximum", "highest", "largest", "most", "full"}) {
        if (t == word) return slider.maximumValue();
    }
    for (const char* word : {"min", "minimum", "lowest", "smallest", "least", "none"}) {
        if (t == word) return slider.minimumValue();
    }
    const auto found = t.find_first_of("-+.0123456789");
    if (found == std::string::npos) return std::nullopt;
    const char* start = t.c_str() + found;
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    if (end == start || !std::isfinite(value)) return std::nullopt;
    if (*end == '%') return slider.minimumValue() + (slider.maximumValue() - slider.minimumValue()) * value / 100;
    return value;
}

bool controlDisabled(const ui::View& view) {
    const auto* control = dynamic_cast<const ui::Control*>(&view);
    return (control && !control->isEnabled()) || !view.receivesTouches();
}

// The direction content moves for a scroll (text "up", "left", "right", else down).
ui::ScrollDirection scrollDirection(const std::string& text) {
    const std::string t = TavroText::lower(text);
    if (t.find("up") != std::string::npos) return ui::ScrollDirection::up;
    if (t.find("left") != std::string::npos) return ui::ScrollDirection::left;
    if (t.find("right") != std::string::npos) return ui::ScrollDirection::right;
    return ui::ScrollDirection::down;
}

bool vertical(ui::ScrollDirection d) { return d == ui::ScrollDirection::up || d == ui::ScrollDirection::down; }

bool canScroll(const ui::ScrollView& scroll, ui::ScrollDirection d) {
    return vertical(d) ? scroll.canScrollVertically() : scroll.canScrollHorizontally();
}

std::string atEndText(ui::ScrollDirection d, bool paged) {
    switch (d) {
    case ui::ScrollDirection::up: return "already at the top";
    case ui::ScrollDirection::down: return "already at the bottom";
    case ui::ScrollDirection::left: return paged ? "already on the first page" : "already at the left edge";
    case ui::ScrollDirection::right: return paged ? "already on the last page" : "already at the right edge";
    }
    return "already at the end";
}

// The view itself or the nearest view above it that scrolls that way.
std::shared_ptr<ui::ScrollView> enclosingScroll(const std::shared_ptr<ui::View>& view, ui::ScrollDirection d,
                                                bool pagedOnly) {
    for (auto v = view; v; v = v->superview()) {
        auto scroll = std::dynamic_pointer_cast<ui::ScrollView>(v);
        if (scroll && canScroll(*scroll, d) && (!pagedOnly || scroll->isPagingEnabled())) return scroll;
    }
    return nullptr;
}

// The scroll view of the subtree with the largest visible area that scrolls that way.
struct Largest {
    const UIKitSurface& surface;
    ui::ScrollDirection direction;
    bool pagedOnly;
    std::shared_ptr<ui::ScrollView> best;
    double bestArea = 0;

    void visit(const std::shared_ptr<ui::View>& view, const ui::Rect& clip) {
        if (view->isHidden() || view->alpha() < 0.01 || view->accessibilityElementsHidden()) return;
        const auto& ident = view->accessibilityIdentifier();
        for (const auto& prefix : surface.excludedIdentifierPrefixes) {
            if (!prefix.empty() && ident.starts_with(prefix)) return;
        }
        if (view->role() == ui::Role::web) return;
        const ui::Rect f = view->role() == ui::Role::window ? clip : view->frameInWindow();
        const ui::Rect shown = clip.intersection(f);
        if (view->role() == ui::Role::scroll) {
            auto scroll = std::static_pointer_cast<ui::ScrollView>(view);
            const double area = shown.width * shown.height;
            if (area > bestArea && canScroll(*scroll, direction) && (!pagedOnly || scroll->isPagingEnabled())) {
                best = scroll;
                bestArea = area;
            }
        }
        const ui::Rect inner = (view->clipsToBounds() || view->role() == ui::Role::scroll) ? shown : clip;
        for (const auto& sub : view->subviews()) visit(sub, inner);
    }
};

std::shared_ptr<ui::ScrollView> largestScroll(const UIKitSurface& surface, const std::shared_ptr<ui::View>& root,
                                              const ui::Window& window, ui::ScrollDirection d, bool pagedOnly) {
    Largest finder{surface, d, pagedOnly, nullptr, 0};
    finder.visit(root, ui::Rect{0, 0, window.frame().width, window.frame().height});
    return finder.best;
}

Failure scrollOnce(ui::ScrollView& scroll, ui::ScrollDirection d) {
    if (scroll.isAtEnd(d)) return fail(atEndText(d, scroll.isPagingEnabled() && !vertical(d)));
    if (!scroll.scrollPage(d)) return fail("nothing to scroll here");
    return std::nullopt;
}

// The element's state for a switch or a checklist row, and a tap that changes it.
std::optional<bool> checkState(const ui::View& view) {
    if (view.role() == ui::Role::toggle) return static_cast<const ui::Switch&>(view).isOn();
    if (const auto* cell = dynamic_cast<const ui::TableViewCell*>(&view); cell && cell->isCheckable()) {
        return cell->isChecked();
    }
    return std::nullopt;
}

// A failure unless the element can be touched: enabled, and on screen once scrolled into view.
Failure reach(const Target& target) {
    if (controlDisabled(*target.view)) return fail(target.name + " is disabled");
    if (!onScreen(*target.view, *target.window)) bringIntoView(*target.view);
    if (!onScreen(*target.view, *target.window)) return fail("element " + std::to_string(target.id) + " is not on screen");
    return std::nullopt;
}

Failure tap(const Target& target) {
    if (auto failure = reach(target)) return failure;
    if (!target.view->tap()) return fail(target.name + " cannot be tapped");
    return std::nullopt;
}

// A switch or checklist row with "on" or "off" goes to that state; otherwise a tap flips it.
Failure setCheck(const Target& target, const std::string& text) {
    if (auto failure = reach(target)) return failure;
    const std::string word = TavroText::norm(text);
    const auto state = checkState(*target.view);
    if (state && ((isOnWord(word) && *state) || (isOffWord(word) && !*state))) return std::nullopt;
    if (!target.view->tap()) return fail(target.name + " cannot be tapped");
    return std::nullopt;
}

// Replaces the text of a text field or text view, then presses return when asked to submit.
Failure typeText(const Target& target, const std::string& text, bool submit) {
    const ui::Role role = target.role;
    if (role != ui::Role::textField && role != ui::Role::textView) return fail(target.name + " is not a text field");
    auto& view = *target.view;
    if (role == ui::Role::textView && !static_cast<ui::TextView&>(view).isEditable()) {
        return fail(target.name + " is read-only");
    }
    if (auto failure = reach(target)) return failure;
    if (!view.becomeFirstResponder()) return fail(target.name + " cannot be edited");
    const bool typed = role == ui::Role::textField ? static_cast<ui::TextField&>(view).replaceText(text)
                                                   : static_cast<ui::TextView&>(view).replaceText(text);
    if (!typed) return fail(target.name + " cannot be edited");
    if (!submit) return std::nullopt;
    if (role == ui::Role::textField) {
        static_cast<ui::TextField&>(view).pressReturn();
    } else {
        static_cast<ui::TextView&>(view).pressReturn();
    }
    return std::nullopt;
}

// Picks the option the text names among a control's options (segments or picker rows).
Failure chooseOption(const Target& target, const std::vector<std::string>& options, const std::string& text,
                     const std::function<bool(int)>& choose) {
    const auto index = optionIndex(options, text);
    if (!index) return fail(target.name + " has no option “" + text + "”; options: " + joined(options));
    if (auto failure = reach(target)) return failure;
    if (!choose(static_cast<int>(*index))) return fail(target.name + " is disabled");
    return std::nullopt;
}

// Moves a slider to the value the text gives, within its range.
Failure slideTo(const Target& target, ui::Slider& slider, const std::string& text) {
    const auto value = sliderValue(text, slider);
    const double slack = (slider.maximumValue() - slider.minimumValue()) * 1e-9;
    if (!value || *value < slider.minimumValue() - slack || *value > slider.maximumValue() + slack) {
        return fail(target.name + " takes a number from " + number(slider.minimumValue()) + " to " +
                    number(slider.maximumValue()));
    }
    if (auto failure = reach(target)) return failure;
    if (!slider.slide(*value)) return fail(target.name + " is disabled");
    return std::nullopt;
}

bool takesAValue(ui::Role role) {
    return role == ui::Role::segmented || role == ui::Role::picker || role == ui::Role::slider;
}

// The direction the finger moves for a swipe's text, or nothing when it names none.
std::optional<ui::ScrollDirection> fingerDirection(const std::string& text) {
    const std::string t = TavroText::lower(text);
    for (auto [word, d] : {std::pair{"left", ui::ScrollDirection::left}, std::pair{"right", ui::ScrollDirection::right},
                           std::pair{"up", ui::ScrollDirection::up}, std::pair{"down", ui::ScrollDirection::down}}) {
        if (t.find(word) != std::string::npos) return d;
    }
    return std::nullopt;
}

// Content follows the finger: a swipe to the left brings in what lies to the right.
ui::ScrollDirection opposite(ui::ScrollDirection d) {
    switch (d) {
    case ui::ScrollDirection::left: return ui::ScrollDirection::right;
    case ui::ScrollDirection::right: return ui::ScrollDirection::left;
    case ui::ScrollDirection::up: return ui::ScrollDirection::down;
    case ui::ScrollDirection::down: return ui::ScrollDirection::up;
    }
    return ui::ScrollDirection::up;
}

// A sideways swipe on a table row runs the row's swipe actions.
Failure swipeRow(const Target& target, ui::TableViewCell& cell, ui::ScrollDirection finger) {
    auto table = cell.tableView();
    const auto path = cell.indexPath();
    if (auto failure = reach(target)) return failure;
    if (!table || !path || !table->swipeRow(*path, finger == ui::ScrollDirection::right)) {
        return fail(target.name + " has no swipe actions");
    }
    return std::nullopt;
}

// A swipe on a slider moves it a tenth of its range: up for right and up, down otherwise.
Failure nudgeSlider(const Target& target, ui::Slider& slider, ui::ScrollDirection finger) {
    const bool up = finger == ui::ScrollDirection::right || finger == ui::ScrollDirection::up;
    if (auto failure = reach(target)) return failure;
    const double step = (slider.maximumValue() - slider.minimumValue()) / 10;
    slider.slide(slider.value() + (up ? step : -step));
    return std::nullopt;
}

// The menu a long press shows for a view without a long-press handler of its own: its custom
// actions and, for a table row, its swipe actions, as a long press on a reader's element shows them.
ui::Menu pressMenu(const std::shared_ptr<ui::View>& view, const std::string& title) {
    ui::Menu menu{title, {}};
    std::weak_ptr<ui::View> weak = view;
    for (const auto& custom : view->accessibilityCustomActions()) {
        menu.actions.push_back({custom.name, "", false, false, [weak, name = custom.name] {
                                    if (auto v = weak.lock()) v->performAccessibilityCustomAction(name);
                                }});
    }
    auto* cell = dynamic_cast<ui::TableViewCell*>(view.get());
    auto table = cell ? cell->tableView() : nullptr;
    const auto path = cell ? cell->indexPath() : std::nullopt;
    if (!table || !path) return menu;
    for (bool leading : {true, false}) {
        for (const auto& swipe : table->swipeActions(*path, leading)) {
            menu.actions.push_back({swipe.title, "", swipe.style == ui::ContextualAction::Style::destructive, false,
                                    [handler = swipe.handler] {
                                        if (handler) handler();
                                    }});
        }
    }
    return menu;
}

// The deepest navigation stack with somewhere to go back to, on the way down from the controller.
std::shared_ptr<ui::NavigationController> deepestStack(const std::shared_ptr<ui::ViewController>& top) {
    std::shared_ptr<ui::NavigationController> deepest;
    for (auto vc = top; vc; vc = vc->visibleChild()) {
        auto nav = std::dynamic_pointer_cast<ui::NavigationController>(vc);
        if (nav && nav->viewControllers().size() > 1) deepest = nav;
    }
    return deepest;
}

// Closes what is presented on top: an alert through its cancel button, a menu or a share sheet
// closes, a navigation stack inside pops, anything else is dismissed.
Failure closePresented(const std::shared_ptr<ui::ViewController>& top,
                       const std::shared_ptr<ui::NavigationController>& stack) {
    if (auto alert = std::dynamic_pointer_cast<ui::AlertController>(top)) {
        const auto cancel = alert->cancelActionIndex();
        if (!cancel) return fail("the alert has no cancel button; choose one of its buttons");
        if (!alert->tapAction(*cancel) && !alert->isBeingDismissed()) return fail("the alert cannot be cancelled");
        return std::nullopt;
    }
    if (auto menu = std::dynamic_pointer_cast<ui::ContextMenuController>(top)) {
        menu->close(true);
    } else if (auto sheet = std::dynamic_pointer_cast<ui::ActivityViewController>(top)) {
        sheet->close();
    } else if (stack) {
        stack->popViewController(true);
    } else {
        top->dismiss(true);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> UIKitSurface::performNow(const TavroAction& action) {
    if (!action.isSurfaceAction()) return fail(std::string(kindName(action.kind)) + " is not a screen action");
    if (action.kind == Kind::navigate) return performNavigate(action.text);
    Target target;
    if (auto failure = locate(action, target)) return failure;
    switch (action.kind) {
    case Kind::click: return performClick(target, action.text);
    case Kind::type: return performType(target, action.text, action.submit);
    case Kind::select: return performSelect(target, action.text);
    case Kind::scroll: return performScroll(target, action.text);
    case Kind::swipe: return performSwipe(target, action.text);
    case Kind::longPress: return performLongPress(target);
    case Kind::back: return performBack(*target.window);
    default: break;
    }
    return fail(std::string(kindName(action.kind)) + " is not a screen action");
}

std::optional<std::string> UIKitSurface::locate(const TavroAction& action, Target& target) {
    target.window = appWindow();
    if (!target.window) return fail("nothing on screen");
    const auto& window = target.window;
    target.root = readableRoot(window);

    std::optional<std::int64_t> id = action.id;
    if (!id && action.kind == Kind::type) {
        // Typing without an element goes where the keyboard is.
        auto responder = window->firstResponder();
        if (isTextInput(responder.get())) {
            auto known = ids_.find(responder->serial());
            if (known != ids_.end()) id = known->second;
        }
        if (!id) return fail("type needs the id of a text field");
    }
    if (!id) {
        if (action.kind == Kind::click || action.kind == Kind::select || action.kind == Kind::longPress) {
            return fail(std::string(kindName(action.kind)) + " needs an element id");
        }
        return std::nullopt;
    }

    // The element the action names, found again in the window as it is now.
    std::shared_ptr<ui::View> view;
    const auto found = views_.find(*id);
    if (found != views_.end()) view = found->second.view.lock();
    bool reachable = view && view->window() == window && view->isVisibleInHierarchy() &&
                     (target.root == window || view == target.root || view->isDescendantOf(*target.root));
    for (auto v = view; reachable && v; v = v->superview()) {
        if (v->accessibilityElementsHidden() || isExcluded(v->accessibilityIdentifier())) reachable = false;
    }
    if (!reachable) return fail("element " + std::to_string(*id) + " is not on screen");
    target.view = view;
    target.id = *id;
    target.role = view->role();
    target.name = labelOf(*view);
    if (target.name.empty()) target.name = "element " + std::to_string(*id);
    return std::nullopt;
}

std::optional<std::string> UIKitSurface::performNavigate(const std::string& route) {
    if (routeTable.empty()) return fail("this app has no routes; tap the app's buttons instead");
    auto entry = routeTable.find(route);
    if (entry == routeTable.end()) {
        if (auto name = TavroText::match(route, routes())) entry = routeTable.find(*name);
    }
    if (entry == routeTable.end()) return fail("no route named “" + route + "”");
    if (auto open = entry->second) open();
    return std::nullopt;
}

std::optional<std::string> UIKitSurface::performClick(const Target& target, const std::string& text) {
    if (takesAValue(target.role)) {
        if (!text.empty()) return performSelect(target, text);
        return fail(target.name + " takes a value; use select with one of its options");
    }
    if (checkState(*target.view)) return setCheck(target, text);
    return tap(target);
}

std::optional<std::string> UIKitSurface::performType(const Target& target, const std::string& text, bool submit) {
    if (takesAValue(target.role)) return performSelect(target, text);
    if (checkState(*target.view)) return setCheck(target, text);
    return typeText(target, text, submit);
}

std::optional<std::string> UIKitSurface::performSelect(const Target& target, const std::string& text) {
    auto& view = *target.view;
    switch (target.role) {
    case ui::Role::segmented: {
        auto& control = static_cast<ui::SegmentedControl&>(view);
        return chooseOption(target, control.segments(), text, [&](int index) { return control.selectSegment(index); });
    }
    case ui::Role::picker: {
        auto& picker = static_cast<ui::PickerView&>(view);
        return chooseOption(target, picker.options(), text, [&](int index) { return picker.pick(index); });
    }
    case ui::Role::slider: return slideTo(target, static_cast<ui::Slider&>(view), text);
    case ui::Role::textField:
    case ui::Role::textView: return typeText(target, text, false);
    default: break;
    }
    if (!checkState(view)) return tap(target);
    const std::string word = TavroText::norm(text);
    if (!isOnWord(word) && !isOffWord(word)) return fail(target.name + " is a switch; choose on or off");
    return setCheck(target, text);
}

std::optional<std::string> UIKitSurface::performScroll(const Target& target, const std::string& text) {
    const auto direction = scrollDirection(text);
    const auto scroll = target.view ? enclosingScroll(target.view, direction, false)
                                    : largestScroll(*this, target.root, *target.window, direction, false);
    if (!scroll) return fail("nothing to scroll here");
    return scrollOnce(*scroll, direction);
}

std::optional<std::string> UIKitSurface::performSwipe(const Target& target, const std::string& text) {
    const auto finger = fingerDirection(text);
    if (!finger) return fail("swipe needs left, right, up or down");
    const auto content = opposite(*finger);
    // Sideways, a paged scroll view (a banner) wins over the plain one around it.
    std::shared_ptr<ui::ScrollView> scroll;
    if (target.view) {
        auto* cell = dynamic_cast<ui::TableViewCell*>(target.view.get());
        if (cell && !vertical(*finger)) return swipeRow(target, *cell, *finger);
        if (target.role == ui::Role::slider) return nudgeSlider(target, static_cast<ui::Slider&>(*target.view), *finger);
        if (!vertical(content)) scroll = enclosingScroll(target.view, content, true);
        if (!scroll) scroll = enclosingScroll(target.view, content, false);
    } else {
        if (!vertical(content)) scroll = largestScroll(*this, target.root, *target.window, content, true);
        if (!scroll) scroll = largestScroll(*this, target.root, *target.window, content, false);
    }
    if (!scroll) return fail("nothing to swipe here");
    return scrollOnce(*scroll, content);
}

std::optional<std::string> UIKitSurface::performLongPress(const Target& target) {
    if (auto failure = reach(target)) return failure;
    if (target.view->longPress()) return std::nullopt;
    auto menu = pressMenu(target.view, target.name);
    if (menu.actions.empty()) return fail(target.name + " has no long-press action");
    auto top = target.window->topPresentedViewController();
    std::weak_ptr<ui::View> source = target.view;
    if (!top || !top->present(std::make_shared<ui::ContextMenuController>(std::move(menu), source), true)) {
        return fail(target.name + " has no long-press action");
    }
    return std::nullopt;
}

std::optional<std::string> UIKitSurface::performBack(ui::Window& window) {
    // The keyboard goes first, then what is presented on top, then a navigation stack.
    if (isTextInput(window.firstResponder().get())) {
        window.endEditing();
        return std::nullopt;
    }
    const auto top = window.topPresentedViewController();
    const auto stack = deepestStack(top);
    if (top && top != window.rootViewController()) return closePresented(top, stack);
    if (!stack) return fail("nothing to go back to");
    stack->popViewController(true);
    return std::nullopt;
}

}  // namespace tavro
