#include "mixer/ui/ControlLink.h"

namespace zt {

void TMMControlLink::SetControl(TMMCustomMixerControl* control) {
    if (control_) control_->Unsubscribe(*this);
    control_ = control;
    if (control_) control_->Subscribe(*this);
}

void TMMControlLink::Update(const TMMNotification& notification) {
    if (dynamic_cast<const TMMControlChange*>(&notification)) {
        if (OnValueChange) OnValueChange();
    } else if (dynamic_cast<const TMMControlIdChange*>(&notification)) {
        if (OnIdChange) OnIdChange();
    }
}

bool IsControlUsable(const TMMCustomMixerControl* control, TMMItemIndex item) {
    if (!control || !control->IsValidControl()) return false;
    const TMMControlInfo& info = control->ControlInfo();
    if (info.Flags().Has(TMMControlFlag::cfMultiple)) {
        if (item < 0 || item >= info.MultipleItems()) return false;
    } else if (item != kNoItem) {
        return false;
    }
    return !info.Flags().Has(TMMControlFlag::cfDisabled);
}

}  // namespace zt
