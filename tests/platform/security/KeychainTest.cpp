#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Keychain.h"

namespace {

namespace fs = std::filesystem;

struct Keychain : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("keychain-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Keychain() {
        fs::remove_all(dir);
        security::Keychain::setDirectory(dir);
    }
    ~Keychain() override {
        security::Keychain::setDirectory(std::nullopt);
        fs::remove_all(dir);
    }
    std::vector<fs::path> files() const {
        std::vector<fs::path> out;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec)) out.push_back(entry.path());
        return out;
    }
};

TEST_F(Keychain, ItemsRoundTripBySeviceAndAccountWithAnyBytes) {
    const std::string binary("\0\x01\xff\"\\ key", 9);
    EXPECT_FALSE(security::Keychain::read("svc", "a"));
    ASSERT_TRUE(security::Keychain::write("svc", "a", binary));
    ASSERT_TRUE(security::Keychain::write("svc", "b", "second"));
    ASSERT_TRUE(security::Keychain::write("other", "a", "elsewhere"));
    EXPECT_EQ(security::Keychain::read("svc", "a"), binary);
    EXPECT_EQ(security::Keychain::read("svc", "b"), "second");
    EXPECT_EQ(security::Keychain::read("other", "a"), "elsewhere");

    ASSERT_TRUE(security::Keychain::write("svc", "a", "replaced"));
    EXPECT_EQ(security::Keychain::read("svc", "a"), "replaced");
    EXPECT_TRUE(security::Keychain::remove("svc", "a"));
    EXPECT_FALSE(security::Keychain::read("svc", "a"));
    EXPECT_EQ(security::Keychain::read("svc", "b"), "second");
    EXPECT_TRUE(security::Keychain::removeAll("svc"));
    EXPECT_FALSE(security::Keychain::read("svc", "b"));
    EXPECT_EQ(security::Keychain::read("other", "a"), "elsewhere");
}

TEST_F(Keychain, OnlyTheOwnerMayReadAndNamesStayInsideTheFolder) {
    ASSERT_TRUE(security::Keychain::write("../../escape", "a", "x"));
    ASSERT_TRUE(security::Keychain::write(".hidden/..", "a", "y"));
    struct stat info {};
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700);
    const auto inside = files();
    ASSERT_EQ(inside.size(), 2u);
    for (const auto& file : inside) {
        EXPECT_EQ(file.parent_path(), dir);
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600) << file;
    }
    EXPECT_EQ(security::Keychain::read("../../escape", "a"), "x");
    EXPECT_EQ(security::Keychain::read(".hidden/..", "a"), "y");
}

TEST_F(Keychain, AnUnreadableFileIsKeptAsideAndTheServiceStartsAgain) {
    ASSERT_TRUE(security::Keychain::write("svc", "a", "x"));
    const auto file = files().front();
    for (const std::string bad : {"not json", R"({"a": 5})", R"({"a": "zz"})", "[]"}) {
        std::ofstream(file, std::ios::trunc) << bad;
        EXPECT_FALSE(security::Keychain::read("svc", "a")) << bad;
        EXPECT_TRUE(security::Keychain::write("svc", "a", "fresh")) << bad;
        EXPECT_EQ(security::Keychain::read("svc", "a"), "fresh");
    }
    int aside = 0;
    for (const auto& f : files()) aside += f.filename().string().find(".unreadable") != std::string::npos;
    EXPECT_EQ(aside, 4);
}

TEST_F(Keychain, ANestedBombIsKeptAsideLikeAnyUnreadableFile) {
    ASSERT_TRUE(security::Keychain::write("svc", "a", "x"));
    const auto file = files().front();
    std::ofstream(file, std::ios::trunc) << "{\"a\":" << std::string(100000, '[') << std::string(100000, ']') << "}";
    EXPECT_FALSE(security::Keychain::read("svc", "a"));
    EXPECT_TRUE(security::Keychain::write("svc", "a", "fresh"));
    EXPECT_EQ(security::Keychain::read("svc", "a"), "fresh");
}

