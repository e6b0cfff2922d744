#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;

namespace {

using Control = TavroAppMap::Control;

TavroAppMap sampleMap() {
    TavroAppMap map;
    map.app = "com.example.demo";
    map.appVersion = "1.0";
    map.start = "home";
    auto add = [&](std::string location, std::string title, std::vector<Control> controls) {
        map.screens[location] = {location, std::move(title), std::move(controls)};
    };
    add("home", "Home",
        {{"Settings", "button", "settings"}, {"Profile", "tab", "profile"}, {"Chats", "tab", "chats"}});
    add("settings", "Settings", {{"Display", "cell", "display"}, {"Dark mode", "switch", std::nullopt}});
    add("display", "Display & Brightness", {{"Dark Mode", "switch", std::nullopt}, {"Text size", "cell", "text"}});
    add("profile", "", {{"Edit name", "button", "edit"}});
    add("edit", "Edit profile", {{"Name", "input", std::nullopt}});
    add("chats", "Chats", {{"New chat", "button", "compose"}});
    add("compose", "New message", {{"To", "input", std::nullopt}, {"Send", "button", "chats"}});
    add("orphan", "Hidden dark corner", {});
    return map;
}

TavroScreen at(std::string location) {
    TavroScreen screen;
    screen.location = std::move(location);
    return screen;
}

}  // namespace

TEST(TavroAppMapHints, BestScoresFirstWithTheShortestChain) {
    const auto map = sampleMap();
    // "turn" and "on" give nothing ("on" is too short); "dark" and "mode" score.
    EXPECT_EQ(map.hints("Turn on dark mode", at("home"), 3),
              (std::vector<std::string>{"Display & Brightness: Settings > Display", "Settings: Settings",
                                        "Hidden dark corner"}));
}

TEST(TavroAppMapHints, LimitAndEmptyCases) {
    const auto map = sampleMap();
    EXPECT_EQ(map.hints("dark mode", at("home"), 1), (std::vector<std::string>{"Display & Brightness: Settings > Display"}));
    EXPECT_TRUE(map.hints("dark mode", at("home"), 0).empty());
    EXPECT_TRUE(map.hints("dark mode", at("home"), -2).empty());
    EXPECT_TRUE(map.hints("go to tv", at("home"), 3).empty()) << "words under 3 characters never score";
    EXPECT_TRUE(map.hints("", at("home"), 3).empty());
    EXPECT_TRUE(map.hints("!!! ??? ...", at("home"), 3).empty());
    EXPECT_TRUE(map.hints("bluetooth", at("home"), 3).empty());
    EXPECT_TRUE(TavroAppMap{}.hints("dark mode", at("home"), 3).empty());
}

TEST(TavroAppMapHints, TheCurrentScreenIsNeverHinted) {
    const auto map = sampleMap();
    // Only the home screen's "Settings" control scores, and no control leads back home.
    EXPECT_EQ(map.hints("settings", at("settings"), 3), (std::vector<std::string>{"Home"}));
    EXPECT_EQ(map.hints("display", at("settings"), 3), (std::vector<std::string>{"Display & Brightness: Display"}));
}

TEST(TavroAppMapHints, WordsAreNormalisedOneByOne) {
    const auto map = sampleMap();
    // "Dark-Mode!" normalises to "darkmode", found in the labels "Dark mode" and "Dark Mode".
    EXPECT_EQ(map.hints("Dark-Mode!", at("home"), 5),
              (std::vector<std::string>{"Display & Brightness: Settings > Display", "Settings: Settings"}));
}

TEST(TavroAppMapHints, UntitledScreensUseTheirLocation) {
    const auto map = sampleMap();
    EXPECT_EQ(map.hints("edit name", at("home"), 3),
              (std::vector<std::string>{"Edit profile: Profile > Edit name", "profile: Profile"}));
}

TEST(TavroAppMapHints, NoChainFromAnUnmappedOrDeadEndLocation) {
    const auto map = sampleMap();
    EXPECT_EQ(map.hints("new message", at("nowhere"), 3), (std::vector<std::string>{"New message", "Chats"}));
    // From the compose screen "Send" leads back to chats, and chats leads on to nothing new.
    EXPECT_EQ(map.hints("chat", at("compose"), 3), (std::vector<std::string>{"Chats: Send", "Home"}));
    EXPECT_EQ(map.hints("dark", at("orphan"), 3), (std::vector<std::string>{"Display & Brightness", "Settings"}));
}

TEST(TavroAppMapHints, ShortestChainWinsOverAnEarlierLongerOne) {
    TavroAppMap map;
    map.screens["a"] = {"a", "Start", {{"Long way", "button", "b"}, {"Short cut", "button", "goal"}}};
    map.screens["b"] = {"b", "Middle", {{"Onwards", "button", "goal"}}};
    map.screens["goal"] = {"goal", "Treasure", {}};
    EXPECT_EQ(map.hints("find treasure", at("a"), 3), (std::vector<std::string>{"Treasure: Short cut"}));
}

TEST(TavroAppMapJSON, RoundTripsAndKeysScreensByLocation) {
    const auto map = sampleMap();
    const auto json = map.toJSON();
    EXPECT_EQ(json.at("screens").at("home").at("controls").at(0).at("to"), "settings");
    EXPECT_FALSE(json.at("screens").at("settings").at("controls").at(1).contains("to"));
    EXPECT_EQ(TavroAppMap::fromJSON(json), map);
    EXPECT_EQ(TavroAppMap::parse(json.dump()), map);

    const auto keyed = TavroAppMap::parse(R"({"screens": {"home": {"location": "elsewhere", "title": "Home"}}})");
    ASSERT_TRUE(keyed);
    EXPECT_EQ(keyed->screens.at("home").location, "home");
    EXPECT_EQ(keyed->app, "");
}

TEST(TavroAppMapJSON, WrongShapesGiveNothing) {
    for (const char* text : {"[]", "\"map\"", "{\"screens\": []}", "{\"screens\": {\"a\": 1}}",
                             "{\"screens\": {\"a\": {\"controls\": {}}}}", "{\"screens\": {\"a\": {\"controls\": [1]}}}",
                             "{", ""}) {
        EXPECT_EQ(TavroAppMap::parse(text), std::nullopt) << text;
    }
}

class TavroMapsStore : public ::testing::Test {
protected:
    void SetUp() override {
        TavroMaps::reset();
        TavroPacks::reset();
    }
    void TearDown() override {
        TavroMaps::reset();
        TavroPacks::reset();
    }
};

TEST_F(TavroMapsStore, LearnedMapWinsOverThePacksMap) {
    EXPECT_EQ(TavroMaps::current(), std::nullopt);

    TavroPack pack;
    pack.version = 1;
    pack.map = TavroAppMap{.app = "from-pack"};
    TavroPacks::reset();
    TavroPacks::setCurrent(pack);
    ASSERT_TRUE(TavroMaps::current());
    EXPECT_EQ(TavroMaps::current()->app, "from-pack");

    TavroMaps::setLearned(TavroAppMap{.app = "learned"});
    EXPECT_EQ(TavroMaps::current()->app, "learned");
    EXPECT_EQ(TavroMaps::learned()->app, "learned");

    TavroMaps::setLearned(std::nullopt);
    EXPECT_EQ(TavroMaps::current()->app, "from-pack");
}
