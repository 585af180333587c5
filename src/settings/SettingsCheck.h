#pragma once
// The check of the values read from cfg.ini: one value that cannot be used
// never stops the recorder.
//
// A malformed or out-of-range number (letters, nothing, a negative count of
// days or megabytes, more minutes than a timer can hold, a bitrate index
// outside 0-13), an empty recording folder, and a flag with no value at all
// (a truncated or empty file) are replaced in memory by the key's default;
// each replacement is listed, with its section, key and value, so that
// loading can report them once. The file itself is left as the operator
// wrote it until the settings are saved. A flag with any other text keeps
// it (only "S" means yes, so "s" or "Sim" are a plain no).
//
// Threads: any (pure functions).

#include <string>
#include <vector>

#include "settings/RecorderSettings.h"

namespace zt {

struct SettingsProblem {
    std::string section;
    std::string key;
    std::string value;  // as read
    std::string used;   // the default used instead
    bool operator==(const SettingsProblem&) const = default;
};

// Replaces every value of `settings` that cannot be used by its default
// (the defaults of a fresh cfg.ini in `exeDir`).
std::vector<SettingsProblem> RepairSettings(RecorderSettings& settings, const std::string& exeDir);

// The report of the replacements for the file at `path`.
std::string SettingsProblemsText(const std::string& path,
                                 const std::vector<SettingsProblem>& problems);

}  // namespace zt
