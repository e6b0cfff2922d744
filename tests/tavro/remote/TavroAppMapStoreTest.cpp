#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/StorageTestSupport.h"
#include "platform/runtime/MainActor.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/remote/TavroAppMap.h"

using namespace tavro;

namespace {

class TavroMapsFile : public ::testing::Test {
protected:
    void SetUp() override {
        fnd::AppDirectories::useFreshTemporaryRoot();
        TavroMaps::reset();
    }
    void TearDown() override {
        TavroMaps::reset();
        std::error_code ignored;
        std::filesystem::remove_all(fnd::AppDirectories::root(), ignored);
        fnd::AppDirectories::reset();
    }

    static TavroAppMap sample() {
        TavroAppMap map{.app = "com.example", .appVersion = "3.1", .start = "home"};
        map.screens["home"] = {"home", "Home", {{"Settings", "button", "settings"}}};
        map.screens["settings"] = {"settings", "Settings", {{"Dark mode", "switch", std::nullopt}}};
        return map;
    }
};

}  // namespace

TEST_F(TavroMapsFile, SavedMapIsLoadedAsTheLearnedOne) {
    EXPECT_EQ(TavroMaps::fileURL(), fnd::AppDirectories::applicationSupport() / "TavroAppMap.json");
    TavroMaps::save(sample());
    EXPECT_TRUE(std::filesystem::exists(TavroMaps::fileURL()));
    EXPECT_EQ(TavroMaps::learned(), std::nullopt) << "saving does not make a map the learned one";

    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), sample());
    EXPECT_EQ(TavroMaps::current(), sample());

    // Only temporary files are ever written beside the map; none stays behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TavroMaps::fileURL().parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(TavroMapsFile, AHeldMapIsNotReplacedByTheFile) {
    TavroMaps::save(sample());
    TavroMaps::setLearned(TavroAppMap{.app = "newer"});
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned()->app, "newer");
}

TEST_F(TavroMapsFile, MissingOrCorruptFilesChangeNothing) {
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), std::nullopt);
    for (const char* text : {"", "{not json", "[1,2]", "{\"screens\": 5}"}) {
        std::ofstream(TavroMaps::fileURL(), std::ios::trunc) << text;
        TavroMaps::loadSaved();
        EXPECT_EQ(TavroMaps::learned(), std::nullopt) << text;
    }
}

TEST_F(TavroMapsFile, SavingOverwritesAndSurvivesInvalidText) {
    TavroMaps::save(sample());
    auto other = sample();
    other.screens["home"].title = std::string("Bad \xff byte");
    TavroMaps::save(other);
    TavroMaps::loadSaved();
    ASSERT_TRUE(TavroMaps::learned());
    EXPECT_EQ(TavroMaps::learned()->screens.at("home").title, "Bad \xEF\xBF\xBD byte");
}

TEST_F(TavroMapsFile, UnreadableFileIsSetAsideNotDestroyedByTheNextSave) {
    std::filesystem::create_directories(TavroMaps::fileURL().parent_path());
    std::ofstream(TavroMaps::fileURL(), std::ios::trunc) << "{not a map";
    TavroMaps::save(sample());  // never read before: read first, then set aside
    const auto aside = storagetest::namesStartingWith(TavroMaps::fileURL().parent_path(), "TavroAppMap.json.unreadable-");
    ASSERT_EQ(aside.size(), 1u);
    std::ifstream kept(TavroMaps::fileURL().parent_path() / aside[0]);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "{not a map");
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), sample());
}

TEST_F(TavroMapsFile, DirectoryAtThePathDoesNotBlockLoadingOrSavingForever) {
    std::filesystem::create_directories(TavroMaps::fileURL() / "inside");
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), std::nullopt);
    TavroMaps::save(sample());
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), sample());
}

TEST_F(TavroMapsFile, SavedFileThatCannotBeOpenedNowIsNotReplaced) {
    if (storagetest::typeChecksNeedDescriptors) GTEST_SKIP() << "sanitizer type checks need descriptors";
    std::filesystem::create_directories(TavroMaps::fileURL().parent_path());
    std::ofstream(TavroMaps::fileURL(), std::ios::trunc) << sample().toJSON().dump();
    auto other = sample();
    other.app = "other";
    storagetest::atDescriptorLimit([&] { TavroMaps::save(other); });
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), sample());
    // Read once, the file may be replaced.
    TavroMaps::save(other);
    TavroMaps::reset();
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), other);
}

TEST_F(TavroMapsFile, FailedSaveWritesOneActivityLine) {
    rt::MainActor::Scope scope(rt::MainActor::create(rt::ClockKind::virtual_));
    TavroDebug::reset();
    TavroDebug::shared()->enabled.set(true);
    TavroMaps::save(sample());
    storagetest::withFullDisk([] { TavroMaps::save(sample()); });
    const auto entries = TavroDebug::shared()->entries.value();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].tag, "learn");
    EXPECT_FALSE(entries[0].ok);
    EXPECT_NE(entries[0].text.find("app map not saved"), std::string::npos);
    TavroDebug::reset();
}

TEST_F(TavroMapsFile, ADeeplyNestedMapIsSetAsideAsUnreadable) {
    auto json = nlohmann::json::parse(sample().toJSON().dump());
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    std::string text = json.dump();
    text.insert(text.size() - 1, ",\"extra\":" + deep);
    EXPECT_EQ(TavroAppMap::parse(text), std::nullopt);
    std::filesystem::create_directories(TavroMaps::fileURL().parent_path());
    std::ofstream(TavroMaps::fileURL(), std::ios::trunc) << text;
    TavroMaps::loadSaved();
    EXPECT_EQ(TavroMaps::learned(), std::nullopt);
    EXPECT_EQ(storagetest::namesStartingWith(TavroMaps::fileURL().parent_path(), "TavroAppMap.json.unreadable-").size(), 1u);
}
