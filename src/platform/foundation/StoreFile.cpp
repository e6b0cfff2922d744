#include "platform/foundation/StoreFile.h"

#include <chrono>
#include <ctime>

#include "platform/foundation/AtomicFile.h"

namespace fnd {

namespace {

// A compact UTC time for the name of a file kept aside: "20250131T093000Z".
std::string fileTime() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%dT%H%M%SZ", &utc);
    return buffer;
}

}  // namespace

StoreFile::StoreFile(std::filesystem::path file) : file_(std::move(file)) {}

StoreFile::Loaded StoreFile::load(const Reader& reader) {
    removeStaleTemporaries(file_);
    using Access = FileBytes::Access;
    FileBytes bytes = readFileBytes(file_);
    lastError_ = bytes.error;
    switch (bytes.access) {
        case Access::missing:
            safe_ = true;
            return Loaded::missing;
        case Access::unavailable:
            safe_ = false;
            return Loaded::unavailable;
        case Access::unreadable:
            break;
        case Access::read: {
            bool accepted = false;
            try {
                accepted = reader(bytes.text);
            } catch (...) {
                accepted = false;
            }
            if (accepted) {
                safe_ = true;
                lastError_.clear();
                return Loaded::read;
            }
            lastError_ = "not readable as this store";
            break;
        }
    }
    moveAside();
    return safe_ ? Loaded::setAside : Loaded::stuck;
}

void StoreFile::moveAside() {
    if (auto aside = keepAside(file_, ".unreadable-" + fileTime())) {
        setAside_ = std::move(aside);
        safe_ = true;
    } else {
        lastError_ += lastError_.empty() ? "cannot be moved aside" : "; cannot be moved aside";
        safe_ = false;
    }
}

bool StoreFile::save(const std::function<std::string()>& bytes, const Reader& reader) {
    if (!safe_) {
        load(reader);
        if (!safe_) return false;
    }
    std::string text;
    try {
        text = bytes();
    } catch (...) {
        lastError_ = "cannot serialise";
        return false;
    }
    std::string why;
    if (!writeAtomically(file_, text, beforeRename_, &why)) {
        lastError_ = why;
        return false;
    }
    lastError_.clear();
    removeStaleTemporaries(file_);
    return true;
}

void StoreFile::keepCopy(std::string_view bytes) {
    const auto aside = unusedName(file_.string() + ".unreadable-" + fileTime());
    if (aside && writeAtomically(*aside, bytes)) setAside_ = aside;
}

}  // namespace fnd
