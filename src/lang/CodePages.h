#pragma once
// Language identifiers, their locales and their 8-bit code pages.
//
// A language file names its languages by the numeric identifiers of the
// Windows locale table (1046 Brazilian Portuguese, 1033 US English, 3082
// Spanish). This table gives each known identifier its locale tag (for the
// language's display name) and its ANSI code page (for texts that must be
// 8-bit). Identifiers outside the table have neither.
//
// Threads: no shared state; any thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace zt {

// "pt-BR" for 1046; "" for an identifier the table does not know.
std::string LocaleTagOf(int32_t lcid);

// The default ANSI code page of the identifier's locale (1252 for 1046,
// 1251 for 1049); 0 for an unknown identifier or a language written only
// in Unicode.
int32_t LocaleAnsiCodePage(int32_t lcid);

// The text converted to the code page for a target that takes 8-bit text.
// Characters the code page cannot write become its default character "?".
// The result never has more bytes than the text has code units: with a
// multi-byte code page it is cut there, at a whole character. Code page 0
// is the system's own character set (that of the current locale).
std::string WideToAnsi(std::u16string_view text, int32_t codePage);

// UTF-16 and UTF-8 for the program's own texts (an unpaired surrogate
// becomes U+FFFD).
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace zt
