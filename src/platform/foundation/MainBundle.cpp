#include "platform/foundation/MainBundle.h"

#include <functional>
#include <mutex>

namespace fnd {

namespace {
struct Box {
    std::mutex lock;
    std::optional<std::string> identifier;
    std::map<std::string, std::string, std::less<>> info;
};
Box& box() {
    static Box b;
    return b;
}
}  // namespace

std::optional<std::string> MainBundle::identifier() {
    std::lock_guard guard(box().lock);
    return box().identifier;
}

void MainBundle::setIdentifier(std::optional<std::string> identifier) {
    std::lock_guard guard(box().lock);
    box().identifier = std::move(identifier);
}

std::optional<std::string> MainBundle::info(std::string_view key) {
    std::lock_guard guard(box().lock);
    const auto it = box().info.find(key);
    if (it == box().info.end()) return std::nullopt;
    return it->second;
}

void MainBundle::setInfo(std::string key, std::optional<std::string> value) {
    std::lock_guard guard(box().lock);
    if (value) box().info.insert_or_assign(std::move(key), std::move(*value));
    else box().info.erase(key);
}

void MainBundle::setInfo(std::map<std::string, std::string> values) {
    std::lock_guard guard(box().lock);
    box().info.clear();
    for (auto& [k, v] : values) box().info.emplace(k, std::move(v));
}

void MainBundle::reset() {
    std::lock_guard guard(box().lock);
    box().identifier.reset();
    box().info.clear();
}

}  // namespace fnd
