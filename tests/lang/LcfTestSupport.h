#pragma once
// Language files for the tests, built by the same builder translators use.

#include <string>
#include <vector>

#include "LcfBuilder.h"
#include "lang/CodePages.h"

namespace zt::test {

inline lcf::LanguageSource Language(int32_t lcid, const std::string& source) {
    return lcf::ParseSource("language = " + std::to_string(lcid) + "\n" + source,
                            "lcid " + std::to_string(lcid));
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Little-endian 32-bit values, for resources written by hand.
inline std::string Le32(std::initializer_list<int64_t> values) {
    std::string out;
    for (int64_t v : values)
        for (int i = 0; i < 4; ++i) out += char((uint64_t(v) >> (8 * i)) & 0xFF);
    return out;
}

inline std::string Utf16Le(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
    return out;
}

}  // namespace zt::test
