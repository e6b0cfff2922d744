// The outcome of one goal run as callers that wait for it see it (the link's chat tasks, the test
// runner, the self-test, the demo command): success, the final status, every run-log line with its
// mark, and the lines' durations. A snapshot: later runs do not change it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavro {

struct TavroRunReport {
    // One run-log line: its text and its pass mark.
    struct Step {
        std::string text;
        bool ok = false;

        bool operator==(const Step&) const = default;
    };

    // The run reached its goal.
    bool ok = false;
    // The run's final status, or empty when there was none.
    std::string status;
    // Every run-log line, in order.
    std::vector<Step> steps;
    // Each line's duration in whole milliseconds (0 when untimed), in the order of `steps`. The one
    // field callers may change: a shortened list leaves the later steps without a duration.
    std::vector<std::int64_t> ms;

    bool operator==(const TavroRunReport&) const = default;

    // One numbered line per step: "N. ✓ text" or "N. ✗ text", followed by " · " + ms + " ms" when the
    // step still has a duration and it is 1 ms or more; joined by line feeds, no trailing line feed.
    std::string stepsText() const;
};

}  // namespace tavro
