#include "mixer/ui/MixerWheel.h"

#include <cmath>
#include <cstdint>

#include "mixer/MixerErrors.h"
#include "platform/ErrorDisplay.h"

namespace zt {

namespace {

// Rounds half to even, as the values were always rounded.
long double RoundValue(long double v) {
    return std::nearbyint(v);
}

}  // namespace

TMMMixerWheel::TMMMixerWheel(QWidget* parent) : TMMCustomWheel(parent) {
    link_.OnValueChange = [this] { Refresh(); };
    link_.OnIdChange = [this] { Refresh(); };
}

TMMMixerWheel::~TMMMixerWheel() = default;

void TMMMixerWheel::SetControl(TMMCustomMixerControl* control) {
    if (control) {
        const TMMControlClass c = control->ControlClass();
        if (c != TMMControlClass::ccFader && c != TMMControlClass::ccNumber &&
            c != TMMControlClass::ccSlider && c != TMMControlClass::ccTime)
            throw EMMMixerControlsError(mixer_msg::kInvalidControlClass);
    }
    link_.SetControl(control);
    Refresh();
}

void TMMMixerWheel::SetChannel(TMMChannel channel) {
    channel_ = channel;
    Refresh();
}

void TMMMixerWheel::SetItem(TMMItemIndex item) {
    item_ = item;
    Refresh();
}

void TMMMixerWheel::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Refresh();
}

void TMMMixerWheel::Loaded() {
    TMMLoadable::Loaded();
    Refresh();
}

void TMMMixerWheel::Refresh() {
    if (IsLoading()) return;
    TMMCustomMixerControl* control = link_.Control();
    if (!control) {
        setEnabled(false);
        return;
    }
    setEnabled(enabled_ && IsControlUsable(control, item_));
    const TMMControlInfo& info = control->ControlInfo();
    const long double range = (long double)info.MaxValue() - info.MinValue();
    step_ = range / (info.Steps() != 0 ? info.Steps() : 32);
    // The new range may move the value; that is not the operator's turn and
    // must not reach the card either.
    TMMUpdateScope echo(link_);
    SetMinMax(0, step_ != 0 ? int(std::trunc(range / step_)) : 1);
    ReadValue(*control);
}

void TMMMixerWheel::ReadValue(TMMCustomMixerControl& control) {
    if (IsControlUsable(&control, item_) && step_ != 0 && Minimum() < Maximum()) {
        const long double raw = control.GetUnsignedItem(channel_, item_);
        SetValue(int(RoundValue((raw - control.ControlInfo().MinValue()) / step_)));
    } else {
        SetValue(0);
    }
}

void TMMMixerWheel::Change() {
    TMMCustomWheel::Change();
    TMMCustomMixerControl* control = link_.Control();
    if (!IsLoading() && control && link_.UpdateCount() == 0) {
        TMMUpdateScope echo(link_);
        if (control->ControlInfo().Flags().Has(TMMControlFlag::cfDisabled)) {
            ReadValue(*control);
        } else {
            const long double v = RoundValue(Value() * step_ + control->ControlInfo().MinValue());
            control->SetUnsignedItem(channel_, item_, uint32_t(int64_t(v)));
        }
    }
    if (!IsLoading() && OnChange) OnChange(this);
}

void TMMMixerWheel::mousePressEvent(QMouseEvent* event) {
    Guarded([&] { TMMCustomWheel::mousePressEvent(event); });
}

void TMMMixerWheel::mouseMoveEvent(QMouseEvent* event) {
    Guarded([&] { TMMCustomWheel::mouseMoveEvent(event); });
}

void TMMMixerWheel::mouseReleaseEvent(QMouseEvent* event) {
    Guarded([&] { TMMCustomWheel::mouseReleaseEvent(event); });
}

void TMMMixerWheel::keyPressEvent(QKeyEvent* event) {
    Guarded([&] { TMMCustomWheel::keyPressEvent(event); });
}

void TMMMixerWheel::wheelEvent(QWheelEvent* event) {
    Guarded([&] { TMMCustomWheel::wheelEvent(event); });
}

}  // namespace zt
