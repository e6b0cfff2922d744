// The whole path of one step by name, as a peer measures it: read the screen of the native surface,
// find the element the goal names with the rules engine, click it, on windows of 1,000 and 10,000
// views. The named button is the last one, far below the fold, so that finding it looks at every
// element and clicking it first scrolls it into view.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/foundation/NotificationCenter.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tavro/models/TavroRules.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace {

using namespace tavro;

// A price list: `views` views in one scroll view, each row a named button and its price.
struct PriceList {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<ui::Window> window = std::make_shared<ui::Window>();
    std::shared_ptr<UIKitSurface> surface = std::make_shared<UIKitSurface>();
    std::string lastName;
    int taps = 0;

    explicit PriceList(int views) {
        fnd::NotificationCenter::resetDefault();
        ui::Application::resetShared();
        window->setWindowScene(ui::Application::shared()->connectScene());
        window->makeKeyAndVisible();
        auto list = std::make_shared<ui::ViewController>("Prices");
        window->setRootViewController(list);
        auto scroll = std::make_shared<ui::ScrollView>(ui::Rect{0, 0, 390, 844});
        list->view()->addSubview(scroll);
        const int rows = views / 2;
        for (int row = 0; row < rows; ++row) {
            const double y = 44.0 * row;
            lastName = "Product " + std::to_string(row);
            auto buy = std::make_shared<ui::Button>(lastName, ui::Rect{16, y, 220, 44});
            buy->onTap([this] { ++taps; });
            scroll->addSubview(buy);
            scroll->addSubview(std::make_shared<ui::Label>(std::to_string(row) + ".00", ui::Rect{250, y, 120, 44}));
        }
        scroll->setContentSize({390, 44.0 * (rows + 1)});
    }
};

void ReadFindByNameClick(benchmark::State& state) {
    PriceList list(static_cast<int>(state.range(0)));
    const std::string goal = "tap " + list.lastName;
    std::size_t elements = 0;
    for (auto _ : state) {
        const auto screen = list.surface->snapshot();
        elements = screen->elements.size();
        TavroRules rules(goal, {}, false);
        const TavroAction action = rules.decide(*screen);
        if (action.kind != TavroAction::Kind::click) {
            state.SkipWithError("the rules engine did not find the named button");
            break;
        }
        auto failure = rt::runToEnd(list.actor, list.surface->perform(action));
        benchmark::DoNotOptimize(failure);
    }
    if (list.taps == 0) state.SkipWithError("the click did not reach the button");
    state.counters["elements"] = static_cast<double>(elements);
}
BENCHMARK(ReadFindByNameClick)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
