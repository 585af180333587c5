#include "priority/PriorityRaise.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>

namespace zt {

int NiceFloorOfLimit(const rlimit& limit) {
    // The soft limit is held as 20 - nice: 40 allows -20, 20 allows 0,
    // 0 or 1 allow nothing below 19.
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40) return kHighestNice;
    const int floor = 20 - static_cast<int>(limit.rlim_cur);
    return std::clamp(floor, kHighestNice, kLowestNice);
}

bool RaiseProcessNice(pid_t pid, PrioritySystem& system, int wanted) {
    int current = 0;
    if (system.GetNice(pid, current) != 0) return false;  // gone, or never was
    const int refusal = system.SetNice(pid, wanted);
    if (refusal == 0) return true;
    // EPERM: another user's process, which no limit of ours reaches.
    // EACCES is the refusal to go below our floor; anything else is final.
    if (refusal != EACCES) return false;
    rlimit limit{};
    if (system.GetLimit(RLIMIT_NICE, limit) != 0) return false;
    const int floor = NiceFloorOfLimit(limit);
    if (floor >= current) return true;  // already as high as we may set it
    if (floor <= wanted) return false;  // the floor allowed `wanted`, yet it was refused
    return system.SetNice(pid, floor) == 0;
}

bool RaiseThreadToRealtime(pid_t tid, PrioritySystem& system) {
    int priority = kCaptureRealtimePriority;
    rlimit limit{};
    if (system.GetLimit(RLIMIT_RTPRIO, limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur > 0 && limit.rlim_cur < static_cast<rlim_t>(priority)) {
        priority = static_cast<int>(limit.rlim_cur);
    }
    return system.SetScheduler(tid, SCHED_FIFO | SCHED_RESET_ON_FORK, priority) == 0;
}

}  // namespace zt
