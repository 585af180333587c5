// Costs on the per-buffer path of the audio core: taking a stream buffer
// from a sound component's pool, pushing a capture-sized buffer down a
// chain, and appending it to a WAV file.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audio/chain/Allocator.h"
#include "audio/chain/DSPComponent.h"
#include "audio/files/Wave.h"

namespace {

using namespace zt;

constexpr uint32_t kCaptureBuffer = 4096;  // 1024 stereo 16-bit frames

void BM_AllocatorReuse(benchmark::State& state) {
    TMMAllocator pool;
    for (auto _ : state) {
        PWaveHdr buffer = pool.AllocStreamBuffer(kCaptureBuffer);
        benchmark::DoNotOptimize(buffer);
        pool.FreeStreamBuffer(buffer);
    }
}
BENCHMARK(BM_AllocatorReuse);

class PassThrough : public TMMDSPComponent {
public:
    using TMMDSPComponent::TMMDSPComponent;
    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }
};

void BM_PushThroughChain(benchmark::State& state) {
    const int length = int(state.range(0));
    std::vector<std::unique_ptr<PassThrough>> chain;
    for (int i = 0; i < length; ++i) {
        chain.push_back(std::make_unique<PassThrough>("c" + std::to_string(i)));
        if (i > 0) chain[size_t(i)]->SetInput(chain[size_t(i) - 1].get());
    }
    uint64_t seen = 0;
    chain.back()->OnBufferReady = [&](TMMDSPComponent*, PWaveHdr b) {
        seen += b->wh.dwBytesRecorded;
    };
    TMMAllocator pool;
    PWaveHdr buffer = pool.AllocStreamBuffer(kCaptureBuffer);
    buffer->wh.dwBytesRecorded = kCaptureBuffer;
    for (auto _ : state) chain.front()->BufferReady(buffer);
    benchmark::DoNotOptimize(seen);
    pool.FreeStreamBuffer(buffer);
}
BENCHMARK(BM_PushThroughChain)->Arg(3)->Arg(8);

void BM_WaveWriteData(benchmark::State& state) {
    char dir[] = "/tmp/zt-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    const std::string path = std::string(dir) + "/bench.wav";
    const WAVEFORMATEX format = MakePCMFormat(16, 2, 44100);
    std::vector<char> data(kCaptureBuffer, 1);
    TMMWave wave;
    wave.CreateFile(path, &format);
    int64_t written = 0;
    for (auto _ : state) {
        // Start a new file every ~100 MB so the benchmark never fills a disk.
        if (written > 100 * 1000 * 1000) {
            wave.CreateFile(path, &format);
            written = 0;
        }
        written += wave.WriteData(data.data(), int64_t(data.size()));
    }
    wave.CloseFile();
    state.SetBytesProcessed(int64_t(state.iterations()) * kCaptureBuffer);
    unlink(path.c_str());
    rmdir(dir);
}
BENCHMARK(BM_WaveWriteData);

}  // namespace
