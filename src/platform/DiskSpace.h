#pragma once
// Free and total space of the file system that holds a path. A path that
// does not exist yet is measured at its nearest existing ancestor, so a
// recording folder that is about to be created can still be measured.
//
// Threads: any; each call is one statvfs.

#include <cstdint>
#include <optional>
#include <string>

namespace zt {

struct DiskSpace {
    uint64_t freeBytes = 0;  // available to this (unprivileged) user
    uint64_t totalBytes = 0;
};

// nullopt when the space cannot be measured.
std::optional<DiskSpace> MeasureDiskSpace(const std::string& path);

}  // namespace zt
