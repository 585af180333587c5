#include "platform/Paths.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace zt {

namespace {
std::string g_override;
}

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return {};
    return std::string(buf.data(), size_t(n));
}

std::string ExecutableDir() {
    if (!g_override.empty()) return g_override;
    const std::string exe = ExecutablePath();
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

void SetExecutableDirOverride(const std::string& dir) {
    g_override = dir;
    if (!g_override.empty() && g_override.back() != '/') g_override += '/';
}

}  // namespace zt
