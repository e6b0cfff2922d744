// User defaults: a small key-value store of Booleans, numbers, texts and dates, kept in one JSON
// file. Every change is written at once by atomic replacement (temporary file, fsync, rename), so
// a crash leaves either the old or the new file. The file is kept as StoreFile keeps every store's
// file: one that cannot be read as a JSON object reads as empty and is moved aside, one that
// cannot be opened now is left alone, and neither is ever overwritten; changes made meanwhile are
// kept in memory and laid over the file's values once it reads. Thread-safe.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/StoreFile.h"

namespace fnd {

class UserDefaults {
public:
    // Whole milliseconds since 1970 (UTC): every date a file can hold within ±292 million years.
    using Date = std::chrono::sys_time<std::chrono::milliseconds>;

    // Loads the store kept in this file (created on the first write).
    static std::shared_ptr<UserDefaults> open(std::filesystem::path file);

    // The app's store: "UserDefaults.json" in the Application Support directory of the current
    // root, opened on first use and again whenever the root has changed since. resetStandard()
    // forgets it, so the next use reads the file again.
    static std::shared_ptr<UserDefaults> standard();
    static void resetStandard();

    // Typed reads: nothing when the key is absent or holds another type. integer() and number()
    // read any number (integer() truncates); a date reads only what setDate stored, and nothing
    // when it lies beyond what Date holds.
    std::optional<bool> boolean(std::string_view key) const;
    std::optional<std::int64_t> integer(std::string_view key) const;
    std::optional<double> number(std::string_view key) const;
    std::optional<std::string> string(std::string_view key) const;
    std::optional<Date> date(std::string_view key) const;
    bool contains(std::string_view key) const;
    std::vector<std::string> keys() const;

    // Writes: the value is kept in memory and the file rewritten; the result tells whether the
    // file was written.
    bool setBoolean(std::string_view key, bool value);
    bool setInteger(std::string_view key, std::int64_t value);
    bool setNumber(std::string_view key, double value);
    bool setString(std::string_view key, std::string_view value);
    bool setDate(std::string_view key, Date value);
    // The clock's time, to the millisecond.
    bool setDate(std::string_view key, std::chrono::system_clock::time_point value);
    bool remove(std::string_view key);

    const std::filesystem::path& file() const { return file_; }
    // Where an unreadable file was moved on load, if one was.
    std::optional<std::filesystem::path> setAside() const;

private:
    explicit UserDefaults(std::filesystem::path file);
    void load();
    // Takes in the file's bytes: its values, with the changes made before it could be read on top.
    bool read(std::string_view bytes);
    bool store(std::string_view key, std::optional<nlohmann::json> value);
    bool persistLocked();

    const std::filesystem::path file_;
    mutable std::mutex lock_;
    StoreFile storeFile_;
    nlohmann::json values_ = nlohmann::json::object();
    // Changes (a value, or nothing for a removal) made while the file was not read yet.
    std::map<std::string, std::optional<nlohmann::json>, std::less<>> unread_;
};

}  // namespace fnd
