#include "audio/chain/DSPComponent.h"

#include <algorithm>
#include <vector>

#include "platform/ThreadAnnotations.h"

namespace zt {

namespace {

// The registry of live components. Deliberately never freed: a component
// destroyed during static destruction must still find it.
struct ComponentRegistry {
    Mutex lock;
    std::vector<TMMDSPComponent*> members GUARDED_BY(lock);
};

ComponentRegistry& Registry() {
    static auto* registry = new ComponentRegistry;
    return *registry;
}

std::vector<TMMDSPComponent*> Snapshot() {
    auto& r = Registry();
    MutexLock guard(r.lock);
    return r.members;
}

std::string CutLinkName(const std::string& name) {
    return name.substr(0, TMMDSPComponent::MaxLinkNameLength);
}

}  // namespace

TMMDSPComponent::TMMDSPComponent(std::string name) : name_(std::move(name)) {
    auto& r = Registry();
    MutexLock guard(r.lock);
    r.members.push_back(this);
}

TMMDSPComponent::~TMMDSPComponent() {
    destroying_ = true;
    SetInput(nullptr);
    SetOutput(nullptr);
    SetWaveFormat(nullptr);
    BroadcastRemoval();
    auto& r = Registry();
    MutexLock guard(r.lock);
    std::erase(r.members, this);
}

bool TMMDSPComponent::IsLive(const TMMDSPComponent* p) {
    auto& r = Registry();
    MutexLock guard(r.lock);
    return std::find(r.members.begin(), r.members.end(), p) != r.members.end();
}

size_t TMMDSPComponent::LiveCount() {
    auto& r = Registry();
    MutexLock guard(r.lock);
    return r.members.size();
}

void TMMDSPComponent::BroadcastRelease(TMMDSPComponent* partner, LinkSide side,
                                       const std::string& name) {
    // A handler may destroy components; each one is checked for life before
    // it is asked.
    for (TMMDSPComponent* c : Snapshot())
        if (IsLive(c)) c->ReleaseLink(partner, side, name);
}

void TMMDSPComponent::BroadcastRemoval() {
    for (TMMDSPComponent* c : Snapshot()) {
        if (c == this || !IsLive(c)) continue;
        if (c->GetInput() == this) c->SetInput(nullptr);
        if (c->GetOutput() == this) c->SetOutput(nullptr);
        // A raw link that SetInput/SetOutput could not undo must not dangle.
        if (c->input_ == this) c->SetInputLink(nullptr, {});
        if (c->output_ == this) c->SetOutputLink(nullptr, {});
    }
}

// ---- links ------------------------------------------------------------------

void TMMDSPComponent::SetInputLink(TMMDSPComponent* partner, const std::string& name) {
    input_ = partner;
    inputLinkName_ = CutLinkName(name);
}

void TMMDSPComponent::SetOutputLink(TMMDSPComponent* partner, const std::string& name) {
    output_ = partner;
    outputLinkName_ = CutLinkName(name);
}

TMMDSPComponent* TMMDSPComponent::LinkProperty(const std::string& name) const {
    if (name == "Input") return GetInput();
    if (name == "Output") return GetOutput();
    return nullptr;
}

bool TMMDSPComponent::CanConnectInput(TMMDSPComponent* candidate) {
    if (!candidate || candidate == this) return false;
    if (!candidate->HasOutputSide() && !candidate->AcceptsOutputLink) return false;
    if (!output_) return true;
    // The candidate must not lie downstream of this component.
    return output_->CanConnectInput(candidate);
}

bool TMMDSPComponent::CanConnectOutput(TMMDSPComponent* candidate) {
    if (!candidate || candidate == this) return false;
    if (!candidate->HasInputSide() && !candidate->AcceptsInputLink) return false;
    if (!input_) return true;
    // The candidate must not lie upstream of this component.
    return input_->CanConnectOutput(candidate);
}

void TMMDSPComponent::SetInput(TMMDSPComponent* partner) {
    if (partner == input_) return;
    if (partner && !CanConnectInput(partner)) return;
    Stopped();
    if (input_) {
        // The old Input lets go of its Output (this component).
        BroadcastRelease(this, LinkSide::Output, "Input");
        SetInputLink(nullptr, {});
        InputFormatChanged(nullptr);
    }
    if (!partner) return;
    // Whatever the partner fed so far loses its Input.
    BroadcastRelease(partner, LinkSide::Input, "Output");
    SetInputLink(partner, "Output");
    partner->SetOutputLink(this, "Input");
    SyncFormat();
}

void TMMDSPComponent::SetOutput(TMMDSPComponent* partner) {
    if (partner == output_) return;
    if (partner && !CanConnectOutput(partner)) return;
    Stopped();
    if (output_) {
        // The old Output lets go of its Input (this component).
        BroadcastRelease(this, LinkSide::Input, "Output");
        output_->InputFormatChanged(nullptr);
        SetOutputLink(nullptr, {});
    }
    if (!partner) return;
    // Whatever fed the partner so far loses its Output.
    BroadcastRelease(partner, LinkSide::Output, "Input");
    SetOutputLink(partner, "Input");
    partner->SetInputLink(this, "Output");
    SyncFormat();
}

void TMMDSPComponent::ReleaseLink(TMMDSPComponent* partner, LinkSide side,
                                  const std::string& name) {
    if (!partner) return;
    if (side == LinkSide::Input) {
        if (partner == input_ && inputLinkName_ == name && partner->LinkProperty(name) == this)
            SetInputLink(nullptr, {});
    } else {
        if (partner == output_ && outputLinkName_ == name && partner->LinkProperty(name) == this)
            SetOutputLink(nullptr, {});
    }
}

void TMMDSPComponent::SyncFormat() {
    if (SuppressFormatFlow()) return;
    if (input_)
        InputFormatChanged(input_->GetWaveFormat());
    else if (output_)
        output_->InputFormatChanged(GetWaveFormat());
}

// ---- format -------------------------------------------------------------------

void TMMDSPComponent::SetWaveFormat(const WAVEFORMATEX* format) {
    if (format != format_.get()) {
        if (started_) Stopped();
        // Copy before freeing: the new record may live inside a partner that
        // this call ends up touching.
        WaveFormatPtr copy = CopyWaveFormat(format);
        format_ = std::move(copy);
    }
    if (SuppressFormatFlow()) return;
    if (output_) output_->InputFormatChanged(format_.get());
}

void TMMDSPComponent::InputFormatChanged(const WAVEFORMATEX* format) {
    SetWaveFormat(format);
}

int32_t TMMDSPComponent::GetBufferSize() const {
    return opened_ ? realBufferSize_ : bufferSize_;
}

void TMMDSPComponent::SetBufferSize(int32_t bytes) {
    if (bytes == bufferSize_) return;
    if (started_) Stopped();
    bufferSize_ = bytes;
}

void TMMDSPComponent::Loaded() {
    loading_ = false;
    SetWaveFormat(GetWaveFormat());
}

// ---- notifications ------------------------------------------------------------

void TMMDSPComponent::Opened() {
    if (opened_) return;
    const WAVEFORMATEX* format = GetWaveFormat();
    // A format without a block size (malformed) cannot align anything.
    if (format && format->nBlockAlign > 0) {
        const int32_t block = format->nBlockAlign;
        realBufferSize_ = std::max(bufferSize_ - bufferSize_ % block, block);
    } else {
        realBufferSize_ = bufferSize_;
    }
    opened_ = true;
    started_ = false;
    paused_ = false;
}

void TMMDSPComponent::Closed() {
    opened_ = false;
}

void TMMDSPComponent::Started() {
    if (opened_ && !started_) started_ = true;
}

void TMMDSPComponent::Paused() {
    paused_ = true;
}

void TMMDSPComponent::Restarted() {
    paused_ = false;
}

void TMMDSPComponent::Stopped() {
    if (!started_) return;
    started_ = false;
    paused_ = false;
}

void TMMDSPComponent::Reset() {}

// ---- data ---------------------------------------------------------------------

void TMMDSPComponent::BufferReady(PWaveHdr buffer) {
    if (OnBufferReady) OnBufferReady(this, buffer);
    if (output_) output_->BufferReady(buffer);
}

void TMMDSPComponent::BufferLoad(PWaveHdr buffer, bool& moreBuffers) {
    if (OnBufferLoad) OnBufferLoad(this, buffer, moreBuffers);
    if (input_) input_->BufferLoad(buffer, moreBuffers);
}

}  // namespace zt
