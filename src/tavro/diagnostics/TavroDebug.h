// The activity log: while "Log activity" is on, the agent's planning, decisions, actions and
// learning are kept here (the newest 300 entries) for the debug screen and printed to the console
// as "[TAVRO_SDK] " + tag + ": " + text. One shared instance, used on the main actor.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Published.h"
#include "platform/foundation/Uuid.h"

namespace tavro {

class TavroDebug {
public:
    struct Entry {
        fnd::Uuid id;
        std::chrono::system_clock::time_point time;
        std::string tag;
        std::string text;
        bool ok = true;

        bool operator==(const Entry&) const = default;
    };

    static constexpr std::size_t limit = 300;

    static std::shared_ptr<TavroDebug> shared();

    // The "Log activity" switch; off at first.
    fnd::Published<bool> enabled{false};
    // The kept entries, oldest first.
    fnd::Published<std::vector<Entry>> entries;

    // While enabled: keeps an entry (dropping the oldest beyond 300) and prints the console line.
    // While off: does nothing.
    void log(std::string_view tag, std::string_view text, bool ok);

    // The same from any thread: at once on the main actor, else handed to it.
    static void logFromAnyThread(std::string_view tag, std::string_view text, bool ok);

    // Forgets every entry.
    void clear();

    // Tests: the shared log switched off and emptied.
    static void reset();

    // Only shared() can make one: the key is private.
    class Key {
        friend class TavroDebug;
        Key() = default;
    };
    explicit TavroDebug(Key) {}
    TavroDebug(const TavroDebug&) = delete;
    TavroDebug& operator=(const TavroDebug&) = delete;
};

}  // namespace tavro
