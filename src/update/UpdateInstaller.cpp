#include "update/UpdateInstaller.h"

#include "update/Descriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace zt {

namespace {

std::string SystemText(int error) {
    return std::generic_category().message(error);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

struct FolderListing {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

// The plain files and the folders (links to either are neither) directly
// in the folder open at `fd`, each list sorted. False when it cannot be read.
bool ListFolder(int fd, FolderListing& listing) {
    const int own = dup(fd);
    if (own < 0) return false;
    DIR* dir = fdopendir(own);
    if (!dir) {
        close(own);
        return false;
    }
    while (const dirent* item = readdir(dir)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(st.st_mode)) listing.files.push_back(name);
        if (S_ISDIR(st.st_mode)) listing.folders.push_back(name);
    }
    closedir(dir);
    std::sort(listing.files.begin(), listing.files.end());
    std::sort(listing.folders.begin(), listing.folders.end());
    return true;
}

// The part of the last path component from its last ".", or "".
size_t ExtensionStart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    return dot == std::string::npos || dot < nameStart ? path.size() : dot;
}

bool IsZipFile(const std::string& name) {
    const std::string extension = name.substr(ExtensionStart(name));
    if (extension.size() != 4) return false;
    std::string upper = extension;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    }
    return upper == ".ZIP";
}

[[noreturn]] void InstallError(const std::string& target, const char* what, int error) {
    throw EUpdateInstall("Cannot install " + Quoted(target) + ": " + what + ": " +
                         SystemText(error));
}

// Copies `source` to a new temporary file beside `target` with `mode`,
// synced to the disk; its name. On failure nothing is left behind.
std::string CopyBeside(const std::string& source, const std::string& target, mode_t mode) {
    const size_t slash = target.find_last_of('/');
    std::string temp = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".new-XXXXXX";
    Descriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) InstallError(target, "cannot read the extracted file", errno);
    Descriptor out(mkostemp(temp.data(), O_CLOEXEC));
    if (out.get() < 0) InstallError(target, "cannot create a file in its folder", errno);

    // errno is taken before anything else can change it.
    auto fail = [&](const char* what, int error) {
        unlink(temp.c_str());
        InstallError(target, what, error);
    };
    if (fchmod(out.get(), mode) != 0) fail("cannot set the mode", errno);
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = read(in.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot read the extracted file", errno);
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out.get(), buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                fail("cannot write", errno);
            }
            done += w;
        }
    }
    if (fsync(out.get()) != 0) fail("cannot write", errno);
    if (out.Close() != 0) fail("cannot write", errno);
    return temp;
}

void SyncFolderOf(const std::string& path) {
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) fsync(fd.get());
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return lstat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void InstallFile(const std::string& source, const std::string& target, const std::string& keep) {
    struct stat sourceStat;
    if (stat(source.c_str(), &sourceStat) != 0) {
        InstallError(target, "cannot read the extracted file", errno);
    }
    struct stat targetStat;
    const bool exists = lstat(target.c_str(), &targetStat) == 0;
    // A link keeps the mode of what it points to (a link's own is 0777).
    mode_t mode = sourceStat.st_mode & 0777;
    if (exists) {
        struct stat pointed;
        if (S_ISLNK(targetStat.st_mode)) {
            if (stat(target.c_str(), &pointed) == 0) mode = pointed.st_mode & 0777;
        } else {
            mode = targetStat.st_mode & 0777;
        }
    }

    const std::string backups[] = {BackupName(target, 0), BackupName(target, 1)};
    for (const std::string& backup : backups) {
        // The running program's own file stays: it is the build the station
        // runs until it restarts, so a second update in one run moves the
        // target to the other backup name instead.
        if (!keep.empty() && SameFile(backup, keep)) continue;
        unlink(backup.c_str());
    }

    const std::string temp = CopyBeside(source, target, mode);
    std::string backup;
    if (exists) {
        for (const std::string& name : backups) {
            // Never over an existing backup (one that could not be deleted).
            if (renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) ==
                0) {
                backup = name;
                break;
            }
        }
        if (backup.empty()) {
            unlink(temp.c_str());
            throw EUpdateCancelled();
        }
    }
    if (rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        if (!backup.empty()) rename(backup.c_str(), target.c_str());
        InstallError(target, "cannot rename the new file", error);
    }
    SyncFolderOf(target);
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void PurgeAt(int folder) {
    const int own = dup(folder);
    if (own < 0) return;
    DIR* dir = fdopendir(own);
    if (!dir) {
        close(own);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* item = readdir(dir)) {
        const std::string name = item->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) {
        struct stat st;
        if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode)) {
            unlinkat(folder, name.c_str(), 0);
            continue;
        }
        // O_NOFOLLOW: should the folder have become a link meanwhile, the
        // open fails and only the link's removal is attempted.
        Descriptor sub(
            openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub.get() >= 0) PurgeAt(sub.get());
        unlinkat(folder, name.c_str(), AT_REMOVEDIR);
    }
}

}  // namespace

std::string BackupName(const std::string& target, int which) {
    const size_t extension = ExtensionStart(target);
    return target.substr(0, extension) + (which == 0 ? "-old" : "-old1") + target.substr(extension);
}

void InstallFiles(const std::string& folder, const std::string& updateFolder,
                  const std::string& programFolder, const std::string& keep) {
    if (folder.compare(0, updateFolder.size(), updateFolder) != 0) {
        throw EUpdateInstall(Quoted(folder) + " is not inside the update folder " +
                             Quoted(updateFolder));
    }
    const std::string relative = folder.substr(updateFolder.size());
    Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    FolderListing listing;
    if (fd.get() < 0 || !ListFolder(fd.get(), listing)) {
        const int error = errno;
        throw EUpdateInstall("Cannot read the folder " + Quoted(folder) + ": " + SystemText(error));
    }
    const std::string targetFolder = programFolder + relative;
    // The installation's own folders decide what is installed: a file for
    // a folder it lacks is left out.
    if (IsFolder(targetFolder)) {
        for (const std::string& name : listing.files) {
            if (!IsZipFile(name)) InstallFile(folder + name, targetFolder + name, keep);
        }
    }
    for (const std::string& sub : listing.folders) {
        InstallFiles(folder + sub + "/", updateFolder, programFolder, keep);
    }
}

std::vector<std::string> ListSubfolders(const std::string& folder) {
    Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    FolderListing listing;
    if (fd.get() < 0 || !ListFolder(fd.get(), listing)) return {};
    return listing.folders;
}

void PurgeFolder(const std::string& folder) {
    Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) PurgeAt(fd.get());
}

}  // namespace zt
