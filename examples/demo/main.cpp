// tavro-demo: a host app like any other. It builds the demo app, configures the library's shared
// instance with the app's routes, and runs one goal through it, printing what the agent does. On
// Linux no on-device model is available, so the rules engine carries the goal.
//
//   tavro-demo [--show] [--realtime] [--fresh] "GOAL"
//   tavro-demo [--fresh] --explore
//
// The library's files (learned recipes, the learned map, its settings) stay in the user's data
// directory between runs, as an installed app's would, so a goal that worked once replays its
// recipe the next time; --fresh starts from a clean install. The app's own state starts fresh
// every run. --explore explores the app for up to a minute and prints the map it learned.
// Each run-log line is printed as it is added, then the final status and the numbered steps.
// --show prints the reading of the screen the agent works on (its visible text and elements as a
// model would see them: the app's screen, or the in-app browser's page) before and after. Control characters in what is printed are written out (\n, \x1b, ...).
// --realtime paces the run in real time; by default the main actor's clock is virtual, so a run
// prints at once and its timings are the agent's own.
// A step that needs approval is asked on the terminal (y/n); without a terminal it is refused. The
// app's system prompt is answered, and its human check solved, by typing a button's or control's
// number or name; without a terminal the run stops and says what the app is waiting for.
// Exit status: 0 the goal was reached, 1 it was not, 2 bad arguments.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "demo/DemoApp.h"
#include "demo/DemoOutput.h"
#include "demo/DemoTerminal.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroConfiguration.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/ProcessInfo.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/sdk/TavroSDK.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace {

constexpr const char* usage =
    "usage: tavro-demo [--show] [--realtime] [--fresh] \"GOAL\"\n"
    "       tavro-demo [--fresh] --explore\n"
    "  Runs GOAL on the demo app (Home, Chats, Shop, Settings, Profile) and prints each step.\n"
    "  --show      print the screen before and after the run\n"
    "  --realtime  pace the run in real time (default: virtual time, prints at once)\n"
    "  --fresh     start from a clean install (forget learned recipes and the learned map)\n"
    "  --explore   explore the app for up to a minute and print the map it learned\n"
    "  examples:   tavro-demo \"open Settings then turn on Dark Mode\"\n"
    "              tavro-demo \"open Chats, tap Tuli, type hi into Message and tap Send\"\n"
    "  exit status: 0 goal reached, 1 goal not reached, 2 bad arguments\n";

struct Options {
    bool show = false;
    bool realtime = false;
    bool fresh = false;
    bool explore = false;
    std::string goal;
};

// Nothing when the arguments are bad (the reason is printed); help exits at once.
std::optional<Options> parse(int argc, char** argv) {
    Options options;
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--show") {
            options.show = true;
        } else if (!optionsEnded && arg == "--realtime") {
            options.realtime = true;
        } else if (!optionsEnded && arg == "--fresh") {
            options.fresh = true;
        } else if (!optionsEnded && arg == "--explore") {
            options.explore = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            std::cout << usage;
            std::exit(0);
        } else if (!optionsEnded && arg.starts_with("-") && arg.size() > 1) {
            std::cerr << "tavro-demo: unknown option " << arg << "\n" << usage;
            return std::nullopt;
        } else {
            words.push_back(arg);
        }
    }
    for (const auto& word : words) {
        if (!options.goal.empty()) options.goal += ' ';
        options.goal += word;
    }
    if (!tavro::TavroText::isValidUTF8(options.goal)) {
        std::cerr << "tavro-demo: the goal is not valid UTF-8\n";
        return std::nullopt;
    }
    if (options.explore && !words.empty()) {
        std::cerr << "tavro-demo: --explore takes no goal\n" << usage;
        return std::nullopt;
    }
    if (!options.explore && tavro::TavroText::trim(options.goal).empty()) {
        std::cerr << "tavro-demo: give a goal\n" << usage;
        return std::nullopt;
    }
    return options;
}

}  // namespace

// The learned map: each screen with its controls and where each one leads.
// The start screen comes first, the others in the order of their names.
void printMap(const tavro::TavroAppMap& map) {
    std::size_t controls = 0, leading = 0;
    for (const auto& [location, screen] : map.screens) {
        controls += screen.controls.size();
        for (const auto& control : screen.controls) leading += control.to.has_value();
    }
    std::cout << "Map of " << demo::printable(map.app) << " " << demo::printable(map.appVersion) << ": "
              << map.screens.size() << " screens, " << controls << " controls, " << leading
              << " known to lead somewhere; starting at " << demo::printable(map.start) << "\n";
    std::vector<const tavro::TavroAppMap::Screen*> order;
    if (const auto start = map.screens.find(map.start); start != map.screens.end()) order.push_back(&start->second);
    for (const auto& [location, screen] : map.screens) {
        if (location != map.start) order.push_back(&screen);
    }
    for (const auto* screen : order) {
        const auto& location = screen->location;
        std::cout << demo::printable(location);
        if (!screen->title.empty() && screen->title != location) std::cout << " (" << demo::printable(screen->title) << ")";
        std::cout << "\n";
        for (const auto& control : screen->controls) {
            std::cout << "  " << demo::printable(control.kind) << " \"" << demo::printable(control.label) << "\"";
            if (control.to) std::cout << " -> " << demo::printable(*control.to);
            std::cout << "\n";
        }
    }
}

int main(int argc, char** argv) {
    const auto options = parse(argc, argv);
    if (!options) return 2;
    fnd::ProcessInfo::setArguments(argc, argv);

    auto actor = rt::MainActor::create(options->realtime ? rt::ClockKind::real : rt::ClockKind::virtual_);
    rt::MainActor::Scope scope(actor);
    // The app's files live where an installed app's would: the user's data directory, under the
    // bundle identifier. A clean install removes them first.
    fnd::MainBundle::setIdentifier("com.example.demo");
    fnd::MainBundle::setInfo("CFBundleShortVersionString", "1.0");
    if (options->fresh) {
        std::error_code ignored;
        std::filesystem::remove_all(fnd::AppDirectories::root(), ignored);
    }

    int status = 1;
    {
        auto app = demo::DemoApp::create();
        auto& sdk = tavro::TavroSDK::shared();
        tavro::TavroConfiguration configuration;
        configuration.routes = app->routes();
        configuration.packs = std::nullopt;  // the default pack server is a reserved name
        // Attaches the overlay to the app's scene and makes it the presenter: the pointer, its
        // captions and the glow are the real ones (nothing is drawn here, but their pauses pace
        // the run as they would on a phone).
        sdk.configure(configuration);
        const auto agent = sdk.agent();

        if (options->explore) {
            auto learn = sdk.learnApp(1);
            const auto map = rt::runToEnd(actor, std::move(learn));
            if (map) printMap(*map);
            status = map ? 0 : 1;
        } else {
            demo::DemoTerminal terminal(app, std::cin, std::cout, isatty(STDIN_FILENO) != 0);
            const auto report = terminal.run(actor, agent, options->goal, options->show);
            status = report && report->ok ? 0 : 1;
            agent->stop();
        }
        // The library lets go of the app's scene before the app goes.
        tavro::TavroSDK::reset();
        actor->runFor(std::chrono::seconds(1));
    }
    return status;
}
