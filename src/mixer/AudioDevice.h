#pragma once
// The generic device component: one device of a kind (DeviceFamily.h),
// chosen by number, with its capabilities, its open state and the
// subscribers told about every change of device.
//
// DeviceId rules: −1, −2 and 0 are always accepted, any other number must
// lie in 0 … DeviceCount − 1 ("Device id is out of range" otherwise,
// nothing changed). A new number closes the device, stores the number,
// refreshes the capabilities, notifies the subscribers (TMMDeviceChange),
// then fires OnChange, and reopens the device when it was open. When the
// capability refresh raises, the new number stays stored, the device stays
// closed and OnChange has not fired.
//
// Back-end results follow MixerErrors.h: failures raise EMMMCIError.
//
// Threads: main thread only.

#include <functional>
#include <string>
#include <vector>

#include "mixer/DeviceFamily.h"
#include "mixer/MixerComponent.h"
#include "mixer/Notifier.h"

namespace zt {

// The capabilities of the current device; cleared: all zero, empty name.
class TMMDeviceCaps {
public:
    uint16_t ManufacturerId() const { return manufacturerId_; }
    uint16_t ProductId() const { return productId_; }
    uint8_t VerMajor() const { return uint8_t(driverVersion_ >> 8); }
    uint8_t VerMinor() const { return uint8_t(driverVersion_); }
    // major × 256 + minor, as the line-target look-up takes it.
    uint32_t DriverVersion() const { return uint32_t(VerMajor()) * 256 + VerMinor(); }
    const std::string& ProductName() const { return productName_; }

    void Assign(const AudioDeviceCapsRecord& caps);
    void Clear();

private:
    uint16_t manufacturerId_ = 0;
    uint16_t productId_ = 0;
    uint32_t driverVersion_ = 0;
    std::string productName_;
};

class TMMCustomAudioDevice : public TMMNonVisualComponent {
public:
    // Kind wave output, device 0 (−2 when device 0's capabilities cannot be
    // read). `families` are the device families by kind.
    explicit TMMCustomAudioDevice(TMMDeviceFamilies families = {});
    ~TMMCustomAudioDevice() override;

    TMMDeviceKind DeviceKind() const { return kind_; }
    // The family of the current kind (an empty one when none is plugged in).
    TMMDeviceFamily& Family() const;

    int DeviceCount() const { return Family().NumDevs(); }
    const TMMDeviceCaps& DeviceCaps() const { return caps_; }
    // Whether the kind has a mapper (device −1).
    bool Mapper() const;

    // While loading, Active only remembers the value (and reads it back);
    // Loaded() applies it.
    bool Active() const { return IsLoading() ? loadedActive_ : active_; }
    void SetActive(bool active);

    TMMDeviceId DeviceId() const { return deviceId_; }
    void SetDeviceId(TMMDeviceId id);

    // DeviceCount ≥ 1 and DeviceId ≠ −2.
    bool IsValidDevice() const;

    // Clears `list`, then adds the mapper's name (when `includeMapper` and
    // the kind has one) and every device's product name, in number order.
    void ListDevices(std::vector<std::string>& list, bool includeMapper) const;

    // Subscribers told about every change of device (TMMDeviceChange).
    void Subscribe(TMMObserver& observer) { notifier_.Subscribe(observer); }
    void Unsubscribe(TMMObserver& observer) { notifier_.Unsubscribe(observer); }

    // The number of the mixer device that belongs to this device; −2 when
    // there is none.
    TMMDeviceId MixerIdOf() const;

    void Loaded() override;

    // The family's text for a result code (empty when it has none).
    std::string ErrorText(MMResult result) const { return Family().ErrorText(result); }

    // Fired after every change of device, once the subscribers have been
    // told.
    std::function<void(TMMCustomAudioDevice* sender)> OnChange;

protected:
    // Closes, switches to `kind`, device 0, UpdateDevice; nothing when the
    // kind is the current one.
    void SetDeviceKind(TMMDeviceKind kind);

    virtual void OpenDevice() { active_ = true; }
    virtual void CloseDevice() { active_ = false; }
    // Refreshes the capabilities, then DeviceChanged.
    virtual void UpdateDevice();
    // Tells the subscribers, then fires OnChange.
    virtual void DeviceChanged();

    // The real open state (also while loading).
    bool IsOpen() const { return active_; }
    // Stores a number without any side effect (the mixer's effective number).
    void StoreDeviceId(TMMDeviceId id) { deviceId_ = id; }
    // Reads the capabilities of the current device, or clears them when it
    // is not valid.
    void RefreshCaps();

private:
    bool active_ = false;
    TMMDeviceKind kind_ = TMMDeviceKind::dkWaveOut;
    TMMDeviceId deviceId_ = 0;
    TMMDeviceCaps caps_;
    TMMObservable notifier_;
    bool loadedActive_ = false;
    TMMDeviceFamilies families_;
};

}  // namespace zt
