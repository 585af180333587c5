#pragma once
// The MP3 format setting (Formato) turned into what the encoder and the format
// banner need. Formato is the ordinal of the encoder's bitrate (br32 = 0 ...
// br320 = 13).
//
// Threads: pure functions, callable from any thread.

#include <string>

#include "audio/encode/Bitrates.h"

namespace zt {

struct EncoderFormatChoice {
    TMMBitrates bitrate = TMMBitrates::br64;
    int bitrateIndex = 4;      // its ordinal
    int bitrateKbps = 64;      // the same bitrate in kbit/s
    std::string bannerNumber;  // kbit/s shown on the banner; empty for an unknown index

    bool operator==(const EncoderFormatChoice&) const = default;
};

// Converts Formato with StrToInt (a malformed text raises EConvertError).
// Index 0 is shown as "32" but encoded at 40 kbit/s: only the exact text "0"
// gets that substitution ("00" converts to 0 and is encoded at 32). An index
// outside 0-13 shows an empty banner number and encodes at the default
// 64 kbit/s, so the encoder never receives a bitrate it does not know.
EncoderFormatChoice EncoderFormatFromSetting(const std::string& formato);

// The banner text: twenty spaces (the text scrolls in from the right on the
// 21-character read-out) + "MP3: " + number + " Kbps, " + "Stereo" or "Mono".
std::string EncoderFormatBanner(const EncoderFormatChoice& choice, bool stereo);

}  // namespace zt
