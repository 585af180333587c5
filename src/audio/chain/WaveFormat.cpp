#include "audio/chain/WaveFormat.h"

#include <cstring>

namespace zt {

uint32_t WaveFormatSize(const WAVEFORMATEX* format) {
    if (!format) return 0;
    if (format->wFormatTag == WAVE_FORMAT_PCM) return sizeof(WAVEFORMATEX);
    return uint32_t(sizeof(WAVEFORMATEX)) + format->cbSize;
}

WaveFormatPtr CopyWaveFormat(const WAVEFORMATEX* format) {
    if (!format) return {};
    const uint32_t size = WaveFormatSize(format);
    auto* copy = static_cast<WAVEFORMATEX*>(std::calloc(1, size));
    if (!copy) throw std::bad_alloc();
    std::memcpy(copy, format, size);
    if (copy->wFormatTag == WAVE_FORMAT_PCM) copy->cbSize = 0;
    return WaveFormatPtr(copy);
}

WAVEFORMATEX MakePCMFormat(uint16_t bits, uint16_t channels, uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = uint16_t(channels * bits / 8);
    f.nAvgBytesPerSec = uint32_t(f.nBlockAlign) * rate;
    f.cbSize = 0;
    return f;
}

bool IsValidPCMFormat(const WAVEFORMATEX* f) {
    return f && f->wFormatTag == WAVE_FORMAT_PCM &&
           (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) &&
           (f->nChannels == 1 || f->nChannels == 2) && f->nSamplesPerSec >= 4000 &&
           f->nSamplesPerSec <= 100000;
}

bool WaveFormatsDiffer(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
    if (!a || !b) return true;
    return a->wFormatTag != b->wFormatTag || a->wBitsPerSample != b->wBitsPerSample ||
           a->nChannels != b->nChannels || a->nSamplesPerSec != b->nSamplesPerSec;
}

int64_t MulDivRound(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return 0;
    const int64_t product = a * b;
    return product / c + (2 * (product % c)) / c;
}

namespace {
int64_t RoundUpToBlock(int64_t bytes, uint16_t blockAlign) {
    if (blockAlign == 0) return bytes;
    const int64_t rest = bytes % blockAlign;
    return rest == 0 ? bytes : bytes + (blockAlign - rest);
}
}  // namespace

int64_t BytesToSamples(const WAVEFORMATEX& f, int64_t bytes) {
    return MulDivRound(bytes, f.nSamplesPerSec, f.nAvgBytesPerSec);
}

int64_t BytesToMilliseconds(const WAVEFORMATEX& f, int64_t bytes) {
    return MulDivRound(bytes, 1000, f.nAvgBytesPerSec);
}

int64_t SamplesToBytes(const WAVEFORMATEX& f, int64_t samples) {
    return RoundUpToBlock(MulDivRound(samples, f.nAvgBytesPerSec, f.nSamplesPerSec), f.nBlockAlign);
}

int64_t MillisecondsToBytes(const WAVEFORMATEX& f, int64_t milliseconds) {
    return RoundUpToBlock(MulDivRound(milliseconds, f.nAvgBytesPerSec, 1000), f.nBlockAlign);
}

}  // namespace zt
