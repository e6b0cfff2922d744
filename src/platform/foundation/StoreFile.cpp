#include "platform/foundation/StoreFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/foundation/AtomicFile.h"

namespace fnd {

namespace {

enum class Access { read, missing, unavailable, unreadable };

struct Bytes {
    Access access = Access::read;
    std::string text;
    std::string error;
};

std::string describe(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

// Opens without blocking (a FIFO at the path must not hang the app) and reads a regular file whole.
Bytes readBytes(const std::filesystem::path& file) {
    Bytes out;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        out.error = describe("cannot open", error);
        // No file (or no directory to hold one): nothing to protect. A loop of links is a path
        // that will never open; anything else may open later and is left alone.
        if (error == ENOENT || error == ENOTDIR) out.access = Access::missing;
        else if (error == ELOOP) out.access = Access::unreadable;
        else out.access = Access::unavailable;
        return out;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        out.error = describe("cannot inspect", errno);
        out.access = Access::unavailable;
    } else if (!S_ISREG(info.st_mode)) {
        out.error = "not a regular file";
        out.access = Access::unreadable;
    } else {
        try {
            if (info.st_size > 0) out.text.reserve(static_cast<std::size_t>(info.st_size));
            char buffer[65536];
            while (true) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n == 0) break;
                if (n < 0) {
                    if (errno == EINTR) continue;
                    const int error = errno;
                    out.error = describe("cannot read", error);
                    out.access = error == EISDIR ? Access::unreadable : Access::unavailable;
                    break;
                }
                out.text.append(buffer, static_cast<std::size_t>(n));
            }
        } catch (const std::bad_alloc&) {
            out.error = describe("cannot read", ENOMEM);
            out.access = Access::unavailable;
        }
    }
    ::close(fd);
    if (out.access != Access::read) out.text.clear();
    return out;
}

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
    Bytes bytes = readBytes(file_);
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
