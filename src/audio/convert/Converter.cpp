#include "audio/convert/Converter.h"

#include <algorithm>
#include <cstring>

#include "audio/chain/MMErrors.h"

namespace zt {

namespace {
constexpr const char* kUnableToConvert = "Unable to convert to destination format";
}

TMMACMConverter::TMMACMConverter(std::string name) : TMMDSPComponent(std::move(name)) {}

TMMACMConverter::~TMMACMConverter() {
    BeginDestroying();
    chain_.reset();
}

void TMMACMConverter::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    Recompute();
}

void TMMACMConverter::SetQuality(TMMConvertQuality value) {
    if (value == quality_) return;
    quality_ = value;
    Recompute();
}

// ---- formats ------------------------------------------------------------------

void TMMACMConverter::InputFormatChanged(const WAVEFORMATEX* format) {
    input_ = CopyWaveFormat(format);
    Recompute();
}

void TMMACMConverter::SetWaveFormat(const WAVEFORMATEX* format) {
    // The held (announced) record coming back is the base's re-send after
    // loading, not a new request.
    if (format && format == TMMDSPComponent::GetWaveFormat()) {
        TMMDSPComponent::SetWaveFormat(format);
        return;
    }
    if (!format || IsDestroying()) return;
    requested_ = CopyWaveFormat(format);
    Recompute();
}

void TMMACMConverter::Loaded() {
    TMMDSPComponent::Loaded();
    Recompute();
}

void TMMACMConverter::PrepareOutputFormat() {
    effective_ = CopyWaveFormat(requested_.get());
}

void TMMACMConverter::Recompute() {
    differ_ = possible_ = false;
    if (input_ && enabled_) {
        PrepareOutputFormat();
        if (WaveFormatsDiffer(effective_.get(), input_.get())) {
            differ_ = true;
            possible_ = CanConvert(input_.get(), effective_.get(), quality_);
        }
    }
    if (IsOpened()) {
        // A change while open: the old signal ends with the old chain, and
        // the chain must match the new pair.
        if (IsStarted()) Stopped();
        chain_.reset();
        if (differ_ && possible_) {
            chain_ = CodecStreamChain::Build(*input_, *effective_, quality_,
                                             CodecStreamChain::kMaxChunk);
            if (!chain_) possible_ = false;
        }
    }
    TMMDSPComponent::SetWaveFormat(possible_ ? effective_.get() : input_.get());
}

// ---- notifications --------------------------------------------------------------

void TMMACMConverter::Opened() {
    if (IsOpened()) return;
    if (enabled_ && differ_) {
        if (possible_) {
            chain_ = CodecStreamChain::Build(*input_, *effective_, quality_,
                                             CodecStreamChain::kMaxChunk);
            if (!chain_) possible_ = false;
        }
        if (!possible_) throw EMMConverterError(kUnableToConvert);
    }
    TMMDSPComponent::Opened();
}

void TMMACMConverter::Started() {
    if (IsOpened() && !IsStarted()) {
        inputExhausted_ = flushed_ = false;
        pushed_ = false;
        dropOutput_ = false;
        running_ = true;
    }
    TMMDSPComponent::Started();
}

void TMMACMConverter::Stopped() {
    // Pushing ends with the stop: what the codecs still hold (a resampler's
    // delay, a last part block) belongs to the signal and goes downstream
    // before the downstream members stop in their turn.
    if (running_ && pushed_ && Converting() && GetOutput()) {
        try {
            DropStaleOutput();
            do {
                if (chain_->Flush() < 0) break;
                PassOutput();
            } while (chain_->FlushPending() && running_);
        } catch (...) {
            // A stop never fails: a tail that cannot be converted is lost.
        }
    }
    running_ = false;
    pushed_ = false;
    dropOutput_ = true;
    TMMDSPComponent::Stopped();
}

void TMMACMConverter::Closed() {
    Stopped();
    chain_.reset();
    TMMDSPComponent::Closed();
}

void TMMACMConverter::Reset() {
    TMMDSPComponent::Reset();
    if (chain_) chain_->Reset();
    inputExhausted_ = flushed_ = false;
}

// ---- data -------------------------------------------------------------------------

bool TMMACMConverter::AnnouncesConversion() const {
    return input_ && WaveFormatsDiffer(TMMDSPComponent::GetWaveFormat(), input_.get());
}

bool TMMACMConverter::Converting() const {
    return enabled_ && differ_ && possible_ && chain_ && IsOpened() && AnnouncesConversion();
}

