// Performing actions on the native surface: each kind becomes the touches a person would make,
// and every failure is one line beginning "failed: " written for a model.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

// The index of the option the text names: exactly, else as the name matcher reads it.
std::optional<std::size_t> optionIndex(const std::vector<std::string>& options, const std::string& text) {
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i] == text) return i;
    }
    if (auto name = TavroText::match(text, options)) {
        for (std::size_t i = 0; i < options.size(); ++i) {
            if (options[i] == *name) return i;
        }
    }
    return std::nullopt;
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

}  // namespace

std::optional<std::string> UIKitSurface::performNow(const TavroAction& action) {
    switch (action.kind) {
    case Kind::click:
    case Kind::type:
    case Kind::select:
    case Kind::scroll:
    case Kind::swipe:
    case Kind::longPress:
    case Kind::navigate:
    case Kind::back: break;
    default: return fail(std::string(kindName(action.kind)) + " is not a screen action");
    }

    if (action.kind == Kind::navigate) {
        if (routeTable.empty()) return fail("this app has no routes; tap the app's buttons instead");
        auto route = routeTable.find(action.text);
        if (route == routeTable.end()) {
            if (auto name = TavroText::match(action.text, routes())) route = routeTable.find(*name);
        }
        if (route == routeTable.end()) return fail("no route named “" + action.text + "”");
        if (auto open = route->second) open();
        return std::nullopt;
    }

    auto window = appWindow();
    if (!window) return fail("nothing on screen");
    const auto root = readableRoot(window);

    // The element the action names, found again in the window as it is now.
    std::shared_ptr<ui::View> view;
    std::string name;
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
    if (id) {
        const auto found = views_.find(*id);
        if (found != views_.end()) view = found->second.view.lock();
        bool reachable = view && view->window() == window && view->isVisibleInHierarchy() &&
                         (root == window || view == root || view->isDescendantOf(*root));
        for (auto v = view; reachable && v; v = v->superview()) {
            if (v->accessibilityElementsHidden() || isExcluded(v->accessibilityIdentifier())) reachable = false;
        }
        if (!reachable) return fail("element " + std::to_string(*id) + " is not on screen");
        name = labelOf(*view);
        if (name.empty()) name = "element " + std::to_string(*id);
    } else if (action.kind == Kind::click || action.kind == Kind::select || action.kind == Kind::longPress) {
        return fail(std::string(kindName(action.kind)) + " needs an element id");
    }

    const auto reach = [&]() -> Failure {
        if (controlDisabled(*view)) return fail(name + " is disabled");
        if (!onScreen(*view, *window)) bringIntoView(*view);
        if (!onScreen(*view, *window)) return fail("element " + std::to_string(*id) + " is not on screen");
        return std::nullopt;
    };
    const ui::Role role = view ? view->role() : ui::Role::none;

    // A switch or checklist row with "on" or "off" goes to that state; otherwise a tap flips it.
    const auto setCheck = [&](const std::string& text) -> Failure {
        if (auto failure = reach()) return failure;
        const std::string word = TavroText::norm(text);
        const auto state = checkState(*view);
        if (state && ((isOnWord(word) && *state) || (isOffWord(word) && !*state))) return std::nullopt;
        if (!view->tap()) return fail(name + " cannot be tapped");
        return std::nullopt;
    };

    const auto type = [&](const std::string& text, bool submit) -> Failure {
        if (role != ui::Role::textField && role != ui::Role::textView) return fail(name + " is not a text field");
        if (role == ui::Role::textView && !static_cast<ui::TextView&>(*view).isEditable()) {
            return fail(name + " is read-only");
        }
        if (auto failure = reach()) return failure;
        if (!view->becomeFirstResponder()) return fail(name + " cannot be edited");
        const bool typed = role == ui::Role::textField ? static_cast<ui::TextField&>(*view).replaceText(text)
                                                       : static_cast<ui::TextView&>(*view).replaceText(text);
        if (!typed) return fail(name + " cannot be edited");
        if (submit) {
            if (role == ui::Role::textField) {
                static_cast<ui::TextField&>(*view).pressReturn();
            } else {
                static_cast<ui::TextView&>(*view).pressReturn();
            }
        }
        return std::nullopt;
    };

    const auto tap = [&]() -> Failure {
        if (auto failure = reach()) return failure;
        if (!view->tap()) return fail(name + " cannot be tapped");
        return std::nullopt;
    };

    const auto select = [&](const std::string& text) -> Failure {
        switch (role) {
        case ui::Role::segmented: {
            auto& control = static_cast<ui::SegmentedControl&>(*view);
            const auto index = optionIndex(control.segments(), text);
            if (!index) return fail(name + " has no option “" + text + "”; options: " + joined(control.segments()));
            if (auto failure = reach()) return failure;
            if (!control.selectSegment(static_cast<int>(*index))) return fail(name + " is disabled");
            return std::nullopt;
        }
        case ui::Role::picker: {
            auto& picker = static_cast<ui::PickerView&>(*view);
            const auto index = optionIndex(picker.options(), text);
            if (!index) return fail(name + " has no option “" + text + "”; options: " + joined(picker.options()));
            if (auto failure = reach()) return failure;
            if (!picker.pick(static_cast<int>(*index))) return fail(name + " is disabled");
            return std::nullopt;
        }
        case ui::Role::slider: {
            auto& slider = static_cast<ui::Slider&>(*view);
            const auto value = sliderValue(text, slider);
            const double span = slider.maximumValue() - slider.minimumValue();
            const double slack = span * 1e-9;
            if (!value || *value < slider.minimumValue() - slack || *value > slider.maximumValue() + slack) {
                return fail(name + " takes a number from " + number(slider.minimumValue()) + " to " +
                            number(slider.maximumValue()));
            }
            if (auto failure = reach()) return failure;
            if (!slider.slide(*value)) return fail(name + " is disabled");
            return std::nullopt;
        }
        case ui::Role::textField:
        case ui::Role::textView: return type(text, false);
        default: break;
        }
        if (checkState(*view)) {
            const std::string word = TavroText::norm(text);
            if (!isOnWord(word) && !isOffWord(word)) return fail(name + " is a switch; choose on or off");
            return setCheck(text);
        }
        return tap();
    };

    switch (action.kind) {
    case Kind::click:
        if (role == ui::Role::segmented || role == ui::Role::picker || role == ui::Role::slider) {
            if (!action.text.empty()) return select(action.text);
            return fail(name + " takes a value; use select with one of its options");
        }
        if (checkState(*view)) return setCheck(action.text);
        return tap();

    case Kind::type:
        if (role == ui::Role::segmented || role == ui::Role::picker || role == ui::Role::slider) {
            return select(action.text);
        }
        if (checkState(*view)) return setCheck(action.text);
        return type(action.text, action.submit);

    case Kind::select: return select(action.text);

    case Kind::scroll: {
        const auto direction = scrollDirection(action.text);
        std::shared_ptr<ui::ScrollView> scroll;
        if (view) {
            scroll = enclosingScroll(view, direction, false);
        } else {
            scroll = largestScroll(*this, root, *window, direction, false);
        }
        if (!scroll) return fail("nothing to scroll here");
        return scrollOnce(*scroll, direction);
    }

    case Kind::swipe: {
        const std::string t = TavroText::lower(action.text);
        std::optional<ui::ScrollDirection> finger;
        for (auto [word, d] : {std::pair{"left", ui::ScrollDirection::left}, std::pair{"right", ui::ScrollDirection::right},
                               std::pair{"up", ui::ScrollDirection::up}, std::pair{"down", ui::ScrollDirection::down}}) {
            if (t.find(word) != std::string::npos) {
                finger = d;
                break;
            }
        }
        if (!finger) return fail("swipe needs left, right, up or down");
        // Content follows the finger: a swipe to the left brings in what lies to the right.
        const auto content = *finger == ui::ScrollDirection::left    ? ui::ScrollDirection::right
                             : *finger == ui::ScrollDirection::right ? ui::ScrollDirection::left
                             : *finger == ui::ScrollDirection::up    ? ui::ScrollDirection::down
                                                                     : ui::ScrollDirection::up;
        if (view) {
            if (auto* cell = dynamic_cast<ui::TableViewCell*>(view.get()); cell && !vertical(*finger)) {
                auto table = cell->tableView();
                const auto path = cell->indexPath();
                if (auto failure = reach()) return failure;
                if (!table || !path || !table->swipeRow(*path, *finger == ui::ScrollDirection::right)) {
                    return fail(name + " has no swipe actions");
                }
                return std::nullopt;
            }
            if (role == ui::Role::slider) {
                auto& slider = static_cast<ui::Slider&>(*view);
                const bool up = *finger == ui::ScrollDirection::right || *finger == ui::ScrollDirection::up;
                if (auto failure = reach()) return failure;
                const double step = (slider.maximumValue() - slider.minimumValue()) / 10;
                slider.slide(slider.value() + (up ? step : -step));
                return std::nullopt;
            }
            auto scroll = vertical(content) ? nullptr : enclosingScroll(view, content, true);
            if (!scroll) scroll = enclosingScroll(view, content, false);
            if (!scroll) return fail("nothing to swipe here");
            return scrollOnce(*scroll, content);
        }
        std::shared_ptr<ui::ScrollView> scroll;
        if (!vertical(content)) scroll = largestScroll(*this, root, *window, content, true);
        if (!scroll) scroll = largestScroll(*this, root, *window, content, false);
        if (!scroll) return fail("nothing to swipe here");
        return scrollOnce(*scroll, content);
    }

    case Kind::longPress: {
        if (auto failure = reach()) return failure;
        if (view->longPress()) return std::nullopt;
        // Custom actions and a row's swipe actions are offered as a menu, as a long press on a
        // reader's element shows them.
        ui::Menu menu{name, {}};
        std::weak_ptr<ui::View> weak = view;
        for (const auto& custom : view->accessibilityCustomActions()) {
            menu.actions.push_back({custom.name, "", false, false, [weak, title = custom.name] {
                                        if (auto v = weak.lock()) v->performAccessibilityCustomAction(title);
                                    }});
        }
        if (auto* cell = dynamic_cast<ui::TableViewCell*>(view.get())) {
            auto table = cell->tableView();
            const auto path = cell->indexPath();
            if (table && path) {
                for (bool leading : {true, false}) {
                    for (const auto& swipe : table->swipeActions(*path, leading)) {
                        menu.actions.push_back({swipe.title, "", swipe.style == ui::ContextualAction::Style::destructive,
                                                false, [handler = swipe.handler] {
                                                    if (handler) handler();
                                                }});
                    }
                }
            }
        }
        if (menu.actions.empty()) return fail(name + " has no long-press action");
        auto top = window->topPresentedViewController();
        if (!top || !top->present(std::make_shared<ui::ContextMenuController>(std::move(menu), weak), true)) {
            return fail(name + " has no long-press action");
        }
        return std::nullopt;
    }

    case Kind::back: {
        if (isTextInput(window->firstResponder().get())) {
            window->endEditing();
            return std::nullopt;
        }
        auto top = window->topPresentedViewController();
        const bool presented = top && top != window->rootViewController();
        // A navigation stack on the way down from the top controller pops first.
        std::shared_ptr<ui::NavigationController> deepest;
        for (auto vc = top; vc; vc = vc->visibleChild()) {
            if (auto nav = std::dynamic_pointer_cast<ui::NavigationController>(vc); nav && nav->viewControllers().size() > 1) {
                deepest = nav;
            }
        }
        if (presented) {
            if (auto alert = std::dynamic_pointer_cast<ui::AlertController>(top)) {
                const auto cancel = alert->cancelActionIndex();
                if (!cancel) return fail("the alert has no cancel button; choose one of its buttons");
                if (!alert->tapAction(*cancel) && !alert->isBeingDismissed()) return fail("the alert cannot be cancelled");
                return std::nullopt;
            }
            if (auto menu = std::dynamic_pointer_cast<ui::ContextMenuController>(top)) {
                menu->close(true);
                return std::nullopt;
            }
            if (auto sheet = std::dynamic_pointer_cast<ui::ActivityViewController>(top)) {
                sheet->close();
                return std::nullopt;
            }
            if (deepest) {
                deepest->popViewController(true);
                return std::nullopt;
            }
            top->dismiss(true);
            return std::nullopt;
        }
        if (deepest) {
            deepest->popViewController(true);
            return std::nullopt;
        }
        return fail("nothing to go back to");
    }

    default: break;
    }
    return fail(std::string(kindName(action.kind)) + " is not a screen action");
}

}  // namespace tavro
