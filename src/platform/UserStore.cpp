#include "platform/UserStore.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"

namespace zt {

namespace {

bool NamePartOk(const std::string& part) {
    return !part.empty() && part != "." && part != ".." && part.find('/') == std::string::npos &&
           part.find('\0') == std::string::npos;
}

// The key's parts ("A\B" -> {"A", "B"}); empty when any part is refused.
std::vector<std::string> KeyParts(const std::string& key) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t sep = key.find('\\', start);
        std::string part =
            key.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
        if (!NamePartOk(part)) return {};
        parts.push_back(std::move(part));
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    return parts;
}

}  // namespace

std::string UserStoreRoot() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::string(home) + "/.config";
    return {};
}

std::optional<std::string> ReadUserValue(const std::string& key, const std::string& value) {
    const std::string root = UserStoreRoot();
    const std::vector<std::string> parts = KeyParts(key);
    if (root.empty() || parts.empty() || !NamePartOk(value)) return std::nullopt;
    std::string path = root;
    for (const std::string& part : parts) path += "/" + part;
    path += "/" + value;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

void WriteUserValue(const std::string& key, const std::string& value, const std::string& bytes) {
    const std::string root = UserStoreRoot();
    const std::vector<std::string> parts = KeyParts(key);
    if (root.empty() || parts.empty() || !NamePartOk(value))
        throw Exception("Cannot store the value \"" + value + "\" under \"" + key + "\"");
    std::string path = root;
    ::mkdir(path.c_str(), 0700);
    for (const std::string& part : parts) {
        path += "/" + part;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            throw Exception("Cannot create the folder \"" + path + "\":\n" + std::strerror(errno));
    }
    WriteFileAtomically(path + "/" + value, bytes);
}

}  // namespace zt
