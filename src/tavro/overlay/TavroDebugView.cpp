#include "tavro/overlay/TavroDebugView.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tavro/agent/TavroAgent.h"
#include "tavro/core/TavroGold.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/memory/TavroRecipe.h"

namespace tavro {

using namespace views;

namespace {

Node header(std::string title) {
    return Text(std::move(title)) | font(TextStyle::headline) | foreground(TavroGold::light);
}

Node entryRow(const TavroDebug::Entry& entry) {
    return HStack({Text(entry.ok ? "✓" : "✗") | font(TextStyle::caption, Weight::bold) |
                       foreground(entry.ok ? Paint(TavroGold::light) : Paint(Color::systemRed())),
                   Text(entry.tag + ": " + entry.text) | font(TextStyle::caption) | lineLimit(4)},
                  Alignment::top, 6) |
           identifier("tavro.sdk.debug.entry");
}

Node recipeRow(const TavroRecipe& recipe) {
    const std::string runs = std::to_string(recipe.runs);
    const std::string steps = std::to_string(recipe.steps.size());
    return VStack({Text(recipe.template_) | font(TextStyle::subheadline) | lineLimit(2),
                   Text(L("runs: " + runs + " · steps: " + steps, "実行 " + runs + " 回 · 手順 " + steps)) |
                       font(TextStyle::caption) | monospacedDigit() | foreground(SemanticStyle::secondary)},
                  Alignment::leading, 2) |
           identifier("tavro.sdk.debug.recipe");
}

}  // namespace

TavroDebugView::TavroDebugView(std::shared_ptr<TavroAgent> agent, std::shared_ptr<TavroMemory> memory)
    : agent_(std::move(agent)), memory_(std::move(memory)) {}

Node TavroDebugView::body() const {
    const auto debug = TavroDebug::shared();
    std::vector<Node> rows;
    rows.push_back(Text(L("Tavro debug", "Tavro デバッグ")) | font(TextStyle::title2, Weight::bold) |
                   foreground(TavroGold::gradient));

    if (agent_) {
        const auto& status = agent_->status().value();
        std::string state = status ? *status
                            : agent_->running().value() ? L("Running", "実行中")
                                                        : L("Idle", "待機中");
        rows.push_back(VStack({Text(agent_->engineName().value()) | font(TextStyle::subheadline, Weight::semibold) |
                                   identifier("tavro.sdk.debug.engine"),
                               Text(std::move(state)) | font(TextStyle::caption) |
                                   foreground(SemanticStyle::secondary) | identifier("tavro.sdk.debug.status")},
                              Alignment::leading, 2));
    }

    rows.push_back(Toggle(L("Log activity", "アクティビティを記録"), debug->enabled.value(),
                          [](bool on) { TavroDebug::shared()->enabled.set(on); }) |
                   tint(TavroGold::dark) | identifier("tavro.sdk.debug.logActivity"));

    rows.push_back(header(L("Activity", "アクティビティ")));
    const auto& entries = debug->entries.value();
    if (entries.empty()) {
        rows.push_back(Text(L("Nothing logged yet.", "まだ記録はありません。")) | font(TextStyle::caption) |
                       foreground(SemanticStyle::secondary));
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) rows.push_back(entryRow(*it));

    rows.push_back(header(L("Learned recipes", "学習したレシピ")));
    std::vector<TavroRecipe> recipes = memory_ ? memory_->recipes() : std::vector<TavroRecipe>{};
    if (recipes.empty()) {
        rows.push_back(Text(L("No recipes yet.", "レシピはまだありません。")) | font(TextStyle::caption) |
                       foreground(SemanticStyle::secondary));
    }
    std::stable_sort(recipes.begin(), recipes.end(),
                     [](const TavroRecipe& a, const TavroRecipe& b) { return a.lastUsed > b.lastUsed; });
    for (const auto& recipe : recipes) rows.push_back(recipeRow(recipe));

    return VStack(std::move(rows), Alignment::leading, 12) | padding(16) | identifier("tavro.sdk.debug");
}

std::shared_ptr<ui::HostingView> TavroDebugView::host() const {
    const auto debug = TavroDebug::shared();
    // The view keeps what it shows alive as long as it is shown.
    auto view = ui::HostingView::create([screen = *this] { return screen.body(); });
    view->setAccessibilityIdentifier("tavro.sdk.debug");
    view->observe(debug->enabled);
    view->observe(debug->entries);
    if (agent_) {
        view->observe(agent_->engineName());
        view->observe(agent_->status());
        view->observe(agent_->running());
    }
    return view;
}

}  // namespace tavro
