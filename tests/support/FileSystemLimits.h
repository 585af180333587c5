#pragma once
// Ways to make writes fail for real, for the tests of what the recorder
// does when a drive fills up. Both undo themselves when they go out of
// scope, also when an assertion ends the test early, so that no later test
// inherits a full drive or a file size limit.

#include <sys/resource.h>

#include <csignal>
#include <string>

namespace zt::test {

// A tmpfs of the given size ("32k", "64k") mounted on a new folder. Needs
// root (as here and in CI); where mounting is refused, Mounted() is false
// and Error() says why, so the test can skip.
class TinyTmpfs {
public:
    TinyTmpfs(const std::string& mountPoint, const std::string& size);
    ~TinyTmpfs();
    TinyTmpfs(const TinyTmpfs&) = delete;
    TinyTmpfs& operator=(const TinyTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string error_;
    bool mounted_ = false;
};

// A limit on the size of any file this process writes: a write past it is
// cut short or fails with EFBIG (SIGXFSZ is ignored meanwhile), as a disk
// that fills up in the middle of a write.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Active() const { return active_; }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
    bool active_ = false;
};

}  // namespace zt::test
