#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "StorageTestSupport.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/StoreFile.h"

namespace fs = std::filesystem;
using fnd::StoreFile;
using storagetest::namesStartingWith;

namespace {

struct StoreFileTest : ::testing::Test {
    fs::path root = fnd::AppDirectories::useFreshTemporaryRoot();
    fs::path file = root / "store.json";
    std::string taken;

    ~StoreFileTest() override {
        fnd::AppDirectories::reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
    StoreFile::Reader accepting(const std::string& good = "good") {
        return [this, good](std::string_view bytes) {
            if (bytes != good) return false;
            taken = bytes;
            return true;
        };
    }
};

}  // namespace

// ---- What is at the path ----

TEST_F(StoreFileTest, ReadableMissingAndUnreadableFilesAreToldApart) {
    StoreFile store(file);
    EXPECT_EQ(store.load(accepting()), StoreFile::Loaded::missing);
    EXPECT_TRUE(store.safeToSave());

    write(file, "good");
    EXPECT_EQ(store.load(accepting()), StoreFile::Loaded::read);
    EXPECT_EQ(taken, "good");

    for (const std::string bad : {"bad", ""}) {
        write(file, bad);
        StoreFile fresh(file);
        EXPECT_EQ(fresh.load(accepting()), StoreFile::Loaded::setAside) << bad;
        ASSERT_TRUE(fresh.setAside()) << bad;
        EXPECT_EQ(read(*fresh.setAside()), bad);
        EXPECT_TRUE(fresh.setAside()->filename().string().starts_with("store.json.unreadable-"));
        EXPECT_FALSE(fs::exists(file));
        EXPECT_TRUE(fresh.safeToSave());
        fs::remove(*fresh.setAside());
    }
}

TEST_F(StoreFileTest, AReaderThatThrowsCountsAsUnreadable) {
    write(file, "good");
    StoreFile store(file);
    EXPECT_EQ(store.load([](std::string_view) -> bool { throw std::runtime_error("broken"); }),
              StoreFile::Loaded::setAside);
    EXPECT_EQ(read(*store.setAside()), "good");
}

TEST_F(StoreFileTest, NonFilesAtThePathAreSetAsideWithoutHangingOrThrowing) {
    // A directory, a FIFO (opening one for reading would wait for a writer) and a loop of links.
    const auto check = [&](const char* what) {
        StoreFile store(file);
        EXPECT_EQ(store.load(accepting()), StoreFile::Loaded::setAside) << what;
        EXPECT_FALSE(fs::exists(fs::symlink_status(file))) << what;
        EXPECT_TRUE(store.save([] { return std::string("good"); }, accepting())) << what;
        EXPECT_EQ(read(file), "good") << what;
        fs::remove(file);
    };
    fs::create_directories(file / "inside");
    write(file / "inside" / "kept", "x");
    check("directory");
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    check("fifo");
    fs::create_symlink(file, file);
    check("link loop");
    const auto aside = namesStartingWith(root, "store.json.unreadable-");
    EXPECT_EQ(aside.size(), 3u);
    for (const auto& name : aside) {
        if (fs::is_directory(root / name)) { EXPECT_EQ(read(root / name / "inside" / "kept"), "x"); }
    }
}

// ---- Files that cannot be opened now ----

TEST_F(StoreFileTest, ReadingIsBoundedNeverBlocksAndFollowsNoLink) {
    using Access = fnd::FileBytes::Access;
    write(file, "0123456789");
    EXPECT_EQ(fnd::readFileBytes(file, 10).text, "0123456789");
    EXPECT_EQ(fnd::readFileBytes(file, 9).access, Access::unreadable);
    // A 512 MB file (sparse: it takes no disk) is refused without being read.
    ASSERT_EQ(::truncate(file.c_str(), 512L * 1024 * 1024), 0);
    const auto start = std::chrono::steady_clock::now();
    const auto huge = fnd::readFileBytes(file, 1024 * 1024);
    EXPECT_EQ(huge.access, Access::unreadable);
    EXPECT_TRUE(huge.text.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    fs::remove(file);

    // A link, even to a good file, is not followed; what it names is left alone.
    const fs::path elsewhere = root / "elsewhere.json";
    write(elsewhere, "good");
    fs::create_symlink(elsewhere, file);
    EXPECT_EQ(fnd::readFileBytes(file).access, Access::unreadable);
    EXPECT_EQ(fnd::readFile(file), std::nullopt);
    StoreFile store(file);
    EXPECT_EQ(store.load(accepting()), StoreFile::Loaded::setAside);
    EXPECT_TRUE(taken.empty());
    EXPECT_EQ(read(elsewhere), "good");
    EXPECT_TRUE(store.save([] { return std::string("mine"); }, accepting()));
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(read(elsewhere), "good") << "a save replaces the link, never writes through it";

    EXPECT_EQ(fnd::readFileBytes(root / "none").access, Access::missing);
}

TEST_F(StoreFileTest, FileThatCannotBeOpenedNowIsLeftAndNotSavedOverUntilItReads) {
    write(file, "good");
    StoreFile store(file);
    storagetest::atDescriptorLimit([&] {
        EXPECT_EQ(store.load(accepting()), StoreFile::Loaded::unavailable);
        EXPECT_FALSE(store.safeToSave());
        EXPECT_NE(store.lastError().find("Too many open files"), std::string::npos) << store.lastError();
        EXPECT_FALSE(store.save([] { return std::string("new"); }, accepting()));
    });
    EXPECT_EQ(read(file), "good");
    EXPECT_TRUE(namesStartingWith(root, "store.json.unreadable").empty());

    // Once the file opens again, the save reads it first, then writes.
    EXPECT_TRUE(store.save([this] { return taken + "+new"; }, accepting()));
    EXPECT_EQ(read(file), "good+new");
}

TEST_F(StoreFileTest, FileWithoutReadPermissionIsLeftAlone) {
    write(file, "good");
    ::chmod(file.c_str(), 0);
    storagetest::asUnprivileged(root, [this]() -> std::string {
        std::string failures;
        StoreFile store(file);
        if (store.load(accepting()) != StoreFile::Loaded::unavailable) failures += "not unavailable\n";
        if (store.save([] { return std::string("new"); }, accepting())) failures += "saved over it\n";
        ::chmod(file.c_str(), 0600);
        if (!store.save([this] { return taken + "+new"; }, accepting())) failures += "later save failed\n";
        if (read(file) != "good+new") failures += "later save lost the old content\n";
        return failures;
    });
}

// ---- Temporary files ----

TEST_F(StoreFileTest, StaleTemporaryFilesGoAtLoadAndAfterASuccessfulSave) {
    // Left by a process that is gone, by an older version, and by this process outside any save;
    // files of other stores and of a live process stay.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const auto stale = {"store.json.tmp-" + std::to_string(child) + "-a", std::string("store.json.tmp-0A1B2C3D-uuid"),
                        "store.json.tmp-" + std::to_string(::getpid()) + "-b"};
    const auto kept = {std::string("other.json.tmp-1-x"), "store.json.tmp-" + std::to_string(::getppid()) + "-c"};
    const auto plant = [&] {
        for (const auto& name : stale) write(root / name, "half");
        for (const auto& name : kept) write(root / name, "half");
    };
    plant();
    StoreFile store(file);
    store.load(accepting());
    EXPECT_EQ(namesStartingWith(root, "store.json.tmp-"), std::vector<std::string>{*std::next(kept.begin())});
    EXPECT_TRUE(fs::exists(root / *kept.begin()));

    plant();
    EXPECT_TRUE(store.save([] { return std::string("good"); }, accepting()));
    EXPECT_EQ(namesStartingWith(root, "store.json.tmp-").size(), 1u);

    // A save that fails leaves the others until one succeeds.
    plant();
    storagetest::withFullDisk([&] { EXPECT_FALSE(store.save([] { return std::string("good again"); }, accepting())); });
    EXPECT_EQ(namesStartingWith(root, "store.json.tmp-").size(), 4u);
    EXPECT_EQ(read(file), "good");
}

TEST_F(StoreFileTest, TemporaryFileBeingWrittenIsNotTakenForAStaleOne) {
    StoreFile store(file);
    store.load(accepting());
    fs::path seen;
    store.setBeforeRename([&](const fs::path& temporary) {
        seen = temporary;
        fnd::removeStaleTemporaries(file);  // another store of the same file cleaning up meanwhile
        EXPECT_TRUE(fs::exists(temporary));
    });
    EXPECT_TRUE(store.save([] { return std::string("good"); }, accepting()));
    EXPECT_TRUE(seen.filename().string().starts_with("store.json.tmp-" + std::to_string(::getpid()) + "-"));
    EXPECT_EQ(read(file), "good");
}
