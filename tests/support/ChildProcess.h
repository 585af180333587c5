#pragma once
// A program run as a child process by a test: fork + exec, its standard
// output and error collected in a temporary file. (Qt's process class
// starts children through a raw clone, which ThreadSanitizer cannot follow;
// a plain fork it can.)
//
// Threads: the test's main thread.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zt::test {

class ChildProcess {
public:
    // Environment changes on top of this process's environment: a value
    // sets the variable, nullopt removes it.
    using EnvChanges = std::map<std::string, std::optional<std::string>>;

    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const EnvChanges& env = {}, const std::string& workingDir = {});
    // Kills a child still running and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Running();
    // Waits for the child to end; false when it is still running then.
    bool WaitForExit(std::chrono::milliseconds timeout);
    // After the end: normal exit and its code.
    bool ExitedNormally() const { return exited_; }
    int ExitCode() const { return exitCode_; }
    void Signal(int signalNumber);
    // Everything the child wrote so far.
    std::string Output() const;

private:
    void Reap(int status);

    pid_t pid_ = -1;
    bool ended_ = false, exited_ = false;
    int exitCode_ = -1;
    std::string outputPath_;
};

}  // namespace zt::test
