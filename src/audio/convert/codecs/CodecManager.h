#pragma once
// The recorder's own codec manager: an in-process table of codec drivers
// (PCM, GSM 6.10, A-law, µ-law), with format enumeration and suggestion and
// stream conversion between two formats.
//
// A driver converts only what it can in one step: the PCM driver changes
// bits, channels and rate of PCM; the GSM 6.10 driver encodes 16-bit mono
// PCM to GSM at the same rate and decodes it back; the A-law and µ-law
// driver encodes 16-bit PCM to 8-bit law at the same rate and channels and
// decodes it back. Conversions that need several steps are planned by the
// caller (see audio/convert/CodecStreamChain.h) from format suggestions and
// query-only opens.
//
// Results: every operation that can fail returns a Result code; nothing
// throws except std::bad_alloc.
//
// Threads: the driver table is built once and never changes; every free
// function may be called from any thread at the same time. A Stream
// belongs to one thread at a time (the caller serialises its use); streams
// share nothing with each other.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/chain/WaveFormat.h"

namespace zt::acm {

inline constexpr uint16_t kTagPCM = 1;
inline constexpr uint16_t kTagALaw = 6;
inline constexpr uint16_t kTagMuLaw = 7;
inline constexpr uint16_t kTagGSM610 = 0x31;

// GSM 6.10 in WAV framing: two 160-sample frames packed into 65 bytes.
inline constexpr uint16_t kGsmSamplesPerBlock = 320;
inline constexpr uint16_t kGsmBlockAlign = 65;

enum class Result : uint32_t {
    Ok = 0,
    Error = 1,          // a codec library failed
    InvalidHandle = 5,  // no stream
    InvalidFlag = 10,
    InvalidParam = 11,  // a format or header that makes no sense
    NotPossible = 512,  // no driver converts or suggests that
    Unprepared = 514,   // a header used before Prepare / after Unprepare
};

// Short English text of a result, for messages and test output.
const char* ResultText(Result result);

// (major << 8) | minor: 0x0200 is version 2.00.
uint32_t Version();

struct Metrics {
    int drivers = 0;             // every driver
    int codecs = 0;              // drivers that change the format tag
    int converters = 0;          // drivers that change PCM within its tag
    int filters = 0;             // none: no driver alters sound within one format
    uint32_t maxFormatSize = 0;  // largest WaveFormatSize of any format a driver offers
    uint32_t maxFilterSize = 0;
};
Metrics GetMetrics();

// ---- enumeration (the format chooser) -------------------------------------

struct FormatTagDetails {
    uint16_t tag;
    std::string name;  // "PCM", "GSM 6.10", "CCITT A-Law", "CCITT u-Law"
};
// Every tag some driver offers, PCM first.
std::vector<FormatTagDetails> EnumFormatTags();
// Every format offered for `tag`, in ascending rate, mono before stereo
// (then fewer bits first); empty for an unknown tag. Each one can be
// produced from 16-bit PCM (directly or through intermediate formats).
std::vector<WaveFormatPtr> EnumFormats(uint16_t tag);
// The chooser's text for a format: "8.000 kHz, 16 Bit, Mono" for PCM,
// "8.000 kHz, Mono, 1 KB/s" for the codecs.
std::string DescribeFormat(const WAVEFORMATEX& format);

// ---- suggestion -------------------------------------------------------------

// Which fields of the wanted format a suggestion must keep.
enum SuggestFields : uint32_t {
    SuggestTag = 0x00010000,
    SuggestChannels = 0x00020000,
    SuggestRate = 0x00040000,
    SuggestBits = 0x00080000,
};

// A format that one driver converts `source` into directly, with the
// fields named in `fields` taken from `wanted` (the other fields chosen by
// the driver), or nullptr (NotPossible) when no driver can. Drivers are
// asked in table order, so an untagged suggestion from PCM is PCM and one
// from a codec format is its 16-bit PCM decoding.
WaveFormatPtr SuggestFormat(const WAVEFORMATEX& source, const WAVEFORMATEX& wanted,
                            uint32_t fields);

// ---- streams ----------------------------------------------------------------

enum OpenFlags : uint32_t {
    OpenQuery = 0x1,        // only ask whether the pair converts; no stream
    OpenNonRealTime = 0x4,  // best quality, time does not matter
};

enum ConvertFlags : uint32_t {
    // Consume only whole source blocks; the rest stays with the caller
    // (sourceUsed says how much was taken).
    ConvertBlockAlign = 0x4,
    // The first data of a new signal: all state of the stream is reset first.
    ConvertStart = 0x10,
    // The last data of the signal: everything is consumed and drained (a
    // resampler's tail, a GSM block padded with silence).
    ConvertEnd = 0x20,
};

enum HeaderStatus : uint32_t {
    HeaderDone = 0x1,
    HeaderPrepared = 0x2,
};

// The record of one conversion call. The caller fills the buffers and
// lengths; Convert fills sourceUsed, destUsed and the done bit. Prepare
// records the two areas; a later Convert may use any part of them.
struct StreamHeader {
    uint8_t* source = nullptr;
    uint32_t sourceLength = 0;
    uint32_t sourceUsed = 0;
    uint8_t* dest = nullptr;
    uint32_t destLength = 0;
    uint32_t destUsed = 0;
    uint32_t status = 0;
    // Set by Prepare.
    const uint8_t* preparedSource = nullptr;
    uint32_t preparedSourceLength = 0;
    const uint8_t* preparedDest = nullptr;
    uint32_t preparedDestLength = 0;
};

enum class SizeQuery {
    DestForSource,  // destination bytes a conversion of n source bytes may need
    SourceForDest,  // source bytes whose conversion fits into n destination bytes
};

class StreamEngine;

// An open conversion from one format to another.
class Stream {
public:
    explicit Stream(std::unique_ptr<StreamEngine> engine);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    Result Size(uint32_t bytes, SizeQuery query, uint32_t& result) const;
    // InvalidParam for a missing or empty buffer.
    Result Prepare(StreamHeader& header);
    Result Unprepare(StreamHeader& header);
    // Synchronous: the done bit is set before it returns. Unprepared for a
    // header that was not prepared; InvalidParam when the buffers lie
    // outside the prepared areas.
    Result Convert(StreamHeader& header, uint32_t flags);
    // Drops every internal state (held samples, codec history).
    Result Reset();

private:
    std::unique_ptr<StreamEngine> engine_;
};

// Opens a conversion source → dest. With OpenQuery only the answer is
// given (`stream` may be null and is left alone); otherwise `*stream`
// receives the stream. NotPossible when no driver converts the pair in one
// step, InvalidParam for a format that is not self-consistent.
Result StreamOpen(std::unique_ptr<Stream>* stream, const WAVEFORMATEX& source,
                  const WAVEFORMATEX& dest, uint32_t flags);
// Closing is destroying; kept for symmetry with StreamOpen.
inline void StreamClose(std::unique_ptr<Stream>& stream) {
    stream.reset();
}

}  // namespace zt::acm
