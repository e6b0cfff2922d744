#include "tavro/memory/TavroRecorder.h"

#include <algorithm>
#include <utility>

#include "platform/ui/Application.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

std::shared_ptr<ui::View> viewIn(const std::shared_ptr<ui::View>& root, const void* object) {
    if (root.get() == object) return root;
    for (const auto& sub : root->subviews()) {
        if (auto found = viewIn(sub, object)) return found;
    }
    return nullptr;
}

}  // namespace

TavroRecorder::TavroRecorder(std::shared_ptr<UIKitSurface> surface, std::shared_ptr<TavroMemory> memory)
    : surface_(std::move(surface)), memory_(std::move(memory)) {
    // Told before the value is stored, so the old value is still there to compare with.
    recordingChange_ = recording.willChange([this](const bool& on) {
        if (on == recording.value()) return;
        recorded_.clear();
        if (on) {
            attach();
        } else {
            detach();
        }
    });
}

TavroRecorder::~TavroRecorder() = default;

void TavroRecorder::attach() {
    auto center = fnd::NotificationCenter::defaultCenter();
    hooks_.clear();
    for (const auto name : {ui::Notification::textFieldTextDidEndEditing, ui::Notification::textViewTextDidEndEditing}) {
        hooks_.push_back(center->observe(std::string(name), [this](const fnd::Notification& n) { ended(n); }));
    }
}

// Dropping the tokens also drops deliveries already queued.
void TavroRecorder::detach() { hooks_.clear(); }

void TavroRecorder::ended(const fnd::Notification& notification) {
    if (!recording.value() || !notification.object) return;
    // The field that posted it, looked up in the app window (the object could be anything).
    const auto window = surface_ ? surface_->appWindow() : nullptr;
    if (!window) return;
    const auto view = viewIn(window, notification.object.get());
    if (!view) return;
    std::string text;
    bool secure = false;
    if (view->role() == ui::Role::textField) {
        const auto& field = static_cast<const ui::TextField&>(*view);
        text = field.text();
        secure = field.isSecureTextEntry();
    } else if (view->role() == ui::Role::textView) {
        text = static_cast<const ui::TextView&>(*view).text();
    } else {
        return;
    }

    const std::uint64_t serial = view->serial();
    const auto earlier = std::find_if(recorded_.begin(), recorded_.end(),
                                      [serial](const Recorded& r) { return r.view == serial; });
    if (secure || TavroText::trim(text).empty()) {
        if (earlier != recorded_.end()) recorded_.erase(earlier);
        return;
    }

    // A fresh reading, so the step names the field as the agent would see it. Fields the surface
    // does not read (the library's own, other windows') are not in it and are not recorded.
    const auto screen = surface_->snapshot();
    const auto id = surface_->elementId(*view);
    if (!screen || !id) return;
    const TavroElement* element = screen->element(*id);
    if (!element) return;
    TavroAction action{.kind = TavroAction::Kind::type, .id = *id, .text = std::move(text)};
    std::string caption = action.describe(&*screen);
    TavroPerformedStep step{std::move(action), *element, std::move(caption), screen->location};
    if (earlier != recorded_.end()) {
        earlier->step = std::move(step);
    } else {
        recorded_.push_back({serial, std::move(step)});
    }
}

bool TavroRecorder::finish(std::string namedGoal) {
    const std::string goal = TavroText::trim(namedGoal);
    const bool learns = !goal.empty() && !recorded_.empty() && memory_;
    if (learns) memory_->learn(goal, steps());
    recording.set(false);
    return learns;
}

std::vector<TavroPerformedStep> TavroRecorder::steps() const {
    std::vector<TavroPerformedStep> out;
    out.reserve(recorded_.size());
    for (const auto& r : recorded_) out.push_back(r.step);
    return out;
}

}  // namespace tavro
