// tavro-host: the smallest app that embeds the library. One window with a "Dark Mode" switch, a host
// language model written as one function, one goal run to its end, and the run report printed.
//
// The host owns the main actor and drives it from its own loop (runReady, nextDeadline), as an app
// with an event loop of its own would.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "tavro/Tavro.h"

namespace {

using namespace tavro;

// The id the user prompt gives the element with this label ("[1] checkbox(UISwitch) \"Dark Mode\""), or -1.
long idOf(const std::string& user, const std::string& label) {
    const auto at = user.find("\"" + label + "\"");
    if (at == std::string::npos) return -1;
    const auto open = user.rfind('[', at);
    if (open == std::string::npos) return -1;
    return std::stol(user.substr(open + 1));
}

// The host's model. The agent asks it two kinds of question with one function: the plan of the
// run (its system text starts "You plan how to complete") and each next step (any other system
// text). This one answers without a plan and clicks the switch until the screen shows it on.
rt::Task<std::optional<std::string>> hostModel(std::string system, std::string user) {
    if (system.starts_with("You plan how to complete")) co_return std::nullopt;
    if (user.find("\"Dark Mode\" value=\"1\"") != std::string::npos) {
        co_return R"({"thought":"The switch is on.","action":"done","text":"Dark Mode is on."})";
    }
    const long id = idOf(user, "Dark Mode");
    if (id < 0) co_return R"({"thought":"No switch here.","action":"fail","text":"No Dark Mode switch."})";
    co_return R"({"thought":"Turn it on.","action":"click","id":)" + std::to_string(id) + "}";
}

}  // namespace

int main() {
    auto actor = rt::MainActor::create(rt::ClockKind::real);
    rt::MainActor::Scope scope{actor};

    // The app: one scene, one window, one screen with a switch.
    fnd::MainBundle::setIdentifier("com.example.host");
    auto scene = ui::Application::shared()->connectScene();
    auto window = std::make_shared<ui::Window>();
    window->setWindowScene(scene);
    window->makeKeyAndVisible();
    auto screen = std::make_shared<ui::ViewController>("Settings");
    auto darkMode = std::make_shared<ui::Switch>(false, ui::Rect{16, 120, 51, 31});
    darkMode->setAccessibilityLabel("Dark Mode");
    screen->view()->addSubview(darkMode);
    window->setRootViewController(screen);

    // The agent over the app's screens, with the host's model.
    TavroConfiguration configuration;
    configuration.models = {std::make_shared<TextTavroModel>(
        "host", TavroContextBudget::large, [] { return true; },
        [](std::string system, std::string user) { return hostModel(std::move(system), std::move(user)); })};
    auto agent = TavroAgent::create(std::make_shared<UIKitSurface>(), configuration, nullptr);

    auto run = rt::spawn(agent->runAndWait("make the app dark", 60), actor);

    // The host's loop: run what is ready, then sleep until the next deadline.
    while (!run.isDone()) {
        if (actor->runReady()) continue;
        const auto next = actor->nextDeadline();
        const auto wait = next ? std::chrono::duration_cast<std::chrono::milliseconds>(*next - actor->now())
                               : std::chrono::milliseconds(10);
        std::this_thread::sleep_for(std::clamp(wait, std::chrono::milliseconds(0), std::chrono::milliseconds(10)));
    }

    const auto report = run.result();
    if (!report) return 1;
    std::cout << "Status: " << report->status << "\n" << report->stepsText() << "\n";
    std::cout << "Dark Mode is " << (darkMode->isOn() ? "on" : "off") << "\n";
    return report->ok && darkMode->isOn() ? 0 : 1;
}
