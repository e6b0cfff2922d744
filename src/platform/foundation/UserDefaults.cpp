#include "platform/foundation/UserDefaults.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Uuid.h"

namespace fnd {

namespace {

constexpr const char* kDateKey = "$date";  // a date is stored as {"$date": seconds since 1970}

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
    if (!slot) slot = open(AppDirectories::applicationSupport() / "UserDefaults.json");
    return slot;
}

void UserDefaults::resetStandard() {
    std::lock_guard guard(standardLock);
    standardSlot().reset();
}

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {}

void UserDefaults::load() {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) return;
    std::ifstream in(file_, std::ios::binary);
    std::string text;
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    auto parsed = in ? nlohmann::json::parse(text, nullptr, false) : nlohmann::json(nlohmann::json::value_t::discarded);
    if (!parsed.is_discarded() && parsed.is_object()) {
        values_ = std::move(parsed);
        return;
    }
    // Unreadable: start empty and keep the old file under another name.
    const auto stamp = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch()).count();
    setAside_ = keepAside(file_, ".corrupt-" + std::to_string(stamp));
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
    const double seconds = d->get<double>();
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e12) return std::nullopt;
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds)));
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

bool UserDefaults::setBoolean(std::string_view key, bool value) { return store(key, value); }
bool UserDefaults::setInteger(std::string_view key, std::int64_t value) { return store(key, value); }

bool UserDefaults::setNumber(std::string_view key, double value) {
    if (!std::isfinite(value)) return false;  // JSON has no place for it
    return store(key, value);
}

bool UserDefaults::setString(std::string_view key, std::string_view value) { return store(key, std::string(value)); }

bool UserDefaults::setDate(std::string_view key, Date value) {
    const double seconds = std::chrono::duration<double>(value.time_since_epoch()).count();
    return store(key, nlohmann::json{{kDateKey, seconds}});
}

bool UserDefaults::remove(std::string_view key) {
    std::lock_guard guard(lock_);
    const auto it = values_.find(key);
    if (it == values_.end()) return true;
    values_.erase(it);
    return persistLocked();
}

std::optional<std::filesystem::path> UserDefaults::setAside() const {
    std::lock_guard guard(lock_);
    return setAside_;
}

bool UserDefaults::store(std::string_view key, nlohmann::json value) {
    std::lock_guard guard(lock_);
    values_[std::string(key)] = std::move(value);
    return persistLocked();
}

bool UserDefaults::persistLocked() {
    return writeAtomically(file_, values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
}

}  // namespace fnd
