// Repeat counts in goals ("like the post 5 times", "add water twice", "5回いいねして"). The count is
// cut out of the goal before a run starts; the run does the rest of the goal once, and the agent
// then replays the steps it performed on the final screen until the goal has been done that many
// times. `parse` finds the count, `tail` picks the steps worth replaying.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tavro/memory/TavroPerformedStep.h"

namespace tavro {

class TavroRepeat {
public:
    TavroRepeat() = delete;

    struct Parsed {
        std::string goal;  // the goal without its count
        int times = 0;     // 2...50

        bool operator==(const Parsed&) const = default;
    };

    // The goal without its count and the count; nothing when the goal carries no usable count
    // (none, a count below 2, or nothing left of the goal once the count is cut out). Counts above
    // 50 are read as 50.
    static std::optional<Parsed> parse(std::string_view goal);

    // The unbroken run of steps done on the final screen since the last navigation, in the order
    // they were performed: empty when the last step is itself a navigate or back.
    static std::vector<TavroPerformedStep> tail(const std::vector<TavroPerformedStep>& steps);

private:
    // Number words from "one" to "fifty" with their counts, built once.
    static const std::vector<std::pair<std::string, int>>& words();
};

}  // namespace tavro
