// Two switches from the host app's remote configuration: hide the SDK everywhere, or hide it only
// on devices without a usable on-device model. The facade hides the panel, the launcher and runs
// while `isHidden` says so.
//
// A namespace of static members over one process-wide box under its own lock. Everything may be
// called from any thread; observers are called after the lock is released, on the caller's thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavro {

class TavroModel;

class TavroRemoteFlags {
public:
    static constexpr const char* enabledKey = "tavro_enabled";
    static constexpr const char* enabledWithoutNativeKey = "tavro_enabled_without_native_model";

    static bool hidden();
    static bool hiddenWithoutNativeModel();

    // Reads a remote-config switch: absent, blank or anything but "false", "0", "no" and "off"
    // (trimmed, any letter case) is enabled.
    static bool enabled(const std::optional<std::string>& value);

    // Stores both flags; when either changed, sends "remote_flags" and calls every observer.
    static void set(bool hidden, bool hiddenWithoutNativeModel);

    // Hidden when `hidden` is set; otherwise, with `hiddenWithoutNativeModel` set, hidden unless some
    // model that is not a downloadable one reports itself supported on this device.
    static bool isHidden(const std::vector<std::shared_ptr<TavroModel>>& models);

    // Adds an observer of flag changes; observers are never removed.
    static void observe(std::function<void()> observer);

    // Tests: both flags off, no observers.
    static void reset();
};

}  // namespace tavro
