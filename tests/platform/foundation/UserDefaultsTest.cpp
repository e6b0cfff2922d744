#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "StorageTestSupport.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/UserDefaults.h"

namespace fs = std::filesystem;
using fnd::AppDirectories;
using fnd::UserDefaults;

namespace {

struct DefaultsTest : ::testing::Test {
    fs::path root = AppDirectories::useFreshTemporaryRoot();
    fs::path file = root / "prefs" / "defaults.json";
    ~DefaultsTest() override {
        UserDefaults::resetStandard();
        AppDirectories::reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

}  // namespace

TEST_F(DefaultsTest, ValuesSurviveARestart) {
    const auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'700'000'000'250));
    {
        auto d = UserDefaults::open(file);
        EXPECT_TRUE(d->setBoolean("tavro.sdk.link.enabled", true));
        EXPECT_TRUE(d->setString("tavro.sdk.pack.etag", "W/\"abc\""));
        EXPECT_TRUE(d->setInteger("count", 42));
        EXPECT_TRUE(d->setNumber("ratio", 0.5));
        EXPECT_TRUE(d->setDate("tavro.sdk.pack.checkedAt", when));
    }
    auto d = UserDefaults::open(file);
    EXPECT_EQ(d->boolean("tavro.sdk.link.enabled"), true);
    EXPECT_EQ(d->string("tavro.sdk.pack.etag"), "W/\"abc\"");
    EXPECT_EQ(d->integer("count"), 42);
    EXPECT_EQ(d->number("ratio"), 0.5);
    const auto back = d->date("tavro.sdk.pack.checkedAt");
    ASSERT_TRUE(back.has_value());
    EXPECT_LT(std::chrono::abs(*back - when), std::chrono::milliseconds(1));
    EXPECT_FALSE(d->setAside().has_value());
}

TEST_F(DefaultsTest, ReadsOfAbsentOrOtherTypedKeysGiveNothing) {
    auto d = UserDefaults::open(file);
    d->setString("s", "true");
    d->setNumber("n", 2.75);
    EXPECT_EQ(d->boolean("missing"), std::nullopt);
    EXPECT_EQ(d->boolean("s"), std::nullopt);
    EXPECT_EQ(d->string("n"), std::nullopt);
    EXPECT_EQ(d->date("n"), std::nullopt);
    EXPECT_EQ(d->integer("n"), 2);
    EXPECT_FALSE(d->setNumber("nan", std::nan("")));
    EXPECT_FALSE(d->contains("nan"));
}

TEST_F(DefaultsTest, RemoveIsPersisted) {
    UserDefaults::open(file)->setBoolean("tavro.sdk.download.declined", true);
    EXPECT_TRUE(UserDefaults::open(file)->remove("tavro.sdk.download.declined"));
    EXPECT_FALSE(UserDefaults::open(file)->contains("tavro.sdk.download.declined"));
}

TEST_F(DefaultsTest, CorruptFileReadsEmptyAndIsKeptAside) {
    fs::create_directories(file.parent_path());
    for (const std::string bad : {"{not json", "[1,2,3]", "\xff\xfe"}) {
        std::ofstream(file, std::ios::binary) << bad;
        auto d = UserDefaults::open(file);
        EXPECT_TRUE(d->keys().empty());
        const auto aside = d->setAside();
        ASSERT_TRUE(aside.has_value()) << bad;
        EXPECT_EQ(read(*aside), bad);
        d->setBoolean("fresh", true);
        EXPECT_EQ(read(*aside), bad);  // never overwritten
        EXPECT_EQ(UserDefaults::open(file)->boolean("fresh"), true);
        fs::remove(*aside);
    }
}

TEST_F(DefaultsTest, DirectoryAtThePathReadsEmptyIsKeptAsideAndTheNextWriteSucceeds) {
    fs::create_directories(file / "inside");
    std::shared_ptr<UserDefaults> d;
    EXPECT_NO_THROW(d = UserDefaults::open(file));
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->keys().empty());
    ASSERT_TRUE(d->setAside().has_value());
    EXPECT_TRUE(fs::is_directory(*d->setAside() / "inside"));
    EXPECT_TRUE(d->setBoolean("fresh", true));
    EXPECT_EQ(UserDefaults::open(file)->boolean("fresh"), true);
}

TEST_F(DefaultsTest, FileThatCannotBeOpenedNowIsKeptAndMergedWithLaterChanges) {
    {
        auto d = UserDefaults::open(file);
        d->setString("tavro.sdk.pack.etag", "W/\"1\"");
        d->setBoolean("tavro.sdk.link.enabled", true);
        d->setInteger("gone", 1);
    }
    const std::string before = read(file);
    std::shared_ptr<UserDefaults> d;
    storagetest::atDescriptorLimit([&] {
        d = UserDefaults::open(file);
        EXPECT_FALSE(d->setAside().has_value());
        EXPECT_FALSE(d->setInteger("count", 7));  // not written over the unread file
        EXPECT_TRUE(d->remove("gone") == false);
    });
    EXPECT_EQ(read(file), before);
    EXPECT_EQ(d->integer("count"), 7);  // kept in memory meanwhile

    // The next write reads the file first: its values stay, the changes made meanwhile win.
    EXPECT_TRUE(d->setBoolean("tavro.sdk.link.enabled", false));
    const auto reopened = UserDefaults::open(file);
    EXPECT_EQ(reopened->string("tavro.sdk.pack.etag"), "W/\"1\"");
    EXPECT_EQ(reopened->boolean("tavro.sdk.link.enabled"), false);
    EXPECT_EQ(reopened->integer("count"), 7);
    EXPECT_FALSE(reopened->contains("gone"));
    EXPECT_EQ(d->string("tavro.sdk.pack.etag"), "W/\"1\"");
}

