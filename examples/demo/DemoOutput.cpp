#include "demo/DemoOutput.h"


#include "platform/foundation/Console.h"
#include "tavro/agent/TavroPrompt.h"

namespace demo {

namespace {

// The mark goes first unless an ok line brings its own ("✓ Done.").
std::string marked(std::string_view text, bool ok) {
    std::string out = ok && text.starts_with("✓") ? "" : (ok ? "✓ " : "✗ ");
    out += text;
    return printable(out);
}

}  // namespace

std::string printable(std::string_view text) { return fnd::Console::printable(text); }

std::string logLine(std::string_view text, bool ok, std::int64_t ms) {
    std::string out = marked(text, ok);
    if (ms >= 1) out += " (" + std::to_string(ms) + " ms)";
    return out;
}

std::string stepsList(const tavro::TavroRunReport& report) {
    if (report.steps.empty()) return "(none)";
    std::string out;
    for (std::size_t i = 0; i < report.steps.size(); ++i) {
        const auto& step = report.steps[i];
        if (i > 0) out += '\n';
        out += std::to_string(i + 1) + ". " + marked(step.text, step.ok);
        if (i < report.ms.size() && report.ms[i] >= 1) out += " · " + std::to_string(report.ms[i]) + " ms";
    }
    return out;
}

std::string screenReading(const tavro::TavroScreen& screen) {
    std::string out = "SCREEN: " + printable(screen.location) + (screen.keyboardVisible ? " (keyboard up)" : "") + "\n";
    if (!screen.title.empty()) out += "TITLE: " + printable(screen.title) + "\n";
    if (!screen.text.empty()) out += "TEXT: " + printable(screen.text) + "\n";
    for (const auto& element : screen.elements) out += printable(tavro::TavroPrompt::line(element)) + "\n";
    return out;
}

}  // namespace demo
