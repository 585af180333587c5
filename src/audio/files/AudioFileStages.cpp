#include "audio/files/AudioFileStages.h"

#include "audio/convert/codecs/CodecManager.h"

namespace zt {

WaveFormatPtr TMMPCMConverter::NormalisedFormat(const WAVEFORMATEX* format) {
    if (!format) return nullptr;
    if (format->wFormatTag == WAVE_FORMAT_PCM) return CopyWaveFormat(format);
    WAVEFORMATEX wanted{};
    wanted.wFormatTag = WAVE_FORMAT_PCM;
    return acm::SuggestFormat(*format, wanted, acm::SuggestTag);
}

bool TMMPCMConverter::CanNormalise(const WAVEFORMATEX* format) {
    WaveFormatPtr pcm = NormalisedFormat(format);
    return pcm && (format->wFormatTag == WAVE_FORMAT_PCM ||
                   CanConvert(format, pcm.get(), TMMConvertQuality::cqLow));
}

void TMMPCMConverter::PrepareOutputFormat() {
    // Without a PCM form the effective format stays empty, and Opened
    // fails with the converter's own error.
    Effective() = NormalisedFormat(InputFormat());
}

}  // namespace zt
