// The fixed waits that pace a run, in one place: the pauses after each step that let the app's
// animations finish, the verification readings, the polls while a run waits for the user, the
// presenter's animations, and how long the surfaces wait for a screen to settle.
#pragma once

#include <array>
#include <chrono>

namespace tavro::pacing {

using std::chrono::milliseconds;

// After a surface action whose run goes on (also after each exact or replayed step).
inline constexpr milliseconds afterSurfaceAction{300};
// After a local operation (copy, paste, save to photos, share).
inline constexpr milliseconds afterLocalOperation{250};
// Between polls of a watcher that waits for a system prompt or the photo picker to go away.
inline constexpr milliseconds watcherPoll{300};
// When verification reads the screen again, each wait counted from the previous reading.
inline constexpr std::array<milliseconds, 3> verifyReadings{milliseconds{350}, milliseconds{600}, milliseconds{900}};
// How long the pointer stays after a run ends before it is hidden.
inline constexpr milliseconds hidePointer{1800};

// The presenter's animations: the pointer's move to a target and the pause that lets the user see
// where the step lands; a caption's appearance and the pause for reading it; the tap ripple; the
// pointer's fade when it is hidden.
inline constexpr milliseconds pointerMove{350};
inline constexpr milliseconds pointerPause{600};
inline constexpr milliseconds captionShow{300};
inline constexpr milliseconds captionPause{500};
inline constexpr milliseconds tapRipple{250};
inline constexpr milliseconds pointerFade{300};

// Settling: a first wait, then up to `settleRounds` rounds this far apart until the screen is still.
inline constexpr milliseconds settleFirst{200};
inline constexpr milliseconds settleRound{120};
inline constexpr int settleRounds = 25;

// While a real browser's page is the active surface the run keeps the wall clock's pace, one turn
// (or one replayed step) at a time, for at most this long each.
inline constexpr milliseconds browserTurn{30000};

}  // namespace tavro::pacing
