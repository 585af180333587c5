#pragma once
// The signal processing of the spectrum analyser, one update window at a
// time: sample extraction, pre-emphasis, window, FFT, magnitude per bin
// and decay. The analyser control (Spectrum.h) maps the decayed values of
// the bins to bars and draws them.
//
// Everything is allocated at construction for the largest length (4096)
// and 32 averaging rings; Process() allocates nothing. Samples stay
// integers up to the FFT (the window table is Q15), and the FFT result is
// kept as 16-bit values, so the figures do not depend on the FFT's float
// rounding beyond the last unit.
//
// Threads: main thread only (construction makes FFTW plans).

#include <array>
#include <cstdint>
#include <memory>

#include "displays/DisplayTypes.h"
#include "displays/RealFft.h"

namespace zt {

enum class TMMFFTWindow {
    fwRectangular,
    fwHamming,
    fwHanning,
    fwBlackman,
    fwGaussian,
    fwWelch,
    fwParzen
};
enum class TMMSpectrumGain { sgNone, sg3db, sg6db, sg9db, sg12db };

// 8..4096, rounded down to a power of two (100 -> 64, 5000 -> 4096, 7 -> 8).
int FFTLengthOf(int requested);
// The pre-emphasis order of a gain: 0 for none and 3 dB, 1 for 6 and
// 9 dB (first difference), 2 for 12 dB (second difference).
int GainOrderOf(TMMSpectrumGain gain);

class TMMSpectrumAnalysis {
public:
    static constexpr int kMaxLength = RealFft::kMaxLength;
    static constexpr int kMaxSlots = 32;

    TMMSpectrumAnalysis();

    // A new length (passed through FFTLengthOf) rebuilds the window table
    // and clears every state.
    void SetLength(int n);
    int Length() const { return n_; }
    int Bins() const { return n_ / 2; }
    void SetWindow(TMMFFTWindow window);
    TMMFFTWindow Window() const { return window_; }
    void SetGainOrder(int order) { order_ = order; }
    // A new mode, or a new strength in dmUniform, clears the decay state.
    void SetDecay(TMMDecayMode mode, int decay);
    float DecayFactor() const { return decayFactor_; }
    int AverageSlots() const { return averageSlots_; }
    // The layout of the PCM frames given to Process.
    void SetInput(bool eightBit, int channels, TMMChannel channel);

    // One window of Length() frames.
    void Process(const void* data);
    // FFT result, magnitudes and decay state back to zero.
    void Reset();

    // After Process: bin k's magnitude and its decayed value.
    int Magnitude(int bin) const { return magnitude_[size_t(bin)]; }
    int Value(int bin) const { return value_[size_t(bin)]; }
    // The window table entry i (Q15).
    int WindowEntry(int i) const { return windowTable_[size_t(i)]; }
    // The stored FFT result: real and imaginary part of bin k.
    int16_t Re(int bin) const { return spectrum_[size_t(2 * bin)]; }
    int16_t Im(int bin) const { return spectrum_[size_t(2 * bin + 1)]; }

private:
    void BuildWindow();
    void ClearDecay();

    int n_ = 64;
    TMMFFTWindow window_ = TMMFFTWindow::fwHamming;
    int order_ = 1;
    TMMDecayMode decayMode_ = TMMDecayMode::dmStepUp;
    int decay_ = 8;
    float decayFactor_ = DecayFactorOf(8);
    int averageSlots_ = 14;
    bool eightBit_ = false;
    int channels_ = 2;
    TMMChannel channel_ = TMMChannel::chBoth;

    RealFft fft_;
    std::array<int32_t, kMaxLength> windowTable_{};
    std::array<int32_t, kMaxLength> samples_{};
    std::array<int16_t, kMaxLength> spectrum_{};
    std::array<int32_t, kMaxLength / 2> magnitude_{};
    std::array<int32_t, kMaxLength / 2> value_{};
    std::array<float, kMaxLength / 2> state_{};
    // dmUniform: the last averageSlots_ magnitudes per bin and their sums.
    std::unique_ptr<std::array<std::array<int32_t, kMaxLength / 2>, kMaxSlots>> rings_;
    std::array<int32_t, kMaxLength / 2> sums_{};
    int ringIndex_ = 0;
    int ringFill_ = 0;
};

}  // namespace zt
