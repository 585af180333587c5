#pragma once
// A widget's subscription to one mixer control: a value change of the
// control (TMMControlChange) calls OnValueChange, a new resolution of it
// (TMMControlIdChange) calls OnIdChange; other notifications are ignored.
// The inherited update counter is raised by the widget around its own reads
// and writes, so that it can tell its own echoes from the card's changes.
//
// Threads: main thread only.

#include <QPointer>
#include <functional>

#include "mixer/MixerControl.h"
#include "mixer/Notifier.h"

namespace zt {

class TMMControlLink : public TMMObserver {
public:
    TMMControlLink() = default;

    TMMCustomMixerControl* Control() const { return control_; }
    // Leaves the old control's notifier and joins the new one's.
    void SetControl(TMMCustomMixerControl* control);

    void Update(const TMMNotification& notification) override;

    std::function<void()> OnValueChange;
    std::function<void()> OnIdChange;

private:
    QPointer<TMMCustomMixerControl> control_;
};

// The widgets' shared test: the control is assigned and valid; a control
// with several items needs `item` in 0 … MultipleItems − 1, any other
// control item −1; and the control is not disabled.
bool IsControlUsable(const TMMCustomMixerControl* control, TMMItemIndex item);

}  // namespace zt
