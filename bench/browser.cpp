// Costs of the in-app browser on its real engine: starting the engine, reading a settings list of
// 1,000 and 10,000 controls, and a click by name (reading, finding the name, clicking). When Node
// and playwright-core can be found (NODE_PATH), the same pages are measured in the same Chromium
// with Playwright's accessibility snapshot and role click, and each of its rows shows the ratio of
// its time to ours; otherwise those rows are skipped.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/ui/WebView.h"
#include "platform/web/BrowserEngine.h"
#include "tavro/surfaces/WebSurface.h"

using namespace std::chrono_literals;
using namespace tavro;

namespace {

namespace fs = std::filesystem;

// Rows of a label and a control (a switch, a text field or a button) in a list that scrolls.
std::string settingsPage(int controls) {
    std::string html = "<!doctype html><title>Settings</title><style>.row{display:flex;height:44px;gap:8px}</style>"
                       "<div id='list' style='height:100vh;overflow:auto'>";
    for (int i = 0; i < controls; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 3) {
            case 0:
                html += "<div class='row'><label for='c" + n + "'>Setting " + n + "</label>";
                html += "<input type='checkbox' role='switch' id='c" + n + "'>";
                break;
            case 1:
                html += "<div class='row'><label for='c" + n + "'>Setting " + n + "</label>";
                html += "<input type='text' id='c" + n + "'>";
                break;
            default:
                html += "<div class='row'><span>Setting " + n + "</span>";
                html += "<button id='c" + n + "' onclick='this.dataset.n=(+this.dataset.n||0)+1'>Open " + n + "</button>";
        }
        html += "</div>";
    }
    return html + "</div>";
}

// The name a click by name looks for: a button in the middle of the list, out of view.
std::string middleButton(int controls) {
    int i = controls / 2;
    while (i % 3 != 2) ++i;
    return "Open " + std::to_string(i);
}

// The pages as files in a temporary folder, removed when the program ends.
const fs::path& pageFolder() {
    struct Folder {
        fs::path path = fs::temp_directory_path() / ("tavro-bench-pages-" + std::to_string(::getpid()));
        Folder() {
            fs::create_directories(path);
            for (int n : {1000, 10000}) std::ofstream(path / ("settings-" + std::to_string(n) + ".html")) << settingsPage(n);
        }
        ~Folder() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

std::string pageURL(int controls) {
    return "file://" + (pageFolder() / ("settings-" + std::to_string(controls) + ".html")).string();
}

// Our times per operation in milliseconds, for the ratio on Playwright's rows.
std::map<std::string, double>& ours() {
    static std::map<std::string, double> times;
    return times;
}

struct Browser {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::real);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<ui::WebView> view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 844});
    std::shared_ptr<WebSurface> surface = std::make_shared<WebSurface>(view);

    bool open(const std::string& url) {
        bool ended = false;
        view->addLoadObserver([&](ui::WebView&) { ended = true; });
        view->load(url);
        return actor->runUntil([&] { return ended; }, 30s) && view->loadError().empty();
    }
    std::optional<TavroScreen> read() { return rt::runToEnd(actor, surface->snapshotAsync(), 30s).value_or(std::nullopt); }
};

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void EngineStart(benchmark::State& state) {
    if (!web::BrowserEngine::program()) return state.SkipWithError("chromium is not installed");
    double total = 0, firstAnswer = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto b = std::make_unique<Browser>();
        if (!b->open("about:blank")) return state.SkipWithError("the engine did not start");
        total += millisecondsSince(start);
        if (auto engine = web::BrowserEngine::shared()) firstAnswer += static_cast<double>(engine->startupTime().count()) / 1000;
        // Stopping the browser is not part of starting it.
        state.PauseTiming();
        b.reset();
        state.ResumeTiming();
    }
    const auto n = static_cast<double>(state.iterations());
    ours()["start"] = total / n;
    state.counters["first_answer_ms"] = firstAnswer / n;
}
BENCHMARK(EngineStart)->Unit(benchmark::kMillisecond)->Iterations(3);

