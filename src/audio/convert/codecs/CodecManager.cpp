#include "audio/convert/codecs/CodecManager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/convert/codecs/CodecDriver.h"

namespace zt::acm {

namespace {

// Table order matters: a suggestion takes the first driver that answers,
// so PCM (the converter) comes first.
const std::vector<std::unique_ptr<Driver>>& Drivers() {
    static const auto* drivers = [] {
        auto* table = new std::vector<std::unique_ptr<Driver>>;
        table->push_back(MakePcmDriver());
        table->push_back(MakeGsmDriver());
        table->push_back(MakeG711Driver());
        return table;
    }();
    return *drivers;
}

// The least a format must hold before any driver looks at it.
bool IsSane(const WAVEFORMATEX& f) {
    return f.nChannels > 0 && f.nSamplesPerSec > 0 && f.nBlockAlign > 0;
}

const Driver* DriverFor(const WAVEFORMATEX& source, const WAVEFORMATEX& dest) {
    for (const auto& d : Drivers())
        if (d->Converts(source, dest)) return d.get();
    return nullptr;
}

bool Inside(const uint8_t* p, uint32_t length, const uint8_t* area, uint32_t areaLength) {
    if (length == 0) return true;
    if (!p || !area || p < area) return false;
    const auto offset = static_cast<size_t>(p - area);
    return offset <= areaLength && length <= areaLength - offset;
}

}  // namespace

// ---- shared helpers ---------------------------------------------------------

bool IsUsablePCM(const WAVEFORMATEX& f) {
    if (f.wFormatTag != kTagPCM) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nChannels != 1 && f.nChannels != 2) return false;
    if (f.nSamplesPerSec < kMinRate || f.nSamplesPerSec > kMaxRate) return false;
    const uint32_t block = f.nChannels * f.wBitsPerSample / 8u;
    return f.nBlockAlign == block && f.nAvgBytesPerSec == block * f.nSamplesPerSec;
}

bool KeepsWanted(const WAVEFORMATEX& c, const WAVEFORMATEX& w, uint32_t fields) {
    if ((fields & SuggestTag) && c.wFormatTag != w.wFormatTag) return false;
    if ((fields & SuggestChannels) && c.nChannels != w.nChannels) return false;
    if ((fields & SuggestRate) && c.nSamplesPerSec != w.nSamplesPerSec) return false;
    if ((fields & SuggestBits) && c.wBitsPerSample != w.wBitsPerSample) return false;
    return true;
}

WaveFormatPtr CopyOf(const WAVEFORMATEX& format) {
    return CopyWaveFormat(&format);
}

// ---- manager ------------------------------------------------------------------

const char* ResultText(Result result) {
    switch (result) {
        case Result::Ok:
            return "no error";
        case Result::Error:
            return "codec failure";
        case Result::InvalidHandle:
            return "invalid stream";
        case Result::InvalidFlag:
            return "invalid flag";
        case Result::InvalidParam:
            return "invalid parameter";
        case Result::NotPossible:
            return "conversion not possible";
        case Result::Unprepared:
            return "header not prepared";
    }
    return "unknown result";
}

uint32_t Version() {
    return 0x0200;
}

Metrics GetMetrics() {
    Metrics m;
    for (const auto& d : Drivers()) {
        ++m.drivers;
        if (d->Kind() == DriverKind::Codec) ++m.codecs;
        if (d->Kind() == DriverKind::Converter) ++m.converters;
        for (const FormatTagDetails& t : d->Tags())
            for (const WaveFormatPtr& f : d->Formats(t.tag))
                m.maxFormatSize = std::max(m.maxFormatSize, WaveFormatSize(f.get()));
    }
    return m;
}

std::vector<FormatTagDetails> EnumFormatTags() {
    std::vector<FormatTagDetails> tags;
    for (const auto& d : Drivers())
        for (FormatTagDetails& t : d->Tags()) tags.push_back(std::move(t));
    return tags;
}

std::vector<WaveFormatPtr> EnumFormats(uint16_t tag) {
    for (const auto& d : Drivers())
        for (const FormatTagDetails& t : d->Tags())
            if (t.tag == tag) return d->Formats(tag);
    return {};
}

