// Cost of the MP3 encoder alone: CPU seconds spent per second of 44.1 kHz
// stereo audio, through the encoder library binding the capture chain uses
// (one chunk per call, as the encoder component feeds it). The recorder
// encodes on the main thread, so this figure is the share of one core the
// encoding takes while recording.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numbers>
#include <random>
#include <vector>

#include "audio/encode/Mp3EncoderLibrary.h"

namespace {

using namespace zt;

constexpr uint32_t kRate = 44100;
constexpr double kSeconds = 5.0;

// Programme-like material: two tones under a little noise, different on
// each channel, so the psychoacoustic model has work to do.
std::vector<int16_t> Programme() {
    const size_t frames = static_cast<size_t>(kRate * kSeconds);
    std::vector<int16_t> pcm(frames * 2);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 800.0);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double l = 9000 * std::sin(2 * std::numbers::pi * 440 * t) +
                         3000 * std::sin(2 * std::numbers::pi * 3300 * t) + noise(rng);
        const double r = 8000 * std::sin(2 * std::numbers::pi * 660 * t) +
                         2500 * std::sin(2 * std::numbers::pi * 5100 * t) + noise(rng);
        pcm[2 * i] = static_cast<int16_t>(std::clamp(l, -32768.0, 32767.0));
        pcm[2 * i + 1] = static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
    }
    return pcm;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void BM_Mp3EncodeStereo44k(benchmark::State& state) {
    Mp3EncoderLibrary* lib = SharedMp3EncoderLibrary();
    if (!lib) {
        state.SkipWithError("libmp3lame.so.0 cannot be loaded");
        return;
    }
    static const std::vector<int16_t> pcm = Programme();
    BE_CONFIG config{};
    config.dwConfig = BE_CONFIG_MP3;
    config.format.mp3 = {kRate,    BE_MP3_MODE_STEREO, static_cast<uint16_t>(state.range(0)),
                         BE_FALSE, BE_FALSE,           BE_FALSE,
                         BE_FALSE};

    double cpu = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        uint32_t samples = 0, outSize = 0, n = 0;
        HBE_STREAM stream = 0;
        if (lib->beInitStream(&config, &samples, &outSize, &stream) != BE_ERR_SUCCESSFUL) {
            state.SkipWithError("beInitStream failed");
            return;
        }
        std::vector<uint8_t> out(outSize);
        const double before = ThreadCpuSeconds();
        for (size_t at = 0; at + samples <= pcm.size(); at += samples) {
            lib->beEncodeChunk(stream, samples, pcm.data() + at, out.data(), &n);
            bytes += n;
        }
        lib->beDeinitStream(stream, out.data(), &n);
        bytes += n;
        cpu += ThreadCpuSeconds() - before;
        lib->beCloseStream(stream);
    }
    const double audio = kSeconds * static_cast<double>(state.iterations());
    state.counters["cpu_s_per_audio_s"] = cpu / audio;
    state.counters["realtime_factor"] = cpu > 0 ? audio / cpu : 0;
    state.counters["kbit_per_s_out"] = static_cast<double>(bytes) * 8 / 1000 / audio;
}
BENCHMARK(BM_Mp3EncodeStereo44k)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond);

}  // namespace
