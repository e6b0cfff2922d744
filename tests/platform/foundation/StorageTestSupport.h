// Storage faults for the tests of the stores: a process at its file-descriptor limit, a full disk,
// an unprivileged process (so that permissions hold even when the tests run as root), and a look
// at what a store left in its directory.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace storagetest {

// The sanitizer build's type checks read memory through a pipe of their own: at the descriptor
// limit they take live objects for invalid ones. Tests whose code makes virtual calls while at
// the limit (shared pointers, the main actor) run only in the other builds.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool typeChecksNeedDescriptors = true;
#else
inline constexpr bool typeChecksNeedDescriptors = false;
#endif

// Runs `fn` while this process cannot open one more file (every open fails with EMFILE).
inline void atDescriptorLimit(const std::function<void()>& fn) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    fn();
    ::setrlimit(RLIMIT_NOFILE, &old);
}

// Runs `fn` while no file of this process may grow past a few bytes: every write of a store's
// content fails as on a full disk.
inline void withFullDisk(const std::function<void()>& fn) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    fn();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
}

// Runs `fn` in a child process that is not root (the directory is handed to "nobody" first when
// the tests run as root). `fn` returns the failures it saw, one per line; the test fails with
// them when there are any.
inline void asUnprivileged(const std::filesystem::path& directory, const std::function<std::string()>& fn) {
    GTEST_FLAG_SET(death_test_style, "fast");  // the child works in this test's directory
    const bool root = ::geteuid() == 0;
    constexpr uid_t nobody = 65534;
    if (root) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
            ASSERT_EQ(::lchown(entry.path().c_str(), nobody, nobody), 0);
        }
        ASSERT_EQ(::chown(directory.c_str(), nobody, nobody), 0);
        // The directories above must be passable for the child.
        for (auto up = directory.parent_path(); up.has_relative_path(); up = up.parent_path()) {
            struct stat info {};
            if (::stat(up.c_str(), &info) == 0) ::chmod(up.c_str(), info.st_mode | S_IXOTH);
        }
    }
    EXPECT_EXIT(
        {
            if (root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ::_exit(3);
            const std::string failures = fn();
            if (!failures.empty()) {
                if (::write(2, failures.data(), failures.size()) < 0) ::_exit(2);
                ::_exit(1);
            }
            ::_exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// The names in the directory that begin with `prefix`.
inline std::vector<std::string> namesStartingWith(const std::filesystem::path& directory, const std::string& prefix) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix)) found.push_back(name);
    }
    return found;
}

}  // namespace storagetest
