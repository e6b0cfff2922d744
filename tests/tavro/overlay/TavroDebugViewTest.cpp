// The debug screen as a node tree.
#include <filesystem>

#include "OverlayTestSupport.h"
#include "tavro/overlay/TavroDebugView.h"

namespace tavro::agenttest {
namespace {

class DebugViewTest : public OverlayTest {
protected:
    void SetUp() override {
        OverlayTest::SetUp();
        TavroDebug::reset();  // off and empty, as in a fresh process
    }
};

TEST_F(DebugViewTest, MakingOneChangesNothing) {
    const auto file = fnd::AppDirectories::applicationSupport() / "TavroSDK" / "recipes.json";
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    const auto engine = agent->engineName().value();
    int changes = 0;
    auto a = TavroDebug::shared()->enabled.willChange([&](const bool&) { ++changes; });
    auto b = TavroDebug::shared()->entries.willChange([&](const auto&) { ++changes; });
    {
        TavroDebugView view(agent, memory);
        (void)view;
    }
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(TavroDebug::shared()->enabled.value());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(agent->engineName().value(), engine);
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(DebugViewTest, ListsEntriesNewestFirstAndRecipesMostRecentlyUsedFirst) {
    auto memory = freshMemory();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    TavroDebug::shared()->enabled.set(true);
    // Two learned recipes; the first is used again later, so it comes first.
    ASSERT_TRUE(runGoal(agent, "open Settings then turn on Dark Mode").ok);
    app->reset();
    actor->runFor(2s);
    ASSERT_TRUE(runGoal(agent, "open Settings then set Language to 日本語").ok);
    app->reset();
    actor->runFor(2s);
    ASSERT_EQ(memory->recipes().size(), 2u);
    TavroDebug::shared()->log("act", "failed thing", false);

    const TavroDebugView view(agent, memory);
    const auto tree = view.body();
    EXPECT_EQ(views::findByIdentifier(tree, "tavro.sdk.debug.engine")->text, agent->engineName().value());
    const auto all = views::texts(tree);
    const auto entries = TavroDebug::shared()->entries.value();
    ASSERT_GE(entries.size(), 3u);
    // The newest entry first, with its mark.
    const auto at = std::find(all.begin(), all.end(), "act: failed thing");
    ASSERT_NE(at, all.end());
    EXPECT_EQ(*(at - 1), "✗");
    const auto second = entries[entries.size() - 2];
    EXPECT_EQ(*(at + 1), second.ok ? "✓" : "✗");
    EXPECT_EQ(*(at + 2), second.tag + ": " + second.text);

    std::vector<std::string> recipeTexts;
    views::visit(tree, [&](const views::Node& n) {
        if (n.accessibility.identifier == "tavro.sdk.debug.recipe") {
            const auto t = views::texts(n);
            recipeTexts.insert(recipeTexts.end(), t.begin(), t.end());
        }
        return true;
    });
    EXPECT_EQ(recipeTexts, (std::vector<std::string>{"open Settings then set Language to {0}", "runs: 1 · steps: 2",
                                                     "open Settings then turn on Dark Mode", "runs: 1 · steps: 2"}));

    ASSERT_TRUE(runGoal(agent, "open Settings then turn on Dark Mode").ok) << "replayed, so used most recently";
    recipeTexts.clear();
    views::visit(view.body(), [&](const views::Node& n) {
        if (n.accessibility.identifier == "tavro.sdk.debug.recipe") recipeTexts.push_back(views::texts(n).front());
        return true;
    });
    EXPECT_EQ(recipeTexts.front(), "open Settings then turn on Dark Mode");
}

TEST_F(DebugViewTest, TheSwitchDrivesTheLogAndAShownScreenFollowsIt) {
    auto agent = makeAgent(surface, TavroConfiguration{});
    const TavroDebugView view(agent, freshMemory());
    auto host = view.host();
    const auto* toggle = host->find("tavro.sdk.debug.logActivity");
    ASSERT_NE(toggle, nullptr);
    EXPECT_FALSE(toggle->isOn);
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
