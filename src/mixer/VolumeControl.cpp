#include "mixer/VolumeControl.h"

#include <cmath>

namespace zt {

TMMVolumeControl::TMMVolumeControl() {
    SetControlType(TMMControlType::ctVolume);
}

double TMMVolumeControl::LeftFactor() const {
    return panValue_ < 1 ? 1.0 : (32767.0 - panValue_) / 32767.0;
}

double TMMVolumeControl::RightFactor() const {
    return panValue_ >= 0 ? 1.0 : (panValue_ + 32768.0) / 32768.0;
}

void TMMVolumeControl::SetPanValue(int32_t pan) {
    if (pan == panValue_) return;
    panValue_ = pan;
    if (IsValidControl()) SetUnsignedValue(GetUnsignedValue());
}

bool TMMVolumeControl::AcceptControl(const MixerControlRecord& control) const {
    return control.controlType == control::kVolume;
}

void TMMVolumeControl::SetUnsignedValue(uint32_t value) {
    SetUnsignedItem(TMMChannel::chBoth, kNoItem, value);
}

void TMMVolumeControl::SetSignedValue(int32_t value) {
    SetSignedItem(TMMChannel::chBoth, kNoItem, value);
}

void TMMVolumeControl::SetUnsignedItem(TMMChannel channel, TMMItemIndex item, uint32_t value) {
    if (channel != TMMChannel::chBoth) {
        TMMCustomMixerControl::SetUnsignedItem(channel, item, value);
        return;
    }
    TMMCustomMixerControl::SetUnsignedItem(TMMChannel::chLeft, item,
                                           uint32_t(std::trunc(value * LeftFactor())));
    TMMCustomMixerControl::SetUnsignedItem(TMMChannel::chRight, item,
                                           uint32_t(std::trunc(value * RightFactor())));
}

void TMMVolumeControl::SetSignedItem(TMMChannel channel, TMMItemIndex item, int32_t value) {
    if (channel != TMMChannel::chBoth) {
        TMMCustomMixerControl::SetSignedItem(channel, item, value);
        return;
    }
    TMMCustomMixerControl::SetSignedItem(TMMChannel::chLeft, item,
                                         int32_t(std::trunc(value * LeftFactor())));
    TMMCustomMixerControl::SetSignedItem(TMMChannel::chRight, item,
                                         int32_t(std::trunc(value * RightFactor())));
}

}  // namespace zt
