#pragma once
// Test doubles of the priority library: a kernel that keeps nice values and
// refuses the way Linux does, and a /proc tree written into a temporary
// folder.
//
// Threads: test thread only.

#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "priority/PrioritySystem.h"
#include "support/TempDir.h"

namespace zt::test {

// Keeps a nice value per process and applies the kernel's rule: lowering a
// nice value needs privilege or an RLIMIT_NICE of at least 20 - nice
// (EACCES otherwise); another user's process is refused outright (EPERM);
// an unknown pid is gone (ESRCH).
class FakePrioritySystem final : public PrioritySystem {
public:
    struct Process {
        int nice = 0;
        bool otherUser = false;
    };
    struct SchedulerCall {
        pid_t tid;
        int policy;
        int priority;
        bool operator==(const SchedulerCall&) const = default;
    };

    std::map<pid_t, Process> processes;
    rlimit niceLimit{0, 0};
    rlimit rtprioLimit{0, 0};
    bool privileged = false;
    // A security module that refuses every change whatever the limits say.
    bool refuseAll = false;
    int schedulerError = 0;
    std::vector<SchedulerCall> schedulerCalls;

    int GetNice(pid_t pid, int& nice) override {
        const auto found = processes.find(pid);
        if (found == processes.end()) return ESRCH;
        nice = found->second.nice;
        return 0;
    }
    int SetNice(pid_t pid, int nice) override {
        const auto found = processes.find(pid);
        if (found == processes.end()) return ESRCH;
        Process& process = found->second;
        if (process.otherUser && !privileged) return EPERM;
        if (refuseAll) return EACCES;
        nice = std::clamp(nice, -20, 19);
        const bool allowed = privileged || niceLimit.rlim_cur == RLIM_INFINITY ||
                             rlim_t(20 - nice) <= niceLimit.rlim_cur;
        if (nice < process.nice && !allowed) return EACCES;
        process.nice = nice;
        return 0;
    }
    int GetLimit(int resource, rlimit& limit) override {
        if (resource == RLIMIT_NICE) {
            limit = niceLimit;
        } else if (resource == RLIMIT_RTPRIO) {
            limit = rtprioLimit;
        } else {
            return EINVAL;
        }
        return 0;
    }
    int SetScheduler(pid_t tid, int policy, int priority) override {
        schedulerCalls.push_back({tid, policy, priority});
        return schedulerError;
    }
};

// A /proc tree in a temporary folder: one folder per process holding the
// two files the library reads.
class FakeProcTree {
public:
    std::string root() const { return dir_.path().string(); }

    // A process with its name in comm and a stat line of the kernel's shape.
    void Add(pid_t pid, const std::string& name, pid_t parent = 1, int threads = 1, int nice = 0) {
        WriteComm(pid, name + "\n");
        WriteStat(pid, StatLine(pid, name, parent, threads, nice));
    }
    void WriteComm(pid_t pid, const std::string& content) {
        WriteFileBytes(Folder(std::to_string(pid)) + "/comm", content);
    }
    void WriteStat(pid_t pid, const std::string& content) {
        WriteFileBytes(Folder(std::to_string(pid)) + "/stat", content);
    }
    // A folder with whatever name, empty.
    std::string Folder(const std::string& name) {
        const std::filesystem::path folder = dir_.path() / name;
        std::filesystem::create_directories(folder);
        return folder.string();
    }
    void Remove(pid_t pid) { std::filesystem::remove_all(dir_.path() / std::to_string(pid)); }

    static std::string StatLine(pid_t pid, const std::string& name, pid_t parent, int threads,
                                int nice) {
        // Fields 1-20 as proc(5) lists them, then a few more the kernel
        // writes; the priority of a normal process is 20 + nice.
        return std::to_string(pid) + " (" + name + ") S " + std::to_string(parent) +
               " 10 10 0 -1 4194560 120 0 0 0 5 3 0 0 " + std::to_string(20 + nice) + " " +
               std::to_string(nice) + " " + std::to_string(threads) + " 0 1234 5000 300\n";
    }

private:
    TempDir dir_;
};

}  // namespace zt::test
