#include "tavro/remote/TavroRemoteFlags.h"

#include <mutex>

#include "tavro/core/TavroModel.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroAnalytics.h"

namespace tavro {

namespace {

struct Box {
    std::mutex lock;
    bool hidden = false;
    bool withoutNative = false;
    std::vector<std::function<void()>> observers;
};

Box& box() {
    static Box instance;
    return instance;
}

}  // namespace

bool TavroRemoteFlags::hidden() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.hidden;
}

bool TavroRemoteFlags::hiddenWithoutNativeModel() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.withoutNative;
}

bool TavroRemoteFlags::enabled(const std::optional<std::string>& value) {
    if (!value) return true;
    // Only blanks are trimmed: "false" followed by a line break is not an off word.
    const std::string word = TavroText::lower(TavroText::trimBlanks(*value));
    return !(word == "false" || word == "0" || word == "no" || word == "off");
}

void TavroRemoteFlags::set(bool hidden, bool hiddenWithoutNativeModel) {
    bool changed = false;
    std::vector<std::function<void()>> observers;
    {
        auto& b = box();
        std::lock_guard guard(b.lock);
        changed = b.hidden != hidden || b.withoutNative != hiddenWithoutNativeModel;
        b.hidden = hidden;
        b.withoutNative = hiddenWithoutNativeModel;
        observers = b.observers;
    }
    if (!changed) return;
    TavroAnalytics::log("remote_flags", {{"hidden", hidden}, {"hidden_without_native", hiddenWithoutNativeModel}});
    for (const auto& observer : observers) observer();
}

bool TavroRemoteFlags::isHidden(const std::vector<std::shared_ptr<TavroModel>>& models) {
    if (hidden()) return true;
    if (!hiddenWithoutNativeModel()) return false;
    for (const auto& model : models) {
        // A downloadable model is not the device's own: it never keeps the library visible.
        if (model && model->kind() != TavroModel::Kind::downloadable && model->isSupportedOnDevice()) return false;
    }
    return true;
}

void TavroRemoteFlags::observe(std::function<void()> observer) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.observers.push_back(std::move(observer));
}

void TavroRemoteFlags::reset() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.hidden = false;
    b.withoutNative = false;
    b.observers.clear();
}

}  // namespace tavro
