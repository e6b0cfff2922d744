#include <gtest/gtest.h>

#include <fstream>

#include "platform/foundation/AppDirectories.h"
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
