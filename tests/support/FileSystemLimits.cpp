#include "support/FileSystemLimits.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace zt::test {

TinyTmpfs::TinyTmpfs(const std::string& mountPoint, const std::string& size) : path_(mountPoint) {
    std::error_code ec;
    std::filesystem::create_directories(path_, ec);
    const std::string options = "size=" + size;
    if (mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0) {
        mounted_ = true;
    } else {
        error_ = std::string("cannot mount a small tmpfs here: ") + std::strerror(errno);
    }
}

TinyTmpfs::~TinyTmpfs() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    if (getrlimit(RLIMIT_FSIZE, &saved_) != 0) return;
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    if (!active_) std::signal(SIGXFSZ, previousHandler_);
}

FileSizeLimit::~FileSizeLimit() {
    if (!active_) return;
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace zt::test
