#pragma once
// What the benchmarks share: CPU time of this process (or of its finished
// children) and a programme-like test signal.

#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace zt::bench {

// User + system seconds of every thread (RUSAGE_SELF) or of the waited-for
// children (RUSAGE_CHILDREN).
inline double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// 44.1 kHz 16-bit stereo: a tone on each channel (440 Hz left, 660 Hz
// right) under noise, like speech or music in level and spread.
inline std::vector<int16_t> ProgrammePcm(int seconds) {
    const size_t frames = size_t(44100) * size_t(seconds);
    std::vector<int16_t> pcm(frames * 2);
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 800.0);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 44100;
        pcm[2 * i] = int16_t(9000 * std::sin(2 * std::numbers::pi * 440 * t) + noise(rng));
        pcm[2 * i + 1] = int16_t(8000 * std::sin(2 * std::numbers::pi * 660 * t) + noise(rng));
    }
    return pcm;
}

}  // namespace zt::bench
