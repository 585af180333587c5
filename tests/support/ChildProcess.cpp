#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace zt::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const EnvChanges& env, const std::string& workingDir) {
    char path[] = "/tmp/zt-child-XXXXXX";
    const int out = ::mkstemp(path);
    if (out < 0) return;
    outputPath_ = path;

    // Everything the child needs is built before the fork.
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) vars[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
    }
    for (const auto& [name, value] : env) {
        if (value)
            vars[name] = *value;
        else
            vars.erase(name);
    }
    std::vector<std::string> envText;
    for (const auto& [name, value] : vars) envText.push_back(name + "=" + value);
    std::vector<char*> envp, argv;
    for (std::string& s : envText) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText{program};
    argText.insert(argText.end(), args.begin(), args.end());
    for (std::string& s : argText) argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (!workingDir.empty() && ::chdir(workingDir.c_str()) != 0) ::_exit(126);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!outputPath_.empty()) ::unlink(outputPath_.c_str());
}

void ChildProcess::Reap(int status) {
    ended_ = true;
    exited_ = WIFEXITED(status);
    exitCode_ = exited_ ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || ended_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) Reap(status);
    return !ended_;
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void ChildProcess::Signal(int signalNumber) {
    if (pid_ > 0 && !ended_) ::kill(pid_, signalNumber);
}

std::string ChildProcess::Output() const {
    std::ifstream in(outputPath_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace zt::test
