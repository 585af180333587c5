#include "recorder/RecorderChain.h"

#include "audio/MP3Encoder.h"
#include "audio/WaveIn.h"

namespace zt {

void ConfigureRecorderChain(TMMCustomWaveIn& waveIn, TMMMP3Encoder& mp3) {
    waveIn.SetCallBackMode(TMMCBMode::cmWindow);
    waveIn.SetMode(TMMMode::mStereo);
    waveIn.SetBitLength(TMMBits::b16Bit);
    waveIn.SetSampleRate(kRecorderSampleRate);
    waveIn.SetBufferSize(kRecorderBufferSize);
    waveIn.SetNumBuffers(kRecorderNumBuffers);
    waveIn.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    mp3.SetChannelMode(TMMChannelMode::cmStereo);
    mp3.SetInput(&waveIn);
}

}  // namespace zt
