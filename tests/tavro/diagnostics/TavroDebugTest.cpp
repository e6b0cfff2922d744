#include <gtest/gtest.h>

#include "platform/foundation/Console.h"
#include "tavro/diagnostics/TavroDebug.h"

using namespace tavro;

class TavroDebugLog : public ::testing::Test {
protected:
    void SetUp() override { TavroDebug::reset(); }
    void TearDown() override { TavroDebug::reset(); }
};

TEST_F(TavroDebugLog, OffByDefaultAndSilentWhileOff) {
    fnd::Console::Capture console(false);
    const auto debug = TavroDebug::shared();
    EXPECT_EQ(debug, TavroDebug::shared());
    EXPECT_FALSE(debug->enabled.value());
    debug->log("act", "tap Save", true);
    EXPECT_TRUE(debug->entries->empty());
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(TavroDebugLog, KeepsEntriesAndPrintsTheConsoleLine) {
    fnd::Console::Capture console(false);
    const auto debug = TavroDebug::shared();
    debug->enabled.set(true);
    debug->log("act", "tap “Save”", true);
    debug->log("decide", "model gave nothing", false);
    ASSERT_EQ(debug->entries->size(), 2u);
    const auto& first = debug->entries->at(0);
    EXPECT_EQ(first.tag, "act");
    EXPECT_EQ(first.text, "tap “Save”");
    EXPECT_TRUE(first.ok);
    EXPECT_FALSE(debug->entries->at(1).ok);
    EXPECT_NE(first.id, debug->entries->at(1).id);
    EXPECT_LE(first.time, debug->entries->at(1).time);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"[TAVRO_SDK] act: tap “Save”",
                                                          "[TAVRO_SDK] decide: model gave nothing"}));
}

TEST_F(TavroDebugLog, KeepsTheNewest300) {
    fnd::Console::Capture console(false);
    const auto debug = TavroDebug::shared();
    debug->enabled.set(true);
    int changes = 0;
    const auto token = debug->entries.didSet([&](const std::vector<TavroDebug::Entry>&) { ++changes; });
    for (int i = 0; i < 305; ++i) debug->log("plan", std::to_string(i), true);
    ASSERT_EQ(debug->entries->size(), 300u);
    EXPECT_EQ(debug->entries->front().text, "5");
    EXPECT_EQ(debug->entries->back().text, "304");
    EXPECT_EQ(changes, 305) << "the debug screen hears of every entry";
    EXPECT_EQ(console.lines().size(), 305u);
}
