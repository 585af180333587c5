// The PCM converter: bits (8 unsigned / 16 signed), channels (stereo to
// mono as the average, mono to stereo duplicated) and rate (through soxr).
//
// Samples travel as interleaved floats in [-1, 1): a 16-bit sample s is
// s / 32768, so 16-bit data that only changes channels comes back exact.

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/convert/codecs/CodecDriver.h"

namespace zt::acm {

namespace {

constexpr uint32_t kOfferedPcmRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};

// Frames taken from the source per step, and the most frames the resampler
// may hand out per step: the work buffers are sized once from these.
constexpr size_t kPieceFrames = 1024;
constexpr size_t kOutFrames = 8192;

// Room kept in a destination for the resampler's bursts and its drained
// tail (its output is not spread evenly over the calls).
uint32_t ResamplerMarginFrames(uint32_t fromRate, uint32_t toRate) {
    return 2048 + static_cast<uint32_t>((uint64_t(1024) * toRate + fromRate - 1) / fromRate);
}

float ReadSample(const uint8_t* p, uint16_t bits) {
    if (bits == 8) return (static_cast<int>(*p) - 128) / 128.0f;
    int16_t s;
    std::memcpy(&s, p, 2);
    return s / 32768.0f;
}

void WriteSample(uint8_t* p, uint16_t bits, float x) {
    if (bits == 8) {
        const long v = std::clamp(std::lrint(x * 128.0f), -128L, 127L);
        *p = static_cast<uint8_t>(v + 128);
        return;
    }
    const auto s = static_cast<int16_t>(std::clamp(std::lrint(x * 32768.0f), -32768L, 32767L));
    std::memcpy(p, &s, 2);
}

class PcmEngine : public StreamEngine {
public:
    PcmEngine(const WAVEFORMATEX& source, const WAVEFORMATEX& dest, soxr_t resampler)
        : src_(source),
          dst_(dest),
          resampler_(resampler),
          mixed_(kPieceFrames * dest.nChannels),
          resampled_(resampler ? kOutFrames * dest.nChannels : 0) {}
    ~PcmEngine() override {
        if (resampler_) soxr_delete(resampler_);
    }

    Result Convert(const uint8_t* source, uint32_t sourceLength, uint32_t& sourceUsed,
                   uint8_t* dest, uint32_t destLength, uint32_t& destUsed,
                   uint32_t flags) override {
        const size_t srcFrames = sourceLength / src_.nBlockAlign;
        const size_t room = destLength / dst_.nBlockAlign;
        size_t taken = 0, given = 0;
        if (!resampler_) {
            const size_t n = std::min(srcFrames, room);
            for (size_t done = 0; done < n;) {
                const size_t piece = std::min(kPieceFrames, n - done);
                Mix(source + done * src_.nBlockAlign, piece);
                Store(mixed_.data(), piece, dest + done * dst_.nBlockAlign);
                done += piece;
            }
            taken = given = n;
        } else {
            while (taken < srcFrames && given < room) {
                const size_t piece = std::min(kPieceFrames, srcFrames - taken);
                Mix(source + taken * src_.nBlockAlign, piece);
                size_t idone = 0, odone = 0;
                if (soxr_process(resampler_, mixed_.data(), piece, &idone, resampled_.data(),
                                 std::min(kOutFrames, room - given), &odone))
                    return Result::Error;
                Store(resampled_.data(), odone, dest + given * dst_.nBlockAlign);
                taken += idone;
                given += odone;
                if (idone || odone) fed_ = true;
                if (!idone && !odone) break;
            }
            if ((flags & ConvertEnd) && taken == srcFrames && fed_) {
                // The signal ends here: hand out what the filter still holds.
                while (given < room) {
                    size_t odone = 0;
                    if (soxr_process(resampler_, nullptr, 0, nullptr, resampled_.data(),
                                     std::min(kOutFrames, room - given), &odone))
                        return Result::Error;
                    Store(resampled_.data(), odone, dest + given * dst_.nBlockAlign);
                    given += odone;
                    if (odone == 0) {
                        Reset();
                        break;
                    }
                }
            }
        }
        sourceUsed = static_cast<uint32_t>(taken * src_.nBlockAlign);
        // At the end a trailing piece of a frame can never be converted.
        if ((flags & ConvertEnd) && taken == srcFrames) sourceUsed = sourceLength;
        destUsed = static_cast<uint32_t>(given * dst_.nBlockAlign);
        return Result::Ok;
    }

