// What the demo command prints: run-log lines with their marks, the numbered steps of a report,
// and a screen reading as a model receives it. Everything that reaches the terminal goes through
// `printable`, so a goal or a label cannot send control sequences to it.
#pragma once

#include <string>
#include <string_view>

#include "tavro/agent/TavroRunReport.h"
#include "tavro/core/TavroScreen.h"

namespace demo {

// The text with every control character written out: \n, \r, \t, else \xNN (C0 and DEL) or
// \u00NN (C1). Other characters, invalid UTF-8 bytes included, are left as they are.
std::string printable(std::string_view text);

// A run-log line as the demo streams it: its mark ("✓ " or "✗ "; the success line carries its own),
// the text, and " (N ms)" when timed.
std::string logLine(std::string_view text, bool ok, std::int64_t ms);

// The report's steps, one numbered line each with its mark once and " · N ms" when timed;
// "(none)" without steps.
std::string stepsList(const tavro::TavroRunReport& report);

// The reading of a screen: location, title, visible text and one line per element.
std::string screenReading(const tavro::TavroScreen& screen);

}  // namespace demo
