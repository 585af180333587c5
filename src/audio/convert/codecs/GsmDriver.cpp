// GSM 6.10 in WAV framing (tag 0x31) through libgsm: a block of 65 bytes
// carries 320 samples as two 160-sample frames. With libgsm's WAV49 option
// the encoder writes the first frame of a block as 32 bytes and the second
// as 33, while the decoder reads the first as 33 bytes and the second as
// 32 (the halves share a byte). Swapping those offsets raises no error but
// decodes to noise, which is why the tests check the decoded signal.
//
// Only 16-bit mono PCM is encoded, and decoding gives the same, at the
// format's rate; any other PCM reaches GSM through a PCM stage first.

#include <gsm/gsm.h>

#include <algorithm>
#include <cstring>

#include "audio/convert/codecs/CodecDriver.h"

namespace zt::acm {

namespace {

constexpr uint32_t kPcmBlockBytes = kGsmSamplesPerBlock * 2;  // 640
constexpr int kFrameSamples = kGsmSamplesPerBlock / 2;        // 160
constexpr int kEncodedFirstHalf = 32;                         // encoder side
constexpr int kDecodedFirstHalf = 33;                         // decoder side

uint16_t SamplesPerBlock(const WAVEFORMATEX& f) {
    if (f.cbSize < 2) return 0;
    uint16_t samples;
    std::memcpy(&samples, reinterpret_cast<const uint8_t*>(&f) + sizeof(WAVEFORMATEX), 2);
    return samples;
}

bool IsGsm(const WAVEFORMATEX& f) {
    return f.wFormatTag == kTagGSM610 && f.nChannels == 1 && f.nBlockAlign == kGsmBlockAlign &&
           f.nSamplesPerSec >= kMinRate && f.nSamplesPerSec <= kMaxRate &&
           SamplesPerBlock(f) == kGsmSamplesPerBlock;
}

bool IsGsmPcm(const WAVEFORMATEX& f) {
    return IsUsablePCM(f) && f.nChannels == 1 && f.wBitsPerSample == 16;
}

WaveFormatPtr MakeGsmFormat(uint32_t rate) {
    WAVEFORMATEX head{};
    head.wFormatTag = kTagGSM610;
    head.nChannels = 1;
    head.nSamplesPerSec = rate;
    head.nAvgBytesPerSec = rate * kGsmBlockAlign / kGsmSamplesPerBlock;
    head.nBlockAlign = kGsmBlockAlign;
    head.wBitsPerSample = 0;
    head.cbSize = 2;
    uint8_t bytes[sizeof(WAVEFORMATEX) + 2];
    std::memcpy(bytes, &head, sizeof head);
    const uint16_t samples = kGsmSamplesPerBlock;
    std::memcpy(bytes + sizeof head, &samples, 2);
    return CopyWaveFormat(reinterpret_cast<const WAVEFORMATEX*>(bytes));
}

// A libgsm state with WAV framing; recreated to start a new signal, since
// libgsm offers no way to rewind its frame parity.
class GsmState {
public:
    GsmState() { Renew(); }
    ~GsmState() {
        if (handle_) gsm_destroy(handle_);
    }
    GsmState(const GsmState&) = delete;
    GsmState& operator=(const GsmState&) = delete;

    void Renew() {
        if (handle_) gsm_destroy(handle_);
        handle_ = gsm_create();
        if (!handle_) return;
        int wav49 = 1;
        gsm_option(handle_, GSM_OPT_WAV49, &wav49);
    }
    gsm get() const { return handle_; }

private:
    gsm handle_ = nullptr;
};

class GsmEncoder : public StreamEngine {
public:
    Result Convert(const uint8_t* source, uint32_t sourceLength, uint32_t& sourceUsed,
                   uint8_t* dest, uint32_t destLength, uint32_t& destUsed,
                   uint32_t flags) override {
        if (!state_.get()) return Result::Error;
        const uint32_t whole = sourceLength / kPcmBlockBytes;
        const uint32_t room = destLength / kGsmBlockAlign;
        const uint32_t n = std::min(whole, room);
        for (uint32_t i = 0; i < n; ++i)
            Encode(source + i * kPcmBlockBytes, kPcmBlockBytes, dest + i * kGsmBlockAlign);
        sourceUsed = n * kPcmBlockBytes;
        destUsed = n * kGsmBlockAlign;
        if ((flags & ConvertEnd) && n == whole) {
            // The tail becomes one last block, padded with silence.
            const uint32_t tail = sourceLength - sourceUsed;
            if (tail >= 2 && n < room) {
                Encode(source + sourceUsed, tail, dest + destUsed);
                destUsed += kGsmBlockAlign;
            }
            if (tail < 2 || n < room) sourceUsed = sourceLength;
        }
        return Result::Ok;
    }

