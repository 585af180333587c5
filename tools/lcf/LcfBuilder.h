#pragma once
// Builds language files from readable sources.
//
// A source is one UTF-8 text file per language:
//
//   # Brazilian Portuguese
//   language = 1046
//   codepage = 1252          (optional; for files with code pages in the header)
//
//   [strings]
//   28160 = Nenhum dispositivo de gravação encontrado
//
//   [TFrmGravar]
//   FrmGravar-Caption = Zelta Tresona
//   CBFormato-Items(2).Text = MP3 128 kbps
//
// A line is "key = value"; "#" begins a comment line. A value runs to the
// end of the line without its surrounding spaces; put it in double quotes
// to keep them. "\n", "\t", "\"" and "\\" are a line break, a tab, a quote
// and a backslash. [strings] holds numbered strings; any other section is a
// window class and holds "Component-Property.Path" entries. A later line
// for the same key replaces an earlier one.
//
// The file written is a resource-only Portable Executable module (PE32, one
// ".rsrc" section) whose raw-data resources are the header, one resource
// per numbered string and one per window class, as the reader expects
// (lang/Lcf.h, lang/Translate.h). Languages are listed in the order given.
//
// Threads: no shared state.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zt::lcf {

struct LanguageSource {
    int32_t lcid = 0;
    int32_t codePage = -1;  // -1: the locale's (LocaleAnsiCodePage)
    std::map<int32_t, std::u16string> strings;
    // Window class -> entries in the order written.
    std::map<std::string, std::vector<std::pair<std::string, std::u16string>>> classes;
};

// Parses a source text; throws std::runtime_error naming `origin` and the
// line for a malformed line.
LanguageSource ParseSource(const std::string& text, const std::string& origin);
LanguageSource ReadSourceFile(const std::string& path);

struct BuildOptions {
    // "LCHEADE2": the header carries each language's code page.
    bool codePagesInHeader = false;
    // Numbered strings reserve slot 0 (language i uses slot i + 1).
    bool reserveSlotZero = false;
};

// The language file's bytes.
std::string BuildLanguageFile(const std::vector<LanguageSource>& languages,
                              const BuildOptions& options);

// The resources alone, by name, as the module holds them (for tests).
std::map<std::string, std::string> BuildResources(const std::vector<LanguageSource>& languages,
                                                  const BuildOptions& options);

// A resource-only PE32 module holding these raw-data resources.
std::string BuildResourceModule(const std::map<std::string, std::string>& rcdata);

}  // namespace zt::lcf
