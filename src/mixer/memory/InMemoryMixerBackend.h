#pragma once
// A mixer back end holding a model its user describes: devices with names,
// destinations with their sources, controls with type, flags, items, values
// per channel and item, and list texts. It counts what the components ask
// of it (the channels and items of every value transfer, every write), can
// make any operation fail with a given code, and raises driver-side changes
// the way the event loop would deliver them.
//
// Ids: a destination's line id is kDestinationIdBase plus its index (never
// an index itself); source lines and controls get ids of their own (given,
// or numbered from 0x10000 and 0x20000).
//
// Values: a control keeps channels × max(items, 1) values (one channel when
// uniform), element item × channels + channel. A transfer of one channel
// reads the first channel and writes every channel; any other channel count
// must be the line's.
//
// Threads: main thread only.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mixer/MixerBackend.h"

namespace zt {

class InMemoryMixerBackend final : public MixerBackend {
public:
    static constexpr int32_t kDestinationIdBase = 0x8000;

    struct Control {
        MixerControlRecord record;
        // channels × max(items, 1) values; missing ones read as 0.
        std::vector<int32_t> values;
        // One per item (per channel position when not uniform).
        std::vector<MixerListText> texts;
    };
    struct Line {
        MixerLineRecord record;
        std::vector<Control> controls;
    };
    struct Destination {
        Line line;
        std::vector<Line> sources;
    };
    struct Device {
        MixerCapsRecord caps;
        std::vector<Destination> destinations;
    };

    // Builders: each returns the added part, valid until the next part is
    // added.
    Device& AddDevice(const std::string& name);
    Destination& AddDestination(int device, uint32_t componentType, const std::string& name,
                                uint32_t channels = 2);
    Line& AddSource(int device, uint32_t destination, uint32_t componentType,
                    const std::string& name, uint32_t channels = 2, int32_t lineId = -1);
    // A control on a line (found by its id). `values` are copied as given
    // (missing ones read as 0).
    Control& AddControl(int device, int32_t lineId, uint32_t controlType, const std::string& name,
                        std::vector<int32_t> values = {}, int32_t minimum = 0,
                        int32_t maximum = 65535, uint32_t steps = 0, uint32_t flags = 0,
                        int32_t controlId = -1);
    // A selector (ctMux unless told) over the sources of a destination: one
    // item per source, each standing for its line, `selected` set.
    Control& AddSelector(int device, uint32_t destination, int selected = 0,
                         uint32_t controlType = 0x70010001, int32_t controlId = -1);

    Line* FindLine(int device, int32_t lineId);
    Control* FindControl(int device, int32_t controlId, int32_t* lineId = nullptr);
    // The stored values of a control (as the card holds them).
    std::vector<int32_t>& Values(int device, int32_t controlId);

    // ---- what the components asked ---------------------------------------
    enum class Op {
        GetDevCaps,
        Open,
        Close,
        GetId,
        LineInfoById,
        LineInfoByType,
        LineInfoBySource,
        LineInfoByTarget,
        ControlById,
        ControlByType,
        GetDetails,
        SetDetails,
        GetListText,
    };
    struct Transfer {
        Op op;
        int32_t controlId;
        uint32_t channels;
        uint32_t items;
        std::vector<int32_t> values;  // what was written (SetDetails)
    };
    // Every GetDetails, SetDetails and GetListText, in order.
    std::vector<Transfer> transfers;
    std::vector<Transfer> TransfersOf(Op op) const;
    // How often each operation was called.
    int Calls(Op op) const;
    void ClearRecord();

    // ---- failures and changes ---------------------------------------------
    // Every later call of `op` answers `code` (kMMNoError clears it).
    void Fail(Op op, MMResult code);
    void SetErrorText(MMResult code, const std::string& text) { errorTexts_[code] = text; }
    // Calls the change callback of every open handle of `device` now, as the
    // event loop does with a driver's notification.
    void RaiseLineChange(int device, int32_t lineId);
    void RaiseControlChange(int device, int32_t controlId);
    // A write that changed values queues a control change for the device's
    // open handles; this delivers the queued ones (the event loop's turn).
    // Returns how many were delivered.
    int DeliverChanges();
    size_t PendingChanges() const { return pending_.size(); }
    // Makes an open handle answer another device number (a card renumbered
    // under an open handle).
    void MoveHandle(MixerHandle handle, int device);
    size_t OpenHandles() const { return handles_.size(); }

    // ---- MixerBackend -----------------------------------------------------
    int NumDevs() override { return int(devices_.size()); }
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
    struct Handle {
        int device;
        MixerChangeCallback onChange;
    };
    // Counts the call and answers the failure set for it, if any.
    std::optional<MMResult> Enter(Op op);
    Device* DeviceAt(int deviceId);
    void Refresh(Device& device);
    // Checks a value transfer's shape; the stored channel count of the
    // control on success.
    MMResult Shape(int deviceId, int32_t controlId, uint32_t channels, uint32_t items,
                   Control*& control, uint32_t& storedChannels);
    void Deliver(int device, MixerChangeKind kind, int32_t id);

    std::vector<Device> devices_;
    std::map<MixerHandle, Handle> handles_;
    MixerHandle nextHandle_ = 1;
    int32_t nextSourceId_ = 0x10000;
    int32_t nextControlId_ = 0x20000;
    std::map<Op, MMResult> failures_;
    std::map<Op, int> calls_;
    std::map<MMResult, std::string> errorTexts_;
    std::deque<std::pair<int, int32_t>> pending_;
};

}  // namespace zt
