#include "priority/ProcessTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string_view>

namespace zt {

namespace {

// The whole of a small /proc file. The files report a size of 0, so they
// are read until the end rather than by their size.
std::optional<std::string> ReadSmallFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[1024];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            content.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            close(fd);
            return std::nullopt;
        }
    }
    close(fd);
    return content;
}

std::optional<pid_t> PidOfFolder(std::string_view name) {
    if (name.empty() ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || end != name.data() + name.size()) return std::nullopt;
    return pid;
}

template <typename T>
void ParseField(const std::vector<std::string_view>& fields, size_t index, T& out) {
    if (index >= fields.size()) return;
    const std::string_view field = fields[index];
    T value{};
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec == std::errc() && end == field.data() + field.size()) out = value;
}

// Fills the numbers of `entry` from the text of /proc/<pid>/stat. The name
// in parentheses may itself hold spaces and parentheses, so the fields are
// counted from the last ")". A short or damaged line leaves the rest at 0.
void ParseStat(std::string_view stat, procObject& entry) {
    const size_t close = stat.rfind(')');
    if (close == std::string_view::npos) return;
    std::vector<std::string_view> fields;  // fields[0] is field 3 (state)
    size_t pos = close + 1;
    while (pos < stat.size()) {
        while (pos < stat.size() && (stat[pos] == ' ' || stat[pos] == '\n')) ++pos;
        const size_t start = pos;
        while (pos < stat.size() && stat[pos] != ' ' && stat[pos] != '\n') ++pos;
        if (pos > start) fields.push_back(stat.substr(start, pos - start));
    }
    constexpr size_t kFirst = 3;  // proc(5) numbers the fields from 1
    ParseField(fields, 4 - kFirst, entry.parentPid);
    ParseField(fields, 18 - kFirst, entry.priority);
    ParseField(fields, 19 - kFirst, entry.nice);
    ParseField(fields, 20 - kFirst, entry.threadCount);
}

// One process, or nothing when it has ended. The name is read before the
// stat line: a stat line read afterwards proves the process still existed
// when its name could not be read, so an unreadable name then really is
// unknown rather than a sign that the process is gone.
std::optional<procObject> ReadProcess(const std::string& folder, pid_t pid) {
    const std::optional<std::string> comm = ReadSmallFile(folder + "/comm");
    const std::optional<std::string> stat = ReadSmallFile(folder + "/stat");
    if (!stat) return std::nullopt;
    procObject entry;
    entry.pid = pid;
    ParseStat(*stat, entry);
    if (comm) {
        entry.name = *comm;
        if (!entry.name.empty() && entry.name.back() == '\n') entry.name.pop_back();
    }
    if (entry.name.empty()) entry.name = kUnknownProcessName;
    return entry;
}

}  // namespace

ProcessTreeRead ReadProcessTree(const std::string& root) {
    ProcessTreeRead result;
    DIR* dir = opendir(root.c_str());
    if (!dir) {
        result.complete = false;
        return result;
    }
    for (;;) {
        errno = 0;
        const dirent* item = readdir(dir);
        if (!item) {
            if (errno != 0) result.complete = false;
            break;
        }
        const std::optional<pid_t> pid = PidOfFolder(item->d_name);
        if (!pid) continue;
        if (std::optional<procObject> entry = ReadProcess(root + "/" + item->d_name, *pid)) {
            result.processes.push_back(std::move(*entry));
        }
    }
    closedir(dir);
    std::sort(result.processes.begin(), result.processes.end(),
              [](const procObject& a, const procObject& b) { return a.pid < b.pid; });
    return result;
}

}  // namespace zt