void TMMACMConverter::Fail() {
    possible_ = false;
    throw EMMConverterError(kUnableToConvert);
}

void TMMACMConverter::DropStaleOutput() {
    if (dropOutput_.exchange(false) && chain_) chain_->DropOutput();
}

void TMMACMConverter::PassOutput() {
    const uint32_t limit = static_cast<uint32_t>(std::max<int32_t>(GetBufferSize(), 1));
    while (running_ && chain_->OutputAvailable() > 0) {
        const uint32_t n = std::min(chain_->OutputAvailable(), limit);
        record_ = {};
        record_.wh.lpData = const_cast<char*>(reinterpret_cast<const char*>(chain_->OutputData()));
        record_.wh.dwBufferLength = n;
        record_.wh.dwBytesRecorded = n;
        chain_->Consume(n);
        if (OnBufferReady) OnBufferReady(this, &record_);
        if (TMMDSPComponent* out = GetOutput()) out->BufferReady(&record_);
    }
}

void TMMACMConverter::BufferReady(PWaveHdr buffer) {
    if (!buffer) return;
    if (IsOpened() && running_ && !GetOutput()) return;
    if (!(running_ && Converting())) {
        // Raw input never goes downstream in place of the converted format
        // this component announces.
        if (!AnnouncesConversion()) TMMDSPComponent::BufferReady(buffer);
        return;
    }
    DropStaleOutput();
    pushed_ = true;
    const auto* p = reinterpret_cast<const uint8_t*>(buffer->wh.lpData);
    uint32_t remaining = p ? buffer->wh.dwBytesRecorded : 0;
    while (remaining > 0) {
        const uint32_t n = std::min({remaining, chain_->ChunkSize(), chain_->InputRoom()});
        std::memcpy(chain_->InputArea(), p, n);
        const int64_t produced = chain_->Convert(n);
        if (produced < 0) Fail();
        if (produced == 0 && !chain_->HoldsLeftover() && !chain_->NeedsMore()) Fail();
        PassOutput();
        p += n;
        remaining -= n;
    }
}

void TMMACMConverter::BufferLoad(PWaveHdr buffer, bool& moreBuffers) {
    if (!buffer) return;
    if (!Converting()) {
        if (!AnnouncesConversion()) TMMDSPComponent::BufferLoad(buffer, moreBuffers);
        return;
    }
    DropStaleOutput();
    auto* dest = reinterpret_cast<uint8_t*>(buffer->wh.lpData);
    const uint32_t wanted = dest ? buffer->wh.dwBufferLength : 0;
    uint32_t filled = 0;
    int emptyConversions = 0;
    while (filled < wanted) {
        if (const uint32_t waiting = chain_->OutputAvailable()) {
            const uint32_t n = std::min(waiting, wanted - filled);
            std::memcpy(dest + filled, chain_->OutputData(), n);
            chain_->Consume(n);
            filled += n;
            continue;
        }
        if (inputExhausted_) {
            if (flushed_) break;
            if (chain_->Flush() < 0) Fail();
            flushed_ = !chain_->FlushPending();
            continue;
        }
        record_ = {};
        record_.wh.lpData = reinterpret_cast<char*>(chain_->InputArea());
        record_.wh.dwBufferLength = std::min(chain_->ChunkSize(), chain_->InputRoom());
        bool more = true;
        if (TMMDSPComponent* in = GetInput())
            in->BufferLoad(&record_, more);
        else
            more = false;
        if (!more) inputExhausted_ = true;
        const uint32_t got = std::min(record_.wh.dwBytesRecorded, record_.wh.dwBufferLength);
        if (got == 0 && inputExhausted_) continue;
        const int64_t produced = chain_->Convert(got);
        if (produced < 0) Fail();
        // A stage that took the input without output yet (a resampler
        // filling its filter, part of a block) is progress; only a
        // conversion that took nothing counts as empty.
        const bool progress =
            produced > 0 || (got > 0 && (chain_->NeedsMore() || chain_->HoldsLeftover()));
        if (progress)
            emptyConversions = 0;
        else if (++emptyConversions > kEmptyConversionsTolerated)
            Fail();
    }
    buffer->wh.dwBytesRecorded = filled;
    moreBuffers =
        chain_->OutputAvailable() > 0 || chain_->HoldsLeftover() || !inputExhausted_ || !flushed_;
    if (OnBufferLoad) OnBufferLoad(this, buffer, moreBuffers);
}

}  // namespace zt
