#include "lang/CodePages.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace zt {

namespace {

struct LanguageId {
    int32_t lcid;
    const char* tag;
    int32_t codePage;
};

// The identifiers of the Windows locale table a station is likely to meet,
// with the ANSI code page the platform gives each.
constexpr std::array kLanguages = {
    LanguageId{1025, "ar-SA", 1256},      LanguageId{1026, "bg-BG", 1251},
    LanguageId{1027, "ca-ES", 1252},      LanguageId{1028, "zh-TW", 950},
    LanguageId{1029, "cs-CZ", 1250},      LanguageId{1030, "da-DK", 1252},
    LanguageId{1031, "de-DE", 1252},      LanguageId{1032, "el-GR", 1253},
    LanguageId{1033, "en-US", 1252},      LanguageId{1034, "es-ES", 1252},
    LanguageId{1035, "fi-FI", 1252},      LanguageId{1036, "fr-FR", 1252},
    LanguageId{1037, "he-IL", 1255},      LanguageId{1038, "hu-HU", 1250},
    LanguageId{1039, "is-IS", 1252},      LanguageId{1040, "it-IT", 1252},
    LanguageId{1041, "ja-JP", 932},       LanguageId{1042, "ko-KR", 949},
    LanguageId{1043, "nl-NL", 1252},      LanguageId{1044, "nb-NO", 1252},
    LanguageId{1045, "pl-PL", 1250},      LanguageId{1046, "pt-BR", 1252},
    LanguageId{1048, "ro-RO", 1250},      LanguageId{1049, "ru-RU", 1251},
    LanguageId{1050, "hr-HR", 1250},      LanguageId{1051, "sk-SK", 1250},
    LanguageId{1052, "sq-AL", 1250},      LanguageId{1053, "sv-SE", 1252},
    LanguageId{1054, "th-TH", 874},       LanguageId{1055, "tr-TR", 1254},
    LanguageId{1056, "ur-PK", 1256},      LanguageId{1057, "id-ID", 1252},
    LanguageId{1058, "uk-UA", 1251},      LanguageId{1059, "be-BY", 1251},
    LanguageId{1060, "sl-SI", 1250},      LanguageId{1061, "et-EE", 1257},
    LanguageId{1062, "lv-LV", 1257},      LanguageId{1063, "lt-LT", 1257},
    LanguageId{1065, "fa-IR", 1256},      LanguageId{1066, "vi-VN", 1258},
    LanguageId{1068, "az-AZ", 1254},      LanguageId{1069, "eu-ES", 1252},
    LanguageId{1071, "mk-MK", 1251},      LanguageId{1078, "af-ZA", 1252},
    LanguageId{1080, "fo-FO", 1252},      LanguageId{1081, "hi-IN", 0},
    LanguageId{1086, "ms-MY", 1252},      LanguageId{1087, "kk-KZ", 1251},
    LanguageId{1089, "sw-KE", 1252},      LanguageId{1110, "gl-ES", 1252},
    LanguageId{2052, "zh-CN", 936},       LanguageId{2055, "de-CH", 1252},
    LanguageId{2057, "en-GB", 1252},      LanguageId{2058, "es-MX", 1252},
    LanguageId{2060, "fr-BE", 1252},      LanguageId{2064, "it-CH", 1252},
    LanguageId{2067, "nl-BE", 1252},      LanguageId{2068, "nn-NO", 1252},
    LanguageId{2070, "pt-PT", 1252},      LanguageId{2074, "sr-Latn-RS", 1250},
    LanguageId{3073, "ar-EG", 1256},      LanguageId{3076, "zh-HK", 950},
    LanguageId{3079, "de-AT", 1252},      LanguageId{3081, "en-AU", 1252},
    LanguageId{3082, "es-ES", 1252},      LanguageId{3084, "fr-CA", 1252},
    LanguageId{3098, "sr-Cyrl-RS", 1251}, LanguageId{4100, "zh-SG", 936},
    LanguageId{4105, "en-CA", 1252},      LanguageId{4108, "fr-CH", 1252},
    LanguageId{5129, "en-NZ", 1252},      LanguageId{6153, "en-IE", 1252},
    LanguageId{7177, "en-ZA", 1252},      LanguageId{10250, "es-PE", 1252},
    LanguageId{11274, "es-AR", 1252},     LanguageId{12298, "es-EC", 1252},
    LanguageId{13322, "es-CL", 1252},     LanguageId{14346, "es-UY", 1252},
    LanguageId{15370, "es-PY", 1252},     LanguageId{16394, "es-BO", 1252},
    LanguageId{20490, "es-PR", 1252},     LanguageId{8202, "es-VE", 1252},
    LanguageId{9226, "es-CO", 1252},
};

const LanguageId* Find(int32_t lcid) {
    for (const LanguageId& l : kLanguages)
        if (l.lcid == lcid) return &l;
    return nullptr;
}

// glibc's names for the Windows code pages.
std::string IconvName(int32_t codePage) {
    switch (codePage) {
        case 0: {
            const char* own = nl_langinfo(CODESET);
            return own && *own ? own : "ASCII";
        }
        case 936:
            return "GBK";
        case 949:
            return "UHC";
        case 950:
            return "BIG5";
        case 65001:
            return "UTF-8";
        default:
            return "CP" + std::to_string(codePage);
    }
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::string LocaleTagOf(int32_t lcid) {
    const LanguageId* l = Find(lcid);
    return l ? l->tag : std::string();
}

int32_t LocaleAnsiCodePage(int32_t lcid) {
    const LanguageId* l = Find(lcid);
    return l ? l->codePage : 0;
}

std::string WideToAnsi(std::u16string_view text, int32_t codePage) {
    if (text.empty()) return {};
    const size_t limit = text.size();
    std::string out;
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-16LE");
    // Converted one character at a time: a character the code page lacks
    // becomes "?", and the result stops at the last whole character that
    // fits in as many bytes as the text has code units.
    for (size_t i = 0; i < text.size();) {
        const size_t units =
            (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ? 2
                                                                                             : 1;
        char in[4];
        for (size_t u = 0; u < units; ++u) {
            in[2 * u] = static_cast<char>(text[i + u] & 0xFF);
            in[2 * u + 1] = static_cast<char>(text[i + u] >> 8);
        }
        char buffer[16];
        std::string piece = "?";
        if (cd != iconv_t(-1)) {
            char* inPtr = in;
            size_t inLeft = 2 * units;
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1) && inLeft == 0)
                piece.assign(buffer, sizeof buffer - outLeft);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        } else if (text[i] < 0x80) {
            piece.assign(1, static_cast<char>(text[i]));
        }
        if (out.size() + piece.size() > limit) break;
        out += piece;
        i += units;
    }
    if (cd != iconv_t(-1)) iconv_close(cd);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        uint32_t c = 0xFFFD;
        size_t length = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b >> 5) == 0x6) {
            length = 2;
        } else if ((b >> 4) == 0xE) {
            length = 3;
        } else if ((b >> 3) == 0x1E) {
            length = 4;
        }
        if (length > 1) {
            bool ok = i + length <= text.size();
            uint32_t value = length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
            for (size_t k = 1; ok && k < length; ++k) {
                const auto n = static_cast<unsigned char>(text[i + k]);
                ok = (n >> 6) == 0x2;
                value = (value << 6) | (n & 0x3F);
            }
            if (ok) {
                c = value;
            } else {
                length = 1;
            }
        }
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c);
        }
        i += length;
    }
    return out;
}

}  // namespace zt
