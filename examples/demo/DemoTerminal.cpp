#include "demo/DemoTerminal.h"

#include <charconv>
#include <utility>
#include <vector>

#include "demo/DemoOutput.h"
#include "demo/DemoScreens.h"
#include "platform/runtime/Task.h"
#include "platform/ui/Application.h"
#include "tavro/core/TavroText.h"
#include "tavro/surfaces/TavroSurface.h"

namespace demo {

namespace {

constexpr std::string_view notATerminal = "standard input is not a terminal";
constexpr std::string_view waitingForPrompt = "the app is waiting for you to answer its system prompt";
constexpr std::string_view waitingForCheck = "the app is waiting for you to solve the human check";

// The choice a reply names among the names shown: its number in the list (from 1) or the name
// itself, compared without case, blanks or punctuation ("dont allow", "im not a robot").
std::optional<std::size_t> choice(const std::string& reply, const std::vector<std::string>& names) {
    std::size_t number = 0;
    const auto* end = reply.data() + reply.size();
    if (const auto [at, error] = std::from_chars(reply.data(), end, number); error == std::errc() && at == end) {
        if (number >= 1 && number <= names.size()) return number - 1;
        return std::nullopt;
    }
    const auto wanted = tavro::TavroText::norm(reply);
    if (wanted.empty()) return std::nullopt;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (tavro::TavroText::norm(names[i]) == wanted) return i;
    }
    return std::nullopt;
}

bool isStop(const std::string& reply) { return tavro::TavroText::lower(reply) == "stop"; }

// The screen the agent works on as it reads it: the app's, or the in-app browser's page.
void printScreen(std::ostream& out, const std::shared_ptr<rt::MainActor>& actor, const tavro::TavroAgent& agent,
                 const char* when) {
    const auto surface = agent.activeSurface();
    auto reading = surface->snapshotAsync();
    const auto screen = rt::runToEnd(actor, std::move(reading)).value_or(std::nullopt);
    out << "--- screen " << when << " ---\n";
    if (!screen) {
        out << "(no screen)\n";
        return;
    }
    out << screenReading(*screen) << "---\n";
}

}  // namespace

DemoTerminal::DemoTerminal(std::shared_ptr<DemoApp> app, std::istream& in, std::ostream& out, bool terminal)
    : app_(std::move(app)), in_(in), out_(out), terminal_(terminal) {}

std::optional<tavro::TavroRunReport> DemoTerminal::run(const std::shared_ptr<rt::MainActor>& actor,
                                                       const std::shared_ptr<tavro::TavroAgent>& agent,
                                                       const std::string& goal, bool show) {
    waitingFor_.clear();
    std::size_t printed = 0;
    auto lines = agent->log().didSet([this, &printed](const std::vector<tavro::TavroAgent::LogLine>& log) {
        if (log.size() < printed) printed = 0;
        for (; printed < log.size(); ++printed) {
            const auto& line = log[printed];
            out_ << logLine(line.text, line.ok, line.ms) << "\n" << std::flush;
        }
    });
    std::weak_ptr<tavro::TavroAgent> weak = agent;
    // A prompt answered late finds this run over and this terminal perhaps gone: it does nothing.
    const auto running = std::make_shared<bool>(true);
    std::weak_ptr<bool> stillRunning = running;
    using Prompt = tavro::TavroAgent::Prompt;
    auto prompts = agent->prompt().didSet([this, weak, stillRunning, actor](const std::optional<Prompt>& prompt) {
        if (!prompt) return;
        // Answered after the run has settled into its wait, never inside the change itself.
        actor->post([this, weak, stillRunning, asked = *prompt] {
            auto agent = weak.lock();
            if (!agent || stillRunning.expired() || agent->prompt().value() != asked) return;
            answer(*agent, asked);
        });
    });

    out_ << "Goal: " << printable(goal) << "\n" << std::flush;
    if (show) printScreen(out_, actor, *agent, "before");
    auto task = agent->runAndWait(goal, 300);
    const auto report = rt::runToEnd(actor, std::move(task));
    if (show) printScreen(out_, actor, *agent, "after");

    if (report) {
        out_ << "Status: " << (report->status.empty() ? (report->ok ? "done" : "not done") : printable(report->status));
        if (!report->ok && !waitingFor_.empty()) out_ << " (" << waitingFor_ << ")";
        out_ << "\nSteps:\n" << stepsList(*report) << "\n";
    } else {
        out_ << "Status: the run did not end\n";
    }
    out_ << std::flush;
    return report;
}

std::optional<std::string> DemoTerminal::readLine() {
    std::string line;
    if (!std::getline(in_, line)) return std::nullopt;
    return tavro::TavroText::trim(line);
}

void DemoTerminal::stop(tavro::TavroAgent& agent, std::string waitingFor) {
    waitingFor_ = std::move(waitingFor);
    agent.stop(tavro::L("Stopped.", "停止しました。"));
}

