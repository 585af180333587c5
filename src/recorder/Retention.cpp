#include "recorder/Retention.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/Convert.h"

namespace zt {
namespace {

struct Recording {
    std::string name;
    std::string path;
    TDateTime modified = 0;
    bool readOnly = false;
};

bool EndsWithMp3(const std::string& name) {
    static const char kExt[] = ".mp3";
    constexpr size_t kLen = sizeof(kExt) - 1;
    if (name.size() < kLen) return false;
    for (size_t i = 0; i < kLen; ++i) {
        const auto c = static_cast<unsigned char>(name[name.size() - kLen + i]);
        if (std::tolower(c) != kExt[i]) return false;
    }
    return true;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Case-insensitive order of the names, the plain order breaking ties so the
// result does not depend on the order the folder hands them out.
bool NameLess(const std::string& a, const std::string& b) {
    const std::string la = Lower(a), lb = Lower(b);
    return la != lb ? la < lb : a < b;
}

// Whether `path` names the segment in progress: the same text once "." and
// doubled separators are folded, or the same file on disk.
bool IsInProgress(const std::string& path, const std::string& inProgressPath) {
    return SameRecording(path, inProgressPath);
}

// The recordings of `local`: regular files (links are not followed) whose
// name ends in ".mp3", sorted by name. A folder that cannot be read has none.
std::vector<Recording> ListRecordings(const std::string& local) {
    std::vector<Recording> found;
    DIR* dir = ::opendir(local.c_str());
    if (!dir) return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!EndsWithMp3(name)) continue;
        const std::string path = local + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        Recording r;
        r.name = name;
        r.path = path;
        r.modified = FromUnixSeconds(double(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9);
        r.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        found.push_back(std::move(r));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const Recording& a, const Recording& b) { return NameLess(a.name, b.name); });
    return found;
}

bool Delete(const Recording& r) {
    return ::unlink(r.path.c_str()) == 0;
}

}  // namespace

bool SameRecording(const std::string& path, const std::string& other) {
    if (path.empty() || other.empty()) return false;
    namespace fs = std::filesystem;
    if (fs::path(path).lexically_normal() == fs::path(other).lexically_normal()) return true;
    struct stat a {
    }, b{};
    return ::stat(path.c_str(), &a) == 0 && ::stat(other.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void SegmentsInProgress::Protect(const std::string& path) {
    if (path.empty()) return;
    MutexLock guard(lock_);
    paths_.push_back(path);
}

void SegmentsInProgress::Release(const std::string& path) {
    MutexLock guard(lock_);
    for (auto it = paths_.begin(); it != paths_.end(); ++it) {
        if (*it == path) {
            paths_.erase(it);
            return;
        }
    }
}

void SegmentsInProgress::Clear() {
    MutexLock guard(lock_);
    paths_.clear();
}

bool SegmentsInProgress::Contains(const std::string& path) const {
    std::vector<std::string> paths;
    {
        MutexLock guard(lock_);
        paths = paths_;
    }
    // Compared outside the lock: the comparison may ask the file system.
    for (const std::string& p : paths)
        if (SameRecording(path, p)) return true;
    return false;
}

RetentionResult PurgeOldRecordings(const std::string& local, const std::string& diasRec,
                                   TDateTime now, const std::string& inProgressPath) {
    return PurgeOldRecordings(local, diasRec, now, [&](const std::string& path) {
        return IsInProgress(path, inProgressPath);
    });
}

RetentionResult PurgeOldRecordings(const std::string& local, const std::string& diasRec,
                                   TDateTime now, const InProgressTest& inProgress) {
    RetentionResult result;
    const std::vector<Recording> recordings = ListRecordings(local);
    if (recordings.empty()) return result;
    // Converted where the first recording is looked at: a malformed value
    // ends the pass before anything is deleted.
    const TDateTime limit = now - StrToInt(diasRec);
    for (const Recording& r : recordings) {
        if (r.modified > limit) continue;
        if (r.readOnly || inProgress(r.path)) continue;
        if (Delete(r))
            result.deleted.push_back(r.path);
        else
            result.failed.push_back(r.path);
    }
    return result;
}

std::optional<int64_t> GuardFreeMiB(const std::optional<DiskSpace>& space) {
    if (!space || space->totalBytes == 0) return std::nullopt;
    return static_cast<int64_t>(space->freeBytes / 1024 / 1024);
}

std::string GuardFreeSpace(const std::string& local, const std::string& mbLivres,
                           std::optional<int64_t> freeMB, const std::string& inProgressPath) {
    const int32_t minimum = StrToInt(mbLivres);
    return GuardFreeSpace(local, minimum, freeMB, [&](const std::string& path) {
        return IsInProgress(path, inProgressPath);
    });
}

bool GuardWouldAct(int32_t minimum, std::optional<int64_t> freeMB) {
    return freeMB && *freeMB < minimum;
}

std::string GuardFreeSpace(const std::string& local, int32_t minimum, std::optional<int64_t> freeMB,
                           const InProgressTest& inProgress) {
    // An unmeasured drive is never taken for a full one.
    if (!GuardWouldAct(minimum, freeMB)) return {};
    std::vector<Recording> recordings = ListRecordings(local);
    // Oldest first: under pressure the recordings that retention would take
    // next go first, never a newer one while older ones remain.
    std::stable_sort(
        recordings.begin(), recordings.end(),
        [](const Recording& a, const Recording& b) { return a.modified < b.modified; });
    for (const Recording& r : recordings) {
        if (r.readOnly || inProgress(r.path)) continue;
        if (Delete(r)) return r.path;
    }
    return {};
}

}  // namespace zt
