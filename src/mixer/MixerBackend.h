#pragma once
// The sound card's mixer as the mixer components see it: numbered mixer
// devices, each with numbered destination lines (the recording destination,
// the speakers) fed by numbered source lines (line input, microphone, CD),
// every line carrying controls (volume, mute, the recording-source
// selector) with ids, values held per channel and item, list texts naming
// the source line each selector item stands for, and change notifications
// carrying a line id or a control id.
//
// Two back ends implement it: AlsaMixerBackend (alsa/) builds the model from
// ALSA's simple mixer elements; InMemoryMixerBackend (memory/) holds a model
// given by the caller, for the components' own tests.
//
// Results: kMMNoError (0) for success, else one of the codes below (or a
// back end's own code; MixerErrorText gives its text when it has one).
//
// Ids are the back end's own (−1 is never one). A destination line's id
// must not equal a destination index: a line looked up under a destination
// is accepted directly when its destination index equals the destination's
// id, so such an id would offer the destination as one of its own sources. Component and control type values, line and control
// flags are the numbers of the tables in MixerTypes.h.
//
// Threads: main thread only. Change callbacks are called on the main thread
// from its event loop (never from inside a call of this interface), and
// never after Close() of that handle has returned.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zt {

using MMResult = uint32_t;
inline constexpr MMResult kMMNoError = 0;
inline constexpr MMResult kMMError = 1;          // unspecified failure
inline constexpr MMResult kMMBadDeviceId = 2;    // no such device number
inline constexpr MMResult kMMInvalidHandle = 5;  // no such open handle
inline constexpr MMResult kMMNoDriver = 6;       // the device cannot be reached
inline constexpr MMResult kMMInvalidParam = 11;  // an argument out of range
inline constexpr MMResult kMixerInvalidLine = 1024;
inline constexpr MMResult kMixerInvalidControl = 1025;
inline constexpr MMResult kMixerInvalidValue = 1026;

// The capabilities of a mixer device.
struct MixerCapsRecord {
    uint16_t manufacturerId = 0;
    uint16_t productId = 0;
    uint32_t driverVersion = 0;  // major << 8 | minor in the low word
    std::string productName;     // at most 31 characters
    uint32_t destinations = 0;
};

// One line: a destination (source index unused) or a source of one.
struct MixerLineRecord {
    uint32_t destination = 0;  // the destination index (of itself, or the one it feeds)
    uint32_t source = 0;       // index among that destination's sources
    int32_t lineId = -1;
    uint32_t flags = 0;          // 0x1 active, 0x8000 disconnected, 0x80000000 source
    uint32_t componentType = 0;  // MixerTypes.h component-type value
    uint32_t channels = 0;
    uint32_t connections = 0;  // number of sources, for a destination
    uint32_t controls = 0;
    std::string shortName;  // at most 15 characters
    std::string name;       // at most 63 characters
    // The device the line stands for (wave in for the recording destination,
    // wave out for the speakers; type 0 for none).
    uint32_t targetType = 0;
    uint32_t targetDeviceId = 0;
    uint16_t targetManufacturerId = 0;
    uint16_t targetProductId = 0;
    uint32_t targetDriverVersion = 0;
    std::string targetName;
};

// One control of a line.
struct MixerControlRecord {
    int32_t controlId = -1;
    uint32_t controlType = 0;  // MixerTypes.h control-type value
    uint32_t flags = 0;        // 0x1 uniform, 0x2 multiple, 0x80000000 disabled
    uint32_t multipleItems = 0;
    std::string shortName;  // at most 15 characters
    std::string name;       // at most 63 characters
    int32_t minimum = 0;
    int32_t maximum = 0;
    uint32_t steps = 0;
};

// The text of one item of a list control (one per channel position when the
// control is not uniform: element item * channels + channel).
struct MixerListText {
    uint32_t param1 = 0;  // for a selector item: the id of the source line it stands for
    uint32_t param2 = 0;
    std::string name;  // at most 63 characters
};

enum class MixerChangeKind { Line, Control };

// What the driver side reports to an open handle: the state of a line or the
// value of a control changed (by this program, another program or the card).
using MixerChangeCallback = std::function<void(MixerChangeKind kind, int32_t id)>;

using MixerHandle = intptr_t;  // 0 is no handle

class MixerBackend {
public:
    virtual ~MixerBackend() = default;

    virtual int NumDevs() = 0;
    virtual MMResult GetDevCaps(int deviceId, MixerCapsRecord& caps) = 0;

    // Opens a device for change notifications. The device's lines, controls
    // and values can be reached without an open handle.
    virtual MMResult Open(int deviceId, MixerChangeCallback onChange, MixerHandle& handle) = 0;
    virtual MMResult Close(MixerHandle handle) = 0;
    // The device number behind an open handle.
    virtual MMResult GetId(MixerHandle handle, int& deviceId) = 0;

    virtual MMResult LineInfoById(int deviceId, int32_t lineId, MixerLineRecord& line) = 0;
    // The first line of that type, destinations in order, each destination
    // before its sources.
    virtual MMResult LineInfoByType(int deviceId, uint32_t componentType,
                                    MixerLineRecord& line) = 0;
    virtual MMResult LineInfoBySource(int deviceId, uint32_t destination, uint32_t source,
                                      MixerLineRecord& line) = 0;
    // The first line whose target matches all of these.
    virtual MMResult LineInfoByTarget(int deviceId, uint32_t targetType, uint16_t manufacturerId,
                                      uint16_t productId, uint32_t driverVersion,
                                      const std::string& productName, MixerLineRecord& line) = 0;

    // A control by its id; lineId receives the id of the line that owns it.
    virtual MMResult ControlById(int deviceId, int32_t controlId, MixerControlRecord& control,
                                 int32_t& lineId) = 0;
    // The first control of that type on the line.
    virtual MMResult ControlByType(int deviceId, int32_t lineId, uint32_t controlType,
                                   MixerControlRecord& control) = 0;

    // Values, element (item * channels + channel) for a control with items,
    // else (channel). `channels` is 1 (the control treated as uniform) or the
    // line's channel count; `items` is 0 or the control's item count.
    virtual MMResult GetDetails(int deviceId, int32_t controlId, uint32_t channels, uint32_t items,
                                std::vector<int32_t>& values) = 0;
    virtual MMResult SetDetails(int deviceId, int32_t controlId, uint32_t channels, uint32_t items,
                                const std::vector<int32_t>& values) = 0;
    virtual MMResult GetListText(int deviceId, int32_t controlId, uint32_t channels, uint32_t items,
                                 std::vector<MixerListText>& texts) = 0;

    // The back end's text for a result code; empty when it has none.
    virtual std::string ErrorText(MMResult) { return {}; }
};

}  // namespace zt
