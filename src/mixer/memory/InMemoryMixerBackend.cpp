#include "mixer/memory/InMemoryMixerBackend.h"

#include <algorithm>

#include "mixer/MixerTypes.h"

namespace zt {

namespace {

std::string Cut(const std::string& s, size_t n) {
    return s.size() <= n ? s : s.substr(0, n);
}

uint32_t StoredItems(const MixerControlRecord& r) {
    return (r.flags & kControlFlagMultiple) ? r.multipleItems : 0;
}

}  // namespace

// ---- builders ---------------------------------------------------------------

InMemoryMixerBackend::Device& InMemoryMixerBackend::AddDevice(const std::string& name) {
    Device device;
    device.caps.manufacturerId = 1;
    device.caps.productId = uint16_t(devices_.size() + 1);
    device.caps.driverVersion = 0x0100;
    device.caps.productName = Cut(name, 31);
    devices_.push_back(std::move(device));
    return devices_.back();
}

InMemoryMixerBackend::Destination& InMemoryMixerBackend::AddDestination(int device,
                                                                        uint32_t componentType,
                                                                        const std::string& name,
                                                                        uint32_t channels) {
    Device& d = devices_.at(size_t(device));
    Destination dest;
    MixerLineRecord& r = dest.line.record;
    r.destination = uint32_t(d.destinations.size());
    r.lineId = kDestinationIdBase + int32_t(r.destination);
    r.flags = kLineFlagActive;
    r.componentType = componentType;
    r.channels = channels;
    r.shortName = Cut(name, 15);
    r.name = Cut(name, 63);
    if (componentType == component::kDstWaveIn) {
        r.targetType = kTargetWaveIn;
        r.targetName = d.caps.productName;
    } else if (componentType == component::kDstSpeakers) {
        r.targetType = kTargetWaveOut;
        r.targetName = d.caps.productName;
    }
    r.targetManufacturerId = d.caps.manufacturerId;
    r.targetProductId = d.caps.productId;
    r.targetDriverVersion = d.caps.driverVersion;
    d.destinations.push_back(std::move(dest));
    Refresh(d);
    return d.destinations.back();
}

InMemoryMixerBackend::Line& InMemoryMixerBackend::AddSource(int device, uint32_t destination,
                                                            uint32_t componentType,
                                                            const std::string& name,
                                                            uint32_t channels, int32_t lineId) {
    Device& d = devices_.at(size_t(device));
    Destination& dest = d.destinations.at(destination);
    Line line;
    MixerLineRecord& r = line.record;
    r.destination = destination;
    r.source = uint32_t(dest.sources.size());
    r.lineId = lineId >= 0 ? lineId : nextSourceId_++;
    r.flags = kLineFlagActive | kLineFlagSource;
    r.componentType = componentType;
    r.channels = channels;
    r.shortName = Cut(name, 15);
    r.name = Cut(name, 63);
    dest.sources.push_back(std::move(line));
    Refresh(d);
    return dest.sources.back();
}

InMemoryMixerBackend::Control& InMemoryMixerBackend::AddControl(
    int device, int32_t lineId, uint32_t controlType, const std::string& name,
    std::vector<int32_t> values, int32_t minimum, int32_t maximum, uint32_t steps, uint32_t flags,
    int32_t controlId) {
    Line* line = FindLine(device, lineId);
    Control control;
    MixerControlRecord& r = control.record;
    r.controlId = controlId >= 0 ? controlId : nextControlId_++;
    r.controlType = controlType;
    r.flags = flags;
    r.shortName = Cut(name, 15);
    r.name = Cut(name, 63);
    r.minimum = minimum;
    r.maximum = maximum;
    r.steps = steps;
    control.values = std::move(values);
    line->controls.push_back(std::move(control));
    Refresh(devices_.at(size_t(device)));
    return line->controls.back();
}

InMemoryMixerBackend::Control& InMemoryMixerBackend::AddSelector(int device, uint32_t destination,
                                                                 int selected, uint32_t controlType,
                                                                 int32_t controlId) {
    Destination& dest = devices_.at(size_t(device)).destinations.at(destination);
    const uint32_t items = uint32_t(dest.sources.size());
    std::vector<int32_t> values(items, 0);
    if (selected >= 0 && uint32_t(selected) < items) values[size_t(selected)] = 1;
    Control& control = AddControl(device, dest.line.record.lineId, controlType, "Recording Source",
                                  std::move(values), 0, 1, 0,
                                  kControlFlagUniform | kControlFlagMultiple, controlId);
    control.record.multipleItems = items;
    Destination& again = devices_.at(size_t(device)).destinations.at(destination);
    for (const Line& source : again.sources)
        control.texts.push_back({uint32_t(source.record.lineId), 0, source.record.name});
    return control;
}

void InMemoryMixerBackend::Refresh(Device& device) {
    device.caps.destinations = uint32_t(device.destinations.size());
    for (Destination& dest : device.destinations) {
        dest.line.record.connections = uint32_t(dest.sources.size());
        dest.line.record.controls = uint32_t(dest.line.controls.size());
        for (Line& source : dest.sources) source.record.controls = uint32_t(source.controls.size());
    }
}

InMemoryMixerBackend::Line* InMemoryMixerBackend::FindLine(int device, int32_t lineId) {
    Device* d = DeviceAt(device);
    if (!d) return nullptr;
    for (Destination& dest : d->destinations) {
        if (dest.line.record.lineId == lineId) return &dest.line;
        for (Line& source : dest.sources)
            if (source.record.lineId == lineId) return &source;
    }
    return nullptr;
}

InMemoryMixerBackend::Control* InMemoryMixerBackend::FindControl(int device, int32_t controlId,
                                                                 int32_t* lineId) {
    Device* d = DeviceAt(device);
    if (!d) return nullptr;
    auto search = [&](Line& line) -> Control* {
        for (Control& c : line.controls)
            if (c.record.controlId == controlId) {
                if (lineId) *lineId = line.record.lineId;
                return &c;
            }
        return nullptr;
    };
    for (Destination& dest : d->destinations) {
        if (Control* c = search(dest.line)) return c;
        for (Line& source : dest.sources)
            if (Control* c = search(source)) return c;
    }
    return nullptr;
}

std::vector<int32_t>& InMemoryMixerBackend::Values(int device, int32_t controlId) {
    return FindControl(device, controlId)->values;
}

// ---- record -----------------------------------------------------------------

std::vector<InMemoryMixerBackend::Transfer> InMemoryMixerBackend::TransfersOf(Op op) const {
    std::vector<Transfer> out;
    for (const Transfer& t : transfers)
        if (t.op == op) out.push_back(t);
    return out;
}

int InMemoryMixerBackend::Calls(Op op) const {
    auto it = calls_.find(op);
    return it == calls_.end() ? 0 : it->second;
}

void InMemoryMixerBackend::ClearRecord() {
    transfers.clear();
    calls_.clear();
}

void InMemoryMixerBackend::Fail(Op op, MMResult code) {
    if (code == kMMNoError)
        failures_.erase(op);
    else
        failures_[op] = code;
}

std::optional<MMResult> InMemoryMixerBackend::Enter(Op op) {
    ++calls_[op];
    auto it = failures_.find(op);
    if (it == failures_.end()) return std::nullopt;
    return it->second;
}

// ---- changes ----------------------------------------------------------------

void InMemoryMixerBackend::Deliver(int device, MixerChangeKind kind, int32_t id) {
    // A callback may close handles (its own or others): each handle is looked
    // up again before it is called, and called through a copy.
    std::vector<MixerHandle> targets;
    for (const auto& [h, handle] : handles_)
        if (handle.device == device) targets.push_back(h);
    for (MixerHandle h : targets) {
        auto it = handles_.find(h);
        if (it == handles_.end()) continue;
        MixerChangeCallback callback = it->second.onChange;
        if (callback) callback(kind, id);
    }
}

void InMemoryMixerBackend::RaiseLineChange(int device, int32_t lineId) {
    Deliver(device, MixerChangeKind::Line, lineId);
}

void InMemoryMixerBackend::RaiseControlChange(int device, int32_t controlId) {
    Deliver(device, MixerChangeKind::Control, controlId);
}

int InMemoryMixerBackend::DeliverChanges() {
    int delivered = 0;
    while (!pending_.empty()) {
        const auto [device, controlId] = pending_.front();
        pending_.pop_front();
        RaiseControlChange(device, controlId);
        ++delivered;
    }
    return delivered;
}

void InMemoryMixerBackend::MoveHandle(MixerHandle handle, int device) {
    handles_.at(handle).device = device;
}

// ---- MixerBackend -----------------------------------------------------------

InMemoryMixerBackend::Device* InMemoryMixerBackend::DeviceAt(int deviceId) {
    if (deviceId < 0 || size_t(deviceId) >= devices_.size()) return nullptr;
    return &devices_[size_t(deviceId)];
}

MMResult InMemoryMixerBackend::GetDevCaps(int deviceId, MixerCapsRecord& caps) {
    if (auto failure = Enter(Op::GetDevCaps)) return *failure;
    Device* d = DeviceAt(deviceId);
    if (!d) return kMMBadDeviceId;
    caps = d->caps;
    return kMMNoError;
}

MMResult InMemoryMixerBackend::Open(int deviceId, MixerChangeCallback onChange,
                                    MixerHandle& handle) {
    if (auto failure = Enter(Op::Open)) return *failure;
    if (!DeviceAt(deviceId)) return kMMBadDeviceId;
    handle = nextHandle_++;
    handles_[handle] = {deviceId, std::move(onChange)};
    return kMMNoError;
}

MMResult InMemoryMixerBackend::Close(MixerHandle handle) {
    // The handle is gone even when the answer is a failure: no callback
    // after Close.
    const bool known = handles_.erase(handle) > 0;
    if (auto failure = Enter(Op::Close)) return *failure;
    return known ? kMMNoError : kMMInvalidHandle;
}

MMResult InMemoryMixerBackend::GetId(MixerHandle handle, int& deviceId) {
    if (auto failure = Enter(Op::GetId)) return *failure;
    auto it = handles_.find(handle);
    if (it == handles_.end()) return kMMInvalidHandle;
    deviceId = it->second.device;
    return kMMNoError;
}

MMResult InMemoryMixerBackend::LineInfoById(int deviceId, int32_t lineId, MixerLineRecord& line) {
    if (auto failure = Enter(Op::LineInfoById)) return *failure;
    if (!DeviceAt(deviceId)) return kMMBadDeviceId;
    Line* l = FindLine(deviceId, lineId);
    if (!l) return kMixerInvalidLine;
    line = l->record;
    return kMMNoError;
}

MMResult InMemoryMixerBackend::LineInfoByType(int deviceId, uint32_t componentType,
                                              MixerLineRecord& line) {
    if (auto failure = Enter(Op::LineInfoByType)) return *failure;
    Device* d = DeviceAt(deviceId);
    if (!d) return kMMBadDeviceId;
    for (const Destination& dest : d->destinations) {
        if (dest.line.record.componentType == componentType) {
            line = dest.line.record;
            return kMMNoError;
        }
        for (const Line& source : dest.sources)
            if (source.record.componentType == componentType) {
                line = source.record;
                return kMMNoError;
            }
    }
    return kMixerInvalidLine;
}

MMResult InMemoryMixerBackend::LineInfoBySource(int deviceId, uint32_t destination, uint32_t source,
                                                MixerLineRecord& line) {
    if (auto failure = Enter(Op::LineInfoBySource)) return *failure;
    Device* d = DeviceAt(deviceId);
    if (!d) return kMMBadDeviceId;
    if (destination >= d->destinations.size()) return kMMInvalidParam;
    const Destination& dest = d->destinations[destination];
    if (source >= dest.sources.size()) return kMixerInvalidLine;
    line = dest.sources[source].record;
    return kMMNoError;
}

MMResult InMemoryMixerBackend::LineInfoByTarget(int deviceId, uint32_t targetType,
                                                uint16_t manufacturerId, uint16_t productId,
                                                uint32_t driverVersion,
                                                const std::string& productName,
                                                MixerLineRecord& line) {
    if (auto failure = Enter(Op::LineInfoByTarget)) return *failure;
    Device* d = DeviceAt(deviceId);
    if (!d) return kMMBadDeviceId;
    auto matches = [&](const MixerLineRecord& r) {
        return r.targetType == targetType && r.targetManufacturerId == manufacturerId &&
               r.targetProductId == productId && r.targetDriverVersion == driverVersion &&
               r.targetName == productName;
    };
    for (const Destination& dest : d->destinations) {
        if (matches(dest.line.record)) {
            line = dest.line.record;
            return kMMNoError;
        }
        for (const Line& source : dest.sources)
            if (matches(source.record)) {
                line = source.record;
                return kMMNoError;
            }
    }
    return kMixerInvalidLine;
}

MMResult InMemoryMixerBackend::ControlById(int deviceId, int32_t controlId,
                                           MixerControlRecord& control, int32_t& lineId) {
    if (auto failure = Enter(Op::ControlById)) return *failure;
    if (!DeviceAt(deviceId)) return kMMBadDeviceId;
    Control* c = FindControl(deviceId, controlId, &lineId);
    if (!c) return kMixerInvalidControl;
    control = c->record;
    return kMMNoError;
}

MMResult InMemoryMixerBackend::ControlByType(int deviceId, int32_t lineId, uint32_t controlType,
                                             MixerControlRecord& control) {
    if (auto failure = Enter(Op::ControlByType)) return *failure;
    if (!DeviceAt(deviceId)) return kMMBadDeviceId;
    Line* line = FindLine(deviceId, lineId);
    if (!line) return kMixerInvalidLine;
    for (const Control& c : line->controls)
        if (c.record.controlType == controlType) {
            control = c.record;
            return kMMNoError;
        }
    return kMixerInvalidControl;
}

MMResult InMemoryMixerBackend::Shape(int deviceId, int32_t controlId, uint32_t channels,
                                     uint32_t items, Control*& control, uint32_t& storedChannels) {
    if (!DeviceAt(deviceId)) return kMMBadDeviceId;
    int32_t lineId = -1;
    control = FindControl(deviceId, controlId, &lineId);
    if (!control) return kMixerInvalidControl;
    const uint32_t lineChannels = FindLine(deviceId, lineId)->record.channels;
    storedChannels = (control->record.flags & kControlFlagUniform) ? 1 : lineChannels;
    if (channels == 0 || (channels != 1 && channels != lineChannels)) return kMMInvalidParam;
    if (items != StoredItems(control->record)) return kMMInvalidParam;
    control->values.resize(size_t(storedChannels) * std::max(items, 1u));
    return kMMNoError;
}

MMResult InMemoryMixerBackend::GetDetails(int deviceId, int32_t controlId, uint32_t channels,
                                          uint32_t items, std::vector<int32_t>& values) {
    transfers.push_back({Op::GetDetails, controlId, channels, items, {}});
    if (auto failure = Enter(Op::GetDetails)) return *failure;
    Control* control = nullptr;
    uint32_t stored = 0;
    if (MMResult r = Shape(deviceId, controlId, channels, items, control, stored)) return r;
    values.assign(size_t(channels) * std::max(items, 1u), 0);
    for (uint32_t i = 0; i < std::max(items, 1u); ++i)
        for (uint32_t c = 0; c < channels; ++c)
            values[i * channels + c] = control->values[i * stored + std::min(c, stored - 1)];
    return kMMNoError;
}

MMResult InMemoryMixerBackend::SetDetails(int deviceId, int32_t controlId, uint32_t channels,
                                          uint32_t items, const std::vector<int32_t>& values) {
    transfers.push_back({Op::SetDetails, controlId, channels, items, values});
    if (auto failure = Enter(Op::SetDetails)) return *failure;
    Control* control = nullptr;
    uint32_t stored = 0;
    if (MMResult r = Shape(deviceId, controlId, channels, items, control, stored)) return r;
    if (values.size() < size_t(channels) * std::max(items, 1u)) return kMMInvalidParam;
    const std::vector<int32_t> before = control->values;
    for (uint32_t i = 0; i < std::max(items, 1u); ++i)
        for (uint32_t c = 0; c < stored; ++c)
            control->values[i * stored + c] = values[i * channels + std::min(c, channels - 1)];
    if (control->values != before) {
        const bool open = std::any_of(handles_.begin(), handles_.end(),
                                      [&](const auto& h) { return h.second.device == deviceId; });
        if (open) pending_.emplace_back(deviceId, controlId);
    }
    return kMMNoError;
}

MMResult InMemoryMixerBackend::GetListText(int deviceId, int32_t controlId, uint32_t channels,
                                           uint32_t items, std::vector<MixerListText>& texts) {
    transfers.push_back({Op::GetListText, controlId, channels, items, {}});
    if (auto failure = Enter(Op::GetListText)) return *failure;
    Control* control = nullptr;
    uint32_t stored = 0;
    if (MMResult r = Shape(deviceId, controlId, channels, items, control, stored)) return r;
    if (items == 0) return kMMInvalidParam;
    texts.assign(size_t(channels) * items, {});
    for (uint32_t i = 0; i < items; ++i)
        for (uint32_t c = 0; c < channels; ++c)
            if (i < control->texts.size()) texts[i * channels + c] = control->texts[i];
    return kMMNoError;
}

std::string InMemoryMixerBackend::ErrorText(MMResult code) {
    auto it = errorTexts_.find(code);
    return it == errorTexts_.end() ? std::string() : it->second;
}

}  // namespace zt
