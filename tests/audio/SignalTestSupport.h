#pragma once
// Test signals and their comparison after a lossy round trip.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace zt::test {

// Interleaved 16-bit test signal: a logarithmic sweep 100 Hz → 5 kHz on the
// left and the reverse on the right, so that the cross-correlation has one
// clear peak and swapped channels would show.
inline std::vector<int16_t> Sweep(uint32_t rate, uint16_t channels, double seconds) {
    const size_t frames = static_cast<size_t>(rate * seconds);
    std::vector<int16_t> pcm(frames * channels);
    const double f0 = 100, f1 = 5000, k = std::log(f1 / f0) / seconds;
    auto phase = [&](double t, double start, double rateK) {
        return 2 * std::numbers::pi * start * (std::exp(rateK * t) - 1) / rateK;
    };
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        pcm[i * channels] = static_cast<int16_t>(12000 * std::sin(phase(t, f0, k)));
        if (channels == 2)
            pcm[i * channels + 1] = static_cast<int16_t>(9000 * std::sin(phase(t, f1, -k)));
    }
    return pcm;
}

struct Correlation {
    double peak = -1;
    int lag = 0;
};

// Normalised cross-correlation of one channel over a window in the middle
// of the input, for decoded lags in [-maxLag, maxLag].
inline Correlation Correlate(const std::vector<int16_t>& in, const std::vector<int16_t>& out,
                             int channels, int channel, int maxLag) {
    const long frames = static_cast<long>(in.size()) / channels;
    const long outFrames = static_cast<long>(out.size()) / channels;
    const long start = frames / 3, length = std::min<long>(20000, frames / 3);
    Correlation best;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        if (start + lag < 0 || start + lag + length > outFrames) continue;
        double xy = 0, xx = 0, yy = 0;
        for (long i = start; i < start + length; ++i) {
            const double x = in[i * channels + channel];
            const double y = out[(i + lag) * channels + channel];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        const double c = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
        if (c > best.peak) best = {c, lag};
    }
    return best;
}

}  // namespace zt::test
