#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/AppDirectories.h"
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

}  // namespace
