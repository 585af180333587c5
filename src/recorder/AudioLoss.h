#pragma once
// The operator's and the log's words for audio the capture could not keep.
//
// A loss is told once, when it has ended, with its length in seconds and
// the local date and time at which it began, so an engineer can find the
// hole in the recording: "Perda de áudio: 2,35 s a partir de 08/12/2012
// 15:31:07 não foram gravados, porque ...". The reason names the cause:
// the program was held up for longer than the capture's store lasts, or
// the capture thread itself was held up and the sound card overran.
//
// Threads: any thread (pure functions).

#include <cstdint>
#include <string>

#include "audio/capture/WaveInBackend.h"

namespace zt {

namespace msg {
inline constexpr int AudioLostProgramBusy = 29100;
inline constexpr int AudioLostOverrun = 29101;
}  // namespace msg

// Seconds with two decimals and a decimal comma ("2,35").
std::string LossSecondsText(uint64_t frames, uint32_t sampleRate);

// The message for one loss at the given sample rate.
std::string AudioLossText(const WaveInLoss& loss, uint32_t sampleRate);

}  // namespace zt
