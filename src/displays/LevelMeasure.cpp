#include "displays/LevelMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zt {

int LevelBytesPerUpdate(const LevelInput& input) {
    return (static_cast<int>(input.bits) + 1) * (static_cast<int>(input.mode) + 1) * input.samples;
}

namespace {

// Reads one sample; `Sample` is int16_t or uint8_t. memcpy keeps the read
// free of alignment assumptions (the connector's copy is byte-addressed).
template <typename Sample>
inline int64_t Read(const uint8_t* p) {
    Sample s;
    std::memcpy(&s, p, sizeof s);
    return s;
}

inline int64_t Abs(int64_t v) {
    return v < 0 ? -v : v;
}

template <typename Sample>
int64_t Peak(const uint8_t* p, const LevelInput& in) {
    // 8-bit samples are unsigned around 128 and a 256th of 16-bit ones.
    constexpr bool kEight = sizeof(Sample) == 1;
    const auto widen = [](int64_t s) { return kEight ? (s - 128) * 256 : s; };
    const int channels = static_cast<int>(in.mode) + 1;
    const size_t frame = sizeof(Sample) * static_cast<size_t>(channels);
    const int64_t dL = -static_cast<int64_t>(in.dcOffsetL);
    const int64_t dR = -static_cast<int64_t>(in.dcOffsetR);
    int64_t peak = 0;
    if (channels == 1) {
        for (int i = 0; i < in.samples; ++i, p += frame)
            peak = std::max(peak, Abs(widen(Read<Sample>(p) + dL)));
    } else if (in.channel == TMMChannel::chLeft) {
        for (int i = 0; i < in.samples; ++i, p += frame)
            peak = std::max(peak, Abs(widen(Read<Sample>(p) + dL)));
    } else if (in.channel == TMMChannel::chRight) {
        p += sizeof(Sample);
        for (int i = 0; i < in.samples; ++i, p += frame)
            peak = std::max(peak, Abs(widen(Read<Sample>(p) + dR)));
    } else {
        for (int i = 0; i < in.samples; ++i, p += frame) {
            const int64_t l = Read<Sample>(p) + dL;
            const int64_t r = Read<Sample>(p + sizeof(Sample)) + dR;
            peak = std::max(peak, Abs(widen((l + r) / 2)));
        }
    }
    return peak;
}

}  // namespace

int64_t MeasureLevelPeak(const void* data, const LevelInput& input) {
    const auto* p = static_cast<const uint8_t*>(data);
    if (!p || input.samples <= 0) return 0;
    return input.bits == TMMBits::b16Bit ? Peak<int16_t>(p, input) : Peak<uint8_t>(p, input);
}

int64_t ApplyLevelGain(int64_t a, int gain) {
    return a * (gain + 8) / 8;
}

float LinearScaleFloor(int sensitivity) {
    return static_cast<float>(kLevelFullScale) /
           std::pow(10.0f, static_cast<float>(-sensitivity) / 20.0f);
}

int ScaleLevel(int64_t g, int steps, int sensitivity, bool logAmp, float floor) {
    double value;
    if (logAmp) {
        const float ratio = static_cast<float>(g) / static_cast<float>(kLevelFullScale);
        const float dB = 20.0f * std::log10(std::max(floor, ratio));
        value = (static_cast<double>(dB) - sensitivity) * steps / -sensitivity;
    } else {
        const double f = LinearScaleFloor(sensitivity);
        value = (static_cast<double>(g) - f) * steps / (kLevelFullScale - f);
    }
    // nearbyint rounds half to even in the default rounding mode.
    value = std::nearbyint(value);
    if (value <= 0) return 0;
    // Far beyond the scale only means "overflow"; keep it inside int.
    return static_cast<int>(std::min(value, 2.0 * 1e9));
}

void LevelDecay::Clear() {
    decayed_ = 0.0f;
    ring_.fill(0);
    position_ = 0;
    fill_ = 0;
    sum_ = 0;
}

void LevelDecay::SetMode(TMMDecayMode mode) {
    if (mode == mode_) return;
    mode_ = mode;
    Clear();
}

void LevelDecay::SetDecay(int decay) {
    decay = std::clamp(decay, 1, 16);
    if (decay == decay_) return;
    decay_ = decay;
    factor_ = DecayFactorOf(decay);
    ringLength_ = std::clamp(2 * (decay - 1), 1, kRingSize);
    if (mode_ == TMMDecayMode::dmUniform) Clear();
}

int64_t LevelDecay::Apply(int64_t a) {
    if (mode_ == TMMDecayMode::dmNone) return a;
    position_ = (position_ + 1) % ringLength_;
    fill_ = std::min(fill_ + 1, ringLength_);
    switch (mode_) {
        case TMMDecayMode::dmStepUp:
            decayed_ *= factor_;
            if (static_cast<float>(a) >= decayed_)
                decayed_ = static_cast<float>(a);
            else
                a = static_cast<int64_t>(decayed_);
            break;
        case TMMDecayMode::dmExponential:
            decayed_ = decayed_ * factor_ + (1.0f - factor_) * static_cast<float>(a);
            a = static_cast<int64_t>(std::floor(decayed_));
            break;
        case TMMDecayMode::dmUniform:
            sum_ += a - ring_[position_];
            ring_[position_] = a;
            a = sum_ / fill_;
            break;
        case TMMDecayMode::dmNone:
            break;
    }
    return a;
}

}  // namespace zt
