// A published property: a value whose observers hear of each change. Will-change observers are
// told before the value is stored (they receive the new value and can still read the old one);
// did-set observers after. Every set notifies at once, inside set(), also when the value stays the
// same; registering an observer does not call it.
//
// Used on the main actor. Observers may subscribe or cancel from inside a notification; an
// observer cancelled during a notification is not called after its cancellation. Observing does
// not change the value, so a read-only reference (const Published&) can observe; only the owner
// of a non-const one can set.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/foundation/ObserverToken.h"

namespace fnd {

template <class T>
class Published {
public:
    using Observer = std::function<void(const T&)>;

    Published() : value_() {}
    explicit Published(T initial) : value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& value() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }

    void set(T newValue) {
        notify(observers_->willChange, newValue);
        value_ = std::move(newValue);
        notify(observers_->didSet, value_);
    }

    // Called with the new value before it is stored.
    [[nodiscard]] ObserverToken willChange(Observer fn) const { return add(&Lists::willChange, std::move(fn)); }
    // Called with the new value after it is stored.
    [[nodiscard]] ObserverToken didSet(Observer fn) const { return add(&Lists::didSet, std::move(fn)); }

private:
    struct Entry {
        Observer fn;
        bool active = true;
    };
    using List = std::map<std::uint64_t, std::shared_ptr<Entry>>;
    struct Lists {
        List willChange;
        List didSet;
        std::uint64_t next = 1;
    };

    ObserverToken add(List Lists::*list, Observer fn) const {
        const auto id = observers_->next++;
        auto entry = std::make_shared<Entry>(Entry{std::move(fn), true});
        ((*observers_).*list).emplace(id, entry);
        std::weak_ptr<Lists> weak = observers_;
        return ObserverToken([weak, list, id, entry] {
            entry->active = false;
            if (auto lists = weak.lock()) ((*lists).*list).erase(id);
        });
    }

    static void notify(const List& list, const T& v) {
        if (list.empty()) return;
        std::vector<std::shared_ptr<Entry>> copy;
        copy.reserve(list.size());
        for (const auto& [id, entry] : list) copy.push_back(entry);
        for (const auto& entry : copy)
            if (entry->active) entry->fn(v);
    }

    T value_;
    std::shared_ptr<Lists> observers_ = std::make_shared<Lists>();
};

}  // namespace fnd
