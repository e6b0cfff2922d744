// Kills a process at random moments while it saves the recipes, the user defaults and the app map
// over and over: every file left on disk must read, and the next save must leave no temporary
// file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <thread>

#include "TavroMemoryTestSupport.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/StorageTestSupport.h"
#include "platform/foundation/UserDefaults.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/remote/TavroAppMap.h"

using namespace tavro;
using namespace tavro::memorytest;

namespace {

TavroAppMap mapNumbered(int n) {
    TavroAppMap map{.app = "com.example", .appVersion = std::to_string(n), .start = "home"};
    for (int i = 0; i < 40; ++i) {
        const std::string location = "screen" + std::to_string(i);
        map.screens[location] = {location, "Screen " + std::to_string(n), {{"Next", "button", "screen" + std::to_string(i + 1)}}};
    }
    return map;
}

[[noreturn]] void saveForever(const std::filesystem::path& recipes, const std::filesystem::path& defaults) {
    TavroMemory memory(recipes);
    const auto settings = fnd::UserDefaults::open(defaults);
    for (int n = 0;; ++n) {
        memory.learn("open page " + std::to_string(n % 300), {tapped(element(3, "button", "Page " + std::to_string(n)))});
        settings->setInteger("count." + std::to_string(n % 50), n);
        TavroMaps::save(mapNumbered(n));
    }
}

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(StorageKill, FilesKilledMidSaveAlwaysReadAndTheNextSaveLeavesNoTemporaryFile) {
    const std::filesystem::path root = fnd::AppDirectories::useFreshTemporaryRoot();
    const std::filesystem::path recipes = root / "TavroSDK" / "recipes.json";
    const std::filesystem::path defaults = root / "UserDefaults.json";
    const std::filesystem::path map = TavroMaps::fileURL();
    std::mt19937 random(20261206);
    int leftovers = 0;
    constexpr int rounds = 40;
    for (int round = 0; round < rounds; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) saveForever(recipes, defaults);
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(200, 20000)(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        for (const auto& directory : {recipes.parent_path(), root}) {
            leftovers += static_cast<int>(storagetest::namesStartingWith(directory, "recipes.json.tmp-").size() +
                                          storagetest::namesStartingWith(directory, "UserDefaults.json.tmp-").size() +
                                          storagetest::namesStartingWith(directory, "TavroAppMap.json.tmp-").size());
        }
        // Every file that exists reads as its store: nothing is set aside.
        TavroMemory memory(recipes);
        const auto settings = fnd::UserDefaults::open(defaults);
        EXPECT_FALSE(settings->setAside().has_value()) << "round " << round;
        if (std::filesystem::exists(map)) {
            EXPECT_TRUE(TavroAppMap::parse(contentOf(map))) << "round " << round;
        }
        EXPECT_TRUE(storagetest::namesStartingWith(recipes.parent_path(), "recipes.json.unreadable").empty());

        // The next save of each store leaves no temporary file.
        memory.learn("open settings", {tapped(element(4, "button", "Settings"))});
        settings->setBoolean("checked", true);
        TavroMaps::save(mapNumbered(-1));
        for (const auto& directory : {recipes.parent_path(), root}) {
            EXPECT_TRUE(storagetest::namesStartingWith(directory, "recipes.json.tmp").empty()) << "round " << round;
            EXPECT_TRUE(storagetest::namesStartingWith(directory, "UserDefaults.json.tmp").empty()) << "round " << round;
            EXPECT_TRUE(storagetest::namesStartingWith(directory, "TavroAppMap.json.tmp").empty()) << "round " << round;
        }
    }
    // The kills did land mid-save (the temporary file exists from its creation to the rename).
    EXPECT_GT(leftovers, 0);
    std::cout << "kills that left a temporary file: " << leftovers << " of " << rounds << "\n";
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    fnd::AppDirectories::reset();
}
