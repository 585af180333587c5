#pragma once
// The main window's face, image controls and layout as compiled into the
// app library (the PNG files and skin_layout.json of assets/skin/,
// embedded by assets/skin/EmbedSkinArt.cmake), in the order of their file
// names.

#include <cstddef>

namespace zt::skin_art_data {

struct EmbeddedFile {
    const char* name;  // the file name, e.g. "record_pressed@2x.png"
    const unsigned char* data;
    std::size_t size;
};

extern const EmbeddedFile kFiles[];
extern const std::size_t kFileCount;

}  // namespace zt::skin_art_data
