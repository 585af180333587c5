#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Exceptions.h"

namespace zt {

namespace {

[[noreturn]] void Fail(const std::string& path, const char* step, int error) {
    throw Exception("Cannot write the file \"" + path + "\"\n" + step + ":\n" +
                    std::strerror(error));
}

std::string ParentDir(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes the rename itself durable. Best effort: once the rename succeeded the
// new contents are in place, and reporting a failed save now would be false.
void SyncDir(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

std::string AtomicTempPath(const std::string& path) {
    return path + ".tmp";
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string temp = AtomicTempPath(path);

    // A leftover from an interrupted write is ours to replace. Removing it
    // first lets O_EXCL refuse anything that reappears under the name (a
    // symbolic link planted there is never followed).
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT && errno != EISDIR && errno != EPERM) {
        Fail(temp, "unlink", errno);
    }
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) Fail(temp, "open", errno);

    auto abandon = [&](const char* step, int error) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        Fail(temp, step, error);
    };

    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (::fchmod(fd, old.st_mode & 07777) != 0) abandon("fchmod", errno);
    }

    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            abandon("write", errno);
        }
        data += n;
        left -= size_t(n);
    }
    if (::fsync(fd) != 0) abandon("fsync", errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        Fail(temp, "close", error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        Fail(path, "rename", error);
    }
    SyncDir(ParentDir(path));
}

}  // namespace zt
