#pragma once
// The four system calls the priority raise needs, behind an interface so
// that tests can play a kernel that refuses. The real one is the default
// everywhere; a fake only ever comes from a test.
//
// Threads: the real back end has no state of its own and may be called from
// any thread; the callers in this library are main-thread only.

#include <sys/resource.h>
#include <sys/types.h>

namespace zt {

class PrioritySystem {
public:
    virtual ~PrioritySystem() = default;

    // Each call returns 0 on success or the errno value of its failure, so
    // that a fake never has to touch the global errno.

    // getpriority(PRIO_PROCESS, pid): the nice value of the process.
    virtual int GetNice(pid_t pid, int& nice) = 0;
    // setpriority(PRIO_PROCESS, pid, nice).
    virtual int SetNice(pid_t pid, int nice) = 0;
    // getrlimit(resource) of the calling process (RLIMIT_NICE, RLIMIT_RTPRIO).
    virtual int GetLimit(int resource, rlimit& limit) = 0;
    // sched_setscheduler(tid, policy, {priority}): `tid` is a Linux thread id.
    virtual int SetScheduler(pid_t tid, int policy, int priority) = 0;
};

// The kernel itself.
PrioritySystem& RealPrioritySystem();

}  // namespace zt
