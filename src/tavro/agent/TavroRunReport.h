// The outcome of one goal run as callers that wait for it see it (the link's chat tasks, the test
// runner, the self-test, the demo command): success, the final status, and every run-log line
// with its mark and its duration. A snapshot: later runs do not change it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavro {

struct TavroRunReport {
    // One run-log line.
    struct Step {
        std::string text;
        bool ok = false;
        // The step's duration in whole milliseconds; 0 when untimed. Callers may change it.
        std::int64_t ms = 0;

        bool operator==(const Step&) const = default;
    };

    // The run reached its goal.
    bool ok = false;
    // The run's final status, or empty when there was none.
    std::string status;
    // Every run-log line, in order.
    std::vector<Step> steps;

    bool operator==(const TavroRunReport&) const = default;

    // One numbered line per step: "N. ✓ text" or "N. ✗ text", followed by " · " + ms + " ms" when the
    // step has a duration of 1 ms or more; joined by line feeds, no trailing line feed.
    std::string stepsText() const;
};

}  // namespace tavro
