#include "displays/SpectrumAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace zt {

int FFTLengthOf(int requested) {
    const int clamped = std::clamp(requested, RealFft::kMinLength, RealFft::kMaxLength);
    int n = RealFft::kMinLength;
    while (n * 2 <= clamped) n *= 2;
    return n;
}

int GainOrderOf(TMMSpectrumGain gain) {
    return int(gain) / 2;
}

TMMSpectrumAnalysis::TMMSpectrumAnalysis()
    : rings_(std::make_unique<std::array<std::array<int32_t, kMaxLength / 2>, kMaxSlots>>()) {
    BuildWindow();
    ClearDecay();
}

void TMMSpectrumAnalysis::SetLength(int n) {
    n = FFTLengthOf(n);
    if (n == n_) return;
    n_ = n;
    BuildWindow();
    Reset();
}

void TMMSpectrumAnalysis::SetWindow(TMMFFTWindow window) {
    if (window == window_) return;
    window_ = window;
    BuildWindow();
}

void TMMSpectrumAnalysis::SetDecay(TMMDecayMode mode, int decay) {
    decay = std::clamp(decay, 1, 16);
    const bool clear = mode != decayMode_ || (mode == TMMDecayMode::dmUniform && decay != decay_);
    decayMode_ = mode;
    decay_ = decay;
    decayFactor_ = DecayFactorOf(decay);
    averageSlots_ = std::clamp(2 * decay - 2, 1, kMaxSlots);
    if (clear) ClearDecay();
}

void TMMSpectrumAnalysis::SetInput(bool eightBit, int channels, TMMChannel channel) {
    eightBit_ = eightBit;
    channels_ = channels == 1 ? 1 : 2;
    channel_ = channel;
}

void TMMSpectrumAnalysis::BuildWindow() {
    const double n = n_;
    for (int i = 0; i < n_; ++i) {
        const double e = 2.0 * std::numbers::pi * i / n;
        const double c = 2.0 * i - n;
        const double d = c / (n + 1.0);
        double w = 1.0;
        switch (window_) {
            case TMMFFTWindow::fwRectangular:
                w = 1.0;
                break;
            case TMMFFTWindow::fwHamming:
                w = 0.54 - 0.46 * std::cos(e);
                break;
            case TMMFFTWindow::fwHanning:
                w = 0.5 - 0.5 * std::cos(e);
                break;
            case TMMFFTWindow::fwBlackman:
                w = 0.42 - 0.5 * std::cos(e) + 0.08 * std::cos(2.0 * e);
                break;
            case TMMFFTWindow::fwGaussian:
                w = std::exp(-5.0 * c * c / (n * n));
                break;
            case TMMFFTWindow::fwWelch:
                w = 1.0 - d * d;
                break;
            case TMMFFTWindow::fwParzen:
                w = 1.0 - std::abs(d);
                break;
        }
        windowTable_[size_t(i)] = int32_t(std::lround(w * 32767.0));
    }
}

void TMMSpectrumAnalysis::ClearDecay() {
    state_.fill(0.0f);
    for (auto& ring : *rings_) ring.fill(0);
    sums_.fill(0);
    ringIndex_ = 0;
    ringFill_ = 0;
}

void TMMSpectrumAnalysis::Reset() {
    spectrum_.fill(0);
    magnitude_.fill(0);
    value_.fill(0);
    ClearDecay();
}

void TMMSpectrumAnalysis::Process(const void* data) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    const int n = n_, bins = n_ / 2;

    // 1. One value per frame: the chosen channel or the mean of both;
    // 8-bit data centred on 0 (scaled up in the window step).
    auto at = [&](int index) -> int32_t {
        if (eightBit_) return int32_t(bytes[index]) - 128;
        int16_t v;
        std::memcpy(&v, bytes + 2 * index, sizeof v);
        return v;
    };
    if (channels_ == 1) {
        for (int i = 0; i < n; ++i) samples_[size_t(i)] = at(i);
    } else {
        for (int i = 0; i < n; ++i) {
            const int32_t l = at(2 * i), r = at(2 * i + 1);
            samples_[size_t(i)] = channel_ == TMMChannel::chLeft    ? l
                                  : channel_ == TMMChannel::chRight ? r
                                                                    : (l + r) / 2;
        }
    }

    // 2. Pre-emphasis: first or second difference, the samples before the
    // window taken as the window's first stored value.
    if (order_ > 0) {
        const int32_t first = at(0);
        int32_t p1 = first, p2 = first;
        for (int i = 0; i < n; ++i) {
            const int32_t x = samples_[size_t(i)];
            samples_[size_t(i)] = order_ == 1 ? x - p1 : x - 2 * p1 + p2;
            p2 = p1;
            p1 = x;
        }
    }

    // 3. Window (Q15); 8-bit values come out on the 16-bit scale.
    const int64_t divisor = eightBit_ ? 128 : 32768;
    float* in = fft_.Input();
    for (int i = 0; i < n; ++i)
        in[i] = float(int64_t(samples_[size_t(i)]) * windowTable_[size_t(i)] / divisor);

    // 4. FFT, each number divided by N / 2 and kept as 16 bits (saturated:
    // a full-scale DC or difference signal would not fit).
    fft_.Forward(n);
    const std::complex<float>* out = fft_.Output();
    const double half = n / 2;
    auto store = [](double v) { return int16_t(std::clamp(std::trunc(v), -32768.0, 32767.0)); };
    for (int k = 0; k < bins; ++k) {
        spectrum_[size_t(2 * k)] = store(out[k].real() / half);
        spectrum_[size_t(2 * k + 1)] = store(out[k].imag() / half);
    }

    // 5. Magnitudes and 6. decay.
    const float f = decayFactor_;
    for (int k = 0; k < bins; ++k) {
        const int64_t re = spectrum_[size_t(2 * k)], im = spectrum_[size_t(2 * k + 1)];
        const int32_t m = int32_t(16.0 * std::sqrt(double(re * re + im * im)));
        magnitude_[size_t(k)] = m;
        float& s = state_[size_t(k)];
        switch (decayMode_) {
            case TMMDecayMode::dmNone:
                value_[size_t(k)] = m;
                break;
            case TMMDecayMode::dmStepUp:
                s *= f;
                if (float(m) >= s) s = float(m);
                value_[size_t(k)] = int32_t(s);
                break;
            case TMMDecayMode::dmExponential:
                s = s * f + (1.0f - f) * float(m);
                value_[size_t(k)] = int32_t(std::floor(s));
                break;
            case TMMDecayMode::dmUniform:
                break;
        }
    }
    if (decayMode_ == TMMDecayMode::dmUniform) {
        auto& slot = (*rings_)[size_t(ringIndex_)];
        ringFill_ = std::min(ringFill_ + 1, averageSlots_);
        for (int k = 0; k < bins; ++k) {
            // The slot holds the oldest magnitude (0 while the ring fills).
            sums_[size_t(k)] += magnitude_[size_t(k)] - slot[size_t(k)];
            slot[size_t(k)] = magnitude_[size_t(k)];
            value_[size_t(k)] = sums_[size_t(k)] / ringFill_;
        }
        ringIndex_ = (ringIndex_ + 1) % averageSlots_;
    }
}

}  // namespace zt
