#pragma once
// Helpers for the application tests: a program folder with a cfg.ini whose
// keys a test overrides, and the recordings found in a folder.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "settings/SettingsFile.h"
#include "support/TempDir.h"

namespace zt::test {

// Writes the default cfg.ini of `exeDir`, then replaces the values of the
// given keys ("TempoRec" -> "1").
inline void WriteSettings(const std::string& exeDir,
                          const std::map<std::string, std::string>& overrides) {
    WriteDefaultSettings(exeDir);
    const std::string path = exeDir + "cfg.ini";
    std::istringstream in(ReadFileBytes(path));
    std::string out, line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            const auto it = overrides.find(line.substr(0, eq));
            if (it != overrides.end()) line = it->first + "=" + it->second;
        }
        out += line + "\n";
    }
    WriteFileBytes(path, out);
}

// Polls `cond` (every 50 ms, without running an event loop: for watching
// another process) until it holds or `timeout` passes.
inline bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return cond();
}

// A file's size, 0 when it is not there.
inline uintmax_t SizeOf(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// 16-bit samples as the bytes a test PCM plays.
inline std::string AsBytes(const std::vector<int16_t>& pcm) {
    return std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * sizeof(int16_t));
}

// The names of the regular files of `folder`, sorted.
inline std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.is_regular_file()) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

inline bool IsProvisionalName(const std::string& name) {
    return std::regex_match(name, std::regex(R"(\d{10}(-\d+)?\.mp3)"));
}
inline bool IsFinalName(const std::string& name) {
    return std::regex_match(name, std::regex(R"(\d{10}a\d{10}(-\d+)?\.mp3)"));
}

}  // namespace zt::test
