#include "recorder/SegmentFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

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
    if (!IsRegularFile(from)) {
        out.rename = SegmentRename::SourceMissing;
        out.renameErrno = ENOENT;
        return out;
    }
    out.renameErrno = RenameNoReplace(from, out.finalPath);
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
        out.copyPath = SegmentPath(settings.localCopia, segment.FinalName(endStamp));
        out.copy = CopyFileReplacing(out.finalPath, out.copyPath) == 0 ? SegmentCopy::Copied
                                                                       : SegmentCopy::Failed;
    }
    out.exportDue = settings.crowley;
    return out;
}

}  // namespace zt
