#include "tavro/memory/TavroExplorer.h"

#include <chrono>
#include <utility>

#include "platform/ui/AlertController.h"
#include "platform/ui/Window.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroApproval.h"

namespace tavro {

namespace {

// Controls that end a session or keep, send or grant something, beside what approval stops for.
constexpr const char* keepsOrLeavesPattern =
    "\\b(sign ?out|sign-out|sign off|log ?out|log-out|log off|save|submit|done|apply|confirm|accept|agree|allow|"
    "add to|install|reset|restore|clear|unsubscribe|block|report|invite|call|join|follow|unfollow|like|vote|copy|"
    "cut)\\b|ログアウト|サインアウト|保存|確定|許可|登録|完了|追加|同意";

// The kinds the explorer taps: not checkboxes, whose tap toggles something.
bool isTapKind(const std::string& kind) {
    return kind == "tab" || kind == "cell" || kind == "link" || kind == "button";
}

// The controls of a screen as the map keeps them: every element that is tapped, in reading order.
bool isControl(const TavroElement& element) { return TavroElement::tapKinds().count(element.kind) > 0; }

std::shared_ptr<ui::AlertController> alertOn(const UIKitSurface& surface) {
    const auto window = surface.appWindow();
    if (!window) return nullptr;
    return std::dynamic_pointer_cast<ui::AlertController>(window->topPresentedViewController());
}

}  // namespace

TavroExplorer::TavroExplorer(std::shared_ptr<UIKitSurface> surface, int maxScreens, int maxTaps, double timeLimit)
    : surface_(std::move(surface)),
      maxScreens_(maxScreens),
      maxTaps_(maxTaps),
      timeLimit_(timeLimit > 0 ? timeLimit : 0) {}

bool TavroExplorer::mayTap(const TavroElement& element, const TavroScreen& screen) {
    if (!isTapKind(element.kind)) return false;
    const TavroAction tap{.kind = TavroAction::Kind::click, .id = element.id};
    if (isDeleteOrPay(tap, screen)) return false;
    std::string words = element.label;
    for (const auto& key : element.keys) {
        words += ' ';
        words += key;
    }
    return !TavroText::matches(keepsOrLeavesPattern, words);
}

rt::Task<TavroAppMap> TavroExplorer::explore(std::string app, std::string version) {
    map_ = TavroAppMap{.app = std::move(app), .appVersion = std::move(version)};
    known_.clear();
    current_.reset();
    taps_ = 0;
    stopped_ = false;
    started_ = rt::now();
    if (!surface_) co_return map_;

    co_await readNow();
    if (!current_) co_return map_;
    const std::string start = current_->location;
    map_.start = start;
    record(*current_);
    co_await visit(start);

    // Back to where the user was, when nothing covers the app that the explorer may not answer.
    const bool cancelled = co_await rt::isCancelled();
    if (cancelled || !current_ || current_->systemAlert || alertOn(*surface_)) co_return map_;
    stopped_ = false;
    co_await returnTo(start);
    co_return map_;
}

// Each round: a control of this screen that is known to lead there (within the tap limit), else
// the back action; when neither moves, a route that opens it.
rt::Task<void> TavroExplorer::returnTo(std::string start) {
    for (std::size_t round = 0; round <= map_.screens.size(); ++round) {
        if (stopped_ || !current_ || current_->location == start) co_return;
        const std::string before = current_->location;
        std::optional<std::int64_t> id;
        if (const auto here = map_.screens.find(before); here != map_.screens.end() && taps_ < maxTaps_) {
            const auto& controls = here->second.controls;
            for (std::size_t i = 0; i < controls.size() && !id; ++i) {
                if (controls[i].to == start && known_.at(before).tappable[i]) id = find(before, i);
            }
        }
        if (id) {
            ++taps_;
            TavroAction tap{.kind = TavroAction::Kind::click, .id = *id};
            (void)co_await perform(std::move(tap));
        } else {
            (void)co_await goBack();
        }
        if (current_ && current_->location == before) break;
    }
    if (!stopped_ && current_ && current_->location != start) (void)co_await ensureAt(start);
}

bool TavroExplorer::exhausted() const {
    if (stopped_ || taps_ >= maxTaps_) return true;
    const double elapsed = std::chrono::duration<double>(rt::now() - started_).count();
    return elapsed >= timeLimit_;
}

rt::Task<void> TavroExplorer::readNow() {
    co_await surface_->settle();
    const bool cancelled = co_await rt::isCancelled();
    std::optional<TavroScreen> screen;
    if (!cancelled) screen = co_await surface_->snapshotAsync();
    current_ = std::move(screen);
    // Nothing the explorer may do would close a system prompt: leave it to the user.
    if (cancelled || !current_ || current_->systemAlert) stopped_ = true;
}

rt::Task<bool> TavroExplorer::goBack() {
    TavroAction back{.kind = TavroAction::Kind::back};
    co_return co_await perform(std::move(back));
}

rt::Task<bool> TavroExplorer::perform(TavroAction action) {
    const auto failure = co_await surface_->perform(action);
    co_await readNow();
    co_return !failure;
}

void TavroExplorer::record(const TavroScreen& screen) {
    TavroAppMap::Screen entry{.location = screen.location, .title = screen.title};
    Known known;
    for (const auto& element : screen.elements) {
        if (!isControl(element)) continue;
        entry.controls.push_back({.label = element.label, .kind = element.kind});
        known.tappable.push_back(mayTap(element, screen));
    }
    map_.screens.insert_or_assign(screen.location, std::move(entry));
    known_.insert_or_assign(screen.location, std::move(known));
}

// The element of the current reading that stands for the map's control: the same kind and label,
// counted among the controls with that kind and label.
std::optional<std::int64_t> TavroExplorer::find(const std::string& location, std::size_t control) const {
    if (!current_) return std::nullopt;
    const auto& controls = map_.screens.at(location).controls;
    const auto& wanted = controls[control];
    std::size_t nth = 0;
    for (std::size_t i = 0; i < control; ++i) nth += controls[i].kind == wanted.kind && controls[i].label == wanted.label;
    for (const auto& element : current_->elements) {
        if (!isControl(element) || element.kind != wanted.kind || element.label != wanted.label) continue;
        if (nth == 0) return element.id;
        --nth;
    }
    return std::nullopt;
}

rt::Task<bool> TavroExplorer::ensureAt(const std::string& location) {
    if (current_ && current_->location == location) co_return true;
    if (stopped_) co_return false;
    (void)co_await goBack();
    if (current_ && current_->location == location) co_return true;
    if (stopped_) co_return false;
    const std::string wanted = TavroText::norm(location);
    if (wanted.empty()) co_return false;
    for (const auto& route : surface_->routes()) {
        if (TavroText::norm(route) != wanted) continue;
        TavroAction open{.kind = TavroAction::Kind::navigate, .text = route};
        (void)co_await perform(std::move(open));
        co_return current_ && current_->location == location;
    }
    co_return false;
}

rt::Task<bool> TavroExplorer::closeAlert() {
    if (!alertOn(*surface_)) co_return true;
    (void)co_await goBack();
    if (!alertOn(*surface_)) co_return true;
    stopped_ = true;  // an alert without a cancel action: answering it could change something
    co_return false;
}

rt::Task<void> TavroExplorer::visit(std::string location) {
    const std::size_t count = map_.screens.at(location).controls.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (exhausted()) co_return;
        if (!known_.at(location).tappable[i]) continue;
        const bool there = co_await ensureAt(location);
        if (!there) co_return;
        const auto id = find(location, i);
        if (!id) continue;

        ++taps_;
        TavroAction tap{.kind = TavroAction::Kind::click, .id = *id};
        const bool tapped = co_await perform(std::move(tap));
        if (stopped_) co_return;
        if (alertOn(*surface_)) {
            const bool closed = co_await closeAlert();
            if (!closed) co_return;
            continue;
        }
        if (!tapped || !current_) continue;

        const std::string reached = current_->location;
        map_.screens.at(location).controls[i].to = reached;
        if (reached == location || map_.screens.count(reached)) continue;
        if (static_cast<int>(map_.screens.size()) >= maxScreens_) continue;
        record(*current_);
        co_await visit(reached);
        if (stopped_) co_return;
    }
}

}  // namespace tavro
