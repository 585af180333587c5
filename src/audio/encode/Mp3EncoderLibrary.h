#pragma once
// The MP3 encoder library behind the five stream operations the encoder
// component uses (beInitStream, beEncodeChunk, beDeinitStream,
// beCloseStream, beVersion), plus beInfoFrame, which hands out the
// stream's info ("Info"/"Xing") frame once the stream has been flushed.
//
// The encoder is LAME (libmp3lame.so.0), opened with dlopen the first time
// it is asked for and kept loaded until the process ends; every lame_*
// function is looked up by name, so the program starts and runs without the
// library and only an encoder that is opened reports it missing.
//
// Contract of the operations (all return BE_ERR_SUCCESSFUL, 0, on success):
// - beInitStream takes the configuration record and gives the number of
//   16-bit sample values (all channels together) one beEncodeChunk call
//   takes at most, the size the caller's output buffer must have for every
//   call, and a stream handle (never 0).
// - beEncodeChunk encodes up to that many interleaved values and returns
//   the MP3 bytes produced so far, possibly none.
// - beDeinitStream encodes what the encoder still holds and returns the
//   last bytes. The stream takes no more samples afterwards.
// - beInfoFrame, after beDeinitStream, returns the finished info frame. The
//   first frame the stream produced is a placeholder of exactly that size;
//   the caller overwrites it in place so that players learn the exact
//   length and the encoder delay (gapless playback). 0 bytes means the
//   stream has no info frame.
// - beCloseStream releases the stream; the handle is invalid afterwards.
// A handle that is not (or no longer) a live stream gives
// BE_ERR_INVALID_HANDLE instead of touching freed memory.
//
// Configuration mapping: CBR at the record's bit rate; the output sample
// rate is forced to the input rate (LAME would otherwise pick a lower rate
// by itself at low bit rates). The record carries no channel count: mode
// 3 (mono) means a one-channel input, every other mode a two-channel one.
// Mode 0 is plain stereo (left and right coded independently); mode 1 is
// joint stereo, 2 dual channel. Private → the frames' private bit,
// CRC → error protection, copyright and original → those header bits.
//
// Threads: the binding is process-wide and may be used from any thread.
// Stream creation is serialised by a lock (LAME builds shared tables the
// first time); one stream is used by one thread at a time, different
// streams may encode in parallel. The handle registry has its own lock,
// which guards the set of live streams (GUARDED_BY, checked by clang) but
// not a stream's contents.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zt {

using BE_ERR = uint32_t;
inline constexpr BE_ERR BE_ERR_SUCCESSFUL = 0;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT = 1;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 2;
inline constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 3;
inline constexpr BE_ERR BE_ERR_INVALID_HANDLE = 4;
inline constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 5;
inline constexpr BE_ERR BE_ERR_STREAM_FLUSHED = 6;  // no samples after beDeinitStream
inline constexpr BE_ERR BE_ERR_NOT_FLUSHED = 7;     // info frame before beDeinitStream

inline constexpr uint32_t BE_CONFIG_MP3 = 0;

inline constexpr uint8_t BE_MP3_MODE_STEREO = 0;
inline constexpr uint8_t BE_MP3_MODE_JSTEREO = 1;
inline constexpr uint8_t BE_MP3_MODE_DUALCHANNEL = 2;
inline constexpr uint8_t BE_MP3_MODE_MONO = 3;

inline constexpr int32_t BE_TRUE = -1;
inline constexpr int32_t BE_FALSE = 0;

using HBE_STREAM = uintptr_t;

#pragma pack(push, 1)
// The MP3 part of the configuration record.
struct BE_CONFIG_MP3_FORMAT {
    uint32_t dwSampleRate;  // input rate, Hz
    uint8_t byMode;         // BE_MP3_MODE_*
    uint16_t wBitrate;      // kbit/s
    int32_t bPrivate;       // BOOL: BE_TRUE / BE_FALSE
    int32_t bCRC;
    int32_t bCopyright;
    int32_t bOriginal;
};

// The configuration record. Only the MP3 kind exists; the reserved tail
// stays zero and keeps room for other kinds.
struct BE_CONFIG {
    uint32_t dwConfig;  // BE_CONFIG_MP3
    union {
        BE_CONFIG_MP3_FORMAT mp3;
        uint8_t reserved[128];
    } format;
};

// What beVersion reports.
struct BE_VERSION {
    uint8_t byDLLMajorVersion;  // this binding
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion;  // the encoder engine
    uint8_t byMinorVersion;
    char zHomepage[128];  // NUL-terminated
};
#pragma pack(pop)

static_assert(offsetof(BE_CONFIG, dwConfig) == 0);
static_assert(offsetof(BE_CONFIG, format.mp3.dwSampleRate) == 4);
static_assert(offsetof(BE_CONFIG, format.mp3.byMode) == 8);
static_assert(offsetof(BE_CONFIG, format.mp3.wBitrate) == 9);
static_assert(offsetof(BE_CONFIG, format.mp3.bPrivate) == 11);
static_assert(offsetof(BE_CONFIG, format.mp3.bCRC) == 15);
static_assert(offsetof(BE_CONFIG, format.mp3.bCopyright) == 19);
static_assert(offsetof(BE_CONFIG, format.mp3.bOriginal) == 23);
static_assert(sizeof(BE_CONFIG_MP3_FORMAT) == 23);  // 4 + 23 = the 27 bytes filled

// The operations. The LAME binding implements them; a caller may wrap a
// binding (to log or count calls) and hand the wrapper to the component.
class Mp3EncoderLibrary {
public:
    virtual ~Mp3EncoderLibrary() = default;
    virtual BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samplesPerChunk,
                                uint32_t* outBufferSize, HBE_STREAM* stream) = 0;
    virtual BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t nSamples, const int16_t* samples,
                                 uint8_t* output, uint32_t* outputBytes) = 0;
    virtual BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes) = 0;
    virtual BE_ERR beCloseStream(HBE_STREAM stream) = 0;
    virtual BE_ERR beVersion(BE_VERSION* version) = 0;
    // `capacity` is the size of `output`; BE_ERR_BUFFER_TOO_SMALL when the
    // frame does not fit.
    virtual BE_ERR beInfoFrame(HBE_STREAM stream, uint8_t* output, uint32_t capacity,
                               uint32_t* outputBytes) = 0;
};

// The process-wide LAME binding (libmp3lame.so.0), loaded on the first call
// that succeeds and kept for the life of the process; nullptr while the
// library cannot be loaded (each call tries again). Thread-safe.
Mp3EncoderLibrary* SharedMp3EncoderLibrary();

// A LAME binding from the named library file (a name for dlopen's search
// or a path). nullptr when it cannot be loaded or lacks a needed function.
// The library itself stays loaded even after the binding is freed.
std::unique_ptr<Mp3EncoderLibrary> LoadLameEncoderLibrary(const std::string& libraryName);

}  // namespace zt
