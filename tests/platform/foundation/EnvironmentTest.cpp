#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/PreferredLanguages.h"
#include "platform/foundation/Uuid.h"

namespace fs = std::filesystem;
using Tags = std::vector<std::string>;

namespace {

// Sets environment variables for one test and restores them afterwards.
class EnvGuard {
public:
    void set(const char* name, std::optional<std::string> value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) ::setenv(it->first, it->second->c_str(), 1);
            else ::unsetenv(it->first);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

}  // namespace

TEST(PreferredLanguages, ReadFromTheEnvironmentInOrder) {
    struct Case {
        std::optional<std::string> language, lcAll, lcMessages, lang;
        Tags want;
    };
    const std::vector<Case> cases = {
        {"ja_JP:en_US", "de_DE.UTF-8", std::nullopt, "fr_FR", {"ja-JP", "en-US"}},
        {std::nullopt, std::nullopt, std::nullopt, "ja_JP.UTF-8", {"ja-JP"}},
        {"", "de_DE@euro", "fr_FR", "en_US", {"de-DE"}},
        {std::nullopt, std::nullopt, "pt_BR.UTF-8", "en_US", {"pt-BR"}},
        {std::nullopt, "C.UTF-8", std::nullopt, "ja_JP.UTF-8", {}},
        {"::", std::nullopt, std::nullopt, "POSIX", {}},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        EnvGuard env;
        env.set("LANGUAGE", c.language);
        env.set("LC_ALL", c.lcAll);
        env.set("LC_MESSAGES", c.lcMessages);
        env.set("LANG", c.lang);
        EXPECT_EQ(fnd::PreferredLanguages::list(), c.want) << c.lang.value_or("-");
    }
}

TEST(PreferredLanguages, OverrideWinsUntilReset) {
    EnvGuard env;
    env.set("LANGUAGE", "en_GB");
    fnd::PreferredLanguages::setOverride(Tags{"ja"});
    EXPECT_EQ(fnd::PreferredLanguages::first(), "ja");
    fnd::PreferredLanguages::reset();
    EXPECT_EQ(fnd::PreferredLanguages::first(), "en-GB");
}

TEST(MainBundle, AbsentValuesAreAbsent) {
    fnd::MainBundle::reset();
    EXPECT_EQ(fnd::MainBundle::identifier(), std::nullopt);
    EXPECT_EQ(fnd::MainBundle::info("CFBundleDisplayName"), std::nullopt);
    fnd::MainBundle::setIdentifier("com.example.demo");
    fnd::MainBundle::setInfo({{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", "7"}});
    fnd::MainBundle::setInfo("CFBundleDisplayName", "Demo");
    EXPECT_EQ(fnd::MainBundle::identifier(), "com.example.demo");
    EXPECT_EQ(fnd::MainBundle::info("CFBundleShortVersionString"), "1.2");
    EXPECT_EQ(fnd::MainBundle::info("CFBundleDisplayName"), "Demo");
    fnd::MainBundle::setInfo("CFBundleDisplayName", std::nullopt);
    EXPECT_EQ(fnd::MainBundle::info("CFBundleDisplayName"), std::nullopt);
    fnd::MainBundle::reset();
    EXPECT_EQ(fnd::MainBundle::info("CFBundleVersion"), std::nullopt);
}

TEST(AppDirectories, DefaultRootIsDataDirectoryPlusBundleIdentifier) {
    EnvGuard env;
    env.set("XDG_DATA_HOME", "/data/home");
    fnd::AppDirectories::reset();
    fnd::MainBundle::setIdentifier("com.example.demo");
    EXPECT_EQ(fnd::AppDirectories::root(), fs::path("/data/home/com.example.demo"));
    fnd::MainBundle::reset();
    EXPECT_EQ(fnd::AppDirectories::root(), fs::path("/data/home/app"));
    env.set("XDG_DATA_HOME", std::nullopt);
    env.set("HOME", "/home/u");
    EXPECT_EQ(fnd::AppDirectories::root(), fs::path("/home/u/.local/share/app"));
}

TEST(AppDirectories, FreshRootGivesCreatedDirectories) {
    const auto a = fnd::AppDirectories::useFreshTemporaryRoot();
    const auto support = fnd::AppDirectories::applicationSupport();
    const auto tmp = fnd::AppDirectories::temporary();
    EXPECT_EQ(support, a / "Application Support");
    EXPECT_EQ(tmp, a / "tmp");
    EXPECT_TRUE(fs::is_directory(support));
    EXPECT_TRUE(fs::is_directory(tmp));
    const auto b = fnd::AppDirectories::useFreshTemporaryRoot();
    EXPECT_NE(a, b);
    EXPECT_TRUE(fs::is_empty(b));
    fnd::AppDirectories::reset();
    EXPECT_FALSE(fs::exists(a)) << "reset removes the temporary roots it made";
    EXPECT_FALSE(fs::exists(b));
}

TEST(Uuid, RandomVersionFourInUpperCaseText) {
    const std::regex form("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const auto text = fnd::Uuid::random().text();
        EXPECT_TRUE(std::regex_match(text, form)) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(Uuid, ParsesTextFormInEitherCase) {
    const auto u = fnd::Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(u.has_value());
    EXPECT_EQ(u->text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(fnd::Uuid::parse(u->text()), u);
    for (const std::string bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                                  "G621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0",
                                  "E621E1F8+C36C-495A-93FC-0C247A3E6E5F"})
        EXPECT_EQ(fnd::Uuid::parse(bad), std::nullopt) << bad;
}

TEST(Console, CaptureRecordsWholeLinesFromAnyThread) {
    fnd::Console::Capture capture(false);
    fnd::Console::write("[TAVRO_SDK] start models=rules");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) fnd::Console::write("[TAVRO_SDK] t" + std::to_string(t));
        });
    for (auto& th : threads) th.join();
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 201u);
    EXPECT_EQ(lines.front(), "[TAVRO_SDK] start models=rules");
    EXPECT_TRUE(capture.contains("models=rules"));
    for (const auto& l : lines) EXPECT_EQ(l.rfind("[TAVRO_SDK] ", 0), 0u);
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}

TEST(Console, CaptureEndsWithItsScope) {
    std::optional<fnd::Console::Capture> capture;
    capture.emplace(false);
    fnd::Console::write("one");
    const auto lines = capture->lines();
    capture.reset();
    fnd::Console::Capture later(false);
    EXPECT_EQ(lines, Tags{"one"});
    EXPECT_TRUE(later.lines().empty());
}
