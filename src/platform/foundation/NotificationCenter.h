// Notifications by name: any thread posts, observers are called on the main actor. An observer
// registers for one name (optionally only for one sending object) and holds a token; destroying
// the token stops delivery, also of notifications already posted but not yet delivered.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/foundation/ObserverToken.h"

namespace fnd {

struct Notification {
    std::string name;
    std::shared_ptr<void> object;  // the sender, when the poster names one
    nlohmann::json userInfo;       // null when absent
};

class NotificationCenter : public std::enable_shared_from_this<NotificationCenter> {
public:
    using Observer = std::function<void(const Notification&)>;

    static std::shared_ptr<NotificationCenter> create();
    // The process-wide centre, created on first use.
    static std::shared_ptr<NotificationCenter> defaultCenter();
    // Replaces the process-wide centre with a fresh one (tests).
    static void resetDefault();

    // Observes notifications of this name; with an object, only those that object posts.
    [[nodiscard]] ObserverToken observe(std::string name, Observer fn, std::shared_ptr<void> object = nullptr);

    // Thread-safe: queues one delivery per matching observer on the shared main actor.
    void post(std::string name, std::shared_ptr<void> object = nullptr, nlohmann::json userInfo = nullptr);
    void post(Notification notification);

    std::size_t observerCount() const;

private:
    NotificationCenter() = default;
    struct Entry {
        std::uint64_t id;
        std::shared_ptr<void> object;
        Observer fn;
        std::mutex lock;  // guards active against a cancel from another thread
        bool active = true;
    };

    mutable std::mutex lock_;
    std::unordered_map<std::string, std::vector<std::shared_ptr<Entry>>> byName_;
    std::uint64_t next_ = 1;
};

}  // namespace fnd
