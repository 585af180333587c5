#pragma once
// The downloaded update archive (a zip) and its extraction into the update
// folder beside the executable.
//
// The archive is signed, but it is still outside input: every entry is
// checked before anything is written, so a refused archive leaves the
// destination as it was. Refused: names that could leave the destination
// (see CheckEntryName), links and other special files, encrypted entries,
// compression methods the zip library cannot read, a file and a folder of
// the same name, and archives beyond ArchiveLimits. Both "/" and "\" count
// as folder separators in entry names (archives made on Windows use "\"),
// for the checks and for extraction alike, so what is checked is what is
// written.
//
// Threads: no shared state; runs on the update worker thread. Two
// extractions into the same folder at once are not supported.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"

namespace zt {

// A refused, missing or damaged archive, or a failure while extracting it.
// The text (English) names the archive or the entry and the reason.
class EUpdateArchive : public Exception {
public:
    using Exception::Exception;
};

struct ArchiveLimits {
    uint64_t maxTotalBytes = 512ull << 20;  // sum of the entries' uncompressed sizes
    uint64_t maxEntries = 10000;
};

// Empty when `name` may be extracted, else the reason (English). Refused:
// an empty name, a NUL byte, an absolute path ("/x", "\x"), a drive letter
// ("C:x"), any ".." component, and a name that does not end with a
// separator (so names a file) whose last component is ".". A name ending
// with a separator is a folder.
std::string CheckEntryName(std::string_view name);

// Extracts every entry of the archive at `zipPath` under `destFolder` (which
// must exist), creating folders and replacing files. Throws EUpdateArchive
// when the archive is refused (nothing written then), cannot be read, or a
// file cannot be written. The archive may lie in `destFolder` itself.
//
// Files get the entry's Unix permission bits when it was made on Unix and
// has any, else 0644; never setuid, setgid or sticky. Links already in
// `destFolder` are never followed: a link where a folder or file of the
// archive goes is an error. An entry that yields more bytes than its header
// declared is an error, so the total limit holds whatever the headers say.
void ExtractUpdateArchive(const std::string& zipPath, const std::string& destFolder,
                          const ArchiveLimits& limits = {});

// The checks ExtractUpdateArchive makes before writing, on an archive held
// in memory: throws EUpdateArchive as it would. Writes nothing.
void CheckArchiveBytes(const void* data, size_t size, const ArchiveLimits& limits = {});

}  // namespace zt
