#include "recorder/SegmentFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/ResStrings.h"
#include "settings/RecorderSettings.h"

namespace zt {

namespace {

// More same-minute restarts than anyone makes by hand; past it the plain
// name is used and the open fails or replaces, as it would without suffixes.
constexpr int kMaxSuffix = 999;

std::string SuffixFor(int n) {
    return n < 2 ? std::string() : "-" + std::to_string(n);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::optional<TDateTime> ParseSegmentStamp(const std::string& stamp) {
    if (stamp.size() != 10) return std::nullopt;
    for (char c : stamp)
        if (c < '0' || c > '9') return std::nullopt;
    auto two = [&](size_t at) { return (stamp[at] - '0') * 10 + (stamp[at + 1] - '0'); };
    try {
        return EncodeDateTime(2000 + two(4), two(2), two(0), two(6), two(8), 0);
    } catch (const std::exception&) {
        return std::nullopt;  // an impossible date or time
    }
}

std::vector<OrphanSegment> FindOrphanSegments(
    const std::string& folder, const std::function<bool(const std::string&)>& inProgress) {
    std::vector<OrphanSegment> found;
    std::error_code ec;
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        // "ddMMyyhhnn.mp3" or "ddMMyyhhnn-N.mp3".
        if (name.size() < 14 || name.compare(name.size() - 4, 4, ".mp3") != 0) continue;
        const std::string stem = name.substr(0, name.size() - 4);
        const std::string stamp = stem.substr(0, 10);
        const std::string suffix = stem.substr(10);
        if (!suffix.empty() && (suffix[0] != '-' || suffix.size() < 2 ||
                                suffix.find_first_not_of("0123456789", 1) != std::string::npos))
            continue;
        const std::optional<TDateTime> start = ParseSegmentStamp(stamp);
        if (!start) continue;
        OrphanSegment orphan;
        orphan.segment.folder = folder;
        orphan.segment.startStamp = stamp;
        orphan.segment.suffix = suffix;
        const std::string path = orphan.segment.ProvisionalPath();
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (inProgress && inProgress(path)) continue;
        orphan.start = *start;
        orphan.end = FromUnixSeconds(double(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9);
        orphan.endStamp = SegmentStamp(orphan.end);
        found.push_back(std::move(orphan));
    }
    return found;
}

std::string ProvisionalSegmentName(const std::string& startStamp, const std::string& suffix) {
    return startStamp + suffix + ".mp3";
}

std::string FinalSegmentName(const std::string& startStamp, const std::string& endStamp,
                             const std::string& suffix) {
    return startStamp + "a" + endStamp + suffix + ".mp3";
}

std::string SegmentPath(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

bool SegmentPathTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

SegmentFile PrepareSegmentFile(const std::string& folder, TDateTime now) {
    SegmentFile segment;
    segment.folder = folder;
    segment.startStamp = SegmentStamp(now);
    for (int n = 1; n <= kMaxSuffix; ++n) {
        segment.suffix = SuffixFor(n);
        if (!SegmentPathTaken(segment.ProvisionalPath())) return segment;
    }
    segment.suffix.clear();
    return segment;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int err = errno;
    // File systems without RENAME_NOREPLACE refuse the flag itself; a hard
    // link gives the same guarantee there, since link() never replaces.
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) return err;
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        const int unlinkErr = errno;
        // Leave the file under one name, the old one, rather than two.
        ::unlink(to.c_str());
        return unlinkErr;
    }
    return 0;
}

int CopyFileReplacing(const std::string& from, const std::string& to) {
    // Copy beside the target and rename over it once complete: a copy that
    // fails half-way (backup drive full) must not cost the older copy.
    const std::string temp = to + ".part";
    std::error_code ec;
    std::filesystem::copy_file(from, temp, std::filesystem::copy_options::overwrite_existing, ec);
    if (!ec && ::rename(temp.c_str(), to.c_str()) != 0) ec.assign(errno, std::generic_category());
    if (ec) {
        ::unlink(temp.c_str());
        return ec.value() != 0 ? ec.value() : EIO;
    }
    return 0;
}

SegmentFinishSettings FinishSettingsOf(const RecorderSettings& settings) {
    SegmentFinishSettings out;
    out.copy = FlagIsSet(settings.Copia);
    out.localCopia = settings.LocalCopia;
    out.crowley = FlagIsSet(settings.Crowley);
    return out;
}

SegmentFinish FinishSegment(const SegmentFile& segment, const std::string& endStamp,
                            const RecorderSettings& settings, const SegmentExportHook& exportHook) {
    SegmentFinish out = FinishSegmentFiles(segment, endStamp, FinishSettingsOf(settings));
    if (out.exportDue && exportHook) {
        out.exported = true;
        exportHook(out.finalPath);
    }
    return out;
}

SegmentFinish FinishSegmentFiles(const SegmentFile& segment, const std::string& endStamp,
                                 const SegmentFinishSettings& settings) {
    SegmentFinish out;
    const bool wantCopy = settings.copy;
    out.copy = wantCopy ? SegmentCopy::Skipped : SegmentCopy::NotWanted;
    if (segment.Empty()) return out;

    out.finalPath = segment.FinalPath(endStamp);
    const std::string from = segment.ProvisionalPath();
    out.provisionalPath = from;
    if (!IsRegularFile(from)) {
        out.rename = SegmentRename::SourceMissing;
        out.renameErrno = ENOENT;
        return out;
    }
    struct stat st {};
    if (::stat(from.c_str(), &st) == 0 && st.st_size == 0) {
        ::unlink(from.c_str());
        out.rename = SegmentRename::Empty;
        return out;
    }
    // A final name taken already (a segment that began and ended in the same
    // minutes, as after a card's short drop-out and its automatic resume)
    // gets the next free suffix: the segment is still finished, copied and
    // exported, and the other file stays as it was.
    std::string finalName = segment.FinalName(endStamp);
    out.renameErrno = RenameNoReplace(from, out.finalPath);
    for (int n = 2; out.renameErrno == EEXIST && n <= kMaxSuffix; ++n) {
        const std::string other = FinalSegmentName(segment.startStamp, endStamp, SuffixFor(n));
        if (other == segment.FinalName(endStamp)) continue;
        finalName = other;
        out.finalPath = SegmentPath(segment.folder, finalName);
        out.renameErrno = RenameNoReplace(from, out.finalPath);
    }
    switch (out.renameErrno) {
        case 0:
            out.rename = SegmentRename::Renamed;
            break;
        case EEXIST:
            out.rename = SegmentRename::TargetExists;
            return out;
        case ENOENT:
            out.rename = SegmentRename::SourceMissing;
            return out;
        default:
            out.rename = SegmentRename::Failed;
            return out;
    }

    if (wantCopy && !settings.localCopia.empty()) {
        out.copyPath = SegmentPath(settings.localCopia, finalName);
        out.copyErrno = CopyFileReplacing(out.finalPath, out.copyPath);
        out.copy = out.copyErrno == 0 ? SegmentCopy::Copied : SegmentCopy::Failed;
    }
    out.exportDue = settings.crowley;
    return out;
}

std::string FinishFailureText(const SegmentFinish& finish) {
    switch (finish.rename) {
        case SegmentRename::Failed:
            return FormatResString(msg::RenameFailed, {finish.finalPath, finish.provisionalPath,
                                                       std::strerror(finish.renameErrno)});
        case SegmentRename::TargetExists:
            return FormatResString(msg::RenameNamesTaken,
                                   {finish.provisionalPath, finish.finalPath});
        case SegmentRename::SourceMissing:
            return FormatResString(msg::SegmentFileGone, {finish.provisionalPath});
        case SegmentRename::Renamed:
            if (finish.copy == SegmentCopy::Failed)
                return FormatResString(msg::CopyFailed, {finish.finalPath, finish.copyPath,
                                                         std::strerror(finish.copyErrno)});
            return {};
        case SegmentRename::NoSegment:
        case SegmentRename::Empty:
            return {};
    }
    return {};
}

}  // namespace zt
