// Whole capture chain against a peer pipeline, on the same paced ALSA input.
//
// The chain: the wave-in component reading the fixture PCM at the real
// sample rate, pushing 4096-byte buffers into the MP3 encoder at 64 kbit/s,
// as the recorder runs it. The peer: `arecord -D zt_capture -f cd | lame -b
// 64 - out.mp3`, and the same with the output kept at 44.1 kHz (by itself
// lame resamples to 24 kHz at 64 kbit/s, which is less work and not what the
// recorder writes). Each records ZT_CHAIN_SECONDS (default 60) of audio; the
// figure is CPU seconds (user + system) for the whole run, and the chain's
// ratio to each peer. Run:
//   build/bench/zt_chain_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <random>
#include <string>

#include "BenchSupport.h"
#include "audio/capture/WaveIn.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "audio/encode/MP3Encoder.h"
#include "support/AlsaFixture.h"
#include "support/TempDir.h"

namespace {

using namespace zt;

int Seconds() {
    const char* text = std::getenv("ZT_CHAIN_SECONDS");
    const int value = text ? std::atoi(text) : 60;
    return value > 0 ? value : 60;
}

double RunChain(const std::string& file, int seconds, const test::AlsaFixture& fx) {
    TMMCustomWaveIn wave("WaveIn");
    wave.SetBackend(std::make_unique<AlsaWaveInBackend>(fx.Devices()));
    wave.SetMode(TMMMode::mStereo);
    wave.SetBitLength(TMMBits::b16Bit);
    wave.SetSampleRate(44100);
    wave.SetBufferSize(4096);
    wave.SetNumBuffers(20);
    wave.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    wave.SetMaxRecordTime(seconds * 1000);
    TMMMP3Encoder mp3("MP3");
    mp3.SetBitrate(TMMBitrates::br64);
    mp3.SetInput(&wave);
    mp3.SetFileName(file);

    QEventLoop loop;
    wave.OnStop = [&](TMMDSPComponent*) {
        wave.Close();
        loop.quit();
    };
    const double before = bench::CpuSeconds(RUSAGE_SELF);
    wave.Start();
    loop.exec();
    return bench::CpuSeconds(RUSAGE_SELF) - before;
}

double RunPeer(const std::string& lameArgs, const std::string& file, int seconds,
               const std::string& sink = {}, const std::string& arecordArgs = {}) {
    const double before = bench::CpuSeconds(RUSAGE_CHILDREN);
    const std::string command =
        "arecord -q -D zt_capture -f cd " + arecordArgs + " -d " + std::to_string(seconds) + " | " +
        (sink.empty() ? "lame --quiet " + lameArgs + " - '" + file + "'" : sink);
    const int rc = std::system(command.c_str());
    if (rc != 0) return -1;
    return bench::CpuSeconds(RUSAGE_CHILDREN) - before;
}

void BM_ChainAgainstPeer(benchmark::State& state) {
    const int seconds = Seconds();
    const std::vector<int16_t> pcm = bench::ProgrammePcm(seconds);
    test::AlsaFixture fx(std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2));
    test::TempDir dir;
    for (auto _ : state) {
        const double chain = RunChain(dir.file("chain.mp3"), seconds, fx);
        const double peer = RunPeer("-b 64", dir.file("peer.mp3"), seconds);
        const double peer44 = RunPeer("-b 64 --resample 44.1", dir.file("peer44.mp3"), seconds);
        // The capture alone on both sides: the chain with no file to encode
        // into, and arecord writing to a pipe that discards.
        const double capture = RunChain("", seconds, fx);
        const double peerCapture = RunPeer("", "", seconds, "cat > /dev/null");
        // arecord with the ALSA period the chain uses: what the periods cost.
        const double peerCaptureSamePeriod =
            RunPeer("", "", seconds, "cat > /dev/null",
                    "--period-time=" + std::to_string(AlsaWaveInBackend::kPeriodMicroseconds) +
                        " --buffer-time=" + std::to_string(AlsaWaveInBackend::kBufferMicroseconds));
        if (peer <= 0 || peer44 <= 0) {
            state.SkipWithError("the peer pipeline failed (arecord and lame installed?)");
            return;
        }
        state.counters["audio_s"] = seconds;
        state.counters["chain_cpu_s"] = chain;
        state.counters["peer_cpu_s"] = peer;
        state.counters["peer44k_cpu_s"] = peer44;
        state.counters["ratio_to_peer"] = chain / peer;
        state.counters["ratio_to_peer44k"] = chain / peer44;
        state.counters["capture_only_cpu_s"] = capture;
        state.counters["arecord_only_cpu_s"] = peerCapture;
        state.counters["arecord_same_period_cpu_s"] = peerCaptureSamePeriod;
    }
}
BENCHMARK(BM_ChainAgainstPeer)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
