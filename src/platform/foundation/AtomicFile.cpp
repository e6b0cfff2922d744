#include "platform/foundation/AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <system_error>

#include "platform/foundation/Uuid.h"

namespace fnd {

namespace {

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The temporary files this process's saves are writing now.
struct InFlight {
    std::mutex lock;
    std::set<std::filesystem::path> paths;
};

InFlight& inFlight() {
    static InFlight instance;
    return instance;
}

// Registers a temporary file for the time of one save.
class Writing {
public:
    explicit Writing(std::filesystem::path path) : path_(std::move(path)) {
        const std::lock_guard guard(inFlight().lock);
        inFlight().paths.insert(path_);
    }
    ~Writing() {
        const std::lock_guard guard(inFlight().lock);
        inFlight().paths.erase(path_);
    }
    Writing(const Writing&) = delete;
    Writing& operator=(const Writing&) = delete;

private:
    const std::filesystem::path path_;
};

std::string temporaryPrefix(const std::filesystem::path& file) { return file.filename().string() + ".tmp-"; }

void setWhy(std::string* why, const char* what, int error) {
    if (why) *why = std::string(what) + ": " + std::strerror(error);
}

void syncDirectory(const std::filesystem::path& directory) {
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool writeAtomically(const std::filesystem::path& file, std::string_view bytes,
                     const std::function<void(const std::filesystem::path&)>& beforeRename, std::string* why) {
    std::error_code error;
    const std::filesystem::path directory = file.parent_path();
    if (!directory.empty()) std::filesystem::create_directories(directory, error);
    // A fresh name each time, so that two writers never share a temporary file; a name left by a
    // crashed save is skipped.
    const std::string prefix = temporaryPrefix(file) + std::to_string(::getpid()) + "-";
    std::filesystem::path temporary;
    std::optional<Writing> writing;  // registered before the file exists, so no cleaner takes it
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temporary = directory / (prefix + Uuid::random().text());
        writing.emplace(temporary);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            setWhy(why, "cannot create a temporary file", errno);
            return false;
        }
    }
    if (fd < 0) {
        setWhy(why, "cannot create a temporary file", EEXIST);
        return false;
    }
    bool written = writeAll(fd, bytes);
    if (!written) setWhy(why, "cannot write", errno);
    if (written && ::fsync(fd) != 0) {
        setWhy(why, "cannot sync", errno);
        written = false;
    }
    if (::close(fd) != 0 && written) {
        setWhy(why, "cannot write", errno);
        written = false;
    }
    if (!written) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    if (beforeRename) beforeRename(temporary);
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        setWhy(why, "cannot replace the file", errno);
        std::filesystem::remove(temporary, error);
        return false;
    }
    syncDirectory(directory);
    return true;
}

void removeStaleTemporaries(const std::filesystem::path& file) {
    const std::string prefix = temporaryPrefix(file);
    std::filesystem::path directory = file.parent_path();
    if (directory.empty()) directory = ".";
    const pid_t self = ::getpid();
    std::error_code error;
    std::filesystem::directory_iterator it(directory, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::filesystem::path path = it->path();
        const std::string name = path.filename().string();
        if (!name.starts_with(prefix)) continue;
        // "<pid>-<random>"; a name without a process id is an older kind of leftover.
        const std::string rest = name.substr(prefix.size());
        const auto dash = rest.find('-');
        long pid = 0;
        bool numbered = dash != std::string::npos && dash > 0 && dash <= 9;
        for (std::size_t i = 0; numbered && i < dash; ++i) {
            if (rest[i] < '0' || rest[i] > '9') numbered = false;
            else pid = pid * 10 + (rest[i] - '0');
        }
        bool stale = !numbered;
        if (numbered && pid == self) {
            const std::lock_guard guard(inFlight().lock);
            stale = !inFlight().paths.contains(path);
        } else if (numbered) {
            stale = pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
        }
        std::error_code ignored;
        if (stale) std::filesystem::remove(path, ignored);
    }
}

std::optional<std::filesystem::path> unusedName(const std::filesystem::path& base) {
    std::error_code error;
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        std::filesystem::path name = attempt == 1 ? base : std::filesystem::path(base.string() + "-" + std::to_string(attempt));
        if (!std::filesystem::exists(std::filesystem::symlink_status(name, error))) return name;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> keepAside(const std::filesystem::path& file, std::string_view suffix) {
    const auto aside = unusedName(file.string() + std::string(suffix));
    if (!aside) return std::nullopt;
    std::error_code error;
    std::filesystem::rename(file, *aside, error);
    if (error) return std::nullopt;
    return aside;
}

FileBytes readFileBytes(const std::filesystem::path& file, std::size_t limit) {
    using Access = FileBytes::Access;
    FileBytes out;
    const auto describe = [](const char* what, int error) { return std::string(what) + ": " + std::strerror(error); };
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        const int error = errno;
        out.error = describe("cannot open", error);
        // No file (or no directory to hold one): nothing to protect. A link (ELOOP under
        // O_NOFOLLOW) will never open; anything else may open later and is left alone.
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
    } else if (info.st_size > 0 && static_cast<std::uintmax_t>(info.st_size) > limit) {
        out.error = "larger than " + std::to_string(limit) + " bytes";
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
                // A file that grew past the limit while being read counts as too large.
                if (static_cast<std::size_t>(n) > limit - out.text.size()) {
                    out.error = "larger than " + std::to_string(limit) + " bytes";
                    out.access = Access::unreadable;
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

std::optional<std::string> readFile(const std::filesystem::path& file) {
    auto bytes = readFileBytes(file);
    if (bytes.access != FileBytes::Access::read) return std::nullopt;
    return std::move(bytes.text);
}

}  // namespace fnd
