#pragma once
// The LED font bitmaps as compiled into the core library (PNG files from
// assets/ledfont/, embedded by assets/ledfont/EmbedLedFonts.cmake).

#include <cstddef>

namespace zt::ledfont_data {

struct EmbeddedPng {
    const char* name;
    const unsigned char* data;
    std::size_t size;
};

// In the order of TMMLEDFontSize: FONT_11X13, FONT_16X20, FONT_11X13_BOLD.
extern const EmbeddedPng kFonts[3];

}  // namespace zt::ledfont_data
