// "Watch & learn": while recording, every text field or text view of the app window that the user
// finishes editing becomes a performed step (typing that text into that field, as the native
// surface reads it), and `finish` keeps the steps as a recipe for a goal the user names.
//
// Only fields the native surface reads are recorded (the library's views, such as the overlay's
// goal field, never are). A later edit of a field replaces its step, an edit to empty text
// removes it, and secure fields are never recorded, so a password cannot reach the recipe file.
// Main actor only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/Published.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/memory/TavroPerformedStep.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace ui {
class View;
}

namespace tavro {

class TavroRecorder {
public:
    TavroRecorder(std::shared_ptr<UIKitSurface> surface, std::shared_ptr<TavroMemory> memory);
    ~TavroRecorder();
    TavroRecorder(const TavroRecorder&) = delete;
    TavroRecorder& operator=(const TavroRecorder&) = delete;

    // False at first. A real change attaches (true) or detaches (false) the end-of-editing hooks
    // and empties the recorded steps; setting the same value again changes nothing.
    fnd::Published<bool> recording{false};

    // Learns the recorded steps as a recipe for the trimmed goal when it is not empty and steps
    // exist, then stops recording. Returns whether a recipe was learned.
    bool finish(std::string namedGoal);

    // The recorded steps, one per field, in the order the fields were first edited.
    std::vector<TavroPerformedStep> steps() const;

private:
    struct Recorded {
        std::uint64_t view;  // the field's view serial
        TavroPerformedStep step;
    };

    void attach();
    void detach();
    void ended(const fnd::Notification& notification);

    std::shared_ptr<UIKitSurface> surface_;
    std::shared_ptr<TavroMemory> memory_;
    std::vector<Recorded> recorded_;
    std::vector<fnd::ObserverToken> hooks_;
    fnd::ObserverToken recordingChange_;
};

}  // namespace tavro
