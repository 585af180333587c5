#pragma once
// The language file and the current language of the process.
//
// The language file lies beside the executable with the extension ".lcf":
// a resource-only Portable Executable module whose raw-data resources hold
// a header (the languages it has), one resource per translated numbered
// string, and one per translated window class. TLcf reads one such file;
// the process has at most one current language (CurrentLanguage), and while
// one is loaded every numbered string the program looks up (LoadResString)
// comes from it, falling back to the built-in text.
//
// Layouts (all integers 32-bit little-endian):
//   header "LCHEADER" or "LCHEADE2": the bytes "LCHEADER", flags (bit 0:
//     numbered strings reserve slot 0), N, N language identifiers, and in
//     "LCHEADE2" N code pages;
//   numbered string "<number>": 8-byte slots (offset, signed byte length;
//     negative: no translation), UTF-16LE texts;
//   window class "<CLASS NAME>": see Translate.h.
// Every offset and length is checked against its resource: an entry that
// points outside is treated as absent (no translation), never read.
//
// Texts are Unicode throughout the program: a translation is handed on as
// UTF-8, unchanged; WideToAnsi (CodePages.h) makes 8-bit text where a
// target needs it, with the language's code page (CodePage).
//
// Threads: languages are loaded, changed and ended on the main thread. The
// string loader it installs may be called from any thread (the export pump,
// the capture thread): it reads the language it translates from under a
// lock; a language is published to it only once open, and withdrawn under
// the lock before it is destroyed.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lang/PeResources.h"
#include "platform/ResStrings.h"

namespace zt {

namespace msg {
// The name shown for a language the system's locale data does not know.
inline constexpr int UnknownLanguage = 65500;
}  // namespace msg

// Called for each language of a file in order; returning 0 stops the listing.
using LanguageEnumProc = std::function<int(int32_t lcid, void* userData)>;

class TLcf {
public:
    // Becomes CurrentLanguage (an earlier one must have been destroyed).
    TLcf();
    // Clears CurrentLanguage and restores the string loader it replaced.
    ~TLcf();
    TLcf(const TLcf&) = delete;
    TLcf& operator=(const TLcf&) = delete;

    // 1: the language is loaded; 0: a language file without that language
    // (the listing has run); -1: no file, or not a language file.
    int Open(const std::string& fileName, int32_t lcid, const LanguageEnumProc& enumProc,
             void* userData);
    // The same over a file's bytes.
    int OpenBytes(std::vector<uint8_t> bytes, int32_t lcid, const LanguageEnumProc& enumProc,
                  void* userData);

    struct Language {
        int32_t slot = 0;      // in numbered-string resources
        int32_t index = 0;     // in window-class entries
        int32_t codePage = 0;  // for 8-bit texts
    };
    std::optional<Language> FindLanguage(int32_t lcid) const;

    // The current language's text of numbered string `id` (UTF-8): its
    // translation when the file has one for the language (an empty one
    // included), else the built-in text, else "".
    std::string LoadTranslatedString(int id) const;

    // The raw-data resource of that name (a window class), if any.
    std::optional<std::span<const uint8_t>> Resource(const std::string& name) const;

    // The names of the file's raw-data resources.
    std::vector<std::string> ResourceNames() const;

    // Lets the program's numbered strings come from this language (it must
    // be open; from then on it is read only).
    void InstallStringLoader();

    int32_t Slot = 0;
    int32_t Index = 0;
    int32_t CurLCID = 0;
    int32_t CodePage = 0;
    bool CodePagesFromLocale = false;
    void* UserData = nullptr;

private:
    std::vector<uint8_t> bytes_;
    std::optional<PeResources> resources_;
    std::span<const uint8_t> header_;
    bool hooked_ = false;
    StringLoader previousLoader_ = nullptr;
};

// The language of the process, or nullptr.
TLcf* CurrentLanguage();

// Ends the current language (if any), then opens `lcid` of the file: on 1
// it is the current language and numbered strings come from it; otherwise
// no language is current. Returns what TLcf::Open returned.
int LoadLanguage(const std::string& fileName, int32_t lcid, const LanguageEnumProc& enumProc,
                 void* userData);
// Ends the current language; numbered strings are the built-in ones again.
void UnloadLanguage();

// The loader installed while a language is current.
std::string ResStringHook(int id);

// The language file of the running program: its path with ".lcf".
std::string LanguageFilePath();

}  // namespace zt
