#pragma once
// Private to the wave-in component: how long it waits for the device.
//
// Threads: constants.

#include <chrono>

namespace zt::wavein_detail {

inline constexpr auto kTick = std::chrono::milliseconds(10);
inline constexpr int kNoteRounds = 100;    // opened / closed notification: 1 s
inline constexpr int kReturnRounds = 100;  // returned buffers at Stop: 1 s
inline constexpr int kDoneChecks = 65000;  // done flag before unpreparing
inline constexpr auto kThreadWait = std::chrono::milliseconds(5000);

}  // namespace zt::wavein_detail
