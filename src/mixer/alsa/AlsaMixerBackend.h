#pragma once
// The mixer model over ALSA's simple mixer (snd_mixer_selem_*), one mixer
// device per capture device.
//
// Devices: made from the capture device list, same length, order and
// names, so that the capture device and the mixer of one card share a
// number and a name. Mixer device i is the ALSA control device of capture
// device i (ControlDeviceName): "default" -> "default", "plughw:N" and
// "hw:N" -> "hw:N", any other PCM name -> the same name. Its caps: the
// display name (cut to 31 characters), ids 0, alsa-lib's version
// (major << 16 | minor << 8 | patch, as the capture back end gives its
// devices, so that a target look-up matches them), and the number of
// destination lines (0 when the control device cannot be opened).
//
// Lines and controls: AlsaMixerModel.h (destinations, sources, selector,
// component types, ids). A device's model is built at its first use and
// kept with its snd_mixer_t open; lines, controls and values work without
// Open(). Each call first takes in what the card reported since
// (snd_mixer_handle_events), so values are fresh and elements that came or
// went are in the model (ids kept, see AlsaMixerModel.h).
//
// LineInfoByType finds destinations and the sources of the playback
// destination only: a source found by its type alone is the window's
// monitor path, and a recording input taken for one would be muted or
// turned down with the monitor. Recording inputs are found under their
// destination (LineInfoBySource), by id or by target.
//
// Notifications: the first Open() of a device watches the snd_mixer_t's poll
// descriptors with QSocketNotifiers. Every element whose value changed, by
// this program or another, yields a Control change for each control whose
// value comes from it; elements that come or go rebuild the model and yield
// a Line change for every line before and after. They reach every open
// handle of the device through the main thread's event loop (queued, never
// from inside a call of this interface), also when a read took the events
// in first.
//
// A device whose control device cannot be opened (no card, a PCM without
// controls, a USB card pulled out) stays in the list: line and control
// look-ups answer kMMNoDriver, Open() answers kAlsaMixerErrorBase + errno
// (ErrorText gives snd_strerror's text). When an open device fails (the card
// is pulled out), its snd_mixer_t is closed and its lines go (a Line change
// for each); every later call tries to open it again, and when that works the
// open handles are watched again and told of the lines (Line changes).
//
// Results: the MixerBackend.h codes; kMMBadDeviceId for a device number out
// of range; kMixerInvalidLine / kMixerInvalidControl for an id or type the
// device does not have; kMMInvalidParam for a source index out of range or a
// channel or item count the control does not take; kMMNoDriver for a device
// that cannot be reached; kAlsaMixerErrorBase + errno for another failed
// ALSA call.
//
// Threads: main thread only, and it must run a Qt event loop for change
// notifications. Callbacks are called on the main thread from its event
// loop, never from inside a call of this interface and never after Close()
// of that handle has returned; a callback may call any operation, Close()
// and Open() included. Destroying the back end closes every handle without
// calling back.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mixer/MixerBackend.h"

class QObject;

namespace zt {

struct AlsaMixerModel;
struct AlsaMixerControl;

// One device of the capture list.
struct AlsaMixerDevice {
    std::string pcmName;      // e.g. "default", "plughw:1"
    std::string displayName;  // the device's name
};

inline constexpr MMResult kAlsaMixerErrorBase = 0x10000;

class AlsaMixerBackend final : public MixerBackend {
public:
    explicit AlsaMixerBackend(std::vector<AlsaMixerDevice> devices);
    ~AlsaMixerBackend() override;
    AlsaMixerBackend(const AlsaMixerBackend&) = delete;
    AlsaMixerBackend& operator=(const AlsaMixerBackend&) = delete;

    // The control device of a capture PCM ("plughw:1" -> "hw:1").
    static std::string ControlDeviceName(const std::string& pcmName);

    int NumDevs() override;
    MMResult GetDevCaps(int deviceId, MixerCapsRecord& caps) override;
    MMResult Open(int deviceId, MixerChangeCallback onChange, MixerHandle& handle) override;
    MMResult Close(MixerHandle handle) override;
    MMResult GetId(MixerHandle handle, int& deviceId) override;
    MMResult LineInfoById(int deviceId, int32_t lineId, MixerLineRecord& line) override;
    MMResult LineInfoByType(int deviceId, uint32_t componentType, MixerLineRecord& line) override;
    MMResult LineInfoBySource(int deviceId, uint32_t destination, uint32_t source,
                              MixerLineRecord& line) override;
    MMResult LineInfoByTarget(int deviceId, uint32_t targetType, uint16_t manufacturerId,
                              uint16_t productId, uint32_t driverVersion,
                              const std::string& productName, MixerLineRecord& line) override;
    MMResult ControlById(int deviceId, int32_t controlId, MixerControlRecord& control,
                         int32_t& lineId) override;
    MMResult ControlByType(int deviceId, int32_t lineId, uint32_t controlType,
                           MixerControlRecord& control) override;
    MMResult GetDetails(int deviceId, int32_t controlId, uint32_t channels, uint32_t items,
                        std::vector<int32_t>& values) override;
    MMResult SetDetails(int deviceId, int32_t controlId, uint32_t channels, uint32_t items,
                        const std::vector<int32_t>& values) override;
    MMResult GetListText(int deviceId, int32_t controlId, uint32_t channels, uint32_t items,
                         std::vector<MixerListText>& texts) override;
    std::string ErrorText(MMResult code) override;

private:
    struct Device;
    struct Handle {
        int device = 0;
        MixerChangeCallback onChange;
    };

    Device* DeviceAt(int deviceId);
    // The device's model, built or brought up to date; null with `result`
    // set when the device cannot be reached.
    const AlsaMixerModel* Ready(Device& device, MMResult& result);
    // The same for a device number (kMMBadDeviceId for one out of range).
    const AlsaMixerModel* ModelOf(int deviceId, MMResult& result);
    bool OpenMixer(Device& device, int& error);
    void CloseMixer(Device& device);
    void Rebuild(Device& device);
    void TakeEvents(Device& device);
    void Fail(Device& device, int error);
    void Watch(Device& device);
    void Unwatch(Device& device);
    bool HasHandles(const Device& device) const;
    void Schedule(Device& device);
    void Deliver(int deviceIndex);
    MMResult Failed(Device& device, int error);
    // The control, with `result` set when there is none.
    const AlsaMixerControl* FindControl(int deviceId, int32_t controlId, Device*& device,
                                        MMResult& result);

    std::vector<std::unique_ptr<Device>> devices_;
    std::map<MixerHandle, Handle> handles_;
    MixerHandle nextHandle_ = 1;
    uint32_t driverVersion_ = 0;
    // Parent of the notifiers and context of queued deliveries: destroyed
    // with the back end, it takes pending deliveries with it.
    std::unique_ptr<QObject> context_;
};

}  // namespace zt
