#pragma once
// The capture chain as the recorder places it: 44100 Hz, 16-bit stereo
// capture in 20 buffers of 4096 bytes (1024 frames, 23.2 ms each; the 20
// hold about 0.46 s), positions in milliseconds, notifications delivered on
// the main thread, pushing through the connector that feeds the live
// displays (it copies each buffer for them before passing it on) into the
// MP3 encoder (stereo, the bitrate set by the session before every open).
//
// Threads: main thread, before the chain is opened.

namespace zt {

class TMMCustomWaveIn;
class TMMConnector;
class TMMMP3Encoder;

inline constexpr int kRecorderBufferSize = 4096;
inline constexpr int kRecorderNumBuffers = 20;
inline constexpr int kRecorderSampleRate = 44100;

void ConfigureRecorderChain(TMMCustomWaveIn& waveIn, TMMConnector& connector, TMMMP3Encoder& mp3);

}  // namespace zt
