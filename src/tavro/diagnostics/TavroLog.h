// The QA log: text lines the agent writes about its runs, kept only while recording is on (the
// remote link switches it on while it is started) and read out for a tester. The newest 400 lines
// are kept.
//
// A namespace of static members over one process-wide box under its own lock; safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavro {

class TavroLog {
public:
    static constexpr std::size_t limit = 400;

    // Keeps the line while recording, drops it otherwise.
    static void add(std::string line);

    static bool recording();
    static void setRecording(bool on);

    // The kept lines, oldest first.
    static std::vector<std::string> lines();
    // Forgets the kept lines.
    static void clear();

    // Tests: not recording, no lines.
    static void reset();
};

}  // namespace tavro
