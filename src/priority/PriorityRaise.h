#pragma once
// Raising a scheduling priority as far as the user is allowed.
//
// A process's highest class on Linux is the lowest nice value (-20). An
// ordinary user may lower a nice value only down to the floor RLIMIT_NICE
// sets (20 - its soft limit); below that the kernel refuses. Real-time
// scheduling is kept for the one thread that must never miss the sound
// card (the capture thread), never for the whole process: a real-time
// main thread busy painting could starve the rest of the desktop.
//
// Threads: no shared state of its own; the calls go to the given back end.
// The library calls them on the main thread; the thread call may also be
// made by the thread it raises.

#include <sys/types.h>

#include "priority/PrioritySystem.h"

namespace zt {

inline constexpr int kHighestNice = -20;
inline constexpr int kLowestNice = 19;

// The real-time priority asked for a thread: modest, so that the kernel's
// own real-time threads (interrupt threads run at 50) still come first.
inline constexpr int kCaptureRealtimePriority = 10;

// The lowest nice value the calling process may give, as its RLIMIT_NICE
// allows without privilege, kept within -20..19.
int NiceFloorOfLimit(const rlimit& limit);

// Lowers the nice value of `pid` to `wanted` (-20 by default): when the
// kernel refuses for want of privilege, to the floor RLIMIT_NICE allows if
// that is below the current value. True when the nice value went down, or
// already was as low as this user may set it (nothing is left to gain).
// False when nothing could be done: the process is gone, belongs to another
// user, or every attempt was refused.
bool RaiseProcessNice(pid_t pid, PrioritySystem& system, int wanted = kHighestNice);

// Puts the thread `tid` (a Linux thread id, gettid()) on SCHED_FIFO at
// kCaptureRealtimePriority, or at the highest priority RLIMIT_RTPRIO allows
// when that is lower. With a limit of 0 it still asks, as a privileged
// process may. SCHED_RESET_ON_FORK keeps programs started from that thread
// off real-time. True when the thread now runs real-time.
bool RaiseThreadToRealtime(pid_t tid, PrioritySystem& system);

}  // namespace zt
