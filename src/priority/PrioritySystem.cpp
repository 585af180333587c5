#include "priority/PrioritySystem.h"

#include <sched.h>

#include <cerrno>

namespace zt {

namespace {

class KernelPrioritySystem final : public PrioritySystem {
public:
    int GetNice(pid_t pid, int& nice) override {
        // -1 is also a valid nice value: only errno tells a failure apart.
        errno = 0;
        const int value = getpriority(PRIO_PROCESS, static_cast<id_t>(pid));
        if (value == -1 && errno != 0) return errno;
        nice = value;
        return 0;
    }
    int SetNice(pid_t pid, int nice) override {
        return setpriority(PRIO_PROCESS, static_cast<id_t>(pid), nice) == 0 ? 0 : errno;
    }
    int GetLimit(int resource, rlimit& limit) override {
        return getrlimit(resource, &limit) == 0 ? 0 : errno;
    }
    int SetScheduler(pid_t tid, int policy, int priority) override {
        sched_param param{};
        param.sched_priority = priority;
        return sched_setscheduler(tid, policy, &param) == 0 ? 0 : errno;
    }
};

}  // namespace

PrioritySystem& RealPrioritySystem() {
    static KernelPrioritySystem system;
    return system;
}

}  // namespace zt
