#pragma once
// Device numbering. Devices of one kind are numbered 0 … count − 1 in the
// platform's order; −1 is the kind's mapper (its default device, where the
// kind has one) and −2 no valid device.
//
// A device component reaches the devices of its kind through a device
// family: the count, the capabilities by number and the mixer-id look-up.
// On Linux only the mixer kind has devices (its family is the mixer back
// end, MixerDeviceFamily below); the other kinds have no devices and no
// mapper unless a family for them is plugged into the component.
//
// Threads: main thread only.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "mixer/MixerBackend.h"

namespace zt {

using TMMDeviceId = int32_t;
inline constexpr TMMDeviceId kMapperDeviceId = -1;
inline constexpr TMMDeviceId kNoDeviceId = -2;

// In this order: two tables are indexed by it.
enum class TMMDeviceKind : uint8_t { dkMidiIn, dkMidiOut, dkWaveIn, dkWaveOut, dkAux, dkMixer };
inline constexpr int kDeviceKindCount = 6;

// The line-target type a line standing for a device of that kind carries
// (a mixer stands for no line).
inline constexpr std::array<uint32_t, kDeviceKindCount> kLineTargetTypes = {4, 3, 2, 1, 5, 0};

// The common part of every kind's capabilities.
struct AudioDeviceCapsRecord {
    uint16_t manufacturerId = 0;
    uint16_t productId = 0;
    uint32_t driverVersion = 0;  // major << 8 | minor in the low word
    std::string productName;     // at most 31 characters
};

class TMMDeviceFamily {
public:
    virtual ~TMMDeviceFamily() = default;
    virtual int NumDevs() = 0;
    // id −1 asks for the mapper; kMMBadDeviceId or kMMInvalidHandle there
    // means the kind has none.
    virtual MMResult GetDevCaps(TMMDeviceId id, AudioDeviceCapsRecord& caps) = 0;
    // The number of the mixer device that belongs to device `id` (−1 for
    // none); kMMNoDriver when the look-up has no answer.
    virtual MMResult MixerIdOf(TMMDeviceId /*id*/, TMMDeviceId& /*mixerId*/) { return kMMNoDriver; }
    // The family's text for a result; empty when it has none.
    virtual std::string ErrorText(MMResult) { return {}; }
};

// A kind without devices.
class EmptyDeviceFamily final : public TMMDeviceFamily {
public:
    int NumDevs() override { return 0; }
    MMResult GetDevCaps(TMMDeviceId, AudioDeviceCapsRecord&) override { return kMMBadDeviceId; }
};

// The mixer kind: the devices of a mixer back end. Mixers have no mapper,
// whatever the back end answers for −1; a mixer's own mixer is itself.
class MixerDeviceFamily final : public TMMDeviceFamily {
public:
    explicit MixerDeviceFamily(MixerBackend& backend) : backend_(backend) {}
    int NumDevs() override { return backend_.NumDevs(); }
    MMResult GetDevCaps(TMMDeviceId id, AudioDeviceCapsRecord& caps) override;
    MMResult MixerIdOf(TMMDeviceId id, TMMDeviceId& mixerId) override;
    std::string ErrorText(MMResult result) override { return backend_.ErrorText(result); }
    MixerBackend& Backend() const { return backend_; }

private:
    MixerBackend& backend_;
};

// The families of the six kinds, by kind; an empty slot is a kind without
// devices.
using TMMDeviceFamilies = std::array<std::shared_ptr<TMMDeviceFamily>, kDeviceKindCount>;

}  // namespace zt
