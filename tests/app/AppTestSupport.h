#pragma once
// Helpers for the application tests: a program folder with a cfg.ini whose
// keys a test overrides, and the recordings found in a folder.

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
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
