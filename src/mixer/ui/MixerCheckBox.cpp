#include "mixer/ui/MixerCheckBox.h"

#include <utility>

#include "mixer/MixerErrors.h"
#include "platform/ErrorDisplay.h"

namespace zt {

TMMMixerCheckBox::TMMMixerCheckBox(QWidget* parent)
    : QCheckBox(parent),
      itemLineObserver_([this](const TMMNotification& n) { ItemLineNotification(n); }) {
    link_.OnValueChange = [this] { Refresh(); };
    link_.OnIdChange = [this] { Refresh(); };
}

TMMMixerCheckBox::~TMMMixerCheckBox() = default;

void TMMMixerCheckBox::SetControl(TMMCustomMixerControl* control) {
    if (control && control->ControlClass() != TMMControlClass::ccList &&
        control->ControlClass() != TMMControlClass::ccSwitch)
        throw EMMMixerControlsError(mixer_msg::kInvalidControlClass);
    link_.SetControl(control);
    Refresh();
}

void TMMMixerCheckBox::SetChannel(TMMChannel channel) {
    channel_ = channel;
    Refresh();
}

void TMMMixerCheckBox::SetItem(TMMItemIndex item) {
    item_ = item;
    Refresh();
}

void TMMMixerCheckBox::SetAutoCaption(bool autoCaption) {
    autoCaption_ = autoCaption;
    Refresh();
}

void TMMMixerCheckBox::SetShort(bool shortName) {
    short_ = shortName;
    Refresh();
}

void TMMMixerCheckBox::SetItemLine(TMMAudioLine* line) {
    if (itemLine_) itemLine_->Unsubscribe(itemLineObserver_);
    itemLine_ = line;
    if (itemLine_) itemLine_->Subscribe(itemLineObserver_);
    Refresh();
}

void TMMMixerCheckBox::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Refresh();
}

void TMMMixerCheckBox::Loaded() {
    TMMLoadable::Loaded();
    Refresh();
}

void TMMMixerCheckBox::ItemLineNotification(const TMMNotification& notification) {
    // The line's value and state changes are not this box's business; its
    // new resolution is.
    if (dynamic_cast<const TMMLineChange*>(&notification) ||
        dynamic_cast<const TMMControlChange*>(&notification))
        return;
    Refresh();
}

void TMMMixerCheckBox::Refresh() {
    if (IsLoading()) return;
    TMMCustomMixerControl* control = link_.Control();
    if (!control) {
        setEnabled(false);
        return;
    }
    if (itemLine_) item_ = control->FindItem(itemLine_);
    const bool usable = IsControlUsable(control, item_);
    const bool enabled = enabled_ && usable;
    setEnabled(enabled);
    if (enabled && autoCaption_) {
        const TMMControlInfo& info = control->ControlInfo();
        const std::string caption = item_ != kNoItem ? control->ItemInfo(item_).Name
                                    : short_         ? info.ShortName()
                                                     : info.Name();
        setText(QString::fromStdString(caption));
    }
    if (usable) {
        TMMUpdateScope echo(link_);
        setChecked(control->GetBooleanItem(channel_, item_));
    }
}

void TMMMixerCheckBox::SetChecked(bool checked) {
    fromCode_ = true;
    codeError_ = nullptr;
    setChecked(checked);
    fromCode_ = false;
    if (codeError_) std::rethrow_exception(std::exchange(codeError_, nullptr));
}

void TMMMixerCheckBox::checkStateSet() {
    QCheckBox::checkStateSet();
    TickReported();
}

void TMMMixerCheckBox::nextCheckState() {
    QCheckBox::nextCheckState();
    TickReported();
}

void TMMMixerCheckBox::TickReported() {
    // Qt reports every setChecked, changed or not.
    if (isChecked() == publishedChecked_) return;
    publishedChecked_ = isChecked();
    if (fromCode_) {
        try {
            Click();
        } catch (...) {
            codeError_ = std::current_exception();
        }
    } else {
        Guarded([this] { Click(); });
    }
}

void TMMMixerCheckBox::Click() {
    TMMCustomMixerControl* control = link_.Control();
    if (!IsLoading() && link_.UpdateCount() == 0) {
        TMMUpdateScope echo(link_);
        // The box's own state, whatever its parents' (a disabled panel does
        // not stop a tick set from code).
        if (control && !testAttribute(Qt::WA_ForceDisabled))
            control->SetBooleanItem(channel_, item_, isChecked());
        else
            Refresh();
    }
    if (OnClick) OnClick(this);
}

}  // namespace zt
