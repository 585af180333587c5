#include "recorder/RecorderChain.h"

#include "audio/capture/WaveIn.h"
#include "audio/encode/MP3Encoder.h"
#include "displays/Connector.h"

namespace zt {

void ConfigureRecorderChain(TMMCustomWaveIn& waveIn, TMMConnector& connector, TMMMP3Encoder& mp3) {
    waveIn.SetCallBackMode(TMMCBMode::cmWindow);
    waveIn.SetMode(TMMMode::mStereo);
    waveIn.SetBitLength(TMMBits::b16Bit);
    waveIn.SetSampleRate(kRecorderSampleRate);
    waveIn.SetBufferSize(kRecorderBufferSize);
    waveIn.SetNumBuffers(kRecorderNumBuffers);
    waveIn.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    mp3.SetChannelMode(TMMChannelMode::cmStereo);
    // Kept as the chain has always set it; it has no effect here (Qt's event
    // loop already runs the window's events between the displays' rounds).
    TMMConnector::SetEnterIdle(true);
    connector.SetInput(&waveIn);
    mp3.SetInput(&connector);
}

}  // namespace zt