    uint32_t DestSizeFor(uint32_t sourceBytes) const override {
        return (sourceBytes + kPcmBlockBytes - 1) / kPcmBlockBytes * kGsmBlockAlign;
    }
    uint32_t SourceSizeFor(uint32_t destBytes) const override {
        return destBytes / kGsmBlockAlign * kPcmBlockBytes;
    }
    void Reset() override {
        if (used_) state_.Renew();
        used_ = false;
    }

private:
    void Encode(const uint8_t* pcm, uint32_t bytes, uint8_t* block) {
        gsm_signal samples[kGsmSamplesPerBlock] = {};
        std::memcpy(samples, pcm, bytes / 2 * 2);
        gsm_encode(state_.get(), samples, block);
        gsm_encode(state_.get(), samples + kFrameSamples, block + kEncodedFirstHalf);
        used_ = true;
    }

    GsmState state_;
    bool used_ = false;
};

class GsmDecoder : public StreamEngine {
public:
    Result Convert(const uint8_t* source, uint32_t sourceLength, uint32_t& sourceUsed,
                   uint8_t* dest, uint32_t destLength, uint32_t& destUsed,
                   uint32_t flags) override {
        if (!state_.get()) return Result::Error;
        const uint32_t whole = sourceLength / kGsmBlockAlign;
        const uint32_t room = destLength / kPcmBlockBytes;
        const uint32_t n = std::min(whole, room);
        for (uint32_t i = 0; i < n; ++i) {
            // libgsm reads but does not declare its input const.
            auto* block = const_cast<gsm_byte*>(source + i * kGsmBlockAlign);
            gsm_signal samples[kGsmSamplesPerBlock];
            if (gsm_decode(state_.get(), block, samples) != 0 ||
                gsm_decode(state_.get(), block + kDecodedFirstHalf, samples + kFrameSamples) != 0)
                return Result::Error;
            std::memcpy(dest + i * kPcmBlockBytes, samples, kPcmBlockBytes);
            used_ = true;
        }
        sourceUsed = n * kGsmBlockAlign;
        destUsed = n * kPcmBlockBytes;
        // A cut block at the very end cannot be decoded.
        if ((flags & ConvertEnd) && n == whole) sourceUsed = sourceLength;
        return Result::Ok;
    }

    uint32_t DestSizeFor(uint32_t sourceBytes) const override {
        return sourceBytes / kGsmBlockAlign * kPcmBlockBytes;
    }
    uint32_t SourceSizeFor(uint32_t destBytes) const override {
        return destBytes / kPcmBlockBytes * kGsmBlockAlign;
    }
    void Reset() override {
        if (used_) state_.Renew();
        used_ = false;
    }

private:
    GsmState state_;
    bool used_ = false;
};

class GsmDriver : public Driver {
public:
    DriverKind Kind() const override { return DriverKind::Codec; }

    std::vector<FormatTagDetails> Tags() const override { return {{kTagGSM610, "GSM 6.10"}}; }

    std::vector<WaveFormatPtr> Formats(uint16_t tag) const override {
        std::vector<WaveFormatPtr> list;
        if (tag != kTagGSM610) return list;
        for (uint32_t rate : kOfferedCodecRates) list.push_back(MakeGsmFormat(rate));
        return list;
    }

    bool Converts(const WAVEFORMATEX& s, const WAVEFORMATEX& d) const override {
        if (s.nSamplesPerSec != d.nSamplesPerSec) return false;
        return (IsGsmPcm(s) && IsGsm(d)) || (IsGsm(s) && IsGsmPcm(d));
    }

    WaveFormatPtr Suggest(const WAVEFORMATEX& s, const WAVEFORMATEX& w,
                          uint32_t fields) const override {
        WaveFormatPtr f;
        if (IsGsmPcm(s) && (fields & SuggestTag) && w.wFormatTag == kTagGSM610)
            f = MakeGsmFormat(s.nSamplesPerSec);
        else if (IsGsm(s))
            f = CopyOf(MakePCMFormat(16, 1, s.nSamplesPerSec));
        return f && KeepsWanted(*f, w, fields) ? std::move(f) : nullptr;
    }

    std::unique_ptr<StreamEngine> Open(const WAVEFORMATEX& s, const WAVEFORMATEX&,
                                       bool) const override {
        std::unique_ptr<StreamEngine> engine;
        if (s.wFormatTag == kTagPCM)
            engine = std::make_unique<GsmEncoder>();
        else
            engine = std::make_unique<GsmDecoder>();
        // A state that could not be created shows as a refused open.
        uint32_t used = 0, made = 0;
        uint8_t none = 0;
        if (engine->Convert(&none, 0, used, &none, 0, made, 0) != Result::Ok) return nullptr;
        return engine;
    }
};

}  // namespace

std::unique_ptr<Driver> MakeGsmDriver() {
    return std::make_unique<GsmDriver>();
}

}  // namespace zt::acm
