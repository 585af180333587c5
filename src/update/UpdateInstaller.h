#pragma once
// Installing an extracted update: every file of the update folder is copied
// over the file of the same place in the program's folder, the replaced
// file being kept under a backup name ("ZeltaTresona" -> "ZeltaTresona-old")
// so that the running program and a failed update can be recovered; and
// the purge of the update folder before the next download.
//
// Threads: no shared state; runs on the update worker thread. Nothing else
// may write to the folders meanwhile.

#include <string>
#include <vector>

#include "platform/Exceptions.h"

namespace zt {

// A file could not be moved aside under either backup name: the update
// stops there. Files already replaced stay replaced.
class EUpdateCancelled : public Exception {
public:
    EUpdateCancelled() : Exception("Atualização cancelada") {}
};

// A file could not be installed (the text names it and the system's
// reason); the file it was to replace is in place, unchanged.
class EUpdateInstall : public Exception {
public:
    using Exception::Exception;
};

// The backup name of `target`: `which` 0 gives B + "-old" + E, 1 gives
// B + "-old1" + E, where E is the extension of the last path component
// from its last "." (empty when it has none) and B the rest of the path.
// "logo.jpeg" -> "logo-old.jpeg", "readme" -> "readme-old".
std::string BackupName(const std::string& target, int which);

// Installs the files under `folder`, a folder inside `updateFolder`, into
// the same relative place under `programFolder` (all three end with "/"),
// the files of a folder first, then its sub-folders by name, depth first.
// Within a folder, files go by name. Skipped: ".zip" files (any case), files
// whose folder the installation lacks (it is not created), anything that is
// neither a plain file nor a folder.
//
// For each file: both backup names are deleted when they can be, except
// the file `keep` (the running executable, which Linux would let us delete:
// it stays for as long as the program runs from it); the new file is
// written beside the target under a temporary name and synced; an existing
// target is renamed to its first backup name, else its second (never over
// a file still there), else EUpdateCancelled (target untouched); then the new file takes the
// target's name. A replaced file keeps its permission bits (the program
// stays executable); a new one takes the extracted file's. Writing the copy
// before moving the target aside means a failed copy (disk full) never
// leaves the installation without the file: EUpdateInstall then, the
// temporary file removed.
void InstallFiles(const std::string& folder, const std::string& updateFolder,
                  const std::string& programFolder, const std::string& keep = {});

// The names of the sub-folders of `folder`, sorted, without "." and "..".
// Links to folders are not sub-folders. Empty when `folder` cannot be read.
std::vector<std::string> ListSubfolders(const std::string& folder);

// Deletes everything inside `folder` (files, links, sub-folders with what
// they hold) and keeps `folder`. Links are removed, never followed.
// Whatever cannot be deleted stays, silently.
void PurgeFolder(const std::string& folder);

}  // namespace zt
