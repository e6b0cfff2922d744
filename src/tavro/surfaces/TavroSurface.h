// The screens the agent reads and acts on. A surface reads its current screen into a TavroScreen,
// performs one TavroAction on it (nothing on success, else a one-line text beginning "failed: "
// written for a model), waits for it to settle, and answers where an element of its last reading
// is. The native app's screens (UIKitSurface) and the in-app browser (WebSurface) are surfaces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/Task.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroElement.h"
#include "tavro/core/TavroReach.h"
#include "tavro/core/TavroScreen.h"

namespace tavro {

class TavroSurface {
public:
    virtual ~TavroSurface();

    // A phrase naming the screens, written to read on after "You operate ".
    virtual std::string surfaceDescription() const = 0;
    // The route names the surface offers for `navigate`.
    virtual std::vector<std::string> routes() const = 0;
    // True while a system prompt covers the app.
    virtual bool systemAlertShowing() const = 0;
    // Returns when the screen has settled. Never fails.
    virtual rt::Task<void> settle() = 0;
    // The current screen, or nothing when no window can be read. Main actor.
    virtual std::optional<TavroScreen> snapshot() = 0;
    // The current screen read asynchronously; by default `snapshot()`.
    virtual rt::Task<std::optional<TavroScreen>> snapshotAsync();
    // Carries the action out: nothing on success, else a text beginning "failed: ".
    virtual rt::Task<std::optional<std::string>> perform(TavroAction action) = 0;
    // What performing the action would reach beyond its element's name in the last reading, as this
    // surface resolves it (TavroReach). By default nothing: the reading holds all of it.
    virtual rt::Task<TavroReach> reached(TavroAction action);
    // The element's rectangle in window points from the last reading; nothing for an id that
    // reading did not contain.
    virtual std::optional<TavroRect> frame(std::int64_t id) const = 0;
};

}  // namespace tavro
