#pragma once
// One control of a line (a volume, a mute, the recording-source selector),
// found by ControlId or by ControlType on its AudioLine, with typed access
// to its values.
//
// Resolution runs after loading, on every change of AudioLine, ControlId or
// ControlType, and whenever the line was resolved again (TMMLineIdChange).
// On a usable line (valid mixer, LineId ≠ −1) the control is looked up;
// found and accepted (AcceptControl): ControlId, ControlType and ControlInfo
// take the record's values; otherwise ControlId −1 and ControlInfo cleared.
// On a line that is not usable both keep their values (the control is then
// not valid). Every resolution ends with TMMControlIdChange.
//
// A TMMControlChange of the line for this control goes on to the control's
// subscribers (then OnChange).
//
// Values are never cached: every read transfers the control's whole array
// (channels × items) from the back end, and every write reads the array,
// replaces one element and writes the whole array back.
//
// Threads: main thread only.

#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mixer/AudioLine.h"
#include "mixer/MixerComponent.h"
#include "mixer/MixerTypes.h"
#include "mixer/Notifier.h"

namespace zt {

enum class TMMControlFlag : uint8_t { cfDisabled, cfMultiple, cfUniform };
using TMMControlFlags = TMMFlagSet<TMMControlFlag>;

// The control as last resolved; cleared: all zero, names empty.
class TMMControlInfo {
public:
    TMMControlFlags Flags() const { return flags_; }
    TMMItemIndex MultipleItems() const { return multipleItems_; }
    const std::string& ShortName() const { return shortName_; }
    const std::string& Name() const { return name_; }
    int32_t MinValue() const { return minValue_; }
    int32_t MaxValue() const { return maxValue_; }
    int32_t Steps() const { return steps_; }

    void Assign(const MixerControlRecord& control);
    void Clear() { *this = TMMControlInfo(); }

private:
    TMMControlFlags flags_;
    TMMItemIndex multipleItems_ = 0;
    std::string shortName_;
    std::string name_;
    int32_t minValue_ = 0;
    int32_t maxValue_ = 0;
    int32_t steps_ = 0;
};

// One item of a list control.
struct TMMItemInfo {
    // For a selector item: the id of the source line it stands for.
    uint32_t Param1 = 0;
    uint32_t Param2 = 0;
    std::string Name;
    bool operator==(const TMMItemInfo&) const = default;
};

// The member of TMMControlType whose number is `value`; ctCustom when none.
TMMControlType ControlTypeFromValue(uint32_t value);

class TMMCustomMixerControl : public TMMNonVisualComponent {
public:
    enum class LookupMode : uint8_t { ByControlId, ByControlType };

    TMMCustomMixerControl();
    ~TMMCustomMixerControl() override;

    TMMAudioLine* AudioLine() const { return line_; }
    void SetAudioLine(TMMAudioLine* line);

    TMMControlId ControlId() const { return controlId_; }
    // Look-up by this id from now on.
    void SetControlId(TMMControlId controlId);

    TMMControlType ControlType() const { return controlType_; }
    TMMControlClass ControlClass() const { return controlClass_; }
    const TMMControlInfo& ControlInfo() const { return info_; }
    LookupMode Mode() const { return mode_; }

    // Subscribers told about the control (TMMControlChange,
    // TMMControlIdChange).
    void Subscribe(TMMObserver& observer) { notifier_.Subscribe(observer); }
    void Unsubscribe(TMMObserver& observer) { notifier_.Unsubscribe(observer); }

    void Loaded() override;
    virtual void ResolveControl();

    // ---- values ---------------------------------------------------------
    // Every value operation raises EMMDeviceError "Mixer required for this
    // operation" without a usable mixer and "Control not valid" while
    // ControlId is −1.
    //
    // Whole-control values: one value, one channel, no items (the back end
    // treats the control as uniform). Booleans are the value's low byte.
    virtual bool GetBooleanValue();
    virtual void SetBooleanValue(bool value);
    virtual int32_t GetSignedValue();
    virtual void SetSignedValue(int32_t value);
    virtual uint32_t GetUnsignedValue();
    virtual void SetUnsignedValue(uint32_t value);

    // The line is usable and ControlId ≠ −1.
    virtual bool IsValidControl() const;
    virtual bool AcceptControl(const MixerControlRecord& control) const;
    // 0 without a usable mixer, 1 for a uniform control, else the line's
    // channels.
    virtual uint32_t ChannelCount() const;
    // MultipleItems (0 without a usable mixer).
    virtual uint32_t ItemCount() const;

    // One element: `item` −1 for a control without items (else 0 …
    // MultipleItems − 1, "Item index out of range" otherwise); chBoth
    // addresses the control as uniform, chLeft / chRight one channel.
    virtual uint32_t GetUnsignedItem(TMMChannel channel, TMMItemIndex item);
    virtual void SetUnsignedItem(TMMChannel channel, TMMItemIndex item, uint32_t value);
    virtual int32_t GetSignedItem(TMMChannel channel, TMMItemIndex item);
    virtual void SetSignedItem(TMMChannel channel, TMMItemIndex item, int32_t value);
    virtual bool GetBooleanItem(TMMChannel channel, TMMItemIndex item);
    // On a single-selection list (ctMux, ctSingleSelect) every item of the
    // same channel position is cleared in the same write: selecting one
    // source deselects the others.
    virtual void SetBooleanItem(TMMChannel channel, TMMItemIndex item, bool value);

    // The item's list text; needs a multiple control ("Item info requested
    // from non-multiple control") and an item in range.
    TMMItemInfo ItemInfo(TMMItemIndex item);
    // The item standing for `line` on a ctMixer or ctMux list; −1 when the
    // control or line does not allow the question or no item stands for it.
    TMMItemIndex FindItem(const TMMAudioLine* line);

    std::function<void(TMMCustomMixerControl* sender)> OnChange;

protected:
    // Look-up by this type from now on.
    void SetControlType(TMMControlType type);
    virtual void Changed();
    virtual void ControlIdChanged();

private:
    // Where one element lies in the array a read transfers.
    struct Element {
        uint32_t channels;
        uint32_t items;
        size_t index;
    };
    void LineNotification(const TMMNotification& notification);
    // Raises unless the line's mixer is usable and ControlId ≠ −1.
    TMMMixerDevice& RequireValid() const;
    Element Locate(TMMChannel channel, TMMItemIndex item) const;
    size_t IndexOf(TMMChannel channel, uint32_t channels, TMMItemIndex item) const;
    std::vector<int32_t> ReadArray(TMMMixerDevice& mixer, const Element& element);
    int32_t ReadElement(TMMChannel channel, TMMItemIndex item);
    void WriteElement(TMMChannel channel, TMMItemIndex item, int32_t value);
    int32_t ReadWhole();
    void WriteWhole(int32_t value);
    std::vector<MixerListText> ReadListTexts(TMMMixerDevice& mixer);
    bool IsSingleSelect() const;

    QPointer<TMMAudioLine> line_;
    TMMControlId controlId_ = kBadControlId;
    TMMControlType controlType_ = TMMControlType::ctCustom;
    TMMControlClass controlClass_ = TMMControlClass::ccCustom;
    LookupMode mode_ = LookupMode::ByControlId;
    TMMObserver lineObserver_;
    TMMObservable notifier_;
    TMMControlInfo info_;
};

// A control of any type.
class TMMMixerControl : public TMMCustomMixerControl {
public:
    using TMMCustomMixerControl::SetControlType;
};

}  // namespace zt
