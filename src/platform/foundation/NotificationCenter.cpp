#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <utility>

#include "platform/runtime/MainActor.h"

namespace fnd {

namespace {
std::mutex defaultLock;
std::shared_ptr<NotificationCenter>& defaultSlot() {
    static std::shared_ptr<NotificationCenter> slot;
    return slot;
}
}  // namespace

std::shared_ptr<NotificationCenter> NotificationCenter::create() {
    return std::shared_ptr<NotificationCenter>(new NotificationCenter());  // private constructor
}

std::shared_ptr<NotificationCenter> NotificationCenter::defaultCenter() {
    std::lock_guard guard(defaultLock);
    auto& slot = defaultSlot();
    if (!slot) slot = create();
    return slot;
}

void NotificationCenter::resetDefault() {
    std::lock_guard guard(defaultLock);
    defaultSlot() = create();
}

ObserverToken NotificationCenter::observe(std::string name, Observer fn, std::shared_ptr<void> object) {
    auto entry = std::make_shared<Entry>();
    entry->object = std::move(object);
    entry->fn = std::move(fn);
    {
        std::lock_guard guard(lock_);
        entry->id = next_++;
        byName_[name].push_back(entry);
    }
    std::weak_ptr<NotificationCenter> weak = weak_from_this();
    return ObserverToken([weak, name = std::move(name), entry] {
        {
            std::lock_guard guard(entry->lock);
            entry->active = false;
        }
        auto self = weak.lock();
        if (!self) return;
        std::lock_guard guard(self->lock_);
        auto it = self->byName_.find(name);
        if (it == self->byName_.end()) return;
        std::erase(it->second, entry);
        if (it->second.empty()) self->byName_.erase(it);
    });
}

void NotificationCenter::post(std::string name, std::shared_ptr<void> object, nlohmann::json userInfo) {
    post(Notification{std::move(name), std::move(object), std::move(userInfo)});
}

void NotificationCenter::post(Notification notification) {
    std::vector<std::shared_ptr<Entry>> targets;
    {
        std::lock_guard guard(lock_);
        auto it = byName_.find(notification.name);
        if (it == byName_.end()) return;
        for (const auto& entry : it->second)
            if (!entry->object || entry->object == notification.object) targets.push_back(entry);
    }
    if (targets.empty()) return;
    auto shared = std::make_shared<const Notification>(std::move(notification));
    auto actor = rt::MainActor::shared();
    for (auto& entry : targets) {
        actor->post([entry = std::move(entry), shared] {
            {
                std::lock_guard guard(entry->lock);
                if (!entry->active) return;
            }
            entry->fn(*shared);
        });
    }
}

std::size_t NotificationCenter::observerCount() const {
    std::lock_guard guard(lock_);
    std::size_t n = 0;
    for (const auto& [name, list] : byName_) n += list.size();
    return n;
}

}  // namespace fnd
