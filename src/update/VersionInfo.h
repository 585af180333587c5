#pragma once
// The program's version: the nine texts a Windows executable's version
// resource carries, compiled into this one (Linux executables carry no
// version resource), and the version text sent to the update service.
//
// Threads: no shared state; ReadVersionStrings may show a message and so
// belongs to the main thread.

#include <string>

namespace zt {

struct VersionInfoStrings {
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string OriginalFilename;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;
};

// The running program's own texts.
VersionInfoStrings ProgramVersionStrings();

// Fills `record` with the version texts of `fileName`: the program's own
// for the running executable; none for any other file (nothing here reads
// another file's version). A missing file shows "Arquivo não encontrado"
// and leaves the record as it was.
void ReadVersionStrings(const std::string& fileName, VersionInfoStrings& record);

// The version text of a file version: its first four characters, then its
// second and third numbers as two digits each, then its fourth
// ("2012.5.3.17" -> "2012.05.03.17"; "" -> ".00.00.").
std::string VersionText(const std::string& fileVersion);
// VersionText of the running program's FileVersion.
std::string FileVersionText();

// Leading blanks and control characters removed; cut to `width`, or
// filled in front with `fill` up to it.
std::string PadField(const std::string& text, char fill, size_t width);

}  // namespace zt
