// The app explorer: a bounded crawl of the app's native screens from the current one, which learns
// the app map (each screen's tappable controls and the screen each one leads to).
//
// Depth first: each new screen is recorded and its untried controls are tapped in reading order;
// a tap that shows a new screen records it as that control's destination and explores it next,
// while fewer than the screen limit are known. Coming back uses the surface's back action, else a
// route named after the screen, else that branch ends. The crawl stops at the tap limit, at the
// time limit (on the main actor's clock) or when nothing is left, and finally returns to the
// start screen when it can (by controls it found to lead there, back, or a route). Each tap costs
// one settle and one reading.
//
// It never changes the user's data: it taps only tabs, cells, links and buttons, never one that
// the approval policy would stop for (built-in and pack patterns) nor one that signs out, saves,
// submits, allows and the like; an alert it opens is closed with its cancel action, and a system
// prompt ends the crawl. A skipped control (and one that only asked an alert) stays in the map
// without a destination.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/core/TavroScreen.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro {

class TavroExplorer {
public:
    // Limits: screens in the map, taps of controls, and seconds of exploring.
    TavroExplorer(std::shared_ptr<UIKitSurface> surface, int maxScreens, int maxTaps, double timeLimit);

    // Crawls from the current screen and returns the map for that app identifier and version.
    // Main actor; never throws (an unreadable screen gives a map without screens).
    rt::Task<TavroAppMap> explore(std::string app, std::string version);

    // Whether the explorer may tap this element of the screen.
    static bool mayTap(const TavroElement& element, const TavroScreen& screen);

    // Taps made by the last crawl, the way back to the start screen included.
    int taps() const { return taps_; }

private:
    struct Known {
        std::vector<bool> tappable;  // per control of the map's screen
    };

    rt::Task<void> visit(std::string location);
    rt::Task<bool> ensureAt(const std::string& location);
    rt::Task<void> returnTo(std::string start);
    rt::Task<void> readNow();
    // Performs the action, then settles and reads; true when the surface carried it out.
    rt::Task<bool> perform(TavroAction action);
    rt::Task<bool> goBack();
    rt::Task<bool> closeAlert();
    void record(const TavroScreen& screen);
    bool exhausted() const;
    std::optional<std::int64_t> find(const std::string& location, std::size_t control) const;

    std::shared_ptr<UIKitSurface> surface_;
    int maxScreens_;
    int maxTaps_;
    double timeLimit_;

    TavroAppMap map_;
    std::map<std::string, Known> known_;
    std::optional<TavroScreen> current_;
    rt::Instant started_{};
    int taps_ = 0;
    bool stopped_ = false;
};

}  // namespace tavro
