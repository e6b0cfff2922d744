#include "tavro/surfaces/UIKitSurface.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "platform/foundation/MainBundle.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/HumanCheckView.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WindowScene.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/surfaces/UIKitSurfaceParts.h"

namespace tavro {

using namespace std::chrono_literals;
using surfaceparts::ElementKind;

namespace surfaceparts {

std::string_view kindWord(ElementKind kind) {
    switch (kind) {
    case ElementKind::button: return "button";
    case ElementKind::link: return "link";
    case ElementKind::checkbox: return "checkbox";
    case ElementKind::tab: return "tab";
    case ElementKind::cell: return "cell";
    case ElementKind::input: return "input";
    case ElementKind::textarea: return "textarea";
    case ElementKind::select: return "select";
    case ElementKind::slider: return "slider";
    case ElementKind::text: return "text";
    case ElementKind::none: break;
    }
    return "";
}

bool mentionsCaptcha(std::string_view text) {
    static constexpr std::string_view word = "captcha";
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < word.size()) {
            char c = text[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != word[k]) break;
            ++k;
        }
        if (k == word.size()) return true;
    }
    return false;
}

bool hasPressActions(const ui::View& view) {
    return view.contextMenu() || view.hasLongPressHandler() || !view.accessibilityCustomActions().empty();
}

ElementKind kindOf(const ui::View& view, bool& staticText) {
    staticText = false;
    const ui::Traits traits = view.accessibilityTraits();
    switch (view.role()) {
    case ui::Role::button: return (traits & ui::Trait::link) ? ElementKind::link : ElementKind::button;
    case ui::Role::toggle: return ElementKind::checkbox;
    case ui::Role::textField: return ElementKind::input;
    case ui::Role::textView:
        if (static_cast<const ui::TextView&>(view).isEditable()) return ElementKind::textarea;
        staticText = true;
        return ElementKind::none;
    case ui::Role::segmented:
    case ui::Role::picker: return ElementKind::select;
    case ui::Role::slider: return ElementKind::slider;
    case ui::Role::tab: return ElementKind::tab;
    case ui::Role::cell: {
        if (const auto* cell = dynamic_cast<const ui::TableViewCell*>(&view)) {
            if (cell->isCheckable()) return ElementKind::checkbox;
            if ((cell->isSelectable() && cell->tableView()) || hasPressActions(view)) return ElementKind::cell;
            return ElementKind::none;
        }
        return ElementKind::cell;
    }
    case ui::Role::staticText:
        staticText = true;
        if (view.hasTapHandler()) return (traits & ui::Trait::link) ? ElementKind::link : ElementKind::button;
        if (hasPressActions(view)) return ElementKind::text;
        return ElementKind::none;
    case ui::Role::humanCheck:
        staticText = true;
        return ElementKind::none;
    case ui::Role::image:
    case ui::Role::none:
    case ui::Role::scroll:
    case ui::Role::window:
        if (view.hasTapHandler() || (traits & ui::Trait::button)) {
            return (traits & ui::Trait::link) ? ElementKind::link : ElementKind::button;
        }
        if (traits & ui::Trait::link) return ElementKind::link;
        if (hasPressActions(view) && !view.accessibilityLabel().empty()) return ElementKind::text;
        return ElementKind::none;
    case ui::Role::web: break;
    }
    return ElementKind::none;
}

bool readsInside(ui::Role role) {
    switch (role) {
    case ui::Role::button:
    case ui::Role::toggle:
    case ui::Role::textField:
    case ui::Role::textView:
    case ui::Role::segmented:
    case ui::Role::picker:
    case ui::Role::slider:
    case ui::Role::tab:
    case ui::Role::humanCheck:
    case ui::Role::web: return false;
    default: return true;
    }
}

std::string cellLabelAbove(const ui::View& view) {
    for (auto p = view.superview(); p; p = p->superview()) {
        if (p->role() == ui::Role::cell) return p->accessibilityLabel();
    }
    return {};
}

std::string labelOf(const ui::View& view) {
    std::string label = view.accessibilityLabel();
    if (label.empty()) label = cellLabelAbove(view);
    return label;
}

std::shared_ptr<ui::View> readableRoot(const std::shared_ptr<ui::Window>& window) {
    const auto& subs = window->subviews();
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        if ((*it)->accessibilityViewIsModal() && !(*it)->isHidden() && (*it)->alpha() >= 0.01) return *it;
    }
    return window;
}

std::shared_ptr<ui::ViewController> topController(const ui::Window& window) {
    auto vc = window.topPresentedViewController();
    while (vc) {
        auto child = vc->visibleChild();
        if (!child) break;
        vc = std::move(child);
    }
    return vc;
}

