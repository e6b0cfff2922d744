// The QA network log: the calls the app's URL loading made, kept only while recording is on (the
// remote link switches it on while it is started) and read out for a tester. The newest 500 calls
// are kept.
//
// A namespace of static members over one process-wide box under its own lock; safe from any thread
// (transfers finish on worker threads).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavro {

class TavroNetwork {
public:
    static constexpr std::size_t limit = 500;

    struct Call {
        std::string method;
        std::string url;
        int status = 0;             // the HTTP status, 0 when no response came
        std::int64_t ms = 0;        // how long the call took
        std::int64_t bytes = 0;     // the size of the response body
        std::chrono::system_clock::time_point time;  // when the call ended

        bool operator==(const Call&) const = default;
    };

    // Keeps the call while recording, drops it otherwise.
    static void add(Call call);

    static bool recording();
    static void setRecording(bool on);

    // The kept calls, oldest first.
    static std::vector<Call> calls();
    // Forgets the kept calls.
    static void clear();

    // Tests: not recording, no calls.
    static void reset();
};

}  // namespace tavro
