// The debug screen as a node tree.
#include <filesystem>

#include "OverlayTestSupport.h"
#include "tavro/overlay/TavroDebugView.h"

namespace tavro::agenttest {
namespace {

using DebugViewTest = OverlayTest;

// The texts of the recipe rows, in order.
std::vector<std::string> recipeRows(const views::Node& tree) {
    std::vector<std::string> out;
    views::visit(tree, [&](const views::Node& n) {
        if (n.accessibility.identifier != "tavro.sdk.debug.recipe") return true;
        for (auto& t : views::texts(n)) out.push_back(std::move(t));
        return true;
    });
    return out;
}

TEST_F(DebugViewTest, MakingOneChangesNothing) {
    TavroDebug::reset();
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    int changes = 0;
    auto a = TavroDebug::shared()->enabled.willChange([&](const bool&) { ++changes; });
    auto b = TavroDebug::shared()->entries.willChange([&](const auto&) { ++changes; });
    { const TavroDebugView view(agent, memory); }
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(TavroDebug::shared()->enabled.value());
    EXPECT_FALSE(std::filesystem::exists(memory->file()));
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(DebugViewTest, ListsEntriesNewestFirstAndRecipesMostRecentlyUsedFirst) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    for (const auto* goal : {"open Settings then turn on Dark Mode", "open Settings then set Language to 日本語"}) {
        ASSERT_TRUE(runGoal(agent, goal).ok);
        app->reset();
        actor->runFor(2s);
    }
    TavroDebug::shared()->log("act", "failed thing", false);

    const TavroDebugView view(agent, memory);
    const auto tree = view.body();
    EXPECT_EQ(views::findByIdentifier(tree, "tavro.sdk.debug.engine")->text, agent->engineName().value());
    const auto all = views::texts(tree);
    const auto& entries = TavroDebug::shared()->entries.value();
    const auto& older = entries[entries.size() - 2];
    const auto at = std::find(all.begin(), all.end(), "act: failed thing");
    ASSERT_NE(at, all.end());
    EXPECT_EQ(*(at - 1), "✗");
    EXPECT_EQ(*(at + 1), older.ok ? "✓" : "✗");
    EXPECT_EQ(*(at + 2), older.tag + ": " + older.text);
    EXPECT_EQ(recipeRows(tree), (std::vector<std::string>{"open Settings then set Language to {0}", "runs: 1 · steps: 2",
                                                          "open Settings then turn on Dark Mode", "runs: 1 · steps: 2"}));

    ASSERT_TRUE(runGoal(agent, "open Settings then turn on Dark Mode").ok) << "a replay uses the recipe again";
    EXPECT_EQ(recipeRows(view.body()).at(0), "open Settings then turn on Dark Mode");
    EXPECT_EQ(recipeRows(view.body()).at(1), "runs: 2 · steps: 2");
}

TEST_F(DebugViewTest, TheSwitchDrivesTheLogAndAShownScreenFollowsIt) {
    TavroDebug::reset();
    auto agent = makeAgent(surface, TavroConfiguration{});
    const TavroDebugView view(agent, freshMemory());
    auto host = view.host();
    ASSERT_TRUE(host->press("Log activity"));
    EXPECT_TRUE(TavroDebug::shared()->enabled.value());
    TavroDebug::shared()->log("plan", "two steps", true);
    actor->runUntilIdle();
    EXPECT_TRUE(host->find("tavro.sdk.debug.logActivity")->isOn);
    EXPECT_NE(host->findText("plan: two steps"), nullptr);
    EXPECT_EQ(host->builds(), 2) << "the switch and the entry: one rebuild";

    // No longer shown: nothing keeps the screen or follows the log.
    std::weak_ptr<ui::HostingView> weak = host;
    host.reset();
    EXPECT_TRUE(weak.expired());
    TavroDebug::shared()->log("plan", "three steps", true);
    actor->runUntilIdle();
}

}  // namespace
}  // namespace tavro::agenttest