bool isTextInput(const ui::View* view) {
    return view && (view->role() == ui::Role::textField || view->role() == ui::Role::textView);
}

}  // namespace surfaceparts

using namespace surfaceparts;

namespace {

// A table row's swipe actions by title, on both sides: what a sideways swipe on it would run.
void swipeTitles(const ui::View& view, TavroElement& e) {
    const auto* cell = dynamic_cast<const ui::TableViewCell*>(&view);
    const auto table = cell ? cell->tableView() : nullptr;
    const auto path = cell ? cell->indexPath() : std::nullopt;
    if (!table || !path) return;
    for (const auto& action : table->swipeActions(*path, true)) e.leadingActions.push_back(action.title);
    for (const auto& action : table->swipeActions(*path, false)) e.trailingActions.push_back(action.title);
}

}  // namespace

// The buffers of one reading, kept between readings so a reading allocates little besides the
// screen it returns.
struct UIKitSurface::Reader {
    struct Item {
        double y;
        double x;
        std::uint32_t order;
        const std::shared_ptr<ui::View>* view;
        ui::Rect frame;
        std::int32_t cell;  // index into cellLabels of the row the view sits in, or -1
        ElementKind kind;
        bool inView;
    };

    const UIKitSurface& surface;
    std::vector<Item> elements;
    std::vector<Item> texts;
    std::vector<std::string> cellLabels;
    std::uint32_t order = 0;
    bool humanCheck = false;

    explicit Reader(const UIKitSurface& s) : surface(s) {}

    void clear() {
        elements.clear();
        texts.clear();
        cellLabels.clear();
        order = 0;
        humanCheck = false;
    }

    void walk(const std::shared_ptr<ui::View>& ref, double ox, double oy, const ui::Rect& clip, std::int32_t cell,
              bool inElement) {
        const ui::View& v = *ref;
        if (v.isHidden() || v.alpha() < 0.01 || v.accessibilityElementsHidden()) return;
        const std::string& ident = v.accessibilityIdentifier();
        if (!ident.empty() && surface.isExcluded(ident)) return;
        const ui::Rect& fr = v.frame();
        const ui::Rect f{ox + fr.x, oy + fr.y, fr.width, fr.height};
        const bool visible = !f.isEmpty() && clip.contains(f.center());
        if (visible && !ident.empty() && mentionsCaptcha(ident)) humanCheck = true;
        const ui::Role role = v.role();
        if (role == ui::Role::web) return;  // pages are read by the browser's own surface
        if (role == ui::Role::humanCheck && visible && !static_cast<const ui::HumanCheckView&>(v).isSolved()) {
            humanCheck = true;
        }
        bool isText = false;
        const ElementKind kind = kindOf(v, isText);
        if (kind != ElementKind::none) {
            elements.push_back({f.minY(), f.minX(), order++, &ref, f, cell, kind, visible});
        }
        if (isText && visible && !inElement) texts.push_back({f.minY(), f.minX(), order++, &ref, f, -1, kind, true});
        if (!readsInside(role) || v.subviews().empty()) return;

        std::int32_t childCell = cell;
        if (role == ui::Role::cell) {
            childCell = static_cast<std::int32_t>(cellLabels.size());
            cellLabels.push_back(v.accessibilityLabel());
        }
        const bool childInElement = inElement || kind != ElementKind::none;
        const bool clips = v.clipsToBounds() || role == ui::Role::scroll;
        const ui::Rect childClip = clips ? clip.intersection(f) : clip;
        const ui::Point bo = v.boundsOrigin();
        for (const auto& sub : v.subviews()) walk(sub, f.minX() - bo.x, f.minY() - bo.y, childClip, childCell, childInElement);
    }
};

UIKitSurface::UIKitSurface(RouteTable routes, std::vector<std::string> excludedIdentifierPrefixes)
    : routeTable(std::move(routes)) {
    this->excludedIdentifierPrefixes.reserve(excludedIdentifierPrefixes.size() + 1);
    this->excludedIdentifierPrefixes.push_back("tavro.sdk");
    for (auto& prefix : excludedIdentifierPrefixes) this->excludedIdentifierPrefixes.push_back(std::move(prefix));
}

UIKitSurface::~UIKitSurface() = default;

std::string UIKitSurface::surfaceDescription() const {
    std::string name;
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
        if (auto value = fnd::MainBundle::info(key); value && !value->empty()) {
            name = *value;
            break;
        }
    }
    if (name.empty()) name = "this app";
    return "the iOS app “" + name + "” the user is using (native screens; tap with click, fill fields with type)";
}

