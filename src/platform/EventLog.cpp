#include "platform/EventLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

namespace {

Mutex& LogLock() {
    static Mutex lock;
    return lock;
}

std::string& LogPath() {
    static std::string path;
    return path;
}

}  // namespace

void SetEventLogPath(const std::string& path) {
    MutexLock guard(LogLock());
    LogPath() = path;
}

std::string EventLogPath() {
    MutexLock guard(LogLock());
    return LogPath();
}

void LogEvent(const std::string& text) {
    const TDateTime now = CurrentClock().Now();
    std::string line = FormatDate(now) + " " + FormatTime(now) + " ";
    for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    MutexLock guard(LogLock());
    std::fputs(("Zelta Tresona: " + line).c_str(), stderr);
    if (LogPath().empty()) return;
    const int fd = ::open(LogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return;
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n <= 0) break;
        data += n;
        left -= size_t(n);
    }
    ::close(fd);
}

}  // namespace zt
