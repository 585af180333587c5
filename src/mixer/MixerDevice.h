#pragma once
// One mixer device of a mixer back end (MixerBackend.h): its lines,
// controls and values by number, and, while open, the card's change
// notifications.
//
// Lines and controls work on a closed mixer; opening only adds the change
// notifications: the back end's change callback (delivered by the event
// loop) becomes MixerLineChanged / MixerControlChanged, which tell the line
// subscribers (TMMLineChange, TMMControlChange) and then fire OnLineChange /
// OnControlChange. An error raised while a change is handled goes to the
// general error display (platform/ErrorDisplay.h) and never into the event
// loop. A change of device number tells the line subscribers
// (TMMDeviceChange) before the generic subscribers and OnChange.
//
// Every back-end operation addresses the device by its effective number:
// while open, the number behind the open handle (when it differs from
// DeviceId the component takes it over without closing and reports a
// change of device).
//
// The back end must outlive the component; the component closes its handle
// when destroyed.
//
// Threads: main thread only.

#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mixer/AudioDevice.h"
#include "mixer/MixerBackend.h"

namespace zt {

class TMMMixerDevice : public TMMCustomAudioDevice {
public:
    // Kind mixer, device 0 (−2 when device 0's capabilities cannot be
    // read). `otherFamilies` are the families of the other kinds, for Device
    // links.
    explicit TMMMixerDevice(MixerBackend& backend, TMMDeviceFamilies otherFamilies = {});
    ~TMMMixerDevice() override;

    MixerBackend& Backend() const { return backend_; }
    // The open handle, 0 when closed.
    MixerHandle Handle() const { return handle_; }

    // A linked device whose mixer this component follows (its MixerIdOf on
    // every change of the linked device). A mixer cannot be linked ("Mixer
    // can't reference mixer").
    TMMCustomAudioDevice* Device() const { return device_; }
    void SetDevice(TMMCustomAudioDevice* device);

    // The number of destination lines (0 for a device that is not valid).
    uint32_t Destinations();
    TMMDeviceId EffectiveId();

    // Subscribers of the lines (TMMLineChange, TMMControlChange,
    // TMMDeviceChange).
    void SubscribeLine(TMMObserver& observer) { lineNotifier_.Subscribe(observer); }
    void UnsubscribeLine(TMMObserver& observer) { lineNotifier_.Unsubscribe(observer); }

    std::function<void(TMMMixerDevice* sender, TMMLineId lineId)> OnLineChange;
    std::function<void(TMMMixerDevice* sender, TMMLineId lineId, TMMControlId controlId)>
        OnControlChange;

    // ---- back-end operations -------------------------------------------
    // Line look-ups: kMixerInvalidLine, kMMNoDriver and kMMInvalidParam are
    // "not found" (false); control look-ups: kMixerInvalidControl,
    // kMixerInvalidLine and kMMNoDriver. Other failures raise EMMMCIError.
    bool LineInfoById(TMMLineId lineId, MixerLineRecord& line);
    bool LineInfoByType(uint32_t componentType, MixerLineRecord& line);
    bool LineInfoBySource(uint32_t destination, uint32_t source, MixerLineRecord& line);
    bool LineInfoByTarget(uint32_t targetType, uint16_t manufacturerId, uint16_t productId,
                          uint32_t driverVersion, const std::string& productName,
                          MixerLineRecord& line);
    bool ControlById(TMMControlId controlId, MixerControlRecord& control, TMMLineId& lineId);
    bool ControlByType(TMMLineId lineId, uint32_t controlType, MixerControlRecord& control);
    // The line that owns the control; −1 when not found.
    TMMLineId ControlLineId(TMMControlId controlId);
    // The whole value array (channels × max(items, 1) elements).
    std::vector<int32_t> GetDetails(TMMControlId controlId, uint32_t channels, uint32_t items);
    void SetDetails(TMMControlId controlId, uint32_t channels, uint32_t items,
                    const std::vector<int32_t>& values);
    std::vector<MixerListText> GetListText(TMMControlId controlId, uint32_t channels,
                                           uint32_t items);

protected:
    // "Device not valid" for a device that is not valid; a failure of the
    // back end's open leaves the device closed.
    void OpenDevice() override;
    void CloseDevice() override;
    void UpdateDevice() override;
    void DeviceChanged() override;
    virtual void MixerLineChanged(TMMLineId lineId);
    virtual void MixerControlChanged(TMMControlId controlId);

private:
    // Drops the handle without looking at the back end's answer.
    MMResult CloseHandle() noexcept;
    void Check(MMResult result);
    bool CheckLineFound(MMResult result);
    bool CheckControlFound(MMResult result);

    MixerBackend& backend_;
    MixerHandle handle_ = 0;
    // Changes of an earlier handle are ignored.
    uint64_t openGeneration_ = 0;
    QPointer<TMMCustomAudioDevice> device_;
    TMMObserver deviceObserver_;
    TMMObservable lineNotifier_;
};

}  // namespace zt