std::vector<std::string> UIKitSurface::routes() const {
    std::vector<std::string> names;
    names.reserve(routeTable.size());
    for (const auto& [name, action] : routeTable) names.push_back(name);
    return names;
}

bool UIKitSurface::systemAlertShowing() const {
    return ui::Application::shared()->applicationState() == ui::Application::State::inactive;
}

bool UIKitSurface::isExcluded(const std::string& identifier) const {
    for (const auto& prefix : excludedIdentifierPrefixes) {
        if (!prefix.empty() && identifier.starts_with(prefix)) return true;
    }
    return false;
}

std::shared_ptr<ui::Window> UIKitSurface::appWindow() const {
    std::vector<std::shared_ptr<ui::Window>> candidates;
    for (const auto& scene : ui::Application::shared()->connectedScenes()) {
        if (!scene->isForeground()) continue;
        for (const auto& window : scene->windows()) {
            if (isExcluded(window->accessibilityIdentifier())) continue;
            if (window->isHidden() || window->alpha() < 0.01 || window->bounds().isEmpty()) continue;
            if (window->windowLevel() >= ui::WindowLevel::alert || window->isKeyboardWindow()) continue;
            candidates.push_back(window);
        }
    }
    for (const auto& window : candidates) {
        if (window->isKeyWindow()) return window;
    }
    if (candidates.size() == 1) return candidates.front();
    std::shared_ptr<ui::Window> highest;
    for (const auto& window : candidates) {
        if (!highest || window->windowLevel() >= highest->windowLevel()) highest = window;
    }
    return highest;
}

std::optional<std::int64_t> UIKitSurface::elementId(const ui::View& view) const {
    const auto it = ids_.find(view.serial());
    if (it == ids_.end()) return std::nullopt;
    return it->second;
}

std::int64_t UIKitSurface::idFor(const std::shared_ptr<ui::View>& view) {
    const std::uint64_t serial = view->serial();
    if (auto it = ids_.find(serial); it != ids_.end()) return it->second;
    if (views_.size() >= pruneAt_) {
        for (auto it = views_.begin(); it != views_.end();) {
            if (it->second.view.expired()) {
                ids_.erase(it->second.serial);
                it = views_.erase(it);
            } else {
                ++it;
            }
        }
        pruneAt_ = std::max<std::size_t>(4096, views_.size() * 2);
    }
    const std::int64_t id = nextId_++;
    ids_.emplace(serial, id);
    views_.emplace(id, Entry{view, serial});
    return id;
}

