#include "audio/convert/FormatChooser.h"

#include <cstdio>

namespace zt {

namespace {

class CancellingChooser final : public FormatChooser {
public:
    WaveFormatPtr Choose(const FormatChoiceRequest&) override { return nullptr; }
};

CancellingChooser fallback;
FormatChooser* current = nullptr;

}  // namespace

FormatChooser& CurrentFormatChooser() {
    return current ? *current : fallback;
}

FormatChooser* SetFormatChooser(FormatChooser* chooser) {
    FormatChooser* previous = current;
    current = chooser;
    return previous;
}

std::string FormatAttributesText(const WAVEFORMATEX& format, const std::string& decimalPoint) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%03u", format.nSamplesPerSec % 1000);
    std::string text =
        std::to_string(format.nSamplesPerSec / 1000) + decimalPoint + fraction + " kHz";
    if (format.wFormatTag == 1) text += ", " + std::to_string(format.wBitsPerSample) + " Bit";
    text += format.nChannels == 1   ? ", Mono"
            : format.nChannels == 2 ? ", Stereo"
                                    : ", " + std::to_string(format.nChannels) + " Channels";
    text += ", " + std::to_string(format.nAvgBytesPerSec / 1024) + " KB/s";
    return text;
}

}  // namespace zt
