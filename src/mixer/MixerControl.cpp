#include "mixer/MixerControl.h"

#include <algorithm>

#include "mixer/MixerErrors.h"

namespace zt {

namespace {

[[noreturn]] void ThrowInvalidParam(const TMMMixerDevice& mixer) {
    throw EMMMCIError(MCIErrorText(kMMInvalidParam, mixer.ErrorText(kMMInvalidParam)),
                      kMMInvalidParam);
}

}  // namespace

void TMMControlInfo::Assign(const MixerControlRecord& control) {
    flags_ = {};
    if (control.flags & kControlFlagDisabled) flags_.Include(TMMControlFlag::cfDisabled);
    if (control.flags & kControlFlagMultiple) flags_.Include(TMMControlFlag::cfMultiple);
    if (control.flags & kControlFlagUniform) flags_.Include(TMMControlFlag::cfUniform);
    multipleItems_ = TMMItemIndex(control.multipleItems);
    shortName_ = CutName(control.shortName, 15);
    name_ = CutName(control.name, 63);
    minValue_ = control.minimum;
    maxValue_ = control.maximum;
    steps_ = int32_t(control.steps);
}

TMMControlType ControlTypeFromValue(uint32_t value) {
    for (int i = 0; i < kControlTypeCount; ++i)
        if (kControlTypeValues[size_t(i)] == value) return TMMControlType(i);
    return TMMControlType::ctCustom;
}

TMMCustomMixerControl::TMMCustomMixerControl()
    : lineObserver_([this](const TMMNotification& n) { LineNotification(n); }) {}

TMMCustomMixerControl::~TMMCustomMixerControl() = default;

void TMMCustomMixerControl::SetAudioLine(TMMAudioLine* line) {
    if (line == line_) return;
    if (line_) line_->Unsubscribe(lineObserver_);
    line_ = line;
    if (line_) line_->Subscribe(lineObserver_);
    ResolveControl();
}

void TMMCustomMixerControl::SetControlId(TMMControlId controlId) {
    if (controlId == controlId_ && mode_ == LookupMode::ByControlId) return;
    mode_ = LookupMode::ByControlId;
    controlId_ = controlId;
    ResolveControl();
}

void TMMCustomMixerControl::SetControlType(TMMControlType type) {
    if (type == controlType_ && mode_ == LookupMode::ByControlType) return;
    mode_ = LookupMode::ByControlType;
    controlType_ = type;
    ResolveControl();
}

void TMMCustomMixerControl::Loaded() {
    TMMLoadable::Loaded();
    ResolveControl();
}

void TMMCustomMixerControl::ResolveControl() {
    if (!IsLoading()) {
        if (line_ && line_->IsUsable()) {
            TMMMixerDevice& mixer = *line_->Mixer();
            MixerControlRecord record;
            bool found;
            if (mode_ == LookupMode::ByControlId) {
                TMMLineId owner = kBadLineId;
                found = controlId_ != kBadControlId && mixer.ControlById(controlId_, record, owner);
            } else {
                found =
                    mixer.ControlByType(line_->LineId(), ControlTypeValue(controlType_), record);
            }
            if (found && AcceptControl(record)) {
                controlId_ = record.controlId;
                controlType_ = ControlTypeFromValue(record.controlType);
                info_.Assign(record);
            } else {
                controlId_ = kBadControlId;
                info_.Clear();
            }
        }
    }
    controlClass_ = ControlClassOf(ControlTypeValue(controlType_));
    if (!IsLoading()) ControlIdChanged();
}

void TMMCustomMixerControl::LineNotification(const TMMNotification& notification) {
    if (auto* change = dynamic_cast<const TMMControlChange*>(&notification)) {
        if (!line_ || !line_->HasUsableMixer()) throw EMMDeviceError(mixer_msg::kMixerRequired);
        if (line_->LineId() == change->LineId && change->ControlId == controlId_) Changed();
    } else if (dynamic_cast<const TMMLineIdChange*>(&notification)) {
        ResolveControl();
    }
}

void TMMCustomMixerControl::Changed() {
    const TMMLineId lineId = line_ && line_->HasUsableMixer() ? line_->LineId() : kBadLineId;
    notifier_.Notify(TMMControlChange(lineId, controlId_));
    if (OnChange) OnChange(this);
}

void TMMCustomMixerControl::ControlIdChanged() {
    notifier_.Notify(TMMControlIdChange());
}

bool TMMCustomMixerControl::IsValidControl() const {
    return line_ && line_->IsUsable() && controlId_ != kBadControlId;
}

bool TMMCustomMixerControl::AcceptControl(const MixerControlRecord&) const {
    return true;
}

uint32_t TMMCustomMixerControl::ChannelCount() const {
    if (!line_ || !line_->HasUsableMixer()) return 0;
    if (info_.Flags().Has(TMMControlFlag::cfUniform)) return 1;
    return line_->LineInfo().Channels();
}

uint32_t TMMCustomMixerControl::ItemCount() const {
    if (!line_ || !line_->HasUsableMixer()) return 0;
    return uint32_t(std::max(info_.MultipleItems(), 0));
}

TMMMixerDevice& TMMCustomMixerControl::RequireValid() const {
    if (!line_ || !line_->HasUsableMixer()) throw EMMDeviceError(mixer_msg::kMixerRequired);
    if (controlId_ == kBadControlId) throw EMMDeviceError(mixer_msg::kControlNotValid);
    return *line_->Mixer();
}

size_t TMMCustomMixerControl::IndexOf(TMMChannel channel, uint32_t channels,
                                      TMMItemIndex item) const {
    const size_t at = size_t(std::max(item, 0));
    if (channel == TMMChannel::chBoth || channels < 2) return at;
    return size_t(std::max(channels, 1u)) * at + (channel == TMMChannel::chRight ? 1 : 0);
}

TMMCustomMixerControl::Element TMMCustomMixerControl::Locate(TMMChannel channel,
                                                             TMMItemIndex item) const {
    const uint32_t count = ChannelCount();
    Element e;
    e.channels = channel == TMMChannel::chBoth ? std::min(count, 1u) : count;
    e.items = 0;
    if (item != kNoItem) {
        if (item < 0 || item >= info_.MultipleItems())
            throw EMMMixerControlError(mixer_msg::kItemIndexOutOfRange);
        e.items = uint32_t(info_.MultipleItems());
    }
    e.index = IndexOf(channel, e.channels, item);
    return e;
}

std::vector<int32_t> TMMCustomMixerControl::ReadArray(TMMMixerDevice& mixer,
                                                      const Element& element) {
    std::vector<int32_t> values = mixer.GetDetails(controlId_, element.channels, element.items);
    // A line without channels transfers nothing: nothing to pick from.
    if (element.index >= values.size()) ThrowInvalidParam(mixer);
    return values;
}

int32_t TMMCustomMixerControl::ReadElement(TMMChannel channel, TMMItemIndex item) {
    TMMMixerDevice& mixer = RequireValid();
    const Element e = Locate(channel, item);
    return ReadArray(mixer, e)[e.index];
}

void TMMCustomMixerControl::WriteElement(TMMChannel channel, TMMItemIndex item, int32_t value) {
    TMMMixerDevice& mixer = RequireValid();
    const Element e = Locate(channel, item);
    std::vector<int32_t> values = ReadArray(mixer, e);
    values[e.index] = value;
    mixer.SetDetails(controlId_, e.channels, e.items, values);
}

int32_t TMMCustomMixerControl::ReadWhole() {
    TMMMixerDevice& mixer = RequireValid();
    const Element e{std::min(ChannelCount(), 1u), 0, 0};
    return ReadArray(mixer, e)[0];
}

void TMMCustomMixerControl::WriteWhole(int32_t value) {
    TMMMixerDevice& mixer = RequireValid();
    mixer.SetDetails(controlId_, std::min(ChannelCount(), 1u), 0, {value});
}

bool TMMCustomMixerControl::GetBooleanValue() {
    return (ReadWhole() & 0xFF) != 0;
}

void TMMCustomMixerControl::SetBooleanValue(bool value) {
    WriteWhole(value ? 1 : 0);
}

int32_t TMMCustomMixerControl::GetSignedValue() {
    return ReadWhole();
}

void TMMCustomMixerControl::SetSignedValue(int32_t value) {
    WriteWhole(value);
}

uint32_t TMMCustomMixerControl::GetUnsignedValue() {
    return uint32_t(ReadWhole());
}

void TMMCustomMixerControl::SetUnsignedValue(uint32_t value) {
    WriteWhole(int32_t(value));
}

uint32_t TMMCustomMixerControl::GetUnsignedItem(TMMChannel channel, TMMItemIndex item) {
    return uint32_t(ReadElement(channel, item));
}

void TMMCustomMixerControl::SetUnsignedItem(TMMChannel channel, TMMItemIndex item, uint32_t value) {
    WriteElement(channel, item, int32_t(value));
}

int32_t TMMCustomMixerControl::GetSignedItem(TMMChannel channel, TMMItemIndex item) {
    return ReadElement(channel, item);
}

void TMMCustomMixerControl::SetSignedItem(TMMChannel channel, TMMItemIndex item, int32_t value) {
    WriteElement(channel, item, value);
}

bool TMMCustomMixerControl::GetBooleanItem(TMMChannel channel, TMMItemIndex item) {
    return (ReadElement(channel, item) & 0xFF) != 0;
}

bool TMMCustomMixerControl::IsSingleSelect() const {
    const uint32_t value = ControlTypeValue(controlType_);
    return ControlClassOf(value) == TMMControlClass::ccList && ((value >> 24) & 0xF) == 0;
}

void TMMCustomMixerControl::SetBooleanItem(TMMChannel channel, TMMItemIndex item, bool value) {
    if (!IsSingleSelect()) {
        WriteElement(channel, item, value ? 1 : 0);
        return;
    }
    TMMMixerDevice& mixer = RequireValid();
    const Element e = Locate(channel, item);
    std::vector<int32_t> values = ReadArray(mixer, e);
    const TMMItemIndex items = std::max<TMMItemIndex>(TMMItemIndex(e.items), 1);
    for (TMMItemIndex i = 0; i < items; ++i) {
        const size_t at = IndexOf(channel, e.channels, i);
        if (at < values.size()) values[at] = 0;
    }
    values[e.index] = value ? 1 : 0;
    mixer.SetDetails(controlId_, e.channels, e.items, values);
}

std::vector<MixerListText> TMMCustomMixerControl::ReadListTexts(TMMMixerDevice& mixer) {
    const uint32_t items = uint32_t(std::max(info_.MultipleItems(), 0));
    std::vector<MixerListText> texts = mixer.GetListText(controlId_, ChannelCount(), items);
    if (texts.size() < size_t(std::max(ChannelCount(), 1u)) * items) ThrowInvalidParam(mixer);
    return texts;
}

TMMItemInfo TMMCustomMixerControl::ItemInfo(TMMItemIndex item) {
    TMMMixerDevice& mixer = RequireValid();
    if (!info_.Flags().Has(TMMControlFlag::cfMultiple))
        throw EMMMixerControlError(mixer_msg::kItemInfoNonMultiple);
    if (item < 0 || item >= info_.MultipleItems())
        throw EMMMixerControlError(mixer_msg::kItemIndexOutOfRange);
    const std::vector<MixerListText> texts = ReadListTexts(mixer);
    const MixerListText& text = texts[size_t(item) * std::max(ChannelCount(), 1u)];
    return {text.param1, text.param2, CutName(text.name, 63)};
}

TMMItemIndex TMMCustomMixerControl::FindItem(const TMMAudioLine* line) {
    if (!line || line->LineId() == kBadLineId || !IsValidControl() ||
        !info_.Flags().Has(TMMControlFlag::cfMultiple) ||
        (controlType_ != TMMControlType::ctMixer && controlType_ != TMMControlType::ctMux))
        return kNoItem;
    const std::vector<MixerListText> texts = ReadListTexts(*line_->Mixer());
    const size_t stride = std::max(ChannelCount(), 1u);
    for (TMMItemIndex i = 0; i < info_.MultipleItems(); ++i)
        if (texts[size_t(i) * stride].param1 == uint32_t(line->LineId())) return i;
    return kNoItem;
}

}  // namespace zt
