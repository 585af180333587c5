#include "audio/AudioFileStages.h"

namespace zt {

bool TMMPCMConverter::CanNormalise(const WAVEFORMATEX* format) {
    return format && format->wFormatTag == WAVE_FORMAT_PCM;
}

void TMMPCMConverter::InputFormatChanged(const WAVEFORMATEX* format) {
    SetWaveFormat(CanNormalise(format) ? format : nullptr);
}

}  // namespace zt
