// Costs of the native surface: reading a window of 1,000 and 10,000 views (most of them below the
// fold of a scroll view) into a screen, and performing a click, its element lookup included.
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
#include "tavro/surfaces/UIKitSurface.h"

using namespace tavro;

namespace {

// A key window whose screen is a scroll view of `views` rows: a button with a label beside it in
// every other row, 44 points apart, so that about 20 rows are in view.
struct Fixture {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<ui::Window> window;
    std::shared_ptr<UIKitSurface> surface = std::make_shared<UIKitSurface>();
    int taps = 0;

    explicit Fixture(int views) {
        fnd::NotificationCenter::resetDefault();
        ui::Application::resetShared();
        auto scene = ui::Application::shared()->connectScene();
        window = std::make_shared<ui::Window>();
        window->setWindowScene(scene);
        window->makeKeyAndVisible();
        auto screen = std::make_shared<ui::ViewController>("Catalogue");
        window->setRootViewController(screen);
        auto scroll = std::make_shared<ui::ScrollView>(ui::Rect{0, 0, 390, 844});
        screen->view()->addSubview(scroll);
        for (int i = 0; i < views; ++i) {
            const double y = 44.0 * (i / 2);
            if (i % 2 == 0) {
                auto button = std::make_shared<ui::Button>("Item " + std::to_string(i), ui::Rect{16, y, 200, 44});
                button->setAccessibilityIdentifier("catalogue.item." + std::to_string(i));
                button->onTap([this] { ++taps; });
                scroll->addSubview(button);
            } else {
                scroll->addSubview(std::make_shared<ui::Label>("$" + std::to_string(i), ui::Rect{230, y, 140, 44}));
            }
        }
        scroll->setContentSize({390, 44.0 * (views / 2 + 1)});
    }
};

void SurfaceSnapshot(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    std::size_t elements = 0;
    for (auto _ : state) {
        auto screen = f.surface->snapshot();
        elements = screen->elements.size();
        benchmark::DoNotOptimize(screen);
    }
    state.counters["elements"] = static_cast<double>(elements);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(SurfaceSnapshot)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oN);

void SurfacePerformClick(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const auto screen = f.surface->snapshot();
    const std::int64_t id = screen->elements[3].id;  // a button in view
    const TavroAction click{TavroAction::Kind::click, id, "", false, ""};
    for (auto _ : state) {
        auto result = rt::runToEnd(f.actor, f.surface->perform(click));
        benchmark::DoNotOptimize(result);
    }
    if (f.taps == 0) state.SkipWithError("the click did not reach the button");
}
BENCHMARK(SurfacePerformClick)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
