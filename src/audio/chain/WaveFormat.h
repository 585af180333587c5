#pragma once
// The sample format record every audio component exchanges, the stream
// buffer record, and the unit conversions between bytes, samples and
// milliseconds. The layouts match the RIFF/WAVE on-disk records byte for
// byte, so a format can be written to or read from a file as it stands.
//
// Threads: plain data and pure functions; no shared state.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zt {

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;  // bytes of codec data that follow (non-PCM only)
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

using PWaveFormatEx = WAVEFORMATEX*;

// An owned format copy: exactly WaveFormatSize bytes, allocated with calloc
// so the codec data that follows the 18-byte head travels with it.
struct WaveFormatFree {
    void operator()(WAVEFORMATEX* p) const noexcept { std::free(p); }
};
using WaveFormatPtr = std::unique_ptr<WAVEFORMATEX, WaveFormatFree>;

// 18 for PCM, 18 + cbSize otherwise. nullptr gives 0.
uint32_t WaveFormatSize(const WAVEFORMATEX* format);

// A copy of exactly WaveFormatSize bytes (zero-filled first); for PCM the
// copy's cbSize is forced to 0. nullptr gives an empty pointer.
WaveFormatPtr CopyWaveFormat(const WAVEFORMATEX* format);

// Tag 1, block align = channels * bits / 8, bytes per second = block align
// * rate, cbSize 0.
WAVEFORMATEX MakePCMFormat(uint16_t bits, uint16_t channels, uint32_t rate);

// Tag 1, 8 or 16 bits, 1 or 2 channels, 4000..100000 Hz inclusive.
bool IsValidPCMFormat(const WAVEFORMATEX* format);

// True when either is absent or tag, bits, channels or rate differ.
bool WaveFormatsDiffer(const WAVEFORMATEX* a, const WAVEFORMATEX* b);

// a * b div c + (2 * (a * b mod c)) div c, the product in 64 bits.
// c == 0 gives 0 rather than a crash.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c);

// Unit conversions of a format (see each); a format with a zero rate or
// byte rate converts to 0.
int64_t BytesToSamples(const WAVEFORMATEX& format, int64_t bytes);
int64_t BytesToMilliseconds(const WAVEFORMATEX& format, int64_t bytes);
// Rounded up to a multiple of nBlockAlign.
int64_t SamplesToBytes(const WAVEFORMATEX& format, int64_t samples);
int64_t MillisecondsToBytes(const WAVEFORMATEX& format, int64_t milliseconds);

// Unit in which a component states positions and lengths.
enum class TMMTimeFormats { tfMillisecond, tfByte, tfSample };

// Channel layout as components publish it: channels - 1.
enum class TMMMode { mMono, mStereo, mMultiChannel };
// Bits per sample as components publish them.
enum class TMMBits { b8Bit, b16Bit };

// The platform part of a stream buffer record.
struct WAVEHDR {
    char* lpData;              // the data area
    uint32_t dwBufferLength;   // capacity (pull: bytes wanted)
    uint32_t dwBytesRecorded;  // valid bytes
    uintptr_t dwUser;
    uint32_t dwFlags;  // bit 0 done, bit 1 prepared
    uint32_t dwLoops;
    WAVEHDR* lpNext;
    uintptr_t reserved;
};
inline constexpr uint32_t WHDR_DONE = 0x1;
inline constexpr uint32_t WHDR_PREPARED = 0x2;

// The stream buffer record passed down (push) and up (pull) a chain. A
// sound component allocates header and data area as one zero-filled block,
// the data directly after the header.
struct TStreamBufferHeader {
    WAVEHDR wh;
    TStreamBufferHeader* lpRelated;  // only for the connector's synchronised mode
    int32_t lpLooping;               // BOOL: the requester wants a looping source
    int32_t dwLoopCount;
    int32_t dwLoopsLeft;
    int32_t lpLooped;  // -1 when a source restarted from its beginning
};
using PWaveHdr = TStreamBufferHeader*;

}  // namespace zt
