#pragma once
// One running recorder per user. Two recorders on the same input would write
// the same segment names into the same folder, so a second start must find
// the first one and step back.
//
// The guard is a lock file named after the application title in the user's
// runtime folder: $XDG_RUNTIME_DIR when it is set and usable, else Qt's
// runtime location, else /tmp/zelta-tresona-<uid>/ (created 0700). A lock
// left by a process that has died (crash, power cut, kill -9) is taken over;
// the lock's age alone never makes it stale, since a recorder runs for months.
//
// Threads: main thread only (created and queried before the event loop).

#include <QLockFile>

#include <memory>
#include <string>

namespace zt {

inline constexpr const char* kApplicationTitle = "Zelta Tresona 2012";

// One running recorder per user: a lock named after the application title.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& name = kApplicationTitle);
    ~SingleInstance();  // releases the lock if held

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // false: another live instance holds it. When the lock file cannot be
    // made at all (no usable runtime folder, a full disk), the answer is
    // true with Held() false: a recorder that runs unguarded is better than
    // one that refuses to record because of a missing folder.
    bool TryAcquire();
    bool Held() const;

    // The lock file's full path.
    std::string LockPath() const { return path_; }

    // The per-user runtime folder the lock lives in (ending with "/"); empty
    // when none can be found or made.
    static std::string RuntimeFolder();

    // The choice behind RuntimeFolder, with its inputs spelled out: the
    // value of XDG_RUNTIME_DIR, Qt's runtime location, and the folder in
    // which the private "zelta-tresona-<uid>" folder is made (/tmp).
    static std::string ChooseRuntimeFolder(const std::string& xdgRuntimeDir,
                                           const std::string& qtRuntimeDir,
                                           const std::string& tmpDir);

private:
    std::string path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace zt
