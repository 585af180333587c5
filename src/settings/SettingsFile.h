#pragma once
// cfg.ini, the settings file beside the executable: its path, its defaults,
// reading it into RecorderSettings and writing it back.
//
// Format: INI text in UTF-8, "[Section]" lines and "Key=value" lines (LF line
// ends, two blank lines between sections), values written as they are (no
// quoting). Section and key names are compared without regard to case
// (ASCII), keys may contain spaces ("MB Livres"), and a rewrite keeps the
// order, the comments and any key it does not know. The reader drops spaces
// and tabs around a value, as INI readers conventionally do, so a value typed
// with surrounding blanks is written as typed but reads back without them. A
// missing key reads as empty text (iIdioma: -1).
//
// Every write replaces the whole file atomically (AtomicFile.h): a failure
// raises zt::Exception and leaves the previous cfg.ini as it was.
//
// Threads: main thread only (the file has a single writer, the main window).

#include <memory>
#include <string>

#include "platform/Paths.h"
#include "settings/RecorderSettings.h"

namespace zt {

// `exeDir` is the executable's folder ending with "/" (ExecutableDir()); the
// program always passes that, tests may pass another folder.
std::string SettingsFilePath(const std::string& exeDir = ExecutableDir());
// The default recording folder: exeDir + "Audio", without a trailing separator.
std::string DefaultRecordingFolder(const std::string& exeDir = ExecutableDir());

// The values of a fresh cfg.ini.
RecorderSettings DefaultSettings(const std::string& exeDir = ExecutableDir());

// Creates (or replaces) cfg.ini with the sixteen keys and their defaults, in
// the order Formato ... sGuid, in the sections Gravacao, Geral and System.
void WriteDefaultSettings(const std::string& exeDir = ExecutableDir());

// Reads cfg.ini, creating it with the defaults first when it does not exist.
// A cfg.ini that cannot be read (a folder, no permission, an I/O error) or
// created raises zt::Exception naming the file.
RecorderSettings ReadSettingsFile(const std::string& exeDir = ExecutableDir());

// The settings file as an editable document. Used by ReadSettingsFile and by
// SaveSettings, which changes some keys of the file and keeps the rest.
class SettingsDocument {
public:
    SettingsDocument();
    ~SettingsDocument();
    SettingsDocument(SettingsDocument&&) noexcept;
    SettingsDocument& operator=(SettingsDocument&&) noexcept;

    // The document WriteDefaultSettings writes.
    static SettingsDocument Defaults(const std::string& exeDir);
    // Parses the file at `path`; raises zt::Exception when it cannot be read.
    static SettingsDocument ReadFile(const std::string& path);

    // The value of a key, empty when the key is missing.
    std::string Get(const char* section, const char* key) const;
    // Sets a key, adding it (and its section) at the end when it is missing.
    // A value with a line break or a NUL would change the file's structure
    // (it could forge other keys), so it raises zt::Exception instead.
    void Set(const char* section, const char* key, const std::string& value);

    RecorderSettings ToSettings() const;
    std::string Text() const;
    void WriteFile(const std::string& path) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zt
