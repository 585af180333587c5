#pragma once
// The update window's pictures as compiled into the widgets library (the
// PNG and JPEG files of assets/update/, embedded by
// assets/update/EmbedUpdateArt.cmake), in the order of their file names.

#include <cstddef>

namespace zt::update_art_data {

struct EmbeddedFile {
    const char* name;  // the file name, e.g. "step_done@2x.png"
    const unsigned char* data;
    std::size_t size;
};

extern const EmbeddedFile kFiles[];
extern const std::size_t kFileCount;

}  // namespace zt::update_art_data
