#include "settings/EncoderFormat.h"

#include <array>

#include "platform/Convert.h"

namespace zt {

namespace {
constexpr std::array<int, 14> kBitratesKbps = {32,  40,  48,  56,  64,  80,  96,
                                               112, 128, 160, 192, 224, 256, 320};
constexpr int kDefaultIndex = 4;  // 64 kbit/s, the default of a new installation
}  // namespace

EncoderFormatChoice EncoderFormatFromSetting(const std::string& formato) {
    const int index = StrToInt(formato);
    EncoderFormatChoice choice;
    if (index < 0 || index >= int(kBitratesKbps.size())) {
        choice.bitrateIndex = kDefaultIndex;
        choice.bitrateKbps = kBitratesKbps[kDefaultIndex];
        choice.bannerNumber.clear();
        return choice;
    }
    choice.bannerNumber = std::to_string(kBitratesKbps[size_t(index)]);
    choice.bitrateIndex = formato == "0" ? 1 : index;
    choice.bitrateKbps = kBitratesKbps[size_t(choice.bitrateIndex)];
    return choice;
}

std::string EncoderFormatBanner(const EncoderFormatChoice& choice, bool stereo) {
    return std::string(20, ' ') + "MP3: " + choice.bannerNumber + " Kbps, " +
           (stereo ? "Stereo" : "Mono");
}

}  // namespace zt