TEST_F(Keychain, CopiesLeftByKilledSavesGoAtOpenAfterWritesAndWithRemoveAll) {
    ASSERT_TRUE(security::Keychain::write("svc", "key", "secret"));
    const auto file = files().front();
    // A process that is surely gone: a child that has exited and been waited for.
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const auto plant = [&] {
        for (const char* tail : {"-a", "-b"}) {
            std::ofstream(file.string() + ".tmp-" + std::to_string(gone) + tail) << R"({"key":"c2VjcmV0"})";
        }
        std::ofstream(file.string() + ".unreadable") << R"({"key":)";
        std::ofstream(file.string() + ".unreadable-2") << R"({"key":)";
    };
    const auto copies = [&] {
        int n = 0;
        for (const auto& f : files()) n += f.filename().string().rfind(file.filename().string() + ".", 0) == 0;
        return n;
    };
    plant();
    EXPECT_EQ(security::Keychain::read("svc", "key"), "secret");
    EXPECT_EQ(copies(), 2) << "the temporaries go when the service is opened";
    ASSERT_TRUE(security::Keychain::write("other", "a", "b"));
    plant();
    EXPECT_TRUE(security::Keychain::removeAll("svc"));
    EXPECT_EQ(copies(), 0) << "removing every item leaves no copy of one";
    EXPECT_EQ(security::Keychain::read("other", "a"), "b");
    EXPECT_EQ(files().size(), 1u);
}

TEST_F(Keychain, AFolderThatIsALinkIsNeitherReadNorWrittenThrough) {
    const fs::path victim = dir.string() + "-victim";
    fs::remove_all(victim);
    fs::create_directories(victim);
    ::chmod(victim.c_str(), 0755);
    std::ofstream(victim / "svc.keychain") << R"({"key":"cGxhbnRlZA=="})";  // "planted"
    fs::create_directories(dir.parent_path());
    fs::create_directory_symlink(victim, dir);

    EXPECT_FALSE(security::Keychain::read("svc", "key")) << "items in a folder that is not ours are not taken";
    ASSERT_TRUE(security::Keychain::write("svc", "key", "secret"));
    EXPECT_FALSE(fs::is_symlink(dir));
    struct stat info {};
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700);
    ASSERT_EQ(::stat(victim.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755) << "the linked folder's mode is left alone";
    std::ifstream planted(victim / "svc.keychain");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(planted), {}), R"({"key":"cGxhbnRlZA=="})");
    EXPECT_EQ(security::Keychain::read("svc", "key"), "secret");
    for (const auto& entry : fs::directory_iterator(dir.parent_path())) {
        const auto name = entry.path().filename().string();
        if (name.rfind(dir.filename().string() + ".refused", 0) == 0) fs::remove(entry.path());
    }
    fs::remove_all(victim);
}

TEST_F(Keychain, AFolderOfAnotherUserIsNeitherReadNorWritten) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    ASSERT_TRUE(security::Keychain::write("svc", "key", "planted"));
    ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(security::Keychain::read("svc", "key"));
    ASSERT_TRUE(security::Keychain::write("svc", "key", "secret"));
    struct stat info {};
    ASSERT_EQ(::lstat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, ::geteuid()) << "a fresh folder of the user's own";
    EXPECT_EQ(security::Keychain::read("svc", "key"), "secret");
    for (const auto& entry : fs::directory_iterator(dir.parent_path())) {
        const auto name = entry.path().filename().string();
        if (name.rfind(dir.filename().string() + ".refused", 0) == 0) fs::remove_all(entry.path());
    }
}

// The keychain at its default place, under a user data directory of the test's own.
struct DefaultKeychain : Keychain {
    std::optional<std::string> xdg;
    DefaultKeychain() {
        if (const char* old = std::getenv("XDG_DATA_HOME")) xdg = old;
        ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
        security::Keychain::setDirectory(std::nullopt);
    }
    ~DefaultKeychain() override {
        if (xdg) ::setenv("XDG_DATA_HOME", xdg->c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
        fnd::MainBundle::reset();
    }
};

TEST_F(DefaultKeychain, EachAppKeepsItsOwnItemsOutsideItsRoot) {
    fnd::MainBundle::setIdentifier("com.example.first");
    ASSERT_TRUE(security::Keychain::write("svc", "key", "first's"));
    EXPECT_EQ(security::Keychain::directory(), dir / "tavro-keychain" / "com.example.first");
    EXPECT_FALSE(security::Keychain::directory().string().starts_with(fnd::AppDirectories::root().string() + "/"));

    fnd::MainBundle::setIdentifier("com.example.second");
    EXPECT_FALSE(security::Keychain::read("svc", "key")) << "another app does not read them";
    ASSERT_TRUE(security::Keychain::write("svc", "key", "second's"));
    EXPECT_TRUE(security::Keychain::removeAll("svc"));

    fnd::MainBundle::setIdentifier("com.example.first");
    EXPECT_EQ(security::Keychain::read("svc", "key"), "first's") << "nor removes them";
}

TEST_F(DefaultKeychain, AnItemOfTheSharedFolderIsMovedToTheFirstAppThatUsesIt) {
    const auto shared = dir / "tavro-keychain";
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 0700);
    std::ofstream(shared / "svc.keychain") << R"({"key":"b2xk"})";  // "old"
    std::ofstream(shared / "other.keychain") << R"({"key":"b3RoZXI="})";

