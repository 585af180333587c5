#pragma once
// A volume control (it accepts only a volume), with panning: PanValue from
// −32768 (left only) to 32767 (right only) scales the two channels of every
// whole-control write and of every chBoth item write. With the default 0
// both channels get the same value.
//
// Threads: main thread only.

#include <cstdint>

#include "mixer/MixerControl.h"

namespace zt {

class TMMVolumeControl : public TMMCustomMixerControl {
public:
    TMMVolumeControl();

    int32_t PanValue() const { return panValue_; }
    // A new value writes the current whole-control value again, panned,
    // when the control is valid.
    void SetPanValue(int32_t pan);

    // The factors of the two channels for the current PanValue.
    double LeftFactor() const;
    double RightFactor() const;

    bool AcceptControl(const MixerControlRecord& control) const override;
    // Left with trunc(value × LeftFactor), then right with trunc(value ×
    // RightFactor), as item writes of item −1.
    void SetUnsignedValue(uint32_t value) override;
    void SetSignedValue(int32_t value) override;
    // chLeft / chRight: that channel unchanged; chBoth: both, panned.
    void SetUnsignedItem(TMMChannel channel, TMMItemIndex item, uint32_t value) override;
    void SetSignedItem(TMMChannel channel, TMMItemIndex item, int32_t value) override;

private:
    int32_t panValue_ = 0;
};

}  // namespace zt
