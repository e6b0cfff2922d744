// The demo command's terminal front end. It runs one goal on the agent and prints what happens
// (each run-log line as it is added, then the status and the numbered steps), and it answers what
// the run waits for from the lines a person types, as the person would on the phone: an approval
// (y/n), a question, the app's system prompt (one of its buttons, by number or name) and the human
// check screen (its controls, by number or name). Without a terminal nothing is approved or
// answered and the run is stopped; when it stops at the system prompt or the human check, the
// status line says what the app is waiting for.
#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "demo/DemoApp.h"
#include "platform/runtime/MainActor.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroRunReport.h"

namespace demo {

class DemoTerminal {
public:
    // `terminal`: a person types the input; otherwise it is never read.
    DemoTerminal(std::shared_ptr<DemoApp> app, std::istream& in, std::ostream& out, bool terminal);

    // Runs the goal to its end on the actor, printing as it goes; with `show`, the agent's reading
    // of the screen it works on (the app's, or the in-app browser's page) before and after.
    // Nothing when the run did not end.
    std::optional<tavro::TavroRunReport> run(const std::shared_ptr<rt::MainActor>& actor,
                                             const std::shared_ptr<tavro::TavroAgent>& agent, const std::string& goal,
                                             bool show);

private:
    void answer(tavro::TavroAgent& agent, const tavro::TavroAgent::Prompt& prompt);
    void answerSystemPrompt(tavro::TavroAgent& agent);
    void solveHumanCheck(tavro::TavroAgent& agent);
    // Stops the run; `waitingFor` says what the app still waits for (empty when nothing).
    void stop(tavro::TavroAgent& agent, std::string waitingFor = {});
    // The person's line, trimmed; nothing at the end of input.
    std::optional<std::string> readLine();

    std::shared_ptr<DemoApp> app_;
    std::istream& in_;
    std::ostream& out_;
    bool terminal_;
    std::string waitingFor_;
};

}  // namespace demo
