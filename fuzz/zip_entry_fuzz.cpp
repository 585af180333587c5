// Feeds arbitrary bytes to the checks the update archive passes before
// anything is extracted, as an archive held in memory, and to the entry name
// check as one name. The checks must accept or raise their own error, and a
// name they accept must stay inside the folder it is extracted to.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "update/UpdateArchive.h"

namespace {

// The name as extraction uses it ("\" is a separator too), resolved under a
// folder without looking at any disk.
bool StaysInside(std::string name) {
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    const std::filesystem::path base = "/base";
    const std::string resolved = (base / name).lexically_normal().string();
    return resolved.rfind("/base/", 0) == 0 || resolved == "/base";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Small limits so that the count check is reached by small inputs too.
    const zt::ArchiveLimits limits{1u << 20, 64};
    try {
        zt::CheckArchiveBytes(data, size, limits);
    } catch (const zt::EUpdateArchive&) {
        // Every refusal and every unreadable archive is this error.
    }

    const std::string_view name(reinterpret_cast<const char*>(data), size);
    if (zt::CheckEntryName(name).empty()) {
        if (name.empty() || name.find('\0') != std::string_view::npos) __builtin_trap();
        if (!StaysInside(std::string(name))) __builtin_trap();
    }
    return 0;
}
