#pragma once
// Segment file naming and finishing a segment.
//
// A segment is written under a provisional name that holds its start stamp
// and, when it ends, renamed to a final name that holds its start and end
// stamps:
//
//   <Local>/0812121530.mp3             while it is written
//   <Local>/0812121530a0812121540.mp3  once it has ended
//   <LocalCopia>/0812121530a0812121540.mp3  backup copy, when Copia is "S"
//
// Stamps are zt::SegmentStamp ("ddMMyyhhnn"), so they stop at the minute and
// two segments started in the same minute want the same provisional name.
// The encoder truncates whatever file it opens, so a provisional name that
// is still taken (a segment of that minute whose rename failed) would lose
// that recording. PrepareSegmentFile therefore never hands out a taken name:
// it adds a suffix ("-2", "-3", ...) before ".mp3" until the name is free,
// and the segment keeps that suffix in its final name
// (0812121530-2.mp3 -> 0812121530a0812121530-2.mp3), so every finished name
// still starts with the start stamp, carries the end stamp and ends in ".mp3".
//
// A SegmentFile remembers the folder the segment was opened in, so changing
// `Local` while recording does not lose track of the running segment: it is
// finished in its own folder and only the next segment goes to the new one.
//
// Finishing never replaces a file: the rename refuses an existing target
// (renameat2 RENAME_NOREPLACE, or link + unlink where the file system lacks
// it). Two segments that began and ended in the same minutes (a stop and a
// start, or a card's drop-out and the automatic resume, within one minute)
// want the same final name: the later one takes the first free suffix
// (0812121530a0812121530.mp3, then 0812121530a0812121530-2.mp3), so it is
// finished, copied and exported all the same. Nothing here shows a message or throws for a failed
// rename or copy; the outcome says what happened so the caller can go on (the next segment must
// start regardless) and tests can see it.
//
// Threads: no shared state. The functions block on the file system (a slow
// backup folder delays the caller): the recorder names segments on the main
// thread and runs the file steps of finishing on its file worker.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/DateTime.h"

namespace zt {

struct RecorderSettings;

// The ".mp3" names inside a folder, without the folder.
std::string ProvisionalSegmentName(const std::string& startStamp, const std::string& suffix = "");
std::string FinalSegmentName(const std::string& startStamp, const std::string& endStamp,
                             const std::string& suffix = "");

// Folder + "/" + name, by plain concatenation (Local is kept without a
// trailing separator).
std::string SegmentPath(const std::string& folder, const std::string& name);

// One segment as it was opened.
struct SegmentFile {
    std::string folder;      // the recording folder when the segment started
    std::string startStamp;  // ddMMyyhhnn of the start
    std::string suffix;      // "" or "-2", "-3", ... when the plain name was taken

