#pragma once
// Replacing a file so that a crash or a power cut never leaves it truncated:
// the new contents go to a temporary file beside it, are flushed to the disk,
// and the temporary file is then renamed over the old one. A reader sees
// either the old file or the new one, never a mixture.
//
// Threads: no shared state; any thread, one writer per path at a time.

#include <string>
#include <string_view>

namespace zt {

// The temporary name used while `path` is being replaced: path + ".tmp".
std::string AtomicTempPath(const std::string& path);

// Writes `bytes` to AtomicTempPath(path), fsyncs it and renames it over `path`
// (keeping the old file's permission bits). Any failure raises zt::Exception
// naming the file, the failed step and the system's reason; `path` is then
// left as it was and the temporary file is removed.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace zt
