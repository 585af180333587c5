#pragma once
// The MP3 bit rates the encoder offers, by ordinal (br32 = 0 ... br320 = 13,
// the numbering the Formato setting stores), and their kbit/s.
//
// Threads: pure functions, callable from any thread.

#include <cstdint>

namespace zt {

enum class TMMBitrates {
    br32,
    br40,
    br48,
    br56,
    br64,
    br80,
    br96,
    br112,
    br128,
    br160,
    br192,
    br224,
    br256,
    br320
};

// kbit/s of a bit rate value (32 for a value outside the list).
uint16_t BitrateKbps(TMMBitrates bitrate);

}  // namespace zt
