#pragma once
// What the update tests serve: zip archives made with the zip library, and
// keys and signatures made with the real minisign tool (which the project's
// install script installs; a test fails when it is missing).
//
// Threads: the test's thread.

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace zt::test {

struct ZipEntry {
    enum Kind { kFile, kFolder };
    std::string name;
    std::string data;
    // The Unix st_mode stored in the external attributes (type and
    // permission bits: S_IFLNK | 0777 makes a link); 0 keeps the library's
    // default (Unix, no bits).
    uint32_t unixMode = 0;
    Kind kind = kFile;
    bool madeOnDos = false;
    bool stored = false;  // no compression
};
ZipEntry ZipFolder(const std::string& name);
ZipEntry ZipFile(const std::string& name, const std::string& data, uint32_t unixMode = 0100644);
// Writes a zip holding `entries` at `path` (a failure fails the test).
void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries);

// A file's mode bits (lstat: a link's own).
mode_t FileMode(const std::string& path);
// Every name under `folder`, relative, links not followed.
std::set<std::string> FolderTree(const std::string& folder);

// A minisign key pair without a password, made in `dir`.
class MinisignKeys {
public:
    MinisignKeys(const std::string& dir, const std::string& name);
    // The base64 line of the public key, as the program is built with.
    const std::string& PublicKey() const { return publicKey_; }
    const std::string& SecretKeyPath() const { return secret_; }
    // Signs `file` (the default, prehashed form) and returns the signature's text.
    std::string Sign(const std::string& file) const;

private:
    std::string dir_, name_, secret_, publicKey_;
};

// Runs minisign with `arguments` (already quoted); throws when it fails.
void RunMinisign(const std::string& arguments);
std::string ShellQuoted(const std::string& text);

}  // namespace zt::test
