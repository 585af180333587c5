#pragma once
// One line of a mixer: a destination (the recording destination, the
// speakers) or a source feeding one (line input, microphone, CD).
//
// A line is looked up in one of three modes, chosen by the property set
// last: by LineId, by ComponentType (the first line of that type), or by
// Target (the line standing for a given device). With a DestLine it is
// looked up under that destination line: the line found must feed that
// destination, directly or found by scanning the destination's sources;
// otherwise it counts as not found.
//
// Resolution runs after loading, on every change of Mixer, LineId,
// ComponentType, Target or DestLine, when the mixer changes device, and on
// every notification of the destination line or target. Found: LineId,
// ComponentType and LineInfo take the record's values. Not found: LineId
// −1 and LineInfo cleared. Without a valid mixer both keep their values (a
// detached line keeps its LineId; attaching it again resolves it again).
// Every resolution ends with TMMLineIdChange to the line's subscribers.
//
// The line follows its mixer: a TMMLineChange or TMMControlChange for its
// own LineId goes on to its subscribers (then OnChange / OnControlChange).
//
// Threads: main thread only.

#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>

#include "mixer/MixerComponent.h"
#include "mixer/MixerDevice.h"
#include "mixer/MixerTypes.h"
#include "mixer/Notifier.h"

namespace zt {

enum class TMMLineFlag : uint8_t { cfActive, cfDisconnected, cfSource };
using TMMLineFlags = TMMFlagSet<TMMLineFlag>;

// The line's state as last resolved; cleared: all zero, names empty.
class TMMLineInfo {
public:
    TMMLineFlags Flags() const { return flags_; }
    uint32_t Channels() const { return channels_; }
    // The number of source lines, for a destination.
    uint32_t Connections() const { return connections_; }
    uint32_t Controls() const { return controls_; }
    const std::string& ShortName() const { return shortName_; }
    const std::string& Name() const { return name_; }

    void Assign(const MixerLineRecord& line);
    void Clear() { *this = TMMLineInfo(); }

private:
    TMMLineFlags flags_;
    uint32_t channels_ = 0;
    uint32_t connections_ = 0;
    uint32_t controls_ = 0;
    std::string shortName_;
    std::string name_;
};

// The member of TMMComponentType whose number is `value`; "Undefined API
// component type" (EMMMixerServiceError) when none has it.
TMMComponentType ComponentTypeFromValue(uint32_t value);

class TMMAudioLine : public TMMNonVisualComponent {
public:
    enum class LookupMode : uint8_t { ByLineId, ByComponentType, ByTarget };

    TMMAudioLine();
    ~TMMAudioLine() override;

    TMMMixerDevice* Mixer() const { return mixer_; }
    void SetMixer(TMMMixerDevice* mixer);

    TMMLineId LineId() const { return lineId_; }
    // Look-up by this id from now on.
    void SetLineId(TMMLineId lineId);

    TMMComponentType ComponentType() const { return componentType_; }
    // Look-up by this type from now on.
    void SetComponentType(TMMComponentType type);

    TMMCustomAudioDevice* Target() const { return target_; }
    // Look-up by this device from now on; a mixer cannot be a target ("Can't
    // target to mixer").
    void SetTarget(TMMCustomAudioDevice* target);

    TMMAudioLine* DestLine() const { return destLine_; }
    // Only a TMMAudioLine is accepted ("DestLine should be TMMAudioLine"),
    // and none that would lead back to this line.
    void SetDestLine(TMMNonVisualComponent* line);

    LookupMode Mode() const { return mode_; }
    const TMMLineInfo& LineInfo() const { return lineInfo_; }
    // The line's index among the mixer's destinations; −1 for a source line
    // or one not found.
    int32_t DestinationIndex() const { return destIndex_; }

    // Its Mixer is assigned and valid.
    bool HasUsableMixer() const;
    // Also resolved: LineId ≠ −1.
    bool IsUsable() const { return HasUsableMixer() && lineId_ != kBadLineId; }

    // Subscribers told about the line (TMMLineChange, TMMControlChange,
    // TMMLineIdChange).
    void Subscribe(TMMObserver& observer) { notifier_.Subscribe(observer); }
    void Unsubscribe(TMMObserver& observer) { notifier_.Unsubscribe(observer); }

    void Loaded() override;

    std::function<void(TMMAudioLine* sender)> OnChange;
    std::function<void(TMMAudioLine* sender, TMMLineId lineId, TMMControlId controlId)>
        OnControlChange;

    void ResolveLine();

protected:
    virtual void LineChanged();
    virtual void LineIdChanged();
    virtual void ControlChanged(TMMControlId controlId);

private:
    void MixerNotification(const TMMNotification& notification);
    // Looks the line up by the current mode alone.
    bool LookupByMode(MixerLineRecord& line);
    bool LookupUnder(TMMAudioLine& dest, MixerLineRecord& line);
    bool MatchesTarget(const MixerLineRecord& line) const;

    TMMLineId lineId_ = kBadLineId;
    int32_t destIndex_ = -1;
    QPointer<TMMAudioLine> destLine_;
    TMMLineInfo lineInfo_;
    TMMComponentType componentType_ = TMMComponentType::ctDstDigital;
    QPointer<TMMMixerDevice> mixer_;
    TMMObserver mixerObserver_;
    LookupMode mode_ = LookupMode::ByLineId;
    QPointer<TMMCustomAudioDevice> target_;
    // Follows the destination line or the target, one at a time.
    TMMObserver followObserver_;
    TMMObservable notifier_;
};

}  // namespace zt