TEST_F(DefaultsTest, CorruptFileInAReadOnlyDirectoryIsNeverOverwritten) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "{corrupt";
    storagetest::asUnprivileged(root, [this]() -> std::string {
        std::string failures;
        ::chmod(file.parent_path().c_str(), 0500);
        auto d = UserDefaults::open(file);
        if (d->setBoolean("k", true)) failures += "wrote over the corrupt file\n";
        if (read(file) != "{corrupt") failures += "corrupt file changed\n";
        ::chmod(file.parent_path().c_str(), 0700);
        if (!d->setBoolean("k2", true)) failures += "later write failed\n";
        if (!d->setAside() || read(*d->setAside()) != "{corrupt") failures += "corrupt file not kept aside\n";
        const auto reopened = UserDefaults::open(file);
        if (reopened->boolean("k") != true || reopened->boolean("k2") != true) failures += "values lost\n";
        return failures;
    });
}

TEST_F(DefaultsTest, DatesOfAnyYearSurviveAndDatesBeyondReachAreRefused) {
    using namespace std::chrono;
    const UserDefaults::Date far = sys_days{year{9999} / December / 31} + hours{23} + milliseconds{999};
    const UserDefaults::Date early = sys_days{year{1} / January / 1};
    {
        auto d = UserDefaults::open(file);
        EXPECT_TRUE(d->setDate("far", far));
        EXPECT_TRUE(d->setDate("early", early));
        EXPECT_TRUE(d->setDate("now", system_clock::now()));
    }
    auto d = UserDefaults::open(file);
    EXPECT_EQ(d->date("far"), far);
    EXPECT_EQ(d->date("early"), early);
    EXPECT_TRUE(d->date("now").has_value());

    // Written by hand: seconds from an earlier version, and dates no 64-bit count of milliseconds
    // holds, which read as nothing rather than as some other date.
    std::ofstream(file, std::ios::trunc) << R"({"seconds": {"$date": 1700000000.25}, "huge": {"$date": 1e300},
        "unsigned": {"$date": 18446744073709551615}, "edge": {"$date": 9.3e15}})";
    d = UserDefaults::open(file);
    EXPECT_EQ(d->date("seconds"), UserDefaults::Date(milliseconds(1'700'000'000'250)));
    EXPECT_EQ(d->date("huge"), std::nullopt);
    EXPECT_EQ(d->date("unsigned"), std::nullopt);
    EXPECT_EQ(d->date("edge"), std::nullopt);
    d->setBoolean("other", true);  // the refused dates stay in the file as they were
    EXPECT_NE(read(file).find("1e+300"), std::string::npos) << read(file);
}

TEST_F(DefaultsTest, WritesLeaveNoTemporaryFiles) {
    auto d = UserDefaults::open(file);
    for (int i = 0; i < 20; ++i) d->setInteger("k" + std::to_string(i), i);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(file.parent_path())) {
        ++files;
        EXPECT_EQ(entry.path().filename(), "defaults.json");
    }
    EXPECT_EQ(files, 1);
}

TEST_F(DefaultsTest, UnwritableLocationReportsFailureButKeepsValue) {
    fs::create_directories(root / "blocked");
    std::ofstream(root / "blocked" / "file") << "x";
    auto d = UserDefaults::open(root / "blocked" / "file" / "defaults.json");  // parent is a file
    EXPECT_FALSE(d->setBoolean("k", true));
    EXPECT_EQ(d->boolean("k"), true);
}

TEST_F(DefaultsTest, StandardStoreLivesInApplicationSupport) {
    UserDefaults::resetStandard();
    UserDefaults::standard()->setString("nemtora.tavro.greeting.lastShownDay", "2024-05-01");
    EXPECT_TRUE(fs::exists(AppDirectories::applicationSupport() / "UserDefaults.json"));
    UserDefaults::resetStandard();
    EXPECT_EQ(UserDefaults::standard()->string("nemtora.tavro.greeting.lastShownDay"), "2024-05-01");
}

TEST_F(DefaultsTest, DeeplyNestedFileIsSetAsideAndTheStoreStaysWritable) {
    // Parsed whole, such a file would crash the writer (it recurses) at the first save.
    const std::string bomb = "{\"keep\":\"me\",\"x\":" + std::string(200000, '[') + std::string(200000, ']') + "}";
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bomb;
    const auto defaults = UserDefaults::open(file);
    EXPECT_FALSE(defaults->contains("keep"));
    ASSERT_TRUE(defaults->setAside().has_value());
    EXPECT_EQ(read(*defaults->setAside()), bomb) << "nothing of the file is lost";
    EXPECT_TRUE(defaults->setString("a", "b"));
    EXPECT_EQ(UserDefaults::open(file)->string("a"), "b");
}
