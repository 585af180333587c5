#pragma once
// What the bar meter (Level.h) and the needle meter (Meter.h) compute
// alike: the peak of one update window, the decay of the shown level,
// the gain, and the step from a sample level to a display value.
//
// Threads: plain values and pure functions; LevelDecay belongs to the
// meter that owns it and is used on that meter's main thread only.

#include <array>
#include <cstdint>

#include "displays/DisplayTypes.h"

namespace zt {

// Full scale of a 16-bit sample, the unit of every level below.
inline constexpr int kLevelFullScale = 32767;

// How one update window is read.
struct LevelInput {
    TMMBits bits = TMMBits::b8Bit;
    TMMMode mode = TMMMode::mMono;
    TMMChannel channel = TMMChannel::chBoth;
    int samples = 50;  // frames per update
    int32_t dcOffsetL = 0;
    int32_t dcOffsetR = 0;
};

// Bytes one update reads: (bits + 1) x (mode + 1) x samples.
int LevelBytesPerUpdate(const LevelInput& input);

// The largest absolute sample of the `input.samples` frames at `data`,
// in 16-bit units (8-bit samples are centred and multiplied by 256; the
// DC offsets are subtracted first). Mono data ignores the channel; with
// chBoth the two channels are averaged (truncated toward zero) before the
// absolute value is taken. Frames of more than two channels (mMultiChannel)
// are measured on their first two.
int64_t MeasureLevelPeak(const void* data, const LevelInput& input);

// a x (gain + 8) div 8 with a 64-bit product.
int64_t ApplyLevelGain(int64_t a, int gain);

// The display value of a level g on a scale of `steps` (the bar's spot
// count, or 32767 for the needle) whose empty end is `sensitivity` dB
// (negative): in dB when `logAmp` (levels below `floor` x full scale count
// as `floor`), else linear above the level of `sensitivity` dB. Never
// below 0; may exceed `steps` (the caller clamps). Rounds half to even.
int ScaleLevel(int64_t g, int steps, int sensitivity, bool logAmp, float floor);

// The level of `sensitivity` dB in sample units (single precision), the
// empty end of a linear scale.
float LinearScaleFloor(int sensitivity);

// The decayed level of a meter: how a shown level falls after the signal
// drops (see TMMDecayMode).
class LevelDecay {
public:
    static constexpr int kRingSize = 32;

    TMMDecayMode Mode() const { return mode_; }
    int Decay() const { return decay_; }
    float Factor() const { return factor_; }
    int RingLength() const { return ringLength_; }

    // A different mode clears the state.
    void SetMode(TMMDecayMode mode);
    // Clamped to 1 .. 16; a different value recomputes the factor and the
    // ring length, and in dmUniform clears the state.
    void SetDecay(int decay);
    // Forgets every past level.
    void Clear();
    // One update: the level `a` of this update in, the level to show out.
    int64_t Apply(int64_t a);

private:
    TMMDecayMode mode_ = TMMDecayMode::dmNone;
    int decay_ = 1;
    float factor_ = 0.0001f;
    int ringLength_ = 1;
    float decayed_ = 0.0f;
    std::array<int64_t, kRingSize> ring_{};
    int position_ = 0;
    int fill_ = 0;
    int64_t sum_ = 0;
};

}  // namespace zt
