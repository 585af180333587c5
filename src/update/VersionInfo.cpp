#include "update/VersionInfo.h"

#include <sys/stat.h>

#include "platform/Dialogs.h"
#include "platform/Paths.h"

#ifndef ZT_FILE_VERSION
#error "ZT_FILE_VERSION must be defined by the build (the project's version)"
#endif

namespace zt {

VersionInfoStrings ProgramVersionStrings() {
    VersionInfoStrings v;
    v.CompanyName = "Zelta";
    v.FileDescription = "Zelta Tresona";
    v.FileVersion = ZT_FILE_VERSION;
    v.InternalName = "ZeltaTresona";
    v.LegalCopyright = "Zelta";
    v.OriginalFilename = "ZeltaTresona";
    v.ProductName = "Zelta Tresona";
    v.ProductVersion = ZT_FILE_VERSION;
    return v;
}

void ReadVersionStrings(const std::string& fileName, VersionInfoStrings& record) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        CurrentDialogs().Information("Arquivo não encontrado");
        return;
    }
    struct stat own {};
    const std::string exe = ExecutablePath();
    if (::stat(exe.c_str(), &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino)
        record = ProgramVersionStrings();
}

std::string PadField(const std::string& text, char fill, size_t width) {
    size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    std::string out = text.substr(first);
    if (out.size() > width) return out.substr(0, width);
    return std::string(width - out.size(), fill) + out;
}

std::string VersionText(const std::string& v) {
    // A: from position 6 (1-based) to the end, cut before its first ".".
    std::string a = v.size() > 5 ? v.substr(5) : std::string();
    a = a.substr(0, a.find('.'));
    // T: from the first "." + A + "." on (all of V when absent), without it.
    const std::string mark = "." + a + ".";
    const size_t at = v.find(mark);
    std::string t = at == std::string::npos ? v : v.substr(at);
    if (const size_t m = t.find(mark); m != std::string::npos) t.erase(m, mark.size());
    // D after the first "." of T, C before it.
    const size_t dot = t.find('.');
    const std::string d = dot == std::string::npos ? t : t.substr(dot + 1);
    std::string c = dot == std::string::npos ? std::string() : t.substr(0, dot);
    c = PadField(c, '0', 2);
    a = PadField(a, '0', 2);
    return v.substr(0, 4) + "." + a + "." + c + "." + d;
}

std::string FileVersionText() {
    VersionInfoStrings record;
    ReadVersionStrings(ExecutablePath(), record);
    return VersionText(record.FileVersion);
}

}  // namespace zt
