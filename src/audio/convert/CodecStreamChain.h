#pragma once
// The conversion engine between two formats: the planner that finds a path
// of single-driver steps through the codec manager, and the chain of codec
// streams that runs it.
//
// A chain is built once (every stream, header and buffer is allocated by
// Build) and then converts in place: new input goes into InputArea(), each
// stage's destination buffer is the next stage's source buffer, and the
// last stage's destination is the output area. Source bytes a stage could
// not take yet (a part of a block) stay at the front of its source buffer
// and are converted with the next input.
//
// Threads: the planner may run on any thread. A chain has no lock: its
// owner serialises every call (the converter's pump worker, or a connector
// under its own lock).

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/chain/WaveFormat.h"
#include "audio/convert/codecs/CodecManager.h"

namespace zt {

// cqHigh opens the codec streams for non-real-time (best quality)
// conversion, cqLow for real-time conversion.
enum class TMMConvertQuality { cqHigh, cqLow };

// The formats a conversion from `source` passes through, ending with
// `dest` itself: one entry per stage. Empty when the formats do not differ
// (tag, bits, channels, rate); nullopt when there is no path (or no
// source, or no destination for a differing pair).
std::optional<std::vector<WaveFormatPtr>> PlanConversion(const WAVEFORMATEX* source,
                                                         const WAVEFORMATEX* dest,
                                                         TMMConvertQuality quality);
// Whether PlanConversion finds a path (or nothing to do).
bool CanConvert(const WAVEFORMATEX* source, const WAVEFORMATEX* dest, TMMConvertQuality quality);

class CodecStreamChain {
public:
    // The largest input piece a converter hands over at once.
    static constexpr uint32_t kMaxChunk = 8192;

    // Opens one stream per planned stage. nullptr when the formats do not
    // differ, when there is no path, or when a stage cannot be opened (the
    // stages opened so far are released again). `chunkBytes` is rounded
    // down to whole blocks of the source format (at least one block).
    static std::unique_ptr<CodecStreamChain> Build(const WAVEFORMATEX& source,
                                                   const WAVEFORMATEX& dest,
                                                   TMMConvertQuality quality, uint32_t chunkBytes);
    ~CodecStreamChain();
    CodecStreamChain(const CodecStreamChain&) = delete;
    CodecStreamChain& operator=(const CodecStreamChain&) = delete;

    size_t StageCount() const { return stages_.size(); }
    const WAVEFORMATEX& StageSource(size_t i) const { return *stages_.at(i).from; }
    const WAVEFORMATEX& StageDest(size_t i) const { return *stages_.at(i).to; }

    // Input piece size in bytes, a multiple of the source's block align.
    uint32_t ChunkSize() const { return chunk_; }
    // Where the next input goes (after any bytes left over from the last
    // call), and how much fits there (at least ChunkSize()).
    uint8_t* InputArea();
    uint32_t InputRoom() const;

    // Converts `bytes` new input bytes (already copied to InputArea(),
    // at most InputRoom()) through every stage with block alignment. The
    // output replaces the previous output and the read position goes back
    // to 0. Returns the output length, or -1 when a codec call fails.
    int64_t Convert(uint32_t bytes);
    // The end of the signal: every stage converts what it holds and drains
    // its codec. Returns the output length or -1.
    int64_t Flush();
    // Drops leftovers, output and every codec's history.
    void Reset();

    // Output not yet read, and taking it.
    const uint8_t* OutputData() const { return output_ + readPosition_; }
    uint32_t OutputAvailable() const { return outputLength_ - readPosition_; }
    void Consume(uint32_t bytes);
    // Makes the unread output read.
    void DropOutput() { readPosition_ = outputLength_; }

    // Some stage kept source bytes for the next call.
    bool HoldsLeftover() const { return holdsLeftover_; }
    // Some stage consumed input without producing anything yet (a
    // resampler filling its filter, a part of a block).
    bool NeedsMore() const { return needsMore_; }
    // The last Flush could not hand out everything; flush again.
    bool FlushPending() const { return flushPending_; }

private:
    struct Stage {
        WaveFormatPtr from, to;
        std::unique_ptr<acm::Stream> stream;
        acm::StreamHeader header;
        uint8_t* source = nullptr;  // own block (first stage) or the previous destination
        uint32_t sourceCapacity = 0;
        std::unique_ptr<uint8_t[]> ownSource;
        std::unique_ptr<uint8_t[]> dest;
        uint32_t destCapacity = 0;
        uint32_t leftover = 0;  // source bytes kept at the front of `source`
    };

    CodecStreamChain() = default;
    int64_t Run(uint32_t newBytes, uint32_t flags);

    std::vector<Stage> stages_;
    uint32_t chunk_ = 0;
    const uint8_t* output_ = nullptr;
    uint32_t outputLength_ = 0;
    uint32_t readPosition_ = 0;
    bool holdsLeftover_ = false;
    bool needsMore_ = false;
    bool flushPending_ = false;
};

}  // namespace zt
