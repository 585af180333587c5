#include "platform/DiskSpace.h"

#include <sys/statvfs.h>

namespace zt {

std::optional<DiskSpace> MeasureDiskSpace(const std::string& path) {
    std::string probe = path.empty() ? std::string(".") : path;
    for (;;) {
        struct statvfs st {};
        if (statvfs(probe.c_str(), &st) == 0) {
            DiskSpace space;
            space.freeBytes = uint64_t(st.f_bavail) * st.f_frsize;
            space.totalBytes = uint64_t(st.f_blocks) * st.f_frsize;
            return space;
        }
        // Walk up to the nearest existing ancestor.
        while (probe.size() > 1 && probe.back() == '/') probe.pop_back();
        const auto slash = probe.rfind('/');
        if (slash == std::string::npos) {
            if (probe == ".") return std::nullopt;
            probe = ".";
        } else if (slash == 0) {
            if (probe == "/") return std::nullopt;
            probe = "/";
        } else {
            probe.resize(slash);
        }
    }
}

}  // namespace zt
