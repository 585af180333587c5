#pragma once
// A check box for a switch control (a mute) or for one item of a list
// control (an input of the recording selector).
//
// Binding: SetControl accepts controls of the classes ccList and ccSwitch
// ("Invalid control class" otherwise, and the previous binding stays).
// With an ItemLine the item is the one standing for that line (FindItem),
// found again whenever the line is resolved again.
//
// Refresh (after loading, when a property is set, when the control changes
// value or is resolved again): enabled when allowed (Enabled) and the
// control is usable for the item; the caption from the item's name or the
// control's (short) name when AutoCaption; the tick from the card, read
// with the link's update counter raised.
//
// Click: a change of the tick, by the user or by code (SetChecked, or Qt's
// setChecked), writes the tick to the control when the link's update
// counter is 0 and the box is enabled (a disabled box refreshes instead);
// then OnClick fires. Ticking an item of a single-selection list selects it
// and deselects the others. A tick that does not change writes nothing.
// Errors of a write made by SetChecked reach its caller; those of a user's
// click (or of Qt's setChecked) go to the general error display.
//
// Threads: main thread only.

#include <QCheckBox>
#include <QPointer>
#include <exception>
#include <functional>

#include "mixer/AudioLine.h"
#include "mixer/MixerComponent.h"
#include "mixer/MixerControl.h"
#include "mixer/ui/ControlLink.h"

namespace zt {

class TMMMixerCheckBox : public QCheckBox, public TMMLoadable {
public:
    explicit TMMMixerCheckBox(QWidget* parent = nullptr);
    ~TMMMixerCheckBox() override;

    TMMCustomMixerControl* Control() const { return link_.Control(); }
    void SetControl(TMMCustomMixerControl* control);

    TMMChannel Channel() const { return channel_; }
    void SetChannel(TMMChannel channel);

    TMMItemIndex Item() const { return item_; }
    void SetItem(TMMItemIndex item);

    bool AutoCaption() const { return autoCaption_; }
    void SetAutoCaption(bool autoCaption);

    // The control's short name rather than its name, for the caption.
    bool Short() const { return short_; }
    void SetShort(bool shortName);

    TMMAudioLine* ItemLine() const { return itemLine_; }
    void SetItemLine(TMMAudioLine* line);

    // The permission to be enabled (the box's state is Qt's isEnabled()).
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }

    bool Checked() const { return isChecked(); }
    // Sets the tick from code; a change runs the click rule.
    void SetChecked(bool checked);

    void Loaded() override;
    void Refresh();

    TMMControlLink& Link() { return link_; }

    std::function<void(TMMMixerCheckBox* sender)> OnClick;

protected:
    // Qt reports a tick set by setChecked through checkStateSet, and one
    // toggled by a user's click through nextCheckState alone.
    void checkStateSet() override;
    void nextCheckState() override;

private:
    // Runs the click rule when the tick differs from the one last reported.
    void TickReported();
    void Click();
    void ItemLineNotification(const TMMNotification& notification);

    TMMControlLink link_;
    TMMObserver itemLineObserver_;
    QPointer<TMMAudioLine> itemLine_;
    TMMChannel channel_ = TMMChannel::chBoth;
    TMMItemIndex item_ = kNoItem;
    bool autoCaption_ = true;
    bool short_ = true;
    bool enabled_ = true;
    // The tick as last reported, so that only a change runs the click rule.
    bool publishedChecked_ = false;
    bool fromCode_ = false;
    std::exception_ptr codeError_;
};

}  // namespace zt
