#include "audio/encode/Bitrates.h"

#include <iterator>

namespace zt {

namespace {
constexpr uint16_t kBitrates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
}

uint16_t BitrateKbps(TMMBitrates bitrate) {
    const auto i = static_cast<size_t>(bitrate);
    return i < std::size(kBitrates) ? kBitrates[i] : kBitrates[0];
}

}  // namespace zt
