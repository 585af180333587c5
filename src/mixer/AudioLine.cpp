#include "mixer/AudioLine.h"

#include "mixer/MixerErrors.h"

namespace zt {

void TMMLineInfo::Assign(const MixerLineRecord& line) {
    flags_ = {};
    if (line.flags & kLineFlagActive) flags_.Include(TMMLineFlag::cfActive);
    if (line.flags & kLineFlagDisconnected) flags_.Include(TMMLineFlag::cfDisconnected);
    if (line.flags & kLineFlagSource) flags_.Include(TMMLineFlag::cfSource);
    channels_ = line.channels;
    connections_ = line.connections;
    controls_ = line.controls;
    shortName_ = CutName(line.shortName, 15);
    name_ = CutName(line.name, 63);
}

TMMComponentType ComponentTypeFromValue(uint32_t value) {
    for (int i = 0; i < kComponentTypeCount; ++i)
        if (kComponentTypeValues[size_t(i)] == value) return TMMComponentType(i);
    throw EMMMixerServiceError(mixer_msg::kUndefinedComponentType);
}

TMMAudioLine::TMMAudioLine()
    : mixerObserver_([this](const TMMNotification& n) { MixerNotification(n); }),
      followObserver_([this](const TMMNotification&) { ResolveLine(); }) {}

TMMAudioLine::~TMMAudioLine() = default;

void TMMAudioLine::SetMixer(TMMMixerDevice* mixer) {
    if (mixer == mixer_) return;
    if (mixer_) mixer_->UnsubscribeLine(mixerObserver_);
    mixer_ = mixer;
    if (mixer_) mixer_->SubscribeLine(mixerObserver_);
    ResolveLine();
}

void TMMAudioLine::SetLineId(TMMLineId lineId) {
    if (lineId == lineId_ && mode_ == LookupMode::ByLineId) return;
    mode_ = LookupMode::ByLineId;
    lineId_ = lineId;
    ResolveLine();
}

void TMMAudioLine::SetComponentType(TMMComponentType type) {
    if (type == componentType_ && mode_ == LookupMode::ByComponentType) return;
    mode_ = LookupMode::ByComponentType;
    componentType_ = type;
    ResolveLine();
}

void TMMAudioLine::SetTarget(TMMCustomAudioDevice* target) {
    if (target && target->DeviceKind() == TMMDeviceKind::dkMixer)
        throw EMMMixerDeviceError(mixer_msg::kCantTargetToMixer);
    if (target == target_ && mode_ == LookupMode::ByTarget) return;
    mode_ = LookupMode::ByTarget;
    if (target_) target_->Unsubscribe(followObserver_);
    target_ = target;
    if (target_) target_->Subscribe(followObserver_);
    ResolveLine();
}

void TMMAudioLine::SetDestLine(TMMNonVisualComponent* component) {
    auto* line = dynamic_cast<TMMAudioLine*>(component);
    if (component && !line) throw EMMMixerDeviceError(mixer_msg::kDestLineShouldBeAudioLine);
    // A line under itself would resolve itself from its own notifications
    // for ever.
    for (TMMAudioLine* d = line; d; d = d->destLine_)
        if (d == this) throw EMMMixerDeviceError(mixer_msg::kDestLineCycle);
    if (line == destLine_) return;
    if (destLine_) destLine_->Unsubscribe(followObserver_);
    destLine_ = line;
    if (destLine_)
        destLine_->Subscribe(followObserver_);
    else if (target_)
        target_->Subscribe(followObserver_);
    ResolveLine();
}

bool TMMAudioLine::HasUsableMixer() const {
    return mixer_ && mixer_->IsValidDevice();
}

void TMMAudioLine::Loaded() {
    TMMLoadable::Loaded();
    ResolveLine();
}

void TMMAudioLine::ResolveLine() {
    if (IsLoading()) return;
    destIndex_ = -1;
    if (HasUsableMixer()) {
        MixerLineRecord record;
        bool found;
        if (destLine_)
            found = destLine_->mixer_ == mixer_ && LookupUnder(*destLine_, record);
        else
            found = LookupByMode(record);
        if (found) {
            lineId_ = record.lineId;
            componentType_ = ComponentTypeFromValue(record.componentType);
            lineInfo_.Assign(record);
            destIndex_ =
                lineInfo_.Flags().Has(TMMLineFlag::cfSource) ? -1 : int32_t(record.destination);
        } else {
            lineId_ = kBadLineId;
            lineInfo_.Clear();
        }
    }
    LineIdChanged();
}

bool TMMAudioLine::LookupByMode(MixerLineRecord& line) {
    switch (mode_) {
        case LookupMode::ByLineId:
            return lineId_ != kBadLineId && mixer_->LineInfoById(lineId_, line);
        case LookupMode::ByComponentType:
            return mixer_->LineInfoByType(ComponentTypeValue(componentType_), line);
        case LookupMode::ByTarget: {
            if (!target_) return false;
            const TMMDeviceCaps& caps = target_->DeviceCaps();
            return mixer_->LineInfoByTarget(kLineTargetTypes[size_t(target_->DeviceKind())],
                                            caps.ManufacturerId(), caps.ProductId(),
                                            caps.DriverVersion(), caps.ProductName(), line);
        }
    }
    return false;
}

bool TMMAudioLine::LookupUnder(TMMAudioLine& dest, MixerLineRecord& line) {
    if (dest.IsLoading() || !dest.HasUsableMixer() || dest.lineId_ == kBadLineId ||
        dest.lineInfo_.Flags().Has(TMMLineFlag::cfSource))
        return false;
    if (LookupByMode(line) && line.destination == uint32_t(dest.lineId_)) return true;
    if (mode_ == LookupMode::ByLineId) return false;
    // The line of that type found first may feed another destination: look
    // among this destination's own sources.
    const uint32_t sources = dest.lineInfo_.Connections();
    for (uint32_t i = 0; i < sources; ++i) {
        if (!mixer_->LineInfoBySource(uint32_t(dest.destIndex_), i, line)) continue;
        if (mode_ == LookupMode::ByComponentType
                ? line.componentType == ComponentTypeValue(componentType_)
                : MatchesTarget(line))
            return true;
    }
    return false;
}

bool TMMAudioLine::MatchesTarget(const MixerLineRecord& line) const {
    if (!target_) return false;
    const TMMDeviceCaps& caps = target_->DeviceCaps();
    return line.targetType == kLineTargetTypes[size_t(target_->DeviceKind())] &&
           line.targetManufacturerId == caps.ManufacturerId() &&
           line.targetProductId == caps.ProductId() &&
           line.targetDriverVersion == caps.DriverVersion() &&
           CutName(line.targetName, 31) == caps.ProductName();
}

void TMMAudioLine::MixerNotification(const TMMNotification& notification) {
    if (auto* change = dynamic_cast<const TMMLineChange*>(&notification)) {
        if (change->LineId == lineId_) LineChanged();
    } else if (auto* control = dynamic_cast<const TMMControlChange*>(&notification)) {
        if (control->LineId == lineId_) ControlChanged(control->ControlId);
    } else if (dynamic_cast<const TMMDeviceChange*>(&notification)) {
        ResolveLine();
    }
}

void TMMAudioLine::LineChanged() {
    notifier_.Notify(TMMLineChange(lineId_));
    if (OnChange) OnChange(this);
}

void TMMAudioLine::LineIdChanged() {
    notifier_.Notify(TMMLineIdChange());
}

void TMMAudioLine::ControlChanged(TMMControlId controlId) {
    notifier_.Notify(TMMControlChange(lineId_, controlId));
    if (OnControlChange) OnControlChange(this, lineId_, controlId);
}

}  // namespace zt