    fnd::MainBundle::setIdentifier("com.example.first");
    EXPECT_EQ(security::Keychain::read("svc", "key"), "old");
    EXPECT_FALSE(fs::exists(shared / "svc.keychain")) << "moved, not copied";
    EXPECT_TRUE(fs::exists(shared / "other.keychain")) << "a service not used yet stays";
    fnd::MainBundle::setIdentifier("com.example.second");
    EXPECT_FALSE(security::Keychain::read("svc", "key"));

    // An app with a file of its own keeps it and leaves the shared one alone.
    fs::create_directories(shared / "com.example.third");
    ::chmod((shared / "com.example.third").c_str(), 0700);
    std::ofstream(shared / "com.example.third" / "other.keychain") << R"({"key":"bWluZQ=="})";  // "mine"
    fnd::MainBundle::setIdentifier("com.example.third");
    EXPECT_EQ(security::Keychain::read("other", "key"), "mine");
    EXPECT_TRUE(fs::exists(shared / "other.keychain"));
}

// The app id back from its folder name: "%XY" is the byte XY.
std::string unescaped(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size()) {
            out += static_cast<char>(std::stoi(name.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += name[i];
        }
    }
    return out;
}

TEST_F(DefaultKeychain, EveryAppIdHasItsOwnRootDefaultsAndItems) {
    // What was stored before by the app without an id, in the folder "app".
    fnd::MainBundle::setIdentifier(std::nullopt);
    ASSERT_TRUE(security::Keychain::write("svc", "key", "earlier"));
    ASSERT_TRUE(fnd::UserDefaults::standard()->setString("owner", "earlier"));

    const std::vector<std::string> ids{"com.acme/x", "com.other/y", ".", "..", "/", "com.acme.y",
                                       "a/b",        "a%2Fb",       "%",  "tab\tid", "app.", ".app"};
    std::set<fs::path> roots;
    std::set<fs::path> folders;
    for (const auto& id : ids) {
        fnd::MainBundle::setIdentifier(id);
        const auto root = fnd::AppDirectories::root();
        EXPECT_EQ(root.parent_path(), dir) << id << ": one folder in the data directory";
        EXPECT_EQ(unescaped(root.filename().string()), id) << "the folder name gives the id back";
        EXPECT_EQ(security::Keychain::directory(), dir / "tavro-keychain" / root.filename()) << id;
        roots.insert(root);
        folders.insert(security::Keychain::directory());
        EXPECT_FALSE(security::Keychain::read("svc", "key")) << id << " reads no other app's item";
        EXPECT_FALSE(fnd::UserDefaults::standard()->string("owner")) << id << " reads no other app's defaults";
        ASSERT_TRUE(security::Keychain::write("svc", "key", id));
        ASSERT_TRUE(fnd::UserDefaults::standard()->setString("owner", id));
    }
    EXPECT_EQ(roots.size(), ids.size());
    EXPECT_EQ(folders.size(), ids.size());
    for (const auto& id : ids) {
        fnd::MainBundle::setIdentifier(id);
        EXPECT_EQ(security::Keychain::read("svc", "key"), id);
        EXPECT_EQ(fnd::UserDefaults::standard()->string("owner"), id);
    }
    fnd::MainBundle::setIdentifier(std::nullopt);
    EXPECT_EQ(fnd::AppDirectories::root(), dir / "app");
    EXPECT_EQ(security::Keychain::read("svc", "key"), "earlier") << "the earlier data stays with the app without an id";
    EXPECT_EQ(fnd::UserDefaults::standard()->string("owner"), "earlier");
    fnd::UserDefaults::resetStandard();
}

}  // namespace
