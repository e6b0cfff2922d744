// Decides the family of the downloadable local model from two sources, the active pack and the
// host app's remote configuration, and tells observers when it changes ("off" from either source
// wins). It also reads the host's remote configuration (through the run-time class registry,
// without linking the host's library) and feeds the remote flags from it.
//
// A namespace of static members over one process-wide box under its own lock. Everything may be
// called from any thread; observers are called after the lock is released, on the caller's thread.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavro {

class TavroModelSwitch {
public:
    enum class Family { qwen, off };
    static constexpr std::array<Family, 2> allCases{Family::qwen, Family::off};
    // "qwen" or "off".
    static std::string_view name(Family family);

    // Remote-config key of the family value.
    static constexpr const char* remoteConfigKey = "tavro_local_model";

    // The family in force now: the active pack's local model combined with the remote value.
    static Family current();
    // The stored remote-config value.
    static std::optional<std::string> remoteValue();
    // Each present value, trimmed and lower-cased, counts when it is "qwen" or "off"; "off" from
    // either wins, otherwise the result is qwen.
    static Family combine(const std::optional<std::string>& pack, const std::optional<std::string>& remote);

    // Adds an observer of announced families; observers are never removed.
    static void observe(std::function<void(Family)> observer);
    // Stores the remote value, then announces.
    static void setRemote(std::optional<std::string> value);
    // Recomputes the family and announces it: the first time to observers only, afterwards only
    // when it differs from the last one (with the "model_switch" event).
    static void changed();
    // Reads the host's remote configuration now and once more after its next fetch (whose
    // completion may arrive on any thread); without one only announces.
    static void refreshFromFirebase();

    // Tests: forget the remote value, the last family and the observers.
    static void reset();
};

}  // namespace tavro
