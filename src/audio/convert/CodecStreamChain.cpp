#include "audio/convert/CodecStreamChain.h"

#include <algorithm>
#include <cstring>

namespace zt {

namespace {

// No path needs more steps than: codec → PCM, PCM bits, PCM rate and
// channels, PCM → codec.
constexpr int kMaxStages = 4;

uint32_t OpenFlags(TMMConvertQuality quality) {
    return quality == TMMConvertQuality::cqHigh ? uint32_t(acm::OpenNonRealTime) : 0u;
}

bool Converts(const WAVEFORMATEX& s, const WAVEFORMATEX& d, TMMConvertQuality quality) {
    return acm::StreamOpen(nullptr, s, d, acm::OpenQuery | OpenFlags(quality)) == acm::Result::Ok;
}

// The next format on the way from s to d, or nullptr.
WaveFormatPtr Intermediate(const WAVEFORMATEX& s, const WAVEFORMATEX& d,
                           TMMConvertQuality quality) {
    WAVEFORMATEX wanted{};
    if (s.wFormatTag == WAVE_FORMAT_PCM) {
        if (d.nChannels == s.nChannels && d.nSamplesPerSec == s.nSamplesPerSec) {
            // Only the sample size is in the way (the codecs take 16-bit
            // PCM): widen first. 16-bit PCM that still does not convert
            // has no path.
            if (s.wBitsPerSample == 16) return nullptr;
            wanted.wBitsPerSample = 16;
            return acm::SuggestFormat(s, wanted, acm::SuggestBits);
        }
        wanted.nChannels = d.nChannels;
        wanted.nSamplesPerSec = d.nSamplesPerSec;
        WaveFormatPtr r = acm::SuggestFormat(s, wanted, acm::SuggestChannels | acm::SuggestRate);
        if (!r) return nullptr;
        if (!Converts(*r, d, quality)) {
            wanted.wBitsPerSample = r->wBitsPerSample == 16 ? 8 : 16;
            r = acm::SuggestFormat(s, wanted,
                                   acm::SuggestChannels | acm::SuggestRate | acm::SuggestBits);
        }
        return r;
    }
    wanted.wFormatTag = WAVE_FORMAT_PCM;
    wanted.nChannels = d.nChannels;
    wanted.nSamplesPerSec = d.nSamplesPerSec;
    WaveFormatPtr r =
        acm::SuggestFormat(s, wanted, acm::SuggestTag | acm::SuggestChannels | acm::SuggestRate);
    if (!r) r = acm::SuggestFormat(s, wanted, acm::SuggestTag);
    return r;
}

bool Plan(const WAVEFORMATEX& s, const WAVEFORMATEX& d, TMMConvertQuality quality,
          std::vector<WaveFormatPtr>& path) {
    if (static_cast<int>(path.size()) >= kMaxStages) return false;
    if (Converts(s, d, quality)) {
        path.push_back(CopyWaveFormat(&d));
        return true;
    }
    WaveFormatPtr r = Intermediate(s, d, quality);
    if (!r || !Converts(s, *r, quality)) return false;
    if (!WaveFormatsDiffer(r.get(), &d)) {
        // The last step: keep the destination exactly as it was asked for.
        path.push_back(CopyWaveFormat(&d));
        return true;
    }
    const WAVEFORMATEX& next = *r;
    path.push_back(std::move(r));
    return Plan(next, d, quality, path);
}

}  // namespace

std::optional<std::vector<WaveFormatPtr>> PlanConversion(const WAVEFORMATEX* source,
                                                         const WAVEFORMATEX* dest,
                                                         TMMConvertQuality quality) {
    if (acm::Version() < 0x0200 || !source) return std::nullopt;
    std::vector<WaveFormatPtr> path;
    if (!WaveFormatsDiffer(source, dest)) return path;
    if (!dest || !Plan(*source, *dest, quality, path)) return std::nullopt;
    return path;
}

bool CanConvert(const WAVEFORMATEX* source, const WAVEFORMATEX* dest, TMMConvertQuality quality) {
    return PlanConversion(source, dest, quality).has_value();
}

// ---- chain --------------------------------------------------------------------

std::unique_ptr<CodecStreamChain> CodecStreamChain::Build(const WAVEFORMATEX& source,
                                                          const WAVEFORMATEX& dest,
                                                          TMMConvertQuality quality,
                                                          uint32_t chunkBytes) {
    std::optional<std::vector<WaveFormatPtr>> plan = PlanConversion(&source, &dest, quality);
    if (!plan || plan->empty()) return nullptr;

    std::unique_ptr<CodecStreamChain> chain(new CodecStreamChain);
    const uint32_t block = std::max<uint32_t>(source.nBlockAlign, 1);
    chain->chunk_ = std::max(chunkBytes - chunkBytes % block, block);

    const WAVEFORMATEX* from = &source;
    uint8_t* previousDest = nullptr;
    uint32_t previousCapacity = 0;
    chain->stages_.reserve(plan->size());
    for (WaveFormatPtr& to : *plan) {
        Stage& st = chain->stages_.emplace_back();
        st.from = CopyWaveFormat(from);
        st.to = std::move(to);
        if (acm::StreamOpen(&st.stream, *st.from, *st.to, OpenFlags(quality)) != acm::Result::Ok)
            return nullptr;
        if (previousDest) {
            st.source = previousDest;
            st.sourceCapacity = previousCapacity;
        } else {
            // Room for the pieces a stage keeps besides a whole new chunk.
            st.sourceCapacity = 4 * chain->chunk_;
            st.ownSource = std::make_unique<uint8_t[]>(st.sourceCapacity);
            st.source = st.ownSource.get();
        }
        uint32_t destSize = 0;
        if (st.stream->Size(st.sourceCapacity, acm::SizeQuery::DestForSource, destSize) !=
                acm::Result::Ok ||
            destSize == 0)
            return nullptr;
        // Twice the size: the next stage keeps its leftover at the front of
        // this buffer, and the new output goes after it.
        st.destCapacity = std::max<uint32_t>(2 * destSize, destSize + 4096);
        st.dest = std::make_unique<uint8_t[]>(st.destCapacity);
        st.header.source = st.source;
        st.header.sourceLength = st.sourceCapacity;
        st.header.dest = st.dest.get();
        st.header.destLength = st.destCapacity;
        if (st.stream->Prepare(st.header) != acm::Result::Ok) return nullptr;
        previousDest = st.dest.get();
        previousCapacity = st.destCapacity;
        from = st.to.get();
    }
    chain->output_ = chain->stages_.back().dest.get();
    return chain;
}

CodecStreamChain::~CodecStreamChain() {
    for (Stage& st : stages_)
        if (st.stream && (st.header.status & acm::HeaderPrepared)) st.stream->Unprepare(st.header);
}

uint8_t* CodecStreamChain::InputArea() {
    Stage& first = stages_.front();
    return first.source + first.leftover;
}

uint32_t CodecStreamChain::InputRoom() const {
    const Stage& first = stages_.front();
    return first.sourceCapacity - first.leftover;
}

void CodecStreamChain::Consume(uint32_t bytes) {
    readPosition_ = std::min(outputLength_, readPosition_ + bytes);
}

int64_t CodecStreamChain::Convert(uint32_t bytes) {
    return Run(std::min(bytes, InputRoom()), acm::ConvertBlockAlign);
}

int64_t CodecStreamChain::Flush() {
    return Run(0, acm::ConvertEnd);
}

void CodecStreamChain::Reset() {
    for (Stage& st : stages_) {
        st.header.source = st.source;
        st.header.sourceLength = 0;
        st.header.dest = st.dest.get();
        st.header.destLength = st.destCapacity;
        st.stream->Convert(st.header, acm::ConvertStart | acm::ConvertEnd);
        st.leftover = 0;
    }
    outputLength_ = readPosition_ = 0;
    holdsLeftover_ = needsMore_ = flushPending_ = false;
}

int64_t CodecStreamChain::Run(uint32_t newBytes, uint32_t flags) {
    holdsLeftover_ = needsMore_ = flushPending_ = false;
    outputLength_ = readPosition_ = 0;
    uint32_t length = stages_.front().leftover + newBytes;
    for (size_t i = 0; i < stages_.size(); ++i) {
        Stage& st = stages_[i];
        // The next stage's leftover stays in front of this stage's output.
        const uint32_t kept = i + 1 < stages_.size() ? stages_[i + 1].leftover : 0;
        st.header.source = st.source;
        st.header.sourceLength = length;
        st.header.dest = st.dest.get() + kept;
        st.header.destLength = st.destCapacity - kept;
        if (st.stream->Convert(st.header, flags) != acm::Result::Ok) return -1;
        const uint32_t used = std::min(st.header.sourceUsed, length);
        const uint32_t produced = st.header.destUsed;
        st.leftover = length - used;
        if (st.leftover) {
            std::memmove(st.source, st.source + used, st.leftover);
            holdsLeftover_ = true;
        }
        if (produced == 0 && used > 0) needsMore_ = true;
        if ((flags & acm::ConvertEnd) && produced == st.header.destLength) flushPending_ = true;
        length = kept + produced;
    }
    outputLength_ = length;
    return outputLength_;
}

}  // namespace zt