    std::string ProvisionalName() const { return ProvisionalSegmentName(startStamp, suffix); }
    std::string ProvisionalPath() const { return SegmentPath(folder, ProvisionalName()); }
    std::string FinalName(const std::string& endStamp) const {
        return FinalSegmentName(startStamp, endStamp, suffix);
    }
    std::string FinalPath(const std::string& endStamp) const {
        return SegmentPath(folder, FinalName(endStamp));
    }
    bool Empty() const { return startStamp.empty(); }
};

// Names the segment that starts at `now` in `folder`: the provisional name
// of its stamp, or the first suffixed one that names no existing entry
// (file, folder or link). A folder that cannot be read gives the plain name;
// opening it will fail there anyway.
SegmentFile PrepareSegmentFile(const std::string& folder, TDateTime now);

// Whether a directory entry of this name exists (a dangling link counts).
bool SegmentPathTaken(const std::string& path);

enum class SegmentRename {
    Renamed,        // the file now has its final name
    NoSegment,      // no segment to finish (never started)
    SourceMissing,  // the provisional file does not exist
    TargetExists,   // the final name and every suffixed one are taken; the file keeps its name
    Failed,         // any other refusal of the file system (see renameErrno)
    Empty,          // the file held nothing and was removed
};

enum class SegmentCopy {
    NotWanted,  // Copia is not "S"
    Skipped,    // not renamed, or no backup folder set
    Copied,     // the backup folder holds a copy under the final name
    Failed,     // the copy could not be made; an older copy is kept as it was
};

struct SegmentFinish {
    std::string provisionalPath;  // the file as it was written ("" without a segment)
    std::string finalPath;        // where the finished segment is (or would have been)
    SegmentRename rename = SegmentRename::NoSegment;
    int renameErrno = 0;
    SegmentCopy copy = SegmentCopy::NotWanted;
    std::string copyPath;  // the backup path that was tried, if any
    int copyErrno = 0;
    bool exportDue = false;  // renamed, and Crowley is "S"
    bool exported = false;   // the export hook was called with finalPath
};

// What finishing needs of the settings, copied, so that the file steps can
// run on another thread while the settings change on the main thread.
struct SegmentFinishSettings {
    bool copy = false;       // Copia is "S"
    std::string localCopia;  // LocalCopia
    bool crowley = false;    // Crowley is "S"
};
SegmentFinishSettings FinishSettingsOf(const RecorderSettings& settings);

// Steps 1 and 2 of FinishSegment below (rename, copy), and whether step 3
// (the export) is due. Blocks on the file system; any thread.
SegmentFinish FinishSegmentFiles(const SegmentFile& segment, const std::string& endStamp,
                                 const SegmentFinishSettings& settings);

// What went wrong in finishing, for the operator and the event log: the
// paths involved and the system's reason. "" when nothing did (renamed and,
// when wanted, copied; an empty file removed; no segment at all).
std::string FinishFailureText(const SegmentFinish& finish);

// Called with the final path of a finished segment when Crowley is "S".
using SegmentExportHook = std::function<void(const std::string& finalPath)>;

// Finishes `segment` with the end stamp `endStamp`:
//  1. renames its provisional file to its final name (or the first free
//     suffixed one when that is taken), never replacing a file;
//     a file that holds nothing (a segment begun on a full drive) is
//     removed instead, so no final name ever names an empty file;
//  2. when renamed and Copia is "S": copies it to LocalCopia + "/" + the final
//     name, replacing an older copy of that name. The copy goes to a
//     temporary name in the backup folder first and is renamed over the old
//     copy only when complete, so a failed copy leaves the old one intact.
//     An empty LocalCopia skips the copy (it would land in the root folder);
//  3. when renamed and Crowley is "S": calls `exportHook` with the final path.
// A segment that could not be renamed is neither copied nor exported: its
// final name is absent, or names a different, earlier segment.
// Failed file operations are reported in the result only; an exception the
// hook throws reaches the caller.
SegmentFinish FinishSegment(const SegmentFile& segment, const std::string& endStamp,
                            const RecorderSettings& settings,
                            const SegmentExportHook& exportHook = {});

// The time a stamp "ddMMyyhhnn" names (seconds 0, years 2000-2099), or
// nullopt when it is not a valid stamp.
std::optional<TDateTime> ParseSegmentStamp(const std::string& stamp);

// A segment left provisional by an earlier run (a power cut, a crash):
// its file, and the end it gets from the file's last modification.
struct OrphanSegment {
    SegmentFile segment;
    std::string endStamp;  // of the last modification
    TDateTime start = 0;   // from the start stamp (to the minute)
    TDateTime end = 0;     // the last modification
};

// The provisional segment files of `folder` ("ddMMyyhhnn.mp3" and the
// suffixed "ddMMyyhhnn-N.mp3"; regular files only), in name order, except
// those `inProgress` names. A folder that cannot be read has none.
std::vector<OrphanSegment> FindOrphanSegments(
    const std::string& folder, const std::function<bool(const std::string&)>& inProgress);

// The file operations underneath, for callers that need them alone.
// Renames `from` to `to` unless `to` exists; 0 on success, else an errno
// (EEXIST when `to` exists, ENOENT when `from` does not).
int RenameNoReplace(const std::string& from, const std::string& to);
// Copies `from` to `to`, replacing `to` only once the copy is complete;
// 0 on success, else an errno.
int CopyFileReplacing(const std::string& from, const std::string& to);

}  // namespace zt
