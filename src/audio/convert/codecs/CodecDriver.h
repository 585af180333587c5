#pragma once
// The driver interface behind the codec manager (CodecManager.h) and the
// per-stream engine a driver opens. Only the codec manager and the drivers
// include this file.
//
// Threads: a driver is immutable after construction and may be asked from
// any thread. An engine belongs to the one Stream that owns it.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/convert/codecs/CodecManager.h"

namespace zt::acm {

// One open conversion inside a driver. The manager has checked the
// buffers; an engine only converts.
class StreamEngine {
public:
    virtual ~StreamEngine() = default;
    // Converts from `source` into `dest` under the ConvertFlags in `flags`
    // and reports the bytes consumed and produced. Never writes past
    // destLength: when the destination is full, less source is consumed.
    virtual Result Convert(const uint8_t* source, uint32_t sourceLength, uint32_t& sourceUsed,
                           uint8_t* dest, uint32_t destLength, uint32_t& destUsed,
                           uint32_t flags) = 0;
    virtual uint32_t DestSizeFor(uint32_t sourceBytes) const = 0;
    virtual uint32_t SourceSizeFor(uint32_t destBytes) const = 0;
    virtual void Reset() = 0;
};

enum class DriverKind { Codec, Converter };

class Driver {
public:
    virtual ~Driver() = default;
    virtual DriverKind Kind() const = 0;
    virtual std::vector<FormatTagDetails> Tags() const = 0;
    // The formats offered for one of this driver's tags (see EnumFormats).
    virtual std::vector<WaveFormatPtr> Formats(uint16_t tag) const = 0;
    // Whether this driver converts source → dest in one step.
    virtual bool Converts(const WAVEFORMATEX& source, const WAVEFORMATEX& dest) const = 0;
    // A format this driver converts `source` into, keeping the wanted
    // fields, or nullptr.
    virtual WaveFormatPtr Suggest(const WAVEFORMATEX& source, const WAVEFORMATEX& wanted,
                                  uint32_t fields) const = 0;
    // Called only for a pair that Converts accepts. nullptr when the codec
    // library refuses.
    virtual std::unique_ptr<StreamEngine> Open(const WAVEFORMATEX& source, const WAVEFORMATEX& dest,
                                               bool nonRealTime) const = 0;
};

// The drivers, each defined in its own file.
std::unique_ptr<Driver> MakePcmDriver();
std::unique_ptr<Driver> MakeGsmDriver();
std::unique_ptr<Driver> MakeG711Driver();

// ---- helpers shared by the drivers ----------------------------------------

// The rates the drivers offer in the chooser.
inline constexpr uint32_t kOfferedCodecRates[] = {8000, 11025, 22050, 44100};
// PCM the drivers accept: 8 or 16 bits, 1 or 2 channels, these rates, and a
// block align and byte rate that agree with them.
inline constexpr uint32_t kMinRate = 8000;
inline constexpr uint32_t kMaxRate = 96000;
bool IsUsablePCM(const WAVEFORMATEX& format);
// Whether `candidate` keeps the fields of `wanted` named in `fields`.
bool KeepsWanted(const WAVEFORMATEX& candidate, const WAVEFORMATEX& wanted, uint32_t fields);
// An owned copy of a format held by value.
WaveFormatPtr CopyOf(const WAVEFORMATEX& format);

}  // namespace zt::acm
