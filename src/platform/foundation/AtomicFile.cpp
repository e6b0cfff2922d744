#include "platform/foundation/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
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

void syncDirectory(const std::filesystem::path& directory) {
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool writeAtomically(const std::filesystem::path& file, std::string_view bytes,
                     const std::function<void(const std::filesystem::path&)>& beforeRename) {
    std::error_code error;
    const std::filesystem::path directory = file.parent_path();
    if (!directory.empty()) std::filesystem::create_directories(directory, error);
    // A fresh name each time, so that two writers never share a temporary file; a name left by a
    // crashed save is skipped.
    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temporary = directory / (file.filename().string() + ".tmp-" + Uuid::random().text());
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    if (beforeRename) beforeRename(temporary);
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    syncDirectory(directory);
    return true;
}

std::optional<std::filesystem::path> keepAside(const std::filesystem::path& file, std::string_view suffix) {
    const std::string base = file.string() + std::string(suffix);
    std::error_code error;
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        const std::filesystem::path aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (std::filesystem::exists(std::filesystem::symlink_status(aside, error))) continue;
        std::filesystem::rename(file, aside, error);
        if (error) return std::nullopt;
        return aside;
    }
    return std::nullopt;
}

std::optional<std::string> readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return text;
}

}  // namespace fnd
