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
// Threads: no shared state. The recorder calls both on the main thread (the
// start-up pass, the 24-hour timer, the per-buffer handler); each call
// blocks on the file system for one listing of the folder.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "platform/DiskSpace.h"

namespace zt {

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

}  // namespace zt
