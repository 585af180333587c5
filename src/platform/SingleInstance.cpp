#include "platform/SingleInstance.h"

#include <QStandardPaths>
#include <QtDebug>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace zt {
namespace {

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

// A folder we may keep the lock in: a real directory we can write into.
bool Usable(const std::string& dir) {
    if (dir.empty() || dir.front() != '/') return false;
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// <tmp>/zelta-tresona-<uid>: ours only if we own it, it is no symlink and
// nobody else may write into it; otherwise another user could hold our lock.
std::string PrivateTmpFolder(const std::string& tmpDir) {
    const std::string dir = WithSlash(tmpDir) + "zelta-tresona-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return {};
    }
    return dir;
}

// The title becomes a file name: a "/" in it would name a folder.
std::string FileNameFor(std::string name) {
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return name + ".lock";
}

}  // namespace

std::string SingleInstance::ChooseRuntimeFolder(const std::string& xdgRuntimeDir,
                                                const std::string& qtRuntimeDir,
                                                const std::string& tmpDir) {
    if (Usable(xdgRuntimeDir)) return WithSlash(xdgRuntimeDir);
    if (Usable(qtRuntimeDir)) return WithSlash(qtRuntimeDir);
    return WithSlash(PrivateTmpFolder(tmpDir));
}

std::string SingleInstance::RuntimeFolder() {
    const std::string xdg = qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString();
    // Qt's lookup is only asked when the variable fails: it warns about (and
    // may create) a missing folder.
    if (Usable(xdg)) return WithSlash(xdg);
    return ChooseRuntimeFolder(
        xdg, QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString(),
        "/tmp");
}

SingleInstance::SingleInstance(const std::string& name) {
    const std::string folder = RuntimeFolder();
    if (!folder.empty()) path_ = folder + FileNameFor(name);
}

SingleInstance::~SingleInstance() = default;  // QLockFile unlocks on destruction

bool SingleInstance::TryAcquire() {
    if (Held()) return true;
    if (path_.empty()) {
        qWarning("No runtime folder for the single-instance lock; running without it");
        return true;
    }
    lock_ = std::make_unique<QLockFile>(QString::fromStdString(path_));
    // Only a dead owner makes a lock stale, never its age.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) return true;
    const QLockFile::LockError error = lock_->error();
    lock_.reset();
    if (error == QLockFile::LockFailedError) return false;
    qWarning("Cannot create the single-instance lock %s (error %d); running without it",
             path_.c_str(), static_cast<int>(error));
    return true;
}

bool SingleInstance::Held() const {
    return lock_ && lock_->isLocked();
}

}  // namespace zt
