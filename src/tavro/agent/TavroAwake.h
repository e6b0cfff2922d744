// Keeps the device awake while the agent runs: disables the host application's idle timer when a
// run starts and gives the app its own setting back when the run ends. The application object is
// reached by name through the run-time class registry ("UIApplication", key "sharedApplication"),
// never referred to directly; without one, holding does nothing.
//
// Main actor only.
#pragma once

#include "platform/objc/Object.h"

namespace tavro {

class TavroAwake {
public:
    static TavroAwake& shared();

    // Disables the idle timer for a run, remembering the app's own setting. A second hold keeps
    // the setting remembered by the first.
    void hold();
    // Restores the app's idle-timer setting; nothing when not held.
    void release();

    // Whether the idle timer is currently held off by the library.
    bool held() const { return held_; }
    // The app's idle-timer-disabled setting before the hold.
    bool previous() const { return previous_; }

    // Forgets the hold (tests).
    void reset();

private:
    TavroAwake() = default;
    // The application object, or nullptr.
    static objc::ObjectPtr app();

    bool held_ = false;
    bool previous_ = false;
};

}  // namespace tavro