void PageRead(benchmark::State& state) {
    if (!web::BrowserEngine::program()) return state.SkipWithError("chromium is not installed");
    const int controls = static_cast<int>(state.range(0));
    Browser b;
    if (!b.open(pageURL(controls))) return state.SkipWithError("the page did not load");
    std::size_t elements = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const auto screen = b.read();
        elements = screen ? screen->elements.size() : 0;
    }
    ours()["read" + std::to_string(controls)] = millisecondsSince(start) / static_cast<double>(state.iterations());
    const auto inPage = rt::runToEnd(b.actor, b.view->evaluate("(() => { const t = performance.now(); tavro.read(); return performance.now() - t; })()"), 30s);
    if (inPage && inPage->value && inPage->value->is_number()) state.counters["script_ms"] = inPage->value->get<double>();
    state.counters["elements"] = static_cast<double>(elements);
}
BENCHMARK(PageRead)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void ClickByName(benchmark::State& state) {
    if (!web::BrowserEngine::program()) return state.SkipWithError("chromium is not installed");
    const int controls = static_cast<int>(state.range(0));
    const std::string name = middleButton(controls);
    Browser b;
    if (!b.open(pageURL(controls))) return state.SkipWithError("the page did not load");
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const auto screen = b.read();
        const TavroElement* target = nullptr;
        if (screen) {
            for (const auto& e : screen->elements)
                if (e.label == name && e.kind == "button") target = &e;
        }
        if (!target) return state.SkipWithError("the button was not found");
        TavroAction click{TavroAction::Kind::click, target->id, "", false, ""};
        const auto failure = rt::runToEnd(b.actor, b.surface->perform(std::move(click)), 30s);
        if (!failure || *failure) return state.SkipWithError("the click failed");
    }
    ours()["click" + std::to_string(controls)] = millisecondsSince(start) / static_cast<double>(state.iterations());
}
BENCHMARK(ClickByName)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// ---- Playwright, in the same run and the same Chromium ----

constexpr const char* kPlaywright = R"JS(
const { chromium } = require('playwright-core');
const [executablePath, small, large, smallName, largeName] = process.argv.slice(2);
const time = async (fn, n) => { await fn(); const t = process.hrtime.bigint(); for (let i = 0; i < n; i++) await fn();
  return Number(process.hrtime.bigint() - t) / 1e6 / n; };
(async () => {
  const args = ['--disable-gpu', '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-quic', '--disable-dev-shm-usage'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  const t0 = process.hrtime.bigint();
  const browser = await chromium.launch({ executablePath, headless: true, args });
  const page = await browser.newPage({ viewport: { width: 390, height: 844 } });
  await page.goto('about:blank');
  const out = { start: Number(process.hrtime.bigint() - t0) / 1e6 };
  const snapshot = page.accessibility && page.accessibility.snapshot
    ? () => page.accessibility.snapshot() : () => page.locator('body').ariaSnapshot();
  out.api = page.accessibility && page.accessibility.snapshot ? 'accessibility.snapshot' : 'ariaSnapshot';
  for (const [key, url, name, n] of [['1000', small, smallName, 10], ['10000', large, largeName, 3]]) {
    await page.goto(url);
    out['read' + key] = await time(snapshot, n);
    out['click' + key] = await time(() => page.getByRole('button', { name, exact: true }).click(), n);
  }
  console.log(JSON.stringify(out));
  await browser.close();
})().catch((e) => { console.log(JSON.stringify({ error: String(e.message || e).split('\n')[0] })); process.exit(0); });
)JS";

// Playwright's figures, measured once; an "error" entry when it cannot run.
const nlohmann::json& playwright() {
    static const nlohmann::json figures = []() -> nlohmann::json {
        const auto chromium = web::BrowserEngine::program();
        if (!chromium) return {{"error", "chromium is not installed"}};
        if (std::system("node -e \"require.resolve('playwright-core')\" >/dev/null 2>&1") != 0) {
            return {{"error", "Node or playwright-core not found (npm install playwright-core; set NODE_PATH)"}};
        }
        const auto script = pageFolder() / "playwright.js";
        std::ofstream(script) << kPlaywright;
        const std::string command = "node '" + script.string() + "' '" + *chromium + "' '" + pageURL(1000) + "' '" +
                                    pageURL(10000) + "' '" + middleButton(1000) + "' '" + middleButton(10000) + "'";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[4096];
            while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
            ::pclose(pipe);
        }
        auto parsed = nlohmann::json::parse(output, nullptr, false);
        if (!parsed.is_object()) return {{"error", "Playwright gave no figures"}};
        return parsed;
    }();
    return figures;
}

void Playwright(benchmark::State& state, const std::string& key) {
    const auto& figures = playwright();
    if (figures.contains("error")) return state.SkipWithError(figures["error"].get<std::string>().c_str());
    const double ms = figures.value(key, 0.0);
    for (auto _ : state) state.SetIterationTime(ms / 1000.0);
    if (auto mine = ours().find(key); mine != ours().end() && mine->second > 0) {
        state.counters["playwright/ours"] = ms / mine->second;
    }
    state.SetLabel(figures.value("api", std::string()));
}
BENCHMARK_CAPTURE(Playwright, start, std::string("start"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(Playwright, read1000, std::string("read1000"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(Playwright, read10000, std::string("read10000"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(Playwright, click1000, std::string("click1000"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(Playwright, click10000, std::string("click10000"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
