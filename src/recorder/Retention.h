#pragma once
// Archive retention and the low-space guard of the recording folder.
//
// Both only ever delete recordings of the recording folder `Local` (regular
// files whose name ends in ".mp3", in any case); the backup folder and the
// export folder are never touched here.
//
// The segment being written is never deleted. On Linux an open file can be
// unlinked (the encoder would go on writing into a file that no longer has a
// name, and that recording would be lost), so "open files cannot be deleted"
// does not protect it: the caller passes the path of the segment in progress
// and both functions skip it by path. A file without any write permission
// bit counts as read-only and is kept, the way a read-only recording stays
// where the file system refuses to delete it.
//
// Failed deletions are not reported as errors: the file stays and the work
// goes on with the next file. The results list what was deleted so the
// caller (and the tests) can see it.
//
// Threads: the functions share no state and block on the file system for
// one listing of the folder; the recorder runs them on its file worker.
// SegmentsInProgress is shared between the main thread, which protects a
// segment before its file is created and releases it after it is closed,
// and the worker, which asks it before every deletion; its list is guarded
// by its own lock.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "platform/DiskSpace.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

// Whether a path names a segment that is being written.
using InProgressTest = std::function<bool(const std::string& path)>;

// The same text once "." and doubled separators are folded, or the same
// file on disk; an empty path names nothing.
bool SameRecording(const std::string& path, const std::string& other);

// The segments whose files are open for writing, or about to be.
class SegmentsInProgress {
public:
    void Protect(const std::string& path) EXCLUDES(lock_);
    void Release(const std::string& path) EXCLUDES(lock_);
    void Clear() EXCLUDES(lock_);
    bool Contains(const std::string& path) const EXCLUDES(lock_);
    // Contains, as the test the retention functions take; the object must
    // outlive the test's use.
    InProgressTest Test() const {
        return [this](const std::string& path) { return Contains(path); };
    }

private:
    mutable Mutex lock_;
    std::vector<std::string> paths_ GUARDED_BY(lock_);
};

struct RetentionResult {
    std::vector<std::string> deleted;  // full paths, in listing order
    std::vector<std::string> failed;   // old enough, but the deletion was refused
};

// One retention pass: deletes every recording of `local` whose last
// modification is at or before `now` minus `diasRec` days. The segment at
// `inProgressPath` (may be empty) and read-only files are kept; folders
// (even one named "x.mp3") are skipped.
// `diasRec` is converted with StrToInt at the first recording found, so a
// malformed value raises EConvertError there and ends the pass; a folder
// without recordings (or one that cannot be read) ends the pass quietly
// before any conversion.
RetentionResult PurgeOldRecordings(const std::string& local, const std::string& diasRec,
                                   TDateTime now, const std::string& inProgressPath);
// The same, asking `inProgress` before each deletion.
RetentionResult PurgeOldRecordings(const std::string& local, const std::string& diasRec,
                                   TDateTime now, const InProgressTest& inProgress);

// Free MiB of a measurement for the guard: nullopt when the space could not
// be measured, or when the drive's size reads as 0 (not a real figure).
std::optional<int64_t> GuardFreeMiB(const std::optional<DiskSpace>& space);

// One step of the low-space guard, run for every captured buffer while
// recording. `mbLivres` is converted with StrToInt on every call (a
// malformed value raises EConvertError, measured or not). When `freeMB` is
// measured and below that minimum, the OLDEST recording of `local` (by
// modification time, ties by name) other than the segment in progress is
// deleted; when its deletion is refused, the next oldest is tried, so at
// most one file goes per call and a file that cannot be deleted does not
// stall the guard. Nothing is deleted when `freeMB` is nullopt.
// Returns the full path of the deleted file, or "" when nothing was deleted.
std::string GuardFreeSpace(const std::string& local, const std::string& mbLivres,
                           std::optional<int64_t> freeMB, const std::string& inProgressPath);
// The same with the minimum already converted, asking `inProgress` before
// each deletion; GuardWouldAct tells whether it would look at the folder.
bool GuardWouldAct(int32_t minimum, std::optional<int64_t> freeMB);
std::string GuardFreeSpace(const std::string& local, int32_t minimum, std::optional<int64_t> freeMB,
                           const InProgressTest& inProgress);

}  // namespace zt