std::optional<TavroScreen> UIKitSurface::read(bool keepFrames) {
    auto window = appWindow();
    if (!window) {
        if (keepFrames) frames_.clear();
        return std::nullopt;
    }
    if (!reader_) reader_ = std::make_unique<Reader>(*this);
    Reader& r = *reader_;
    r.clear();

    const auto root = readableRoot(window);
    const ui::Rect bounds{0, 0, window->frame().width, window->frame().height};
    if (root == window) {
        const ui::Point bo = window->boundsOrigin();
        for (const auto& sub : window->subviews()) r.walk(sub, -bo.x, -bo.y, bounds, -1, false);
    } else {
        const ui::Point bo = window->boundsOrigin();
        r.walk(root, -bo.x, -bo.y, bounds, -1, false);
    }
    const auto byReadingOrder = [](const Reader::Item& a, const Reader::Item& b) {
        if (a.y != b.y) return a.y < b.y;
        if (a.x != b.x) return a.x < b.x;
        return a.order < b.order;
    };
    std::sort(r.elements.begin(), r.elements.end(), byReadingOrder);
    std::sort(r.texts.begin(), r.texts.end(), byReadingOrder);

    TavroScreen screen;
    const auto responder = window->firstResponder();
    const ui::View* focus = responder.get();
    if (auto top = topController(*window)) {
        screen.location = top->title();
        if (screen.location.empty()) screen.location = top->navigationItem().title;
        if (screen.location.empty() && top->viewIfLoaded()) screen.location = top->viewIfLoaded()->accessibilityIdentifier();
        if (screen.location.empty()) screen.location = std::string(top->className());
        if (top->navigationController()) screen.title = top->displayTitle();
    }
    for (const auto& item : r.texts) {
        const ui::View& v = **item.view;
        std::string text;
        if (v.role() == ui::Role::textView) {
            text = static_cast<const ui::TextView&>(v).text();
        } else if (v.role() == ui::Role::humanCheck) {
            text = static_cast<const ui::HumanCheckView&>(v).prompt();
        } else {
            text = v.accessibilityLabel();
        }
        if (text.empty()) continue;
        if (mentionsCaptcha(text)) r.humanCheck = true;
        if (!screen.text.empty()) screen.text += '\n';
        screen.text += text;
    }

    screen.elements.reserve(r.elements.size());
    if (keepFrames) {
        frames_.clear();
        frames_.reserve(r.elements.size());
    }
    for (const auto& item : r.elements) {
        const ui::View& v = **item.view;
        TavroElement e;
        e.id = idFor(*item.view);
        e.kind = kindWord(item.kind);
        e.label = v.accessibilityLabel();
        if (e.label.empty() && item.cell >= 0) e.label = r.cellLabels[static_cast<std::size_t>(item.cell)];
        if (item.inView && mentionsCaptcha(e.label)) r.humanCheck = true;
        const auto addKey = [&e](const std::string& key) {
            if (!key.empty() && key != e.label && std::find(e.keys.begin(), e.keys.end(), key) == e.keys.end()) {
                e.keys.push_back(key);
            }
        };
        addKey(v.accessibilityIdentifier());
        for (const auto& name : v.accessibilityUserInputLabels()) addKey(name);
        switch (v.role()) {
        case ui::Role::textField: {
            const auto& field = static_cast<const ui::TextField&>(v);
            e.type = field.isSecureTextEntry() ? "password" : field.isSearchField() ? "search" : std::string(v.className());
            e.value = v.accessibilityValue();
            addKey(field.placeholder());
            addKey(field.textContentType());
            break;
        }
        case ui::Role::button:
            e.type = v.className();
            e.value = v.accessibilityValue();
            addKey(static_cast<const ui::Button&>(v).title());
            break;
        case ui::Role::segmented:
            e.type = v.className();
            e.value = v.accessibilityValue();
            e.options = static_cast<const ui::SegmentedControl&>(v).segments();
            break;
        case ui::Role::picker:
            e.type = v.className();
            e.value = v.accessibilityValue();
            e.options = static_cast<const ui::PickerView&>(v).options();
            break;
        case ui::Role::tab:
            e.type = v.className();
            e.value = static_cast<const ui::TabBarButton&>(v).isSelected() ? "selected" : "";
            break;
        default:
            e.type = v.className();
            e.value = v.accessibilityValue();
            break;
        }
        if (v.role() == ui::Role::cell) swipeTitles(v, e);
        e.inView = item.inView;
        e.frame = {item.frame.x, item.frame.y, item.frame.width, item.frame.height};
        e.focused = &v == focus;
        if (keepFrames) frames_[e.id] = e.frame;
        screen.elements.push_back(std::move(e));
    }
    screen.humanCheck = r.humanCheck;
    screen.systemAlert = systemAlertShowing();
    screen.keyboardVisible = isTextInput(focus);
    return screen;
}

std::optional<TavroScreen> UIKitSurface::snapshot() { return read(true); }

std::optional<TavroRect> UIKitSurface::frame(std::int64_t id) const {
    auto it = frames_.find(id);
    if (it == frames_.end()) return std::nullopt;
    return it->second;
}

namespace {

std::size_t fingerprint(const std::optional<TavroScreen>& screen) {
    if (!screen) return 0;
    std::size_t h = 1469598103934665603ull;
    const auto mix = [&h](std::size_t v) { h = (h ^ v) * 1099511628211ull; };
    const std::hash<std::string> text;
    const std::hash<double> number;
    mix(text(screen->location));
    mix(text(screen->title));
    mix(text(screen->text));
    mix(screen->keyboardVisible);
    for (const auto& e : screen->elements) {
        mix(static_cast<std::size_t>(e.id));
        mix(text(e.label));
        mix(text(e.value));
        mix(number(e.frame.x));
        mix(number(e.frame.y));
        mix(e.inView);
        mix(e.focused);
    }
    return h;
}

}  // namespace

rt::Task<void> UIKitSurface::settle() {
    const auto transitionRunning = [] { return ui::Application::shared()->isTransitionRunning(); };
    std::size_t previous = fingerprint(read(false));
    if (!co_await rt::sleep(pacing::settleFirst)) co_return;
    std::size_t current = fingerprint(read(false));
    if (current == previous && !transitionRunning()) co_return;
    for (int round = 0; round < pacing::settleRounds; ++round) {
        previous = current;
        if (!co_await rt::sleep(pacing::settleRound)) co_return;
        current = fingerprint(read(false));
        if (current == previous && !transitionRunning()) co_return;
    }
}

rt::Task<std::optional<std::string>> UIKitSurface::perform(TavroAction action) { co_return performNow(action); }

}  // namespace tavro
