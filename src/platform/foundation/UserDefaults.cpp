#include "platform/foundation/UserDefaults.h"

#include <cmath>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/BoundedJSON.h"

namespace fnd {

namespace {

// A date is stored as {"$date": whole milliseconds since 1970}; files of earlier versions hold
// seconds as a floating-point number there.
constexpr const char* kDateKey = "$date";

std::mutex standardLock;
std::shared_ptr<UserDefaults>& standardSlot() {
    static std::shared_ptr<UserDefaults> slot;
    return slot;
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::open(std::filesystem::path file) {
    std::shared_ptr<UserDefaults> d(new UserDefaults(std::move(file)));  // private constructor
    d->load();
    return d;
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    std::lock_guard guard(standardLock);
    auto& slot = standardSlot();
    // The store follows the app's root: another root (or, at the default root, another app id)
    // opens that app's own file instead of writing on into the one opened first.
    if (!slot || slot->file() != AppDirectories::root() / "Application Support" / "UserDefaults.json") {
        slot = open(AppDirectories::applicationSupport() / "UserDefaults.json");
    }
    return slot;
}

void UserDefaults::resetStandard() {
    std::lock_guard guard(standardLock);
    standardSlot().reset();
}

UserDefaults::UserDefaults(std::filesystem::path file) : file_(file), storeFile_(std::move(file)) {}

void UserDefaults::load() {
    std::lock_guard guard(lock_);
    storeFile_.load([this](std::string_view bytes) { return read(bytes); });
}

bool UserDefaults::read(std::string_view bytes) {
    auto parsed = parseJSON(bytes);
    if (parsed.is_discarded() || !parsed.is_object()) return false;
    for (auto& [key, change] : unread_) {
        if (change) parsed[key] = std::move(*change);
        else parsed.erase(key);
    }
    unread_.clear();
    values_ = std::move(parsed);
    return true;
}

std::optional<bool> UserDefaults::boolean(std::string_view key) const {
    std::lock_guard guard(lock_);
    const auto it = values_.find(key);
    if (it == values_.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

std::optional<std::int64_t> UserDefaults::integer(std::string_view key) const {
    std::lock_guard guard(lock_);
    const auto it = values_.find(key);
    if (it == values_.end() || !it->is_number()) return std::nullopt;
    if (it->is_number_float()) {
        const double d = it->get<double>();
        if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18) return std::nullopt;
        return static_cast<std::int64_t>(d);
    }
    if (it->is_number_unsigned() && it->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
        return std::nullopt;
    return it->get<std::int64_t>();
}

std::optional<double> UserDefaults::number(std::string_view key) const {
    std::lock_guard guard(lock_);
    const auto it = values_.find(key);
    if (it == values_.end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    std::lock_guard guard(lock_);
    const auto it = values_.find(key);
    if (it == values_.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<UserDefaults::Date> UserDefaults::date(std::string_view key) const {
    std::lock_guard guard(lock_);
    const auto it = values_.find(key);
    if (it == values_.end() || !it->is_object() || it->size() != 1) return std::nullopt;
    const auto d = it->find(kDateKey);
    if (d == it->end() || !d->is_number()) return std::nullopt;
    if (d->is_number_unsigned()) {
        if (d->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        return Date(std::chrono::milliseconds(static_cast<std::int64_t>(d->get<std::uint64_t>())));
    }
    if (d->is_number_integer()) return Date(std::chrono::milliseconds(d->get<std::int64_t>()));
    // Seconds: refused unless the milliseconds fit, never wrapped.
    const double ms = std::round(d->get<double>() * 1000.0);
    if (!std::isfinite(ms) || ms >= 9.2e18 || ms <= -9.2e18) return std::nullopt;
    return Date(std::chrono::milliseconds(static_cast<std::int64_t>(ms)));
}

bool UserDefaults::contains(std::string_view key) const {
    std::lock_guard guard(lock_);
    return values_.contains(key);
}

std::vector<std::string> UserDefaults::keys() const {
    std::lock_guard guard(lock_);
    std::vector<std::string> out;
    for (const auto& [k, v] : values_.items()) out.push_back(k);
    return out;
}

bool UserDefaults::setBoolean(std::string_view key, bool value) { return store(key, nlohmann::json(value)); }
bool UserDefaults::setInteger(std::string_view key, std::int64_t value) { return store(key, nlohmann::json(value)); }

bool UserDefaults::setNumber(std::string_view key, double value) {
    if (!std::isfinite(value)) return false;  // JSON has no place for it
    return store(key, nlohmann::json(value));
}

bool UserDefaults::setString(std::string_view key, std::string_view value) {
    return store(key, nlohmann::json(std::string(value)));
}

bool UserDefaults::setDate(std::string_view key, Date value) {
    return store(key, nlohmann::json{{kDateKey, value.time_since_epoch().count()}});
}

bool UserDefaults::setDate(std::string_view key, std::chrono::system_clock::time_point value) {
    return setDate(key, std::chrono::floor<std::chrono::milliseconds>(value));
}

bool UserDefaults::remove(std::string_view key) { return store(key, std::nullopt); }

std::optional<std::filesystem::path> UserDefaults::setAside() const {
    std::lock_guard guard(lock_);
    return storeFile_.setAside();
}

bool UserDefaults::store(std::string_view key, std::optional<nlohmann::json> value) {
    std::lock_guard guard(lock_);
    const auto it = values_.find(key);
    if (!value && it == values_.end() && storeFile_.safeToSave()) return true;
    if (value) values_[std::string(key)] = *value;
    else if (it != values_.end()) values_.erase(it);
    if (!storeFile_.safeToSave()) unread_.insert_or_assign(std::string(key), std::move(value));
    return persistLocked();
}

bool UserDefaults::persistLocked() {
    const bool saved = storeFile_.save(
        [this] { return values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace); },
        [this](std::string_view bytes) { return read(bytes); });
    // Once the file was read or set aside, what was changed meanwhile is in values_.
    if (storeFile_.safeToSave()) unread_.clear();
    return saved;
}

}  // namespace fnd
