#pragma once
// What the update tests serve: zip archives made with the zip library, and
// keys and signatures made with the real minisign tool (which the project's
// install script installs; a test fails when it is missing).
//
// Threads: the test's thread.

#include <cstdint>
#include <string>
#include <vector>

namespace zt::test {

struct ZipEntry {
    std::string name;
    std::string data;
    uint32_t unixMode = 0100644;  // S_IFREG | 0644; S_IFLNK | 0777 makes a link
};
// Writes a zip of `entries` at `path`; throws std::runtime_error on failure.
void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries);

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
