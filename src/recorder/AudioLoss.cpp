#include "recorder/AudioLoss.h"

#include <cstdio>

#include "platform/DateTime.h"
#include "platform/ResStrings.h"

namespace zt {

std::string LossSecondsText(uint64_t frames, uint32_t sampleRate) {
    if (sampleRate == 0) return "0,00";
    const uint64_t hundredths = (frames * 100 + sampleRate / 2) / sampleRate;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llu,%02llu",
                  static_cast<unsigned long long>(hundredths / 100),
                  static_cast<unsigned long long>(hundredths % 100));
    return buffer;
}

std::string AudioLossText(const WaveInLoss& loss, uint32_t sampleRate) {
    const TDateTime start = FromUnixSeconds(double(loss.startUnixNs) / 1e9);
    const int id = loss.cause == WaveInLoss::Cause::Overrun ? msg::AudioLostOverrun
                                                            : msg::AudioLostProgramBusy;
    return FormatResString(id, {LossSecondsText(loss.frames, sampleRate),
                                FormatDate(start) + " " + FormatTime(start)});
}

}  // namespace zt