    uint32_t DestSizeFor(uint32_t sourceBytes) const override {
        uint64_t frames = sourceBytes / src_.nBlockAlign;
        if (resampler_)
            frames =
                (frames * dst_.nSamplesPerSec + src_.nSamplesPerSec - 1) / src_.nSamplesPerSec +
                ResamplerMarginFrames(src_.nSamplesPerSec, dst_.nSamplesPerSec);
        return static_cast<uint32_t>(std::min<uint64_t>(frames * dst_.nBlockAlign, UINT32_MAX));
    }

    uint32_t SourceSizeFor(uint32_t destBytes) const override {
        uint64_t frames = destBytes / dst_.nBlockAlign;
        if (resampler_) frames = frames * src_.nSamplesPerSec / dst_.nSamplesPerSec;
        return static_cast<uint32_t>(std::min<uint64_t>(frames * src_.nBlockAlign, UINT32_MAX));
    }

    void Reset() override {
        if (resampler_ && fed_) soxr_clear(resampler_);
        fed_ = false;
    }

private:
    // Source frames → floats with the destination's channel count.
    void Mix(const uint8_t* p, size_t frames) {
        const uint16_t bits = src_.wBitsPerSample, bytes = bits / 8;
        float* out = mixed_.data();
        for (size_t i = 0; i < frames; ++i, p += src_.nBlockAlign) {
            const float first = ReadSample(p, bits);
            if (src_.nChannels == dst_.nChannels) {
                *out++ = first;
                if (src_.nChannels == 2) *out++ = ReadSample(p + bytes, bits);
            } else if (src_.nChannels == 2) {
                *out++ = (first + ReadSample(p + bytes, bits)) * 0.5f;
            } else {
                *out++ = first;
                *out++ = first;
            }
        }
    }

    void Store(const float* x, size_t frames, uint8_t* p) const {
        const uint16_t bits = dst_.wBitsPerSample;
        const size_t samples = frames * dst_.nChannels;
        for (size_t i = 0; i < samples; ++i, p += bits / 8) WriteSample(p, bits, x[i]);
    }

    const WAVEFORMATEX src_, dst_;
    soxr_t resampler_;
    bool fed_ = false;  // the resampler holds data of the current signal
    std::vector<float> mixed_, resampled_;
};

class PcmDriver : public Driver {
public:
    DriverKind Kind() const override { return DriverKind::Converter; }

    std::vector<FormatTagDetails> Tags() const override { return {{kTagPCM, "PCM"}}; }

    std::vector<WaveFormatPtr> Formats(uint16_t tag) const override {
        std::vector<WaveFormatPtr> list;
        if (tag != kTagPCM) return list;
        for (uint32_t rate : kOfferedPcmRates)
            for (uint16_t channels : {1, 2})
                for (uint16_t bits : {8, 16})
                    list.push_back(CopyOf(MakePCMFormat(bits, channels, rate)));
        return list;
    }

    bool Converts(const WAVEFORMATEX& s, const WAVEFORMATEX& d) const override {
        return IsUsablePCM(s) && IsUsablePCM(d);
    }

    WaveFormatPtr Suggest(const WAVEFORMATEX& s, const WAVEFORMATEX& w,
                          uint32_t fields) const override {
        if (!IsUsablePCM(s)) return nullptr;
        if ((fields & SuggestTag) && w.wFormatTag != kTagPCM) return nullptr;
        const WAVEFORMATEX f =
            MakePCMFormat(fields & SuggestBits ? w.wBitsPerSample : s.wBitsPerSample,
                          fields & SuggestChannels ? w.nChannels : s.nChannels,
                          fields & SuggestRate ? w.nSamplesPerSec : s.nSamplesPerSec);
        return IsUsablePCM(f) ? CopyOf(f) : nullptr;
    }

    std::unique_ptr<StreamEngine> Open(const WAVEFORMATEX& s, const WAVEFORMATEX& d,
                                       bool nonRealTime) const override {
        std::unique_ptr<soxr, decltype(&soxr_delete)> resampler(nullptr, &soxr_delete);
        if (s.nSamplesPerSec != d.nSamplesPerSec) {
            const soxr_quality_spec_t quality =
                soxr_quality_spec(nonRealTime ? SOXR_HQ : SOXR_LQ, 0);
            // One thread: the caller's thread does the work, nothing is
            // spawned behind its back.
            const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
            soxr_error_t error = nullptr;
            resampler.reset(soxr_create(s.nSamplesPerSec, d.nSamplesPerSec, d.nChannels, &error,
                                        nullptr, &quality, &runtime));
            if (error || !resampler) return nullptr;
        }
        auto engine = std::make_unique<PcmEngine>(s, d, resampler.get());
        resampler.release();  // the engine owns it now
        return engine;
    }
};

}  // namespace

std::unique_ptr<Driver> MakePcmDriver() {
    return std::make_unique<PcmDriver>();
}

}  // namespace zt::acm
