// A-law (tag 6) and µ-law (tag 7): 8-bit companded codes from and to
// 16-bit PCM with the same rate and channels.

#include "audio/convert/codecs/G711Driver.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "audio/convert/codecs/CodecDriver.h"

namespace zt::acm {

namespace {

// Upper ends of the eight segments, on the scale each law encodes from.
constexpr int16_t kALawSegmentEnds[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
constexpr int16_t kMuLawSegmentEnds[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
constexpr int kMuLawBias = 0x84;
constexpr int kMuLawClip = 8159;

int Segment(int value, const int16_t (&ends)[8]) {
    for (int i = 0; i < 8; ++i)
        if (value <= ends[i]) return i;
    return 8;
}

bool IsLawTag(uint16_t tag) {
    return tag == kTagALaw || tag == kTagMuLaw;
}

bool IsLaw(const WAVEFORMATEX& f) {
    return IsLawTag(f.wFormatTag) && f.wBitsPerSample == 8 &&
           (f.nChannels == 1 || f.nChannels == 2) && f.nBlockAlign == f.nChannels &&
           f.nSamplesPerSec >= kMinRate && f.nSamplesPerSec <= kMaxRate;
}

bool IsLawPcm(const WAVEFORMATEX& f) {
    return IsUsablePCM(f) && f.wBitsPerSample == 16;
}

WAVEFORMATEX MakeLawFormat(uint16_t tag, uint16_t channels, uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate * channels;
    f.nBlockAlign = channels;
    f.wBitsPerSample = 8;
    f.cbSize = 0;
    return f;
}

class LawEngine : public StreamEngine {
public:
    LawEngine(uint16_t tag, bool encode, uint16_t channels) : encode_(encode), channels_(channels) {
        for (int c = 0; c < 256; ++c)
            decoded_[c] = tag == kTagALaw ? ALawToLinear(uint8_t(c)) : MuLawToLinear(uint8_t(c));
        toCode_ = tag == kTagALaw ? &LinearToALaw : &LinearToMuLaw;
    }

    Result Convert(const uint8_t* source, uint32_t sourceLength, uint32_t& sourceUsed,
                   uint8_t* dest, uint32_t destLength, uint32_t& destUsed,
                   uint32_t flags) override {
        const uint32_t linearFrame = 2u * channels_, codeFrame = channels_;
        uint32_t frames;
        if (encode_) {
            frames = std::min(sourceLength / linearFrame, destLength / codeFrame);
            for (uint32_t i = 0; i < frames * channels_; ++i) {
                int16_t s;
                std::memcpy(&s, source + 2 * i, 2);
                dest[i] = toCode_(s);
            }
            sourceUsed = frames * linearFrame;
            destUsed = frames * codeFrame;
        } else {
            frames = std::min(sourceLength / codeFrame, destLength / linearFrame);
            for (uint32_t i = 0; i < frames * channels_; ++i)
                std::memcpy(dest + 2 * i, &decoded_[source[i]], 2);
            sourceUsed = frames * codeFrame;
            destUsed = frames * linearFrame;
        }
        // At the end a trailing piece of a frame can never be converted.
        const uint32_t inFrame = encode_ ? linearFrame : codeFrame;
        if ((flags & ConvertEnd) && sourceLength - sourceUsed < inFrame) sourceUsed = sourceLength;
        return Result::Ok;
    }

    uint32_t DestSizeFor(uint32_t sourceBytes) const override {
        const uint32_t frames = encode_ ? sourceBytes / (2u * channels_) : sourceBytes / channels_;
        return encode_ ? frames * channels_ : frames * 2u * channels_;
    }
    uint32_t SourceSizeFor(uint32_t destBytes) const override {
        const uint32_t frames = encode_ ? destBytes / channels_ : destBytes / (2u * channels_);
        return encode_ ? frames * 2u * channels_ : frames * channels_;
    }
    void Reset() override {}

private:
    const bool encode_;
    const uint16_t channels_;
    std::array<int16_t, 256> decoded_{};
    uint8_t (*toCode_)(int16_t) = nullptr;
};

class G711Driver : public Driver {
public:
    DriverKind Kind() const override { return DriverKind::Codec; }

    std::vector<FormatTagDetails> Tags() const override {
        return {{kTagALaw, "CCITT A-Law"}, {kTagMuLaw, "CCITT u-Law"}};
    }

    std::vector<WaveFormatPtr> Formats(uint16_t tag) const override {
        std::vector<WaveFormatPtr> list;
        if (!IsLawTag(tag)) return list;
        for (uint32_t rate : kOfferedCodecRates)
            for (uint16_t channels : {1, 2})
                list.push_back(CopyOf(MakeLawFormat(tag, channels, rate)));
        return list;
    }

    bool Converts(const WAVEFORMATEX& s, const WAVEFORMATEX& d) const override {
        if (s.nSamplesPerSec != d.nSamplesPerSec || s.nChannels != d.nChannels) return false;
        return (IsLawPcm(s) && IsLaw(d)) || (IsLaw(s) && IsLawPcm(d));
    }

    WaveFormatPtr Suggest(const WAVEFORMATEX& s, const WAVEFORMATEX& w,
                          uint32_t fields) const override {
        WaveFormatPtr f;
        if (IsLawPcm(s) && (fields & SuggestTag) && IsLawTag(w.wFormatTag))
            f = CopyOf(MakeLawFormat(w.wFormatTag, s.nChannels, s.nSamplesPerSec));
        else if (IsLaw(s))
            f = CopyOf(MakePCMFormat(16, s.nChannels, s.nSamplesPerSec));
        return f && KeepsWanted(*f, w, fields) ? std::move(f) : nullptr;
    }

    std::unique_ptr<StreamEngine> Open(const WAVEFORMATEX& s, const WAVEFORMATEX& d,
                                       bool) const override {
        const bool encode = s.wFormatTag == kTagPCM;
        return std::make_unique<LawEngine>(encode ? d.wFormatTag : s.wFormatTag, encode,
                                           s.nChannels);
    }
};

}  // namespace

// The linear sample is taken on a 13-bit scale; codes carry a sign bit,
// three segment bits and four step bits, with the even bits inverted.
uint8_t LinearToALaw(int16_t sample) {
    int value = sample >> 3;
    uint8_t mask;
    if (value >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        value = -value - 1;
    }
    const int seg = Segment(value, kALawSegmentEnds);
    if (seg >= 8) return uint8_t(0x7F ^ mask);
    int code = seg << 4;
    code |= seg < 2 ? (value >> 1) & 0xF : (value >> seg) & 0xF;
    return uint8_t(code ^ mask);
}

int16_t ALawToLinear(uint8_t code) {
    const int a = code ^ 0x55;
    int t = (a & 0xF) << 4;
    const int seg = (a & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else if (seg == 1)
        t += 0x108;
    else
        t = (t + 0x108) << (seg - 1);
    return int16_t((a & 0x80) ? t : -t);
}

// The linear sample is taken on a 14-bit scale, biased so that every
// segment starts at a power of two; codes are stored inverted.
uint8_t LinearToMuLaw(int16_t sample) {
    int value = sample >> 2;
    uint8_t mask;
    if (value < 0) {
        value = -value;
        mask = 0x7F;
    } else {
        mask = 0xFF;
    }
    value = std::min(value, kMuLawClip) + (kMuLawBias >> 2);
    const int seg = Segment(value, kMuLawSegmentEnds);
    if (seg >= 8) return uint8_t(0x7F ^ mask);
    const int code = (seg << 4) | ((value >> (seg + 1)) & 0xF);
    return uint8_t(code ^ mask);
}

int16_t MuLawToLinear(uint8_t code) {
    const int u = ~code & 0xFF;
    int t = ((u & 0xF) << 3) + kMuLawBias;
    t <<= (u & 0x70) >> 4;
    return int16_t((u & 0x80) ? kMuLawBias - t : t - kMuLawBias);
}

std::unique_ptr<Driver> MakeG711Driver() {
    return std::make_unique<G711Driver>();
}

}  // namespace zt::acm
