#include "settings/EncoderFormat.h"

#include "platform/Convert.h"

namespace zt {

namespace {
constexpr int kBitrateCount = int(TMMBitrates::br320) + 1;

EncoderFormatChoice Choice(int index) {
    EncoderFormatChoice choice;
    choice.bitrate = TMMBitrates(index);
    choice.bitrateIndex = index;
    choice.bitrateKbps = BitrateKbps(choice.bitrate);
    return choice;
}
}  // namespace

EncoderFormatChoice EncoderFormatFromSetting(const std::string& formato) {
    const int index = StrToInt(formato);
    if (index < 0 || index >= kBitrateCount) {
        // 64 kbit/s, the default of a new installation; no number on the banner.
        return Choice(int(TMMBitrates::br64));
    }
    EncoderFormatChoice choice = Choice(formato == "0" ? int(TMMBitrates::br40) : index);
    choice.bannerNumber = std::to_string(BitrateKbps(TMMBitrates(index)));
    return choice;
}

std::string EncoderFormatBanner(const EncoderFormatChoice& choice, bool stereo) {
    return std::string(20, ' ') + "MP3: " + choice.bannerNumber + " Kbps, " +
           (stereo ? "Stereo" : "Mono");
}

}  // namespace zt
