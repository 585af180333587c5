#include "support/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace zt::test {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path && *path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

XvfbServer::XvfbServer() {
    const std::string xvfb = FindOnPath("Xvfb");
    if (xvfb.empty())
        throw std::runtime_error(
            "These tests need a real X server, and Xvfb is not installed "
            "(Debian: apt-get install xvfb, or run tools/install-deps.sh)");

    char logPath[] = "/tmp/zt-xvfb-XXXXXX";
    const int log = ::mkstemp(logPath);
    if (log < 0) throw std::runtime_error("No temporary file for Xvfb's messages");
    logPath_ = logPath;

    // Xvfb writes the display number it took, and a newline, to this pipe
    // once it accepts connections.
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        ::close(log);
        throw std::runtime_error("No pipe for Xvfb's display number");
    }
    std::vector<std::string> args{xvfb, "-displayfd",  "3",         "-screen",
                                  "0",  "1024x768x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        // Out of the way of 1, 2 and 3 first (the log may well be fd 3),
        // then into place; dup2 clears close-on-exec on the copies.
        const int readyHigh = ::fcntl(ready[1], F_DUPFD, 10);
        const int logHigh = ::fcntl(log, F_DUPFD, 10);
        if (readyHigh < 0 || logHigh < 0 || ::dup2(logHigh, 1) < 0 || ::dup2(logHigh, 2) < 0 ||
            ::dup2(readyHigh, 3) < 0)
            ::_exit(126);
        ::setpgid(0, 0);  // a Ctrl+C at the terminal is the test's to handle
        // A test that aborts never runs the destructor: the server goes
        // with the test process all the same.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(ready[1]);
    ::close(log);
    if (pid_ < 0) {
        ::close(ready[0]);
        throw std::runtime_error("Could not start Xvfb");
    }

    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool done = false;
    while (!done) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        pollfd p{ready[0], POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        char buffer[32];
        const ssize_t got = ::read(ready[0], buffer, sizeof buffer);
        if (got <= 0) break;  // the server ended without a display
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                done = true;
                break;
            }
            number += buffer[i];
        }
    }
    ::close(ready[0]);
    const bool isNumber =
        !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
    if (!done || !isNumber) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        const std::string messages = ReadFile(logPath_);
        ::unlink(logPath_.c_str());
        throw std::runtime_error("Xvfb did not start; it said:\n" + messages);
    }
    display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!logPath_.empty()) ::unlink(logPath_.c_str());
}

}  // namespace zt::test
