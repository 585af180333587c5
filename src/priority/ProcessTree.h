#pragma once
// The running processes as the kernel shows them under /proc: one entry per
// numeric folder, in numeric pid order (the order this platform's snapshot
// of the processes has; /proc itself lists them in no promised order).
//
// Threads: no shared state; reading a tree may be done on any thread, the
// priority form does it on the main thread.

#include <sys/types.h>

#include <string>
#include <vector>

namespace zt {

// The name given to a process whose name is empty or cannot be read.
inline constexpr const char* kUnknownProcessName = "< Unknown >";

// One process, copied out of the tree when it was read.
struct procObject {
    pid_t pid = 0;
    pid_t parentPid = 0;
    int threadCount = 0;
    // The nice value (-20 highest .. 19 lowest) and the kernel's priority
    // as /proc/<pid>/stat gives them.
    int nice = 0;
    int priority = 0;
    // The executable's name from /proc/<pid>/comm: at most 15 characters,
    // the kernel cuts longer names.
    std::string name;
};

struct ProcessTreeRead {
    std::vector<procObject> processes;
    // False when the tree could not be listed, or its listing broke off;
    // `processes` then holds what was read until then.
    bool complete = true;
};

// Reads every process of the tree under `root` ("/proc", or a copy of its
// shape made by a test). A process that ends while it is being read is left
// out; that is not an error.
ProcessTreeRead ReadProcessTree(const std::string& root = "/proc");

}  // namespace zt