void DemoTerminal::answer(tavro::TavroAgent& agent, const tavro::TavroAgent::Prompt& prompt) {
    using Case = tavro::TavroAgent::Prompt::Case;
    switch (prompt.kind()) {
        case Case::approve: {
            if (!terminal_) {
                out_ << "? approve \"" << printable(prompt.text()) << "\": refused (" << notATerminal << ")\n";
                stop(agent);
                return;
            }
            out_ << "? approve \"" << printable(prompt.text()) << "\"? [y/n] " << std::flush;
            const auto reply = readLine();
            const auto word = reply ? tavro::TavroText::lower(*reply) : std::string();
            if (word == "y" || word == "yes") {
                agent.approve();
            } else {
                stop(agent);
            }
            return;
        }
        case Case::human: {
            out_ << "? " << printable(prompt.text()) << "\n";
            // What the person has to deal with is what the app shows: the system's prompt over
            // it, else its human check screen, else (the photo picker) nothing to act on here.
            if (ui::Application::shared()->systemPrompt()) return answerSystemPrompt(agent);
            if (app_->humanCheckScreen()) return solveHumanCheck(agent);
            if (!terminal_) {
                stop(agent);
                return;
            }
            out_ << "  press Enter to continue, or type stop: " << std::flush;
            const auto reply = readLine();
            if (!reply || isStop(*reply)) {
                stop(agent);
            } else {
                agent.approve();
            }
            return;
        }
        case Case::ask: {
            out_ << "? " << printable(prompt.text()) << "\n";
            if (!terminal_) {
                stop(agent);
                return;
            }
            out_ << "  answer: " << std::flush;
            const auto reply = readLine();
            if (reply) {
                agent.answer(*reply);
            } else {
                stop(agent);
            }
            return;
        }
    }
}

// Shows the prompt and answers it with the button the person chooses. The run carries on by
// itself once the prompt is gone: the agent watches for that.
void DemoTerminal::answerSystemPrompt(tavro::TavroAgent& agent) {
    const auto uiApp = ui::Application::shared();
    const auto* prompt = uiApp->systemPrompt();
    out_ << "  " << printable(prompt->title) << "\n";
    if (!prompt->message.empty()) out_ << "  " << printable(prompt->message) << "\n";
    const std::vector<std::string> buttons = prompt->buttons;
    for (std::size_t i = 0; i < buttons.size(); ++i) out_ << "  " << i + 1 << ". " << printable(buttons[i]) << "\n";
    if (!terminal_) {
        out_ << "  not answered: " << notATerminal << "\n";
        stop(agent, std::string(waitingForPrompt));
        return;
    }
    for (;;) {
        out_ << "  choose a button by number or name, or type stop: " << std::flush;
        const auto reply = readLine();
        if (!reply) return stop(agent, std::string(waitingForPrompt));
        if (const auto chosen = choice(*reply, buttons)) {
            if (uiApp->answerSystemPrompt(buttons[*chosen])) return;
        } else if (isStop(*reply)) {
            return stop(agent, std::string(waitingForPrompt));
        }
    }
}

// Shows the check screen's controls and acts on the ones the person names, until Continue is
// tapped; then the run carries on. Each control keeps its number for as long as the check shows, so
// a number the person read names the same control on the next line they type.
void DemoTerminal::solveHumanCheck(tavro::TavroAgent& agent) {
    for (;;) {
        const auto screen = app_->humanCheckScreen();
        if (!screen) {
            agent.approve();  // the check screen went away meanwhile: nothing is left to solve
            return;
        }
        const auto& check = screen->check();
        const auto& next = screen->continueButton();
        const std::vector<std::string> controls{check->prompt(), next->title()};
        out_ << "  " << printable(screen->title()) << ": " << printable(screen->message()) << "\n";
        out_ << "  1. " << printable(controls[0]) << (check->isSolved() ? " (solved)" : "") << "\n";
        out_ << "  2. " << printable(controls[1]) << (next->isEnabled() ? "" : " (not enabled yet)") << "\n";
        // What the app still waits for: the check itself, or only the tap that leaves it.
        const std::string waiting =
            check->isSolved()
                ? "the human check is solved; the app is waiting for you to tap " + printable(next->title())
                : std::string(waitingForCheck);
        if (!terminal_) {
            out_ << "  not solved: " << notATerminal << "\n";
            return stop(agent, waiting);
        }
        out_ << "  type a control's number or name, or stop: " << std::flush;
        const auto reply = readLine();
        if (!reply) return stop(agent, waiting);
        const auto chosen = choice(*reply, controls);
        if (!chosen) {
            if (isStop(*reply)) return stop(agent, waiting);
            continue;
        }
        if (*chosen == 0) {
            if (!check->isSolved()) check->solve();
        } else if (next->tap()) {
            agent.approve();
            return;
        }
    }
}

}  // namespace demo
