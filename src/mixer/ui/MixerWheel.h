#pragma once
// The knob of a mixer control (a volume): the knob's range is the control's
// range in steps (Steps of the control, 32 when it gives none), its value
// the control's value read for Channel and Item.
//
// Binding: SetControl accepts controls of the classes ccFader, ccNumber,
// ccSlider and ccTime ("Invalid control class" otherwise, and the previous
// binding stays).
//
// Refresh (after loading, when a property is set, when the control changes
// value or is resolved again): enabled when allowed (Enabled) and the
// control is usable for the item; range and value from the card, with the
// link's update counter raised, so that nothing of a refresh is written
// back to the card.
//
// Change: a new value, turned by the operator or set by code, is written to
// the control (Value × step + MinValue, rounded) unless the link's update
// counter is raised; a disabled control is read again instead. Then OnChange
// fires (not while loading). Errors of the operator's turns go to the
// general error display; those of SetValue reach its caller.
//
// Threads: main thread only.

#include <functional>

#include "mixer/MixerComponent.h"
#include "mixer/MixerControl.h"
#include "mixer/ui/ControlLink.h"
#include "mixer/ui/Wheel.h"

namespace zt {

class TMMMixerWheel : public TMMCustomWheel, public TMMLoadable {
public:
    explicit TMMMixerWheel(QWidget* parent = nullptr);
    ~TMMMixerWheel() override;

    TMMCustomMixerControl* Control() const { return link_.Control(); }
    void SetControl(TMMCustomMixerControl* control);

    TMMChannel Channel() const { return channel_; }
    void SetChannel(TMMChannel channel);

    TMMItemIndex Item() const { return item_; }
    void SetItem(TMMItemIndex item);

    // The permission to be enabled (the knob's state is Qt's isEnabled()).
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // The control's value per knob step, as last refreshed.
    long double Step() const { return step_; }

    void Loaded() override;
    void Refresh();

    TMMControlLink& Link() { return link_; }

    std::function<void(TMMMixerWheel* sender)> OnChange;

protected:
    void Change() override;

    // The operator's input, with its errors shown rather than thrown into
    // the event loop.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // Reads the knob's value from the control (the counter is raised by the
    // caller).
    void ReadValue(TMMCustomMixerControl& control);

    TMMControlLink link_;
    TMMChannel channel_ = TMMChannel::chBoth;
    TMMItemIndex item_ = kNoItem;
    bool enabled_ = true;
    long double step_ = 0;
};

}  // namespace zt