std::string DescribeFormat(const WAVEFORMATEX& f) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%u.%03u kHz", f.nSamplesPerSec / 1000,
                  f.nSamplesPerSec % 1000);
    const char* channels = f.nChannels == 1 ? "Mono" : f.nChannels == 2 ? "Stereo" : "Multi";
    char text[96];
    if (f.wFormatTag == kTagPCM)
        std::snprintf(text, sizeof text, "%s, %u Bit, %s", rate, unsigned(f.wBitsPerSample),
                      channels);
    else
        std::snprintf(text, sizeof text, "%s, %s, %u KB/s", rate, channels,
                      f.nAvgBytesPerSec / 1024);
    return text;
}

WaveFormatPtr SuggestFormat(const WAVEFORMATEX& source, const WAVEFORMATEX& wanted,
                            uint32_t fields) {
    if (!IsSane(source)) return nullptr;
    for (const auto& d : Drivers())
        if (WaveFormatPtr f = d->Suggest(source, wanted, fields)) return f;
    return nullptr;
}

Result StreamOpen(std::unique_ptr<Stream>* stream, const WAVEFORMATEX& source,
                  const WAVEFORMATEX& dest, uint32_t flags) {
    if (flags & ~uint32_t(OpenQuery | OpenNonRealTime)) return Result::InvalidFlag;
    if (!IsSane(source) || !IsSane(dest)) return Result::InvalidParam;
    const Driver* driver = DriverFor(source, dest);
    if (!driver) return Result::NotPossible;
    if (flags & OpenQuery) return Result::Ok;
    if (!stream) return Result::InvalidParam;
    std::unique_ptr<StreamEngine> engine = driver->Open(source, dest, flags & OpenNonRealTime);
    if (!engine) return Result::Error;
    *stream = std::make_unique<Stream>(std::move(engine));
    return Result::Ok;
}

// ---- stream -------------------------------------------------------------------

Stream::Stream(std::unique_ptr<StreamEngine> engine) : engine_(std::move(engine)) {}
Stream::~Stream() = default;

Result Stream::Size(uint32_t bytes, SizeQuery query, uint32_t& result) const {
    if (!engine_) return Result::InvalidHandle;
    result = query == SizeQuery::DestForSource ? engine_->DestSizeFor(bytes)
                                               : engine_->SourceSizeFor(bytes);
    return Result::Ok;
}

Result Stream::Prepare(StreamHeader& h) {
    if (!engine_) return Result::InvalidHandle;
    if (!h.source || h.sourceLength == 0 || !h.dest || h.destLength == 0)
        return Result::InvalidParam;
    h.preparedSource = h.source;
    h.preparedSourceLength = h.sourceLength;
    h.preparedDest = h.dest;
    h.preparedDestLength = h.destLength;
    h.status = HeaderPrepared;
    return Result::Ok;
}

Result Stream::Unprepare(StreamHeader& h) {
    if (!engine_) return Result::InvalidHandle;
    if (!(h.status & HeaderPrepared)) return Result::Unprepared;
    h.preparedSource = h.preparedDest = nullptr;
    h.preparedSourceLength = h.preparedDestLength = 0;
    h.status = 0;
    return Result::Ok;
}

Result Stream::Convert(StreamHeader& h, uint32_t flags) {
    if (!engine_) return Result::InvalidHandle;
    if (flags & ~uint32_t(ConvertBlockAlign | ConvertStart | ConvertEnd))
        return Result::InvalidFlag;
    if (!(h.status & HeaderPrepared)) return Result::Unprepared;
    if (!Inside(h.source, h.sourceLength, h.preparedSource, h.preparedSourceLength) ||
        !Inside(h.dest, h.destLength, h.preparedDest, h.preparedDestLength))
        return Result::InvalidParam;
    h.status &= ~uint32_t(HeaderDone);
    h.sourceUsed = h.destUsed = 0;
    if (flags & ConvertStart) engine_->Reset();
    const Result r = engine_->Convert(h.source, h.sourceLength, h.sourceUsed, h.dest, h.destLength,
                                      h.destUsed, flags);
    h.status |= HeaderDone;
    return r;
}

Result Stream::Reset() {
    if (!engine_) return Result::InvalidHandle;
    engine_->Reset();
    return Result::Ok;
}

}  // namespace zt::acm
