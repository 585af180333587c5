#include "mixer/alsa/AlsaMixerBackend.h"

#include <alsa/asoundlib.h>

#include <QObject>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>

#include "mixer/MixerTypes.h"
#include "mixer/alsa/AlsaMixerModel.h"

namespace zt {

namespace {

constexpr size_t kProductNameLength = 31;

uint32_t AlsaVersion() {
    unsigned major = 0, minor = 0, patch = 0;
    if (std::sscanf(snd_asoundlib_version(), "%u.%u.%u", &major, &minor, &patch) < 2)
        return SND_LIB_VERSION;
    return (major & 0xFF) << 16 | (minor & 0xFF) << 8 | (patch & 0xFF);
}

MMResult ErrnoResult(int error) {
    return kAlsaMixerErrorBase + MMResult(error < 0 ? -error : error);
}

// Errors that mean the card is no longer there.
bool IsGone(int error) {
    return error == -ENODEV || error == -ENXIO || error == -EBADFD || error == -EIO;
}

}  // namespace

// What the card reported, noted by the ALSA callbacks during
// snd_mixer_handle_events (they only note it: the model is rebuilt and the
// handles are told after that call has returned).
struct AlsaMixerEvents {
    const AlsaMixerModel* model = nullptr;
    std::set<int32_t> changedControls;
    std::set<int32_t> changedLines;
    bool structureChanged = false;
};

namespace {

int OnElemEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    auto* events = static_cast<AlsaMixerEvents*>(snd_mixer_elem_get_callback_private(elem));
    if (!events) return 0;
    if (mask == SND_CTL_EVENT_MASK_REMOVE) {
        events->structureChanged = true;
        return 0;
    }
    if (mask & (SND_CTL_EVENT_MASK_VALUE | SND_CTL_EVENT_MASK_INFO)) {
        auto it = events->model->controlsOfElem.find(elem);
        if (it != events->model->controlsOfElem.end())
            events->changedControls.insert(it->second.begin(), it->second.end());
    }
    return 0;
}

int OnMixerEvent(snd_mixer_t* mixer, unsigned int mask, snd_mixer_elem_t*) {
    auto* events = static_cast<AlsaMixerEvents*>(snd_mixer_get_callback_private(mixer));
    if (events && mask != SND_CTL_EVENT_MASK_REMOVE && (mask & SND_CTL_EVENT_MASK_ADD))
        events->structureChanged = true;
    return 0;
}

}  // namespace

struct AlsaMixerBackend::Device {
    int index = 0;
    AlsaMixerDevice names;
    std::string ctl;
    snd_mixer_t* mixer = nullptr;
    AlsaMixerModel model;
    AlsaMixerIds ids;
    AlsaMixerEvents events;
    std::vector<QSocketNotifier*> notifiers;  // children of the back end's context
    bool deliveryQueued = false;
};

AlsaMixerBackend::AlsaMixerBackend(std::vector<AlsaMixerDevice> devices)
    : driverVersion_(AlsaVersion()), context_(std::make_unique<QObject>()) {
    for (size_t i = 0; i < devices.size(); ++i) {
        auto device = std::make_unique<Device>();
        device->index = int(i);
        device->names = std::move(devices[i]);
        device->ctl = ControlDeviceName(device->names.pcmName);
        devices_.push_back(std::move(device));
    }
}

AlsaMixerBackend::~AlsaMixerBackend() {
    handles_.clear();
    for (auto& device : devices_) {
        Unwatch(*device);
        CloseMixer(*device);
    }
    context_.reset();  // drops the queued deliveries
}

std::string AlsaMixerBackend::ControlDeviceName(const std::string& pcmName) {
    for (const char* prefix : {"plughw:", "hw:"}) {
        const std::string p = prefix;
        if (pcmName.compare(0, p.size(), p) == 0) {
            // "plughw:1,0" names a device of card 1; the card's controls are "hw:1".
            const std::string card = pcmName.substr(p.size());
            return "hw:" + card.substr(0, card.find(','));
        }
    }
    return pcmName;
}

// ---- devices and their snd_mixer_t ----

AlsaMixerBackend::Device* AlsaMixerBackend::DeviceAt(int deviceId) {
    if (deviceId < 0 || size_t(deviceId) >= devices_.size()) return nullptr;
    return devices_[size_t(deviceId)].get();
}

bool AlsaMixerBackend::OpenMixer(Device& device, int& error) {
    snd_mixer_t* mixer = nullptr;
    if ((error = snd_mixer_open(&mixer, 0)) < 0) return false;
    if ((error = snd_mixer_attach(mixer, device.ctl.c_str())) < 0 ||
        (error = snd_mixer_selem_register(mixer, nullptr, nullptr)) < 0 ||
        (error = snd_mixer_load(mixer)) < 0) {
        snd_mixer_close(mixer);
        return false;
    }
    device.mixer = mixer;
    snd_mixer_set_callback(mixer, OnMixerEvent);
    snd_mixer_set_callback_private(mixer, &device.events);
    Rebuild(device);
    if (HasHandles(device)) {
        // Back after a failure while handles were open: they hear again.
        Watch(device);
        for (int32_t id : device.model.LineIds()) device.events.changedLines.insert(id);
        Schedule(device);
    }
    return true;
}

void AlsaMixerBackend::CloseMixer(Device& device) {
    if (!device.mixer) return;
    snd_mixer_close(device.mixer);
    device.mixer = nullptr;
    device.model = AlsaMixerModel{};
    device.events.structureChanged = false;
}

void AlsaMixerBackend::Rebuild(Device& device) {
    const AlsaMixerTarget target{uint32_t(device.index), driverVersion_,
                                 device.names.displayName.substr(0, kProductNameLength)};
    device.model = BuildAlsaMixerModel(device.mixer, target, device.ids);
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(device.mixer); e; e = snd_mixer_elem_next(e)) {
        snd_mixer_elem_set_callback(e, OnElemEvent);
        snd_mixer_elem_set_callback_private(e, &device.events);
    }
    device.events.model = &device.model;
    device.events.structureChanged = false;
}

void AlsaMixerBackend::TakeEvents(Device& device) {
    const int err = snd_mixer_handle_events(device.mixer);
    if (err < 0) {
        Fail(device, err);
        return;
    }
    if (device.events.structureChanged) {
        for (int32_t id : device.model.LineIds()) device.events.changedLines.insert(id);
        Rebuild(device);
        for (int32_t id : device.model.LineIds()) device.events.changedLines.insert(id);
    }
    if (!device.events.changedControls.empty() || !device.events.changedLines.empty())
        Schedule(device);
}

void AlsaMixerBackend::Fail(Device& device, int error) {
    (void)error;
    for (int32_t id : device.model.LineIds()) device.events.changedLines.insert(id);
    device.events.changedControls.clear();
    Unwatch(device);
    CloseMixer(device);
    Schedule(device);
}

const AlsaMixerModel* AlsaMixerBackend::ModelOf(int deviceId, MMResult& result) {
    Device* device = DeviceAt(deviceId);
    if (!device) {
        result = kMMBadDeviceId;
        return nullptr;
    }
    return Ready(*device, result);
}

const AlsaMixerModel* AlsaMixerBackend::Ready(Device& device, MMResult& result) {
    if (device.mixer) {
        TakeEvents(device);
    } else {
        int error = 0;
        if (!OpenMixer(device, error)) {
            result = kMMNoDriver;
            return nullptr;
        }
    }
    if (!device.mixer) {
        result = kMMNoDriver;
        return nullptr;
    }
    result = kMMNoError;
    return &device.model;
}

MMResult AlsaMixerBackend::Failed(Device& device, int error) {
    if (IsGone(error)) {
        Fail(device, error);
        return kMMNoDriver;
    }
    return ErrnoResult(error);
}

// ---- notifications ----

bool AlsaMixerBackend::HasHandles(const Device& device) const {
    return std::any_of(handles_.begin(), handles_.end(),
                       [&](const auto& h) { return h.second.device == device.index; });
}

void AlsaMixerBackend::Watch(Device& device) {
    if (!device.mixer || !device.notifiers.empty()) return;
    const int count = snd_mixer_poll_descriptors_count(device.mixer);
    if (count <= 0) return;
    std::vector<pollfd> fds(static_cast<size_t>(count));
    const int filled = snd_mixer_poll_descriptors(device.mixer, fds.data(), unsigned(count));
    for (int i = 0; i < filled; ++i) {
        if (!(fds[size_t(i)].events & POLLIN)) continue;
        auto* notifier =
            new QSocketNotifier(fds[size_t(i)].fd, QSocketNotifier::Read, context_.get());
        const int index = device.index;
        QObject::connect(notifier, &QSocketNotifier::activated, context_.get(), [this, index] {
            Device& d = *devices_[size_t(index)];
            if (d.mixer) TakeEvents(d);
        });
        device.notifiers.push_back(notifier);
    }
}

void AlsaMixerBackend::Unwatch(Device& device) {
    // A notifier may be the one whose signal is running: it goes later.
    for (QSocketNotifier* notifier : device.notifiers) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    device.notifiers.clear();
}

void AlsaMixerBackend::Schedule(Device& device) {
    if (!HasHandles(device)) {
        device.events.changedControls.clear();
        device.events.changedLines.clear();
        return;
    }
    if (device.deliveryQueued) return;
    device.deliveryQueued = true;
    const int index = device.index;
    QMetaObject::invokeMethod(
        context_.get(), [this, index] { Deliver(index); }, Qt::QueuedConnection);
}

void AlsaMixerBackend::Deliver(int deviceIndex) {
    Device& device = *devices_[size_t(deviceIndex)];
    device.deliveryQueued = false;
    const std::set<int32_t> lines = std::move(device.events.changedLines);
    const std::set<int32_t> controls = std::move(device.events.changedControls);
    device.events.changedLines.clear();
    device.events.changedControls.clear();
    // A callback may close or open handles: each is looked up again before
    // it is called.
    std::vector<MixerHandle> targets;
    for (const auto& [handle, h] : handles_)
        if (h.device == deviceIndex) targets.push_back(handle);
    for (MixerHandle handle : targets) {
        for (int32_t id : lines) {
            auto it = handles_.find(handle);
            if (it == handles_.end()) break;
            MixerChangeCallback callback = it->second.onChange;
            if (callback) callback(MixerChangeKind::Line, id);
        }
        for (int32_t id : controls) {
            auto it = handles_.find(handle);
            if (it == handles_.end()) break;
            MixerChangeCallback callback = it->second.onChange;
            if (callback) callback(MixerChangeKind::Control, id);
        }
    }
}

// ---- handles ----

int AlsaMixerBackend::NumDevs() {
    return int(devices_.size());
}

MMResult AlsaMixerBackend::GetDevCaps(int deviceId, MixerCapsRecord& caps) {
    Device* device = DeviceAt(deviceId);
    if (!device) return kMMBadDeviceId;
    caps = MixerCapsRecord{};
    caps.productName = device->names.displayName.substr(0, kProductNameLength);
    caps.driverVersion = driverVersion_;
    MMResult result = kMMNoError;
    if (const AlsaMixerModel* model = Ready(*device, result))
        caps.destinations = uint32_t(model->destinations.size());
    return kMMNoError;
}

MMResult AlsaMixerBackend::Open(int deviceId, MixerChangeCallback onChange, MixerHandle& handle) {
    handle = 0;
    Device* device = DeviceAt(deviceId);
    if (!device) return kMMBadDeviceId;
    if (device->mixer) TakeEvents(*device);
    if (!device->mixer) {
        int error = 0;
        if (!OpenMixer(*device, error)) return ErrnoResult(error);
    }
    handle = nextHandle_++;
    handles_[handle] = Handle{deviceId, std::move(onChange)};
    Watch(*device);
    return kMMNoError;
}

MMResult AlsaMixerBackend::Close(MixerHandle handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return kMMInvalidHandle;
    Device& device = *devices_[size_t(it->second.device)];
    handles_.erase(it);
    if (!HasHandles(device)) {
        Unwatch(device);
        device.events.changedControls.clear();
        device.events.changedLines.clear();
    }
    return kMMNoError;
}

MMResult AlsaMixerBackend::GetId(MixerHandle handle, int& deviceId) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return kMMInvalidHandle;
    deviceId = it->second.device;
    return kMMNoError;
}

std::string AlsaMixerBackend::ErrorText(MMResult code) {
    if (code > kAlsaMixerErrorBase && code < kAlsaMixerErrorBase + 0x1000)
        return snd_strerror(-int(code - kAlsaMixerErrorBase));
    return {};
}

// ---- lines and controls ----

MMResult AlsaMixerBackend::LineInfoById(int deviceId, int32_t lineId, MixerLineRecord& line) {
    MMResult result = kMMNoError;
    const AlsaMixerModel* model = ModelOf(deviceId, result);
    if (!model) return result;
    const AlsaMixerLine* found = model->LineById(lineId);
    if (!found) return kMixerInvalidLine;
    line = found->record;
    return kMMNoError;
}

MMResult AlsaMixerBackend::LineInfoByType(int deviceId, uint32_t componentType,
                                          MixerLineRecord& line) {
    MMResult result = kMMNoError;
    const AlsaMixerModel* model = ModelOf(deviceId, result);
    if (!model) return result;
    for (const AlsaMixerLine& candidate : model->lines) {
        if (candidate.record.componentType != componentType) continue;
        // A source found by its type alone is a monitor path; an input of
        // the recording destination is never offered as one (muting or
        // turning down "the monitor" would silence the recording). The
        // recording's inputs are found under their destination.
        if ((candidate.record.flags & kLineFlagSource) &&
            candidate.record.destination < model->destinations.size() &&
            model->lines[model->destinations[candidate.record.destination]].record.componentType ==
                component::kDstWaveIn)
            continue;
        line = candidate.record;
        return kMMNoError;
    }
    return kMixerInvalidLine;
}

MMResult AlsaMixerBackend::LineInfoBySource(int deviceId, uint32_t destination, uint32_t source,
                                            MixerLineRecord& line) {
    MMResult result = kMMNoError;
    const AlsaMixerModel* model = ModelOf(deviceId, result);
    if (!model) return result;
    if (destination >= model->sources.size() || source >= model->sources[destination].size())
        return kMMInvalidParam;
    line = model->lines[model->sources[destination][source]].record;
    return kMMNoError;
}

MMResult AlsaMixerBackend::LineInfoByTarget(int deviceId, uint32_t targetType,
                                            uint16_t manufacturerId, uint16_t productId,
                                            uint32_t driverVersion, const std::string& productName,
                                            MixerLineRecord& line) {
    MMResult result = kMMNoError;
    const AlsaMixerModel* model = ModelOf(deviceId, result);
    if (!model) return result;
    for (const AlsaMixerLine& candidate : model->lines) {
        const MixerLineRecord& r = candidate.record;
        if (r.targetType != kTargetNone && r.targetType == targetType &&
            r.targetManufacturerId == manufacturerId && r.targetProductId == productId &&
            r.targetDriverVersion == driverVersion && r.targetName == productName) {
            line = r;
            return kMMNoError;
        }
    }
    return kMixerInvalidLine;
}

MMResult AlsaMixerBackend::ControlById(int deviceId, int32_t controlId, MixerControlRecord& control,
                                       int32_t& lineId) {
    Device* device = nullptr;
    MMResult result = kMMNoError;
    const AlsaMixerControl* found = FindControl(deviceId, controlId, device, result);
    if (!found) return result;
    control = found->record;
    lineId = device->model.lines[found->line].record.lineId;
    return kMMNoError;
}

MMResult AlsaMixerBackend::ControlByType(int deviceId, int32_t lineId, uint32_t controlType,
                                         MixerControlRecord& control) {
    MMResult result = kMMNoError;
    const AlsaMixerModel* model = ModelOf(deviceId, result);
    if (!model) return result;
    const AlsaMixerLine* line = model->LineById(lineId);
    if (!line) return kMixerInvalidLine;
    for (size_t index : line->controls) {
        if (model->controls[index].record.controlType == controlType) {
            control = model->controls[index].record;
            return kMMNoError;
        }
    }
    return kMixerInvalidControl;
}

const AlsaMixerControl* AlsaMixerBackend::FindControl(int deviceId, int32_t controlId,
                                                      Device*& device, MMResult& result) {
    device = DeviceAt(deviceId);
    if (!device) {
        result = kMMBadDeviceId;
        return nullptr;
    }
    const AlsaMixerModel* model = Ready(*device, result);
    if (!model) return nullptr;
    const AlsaMixerControl* control = model->ControlById(controlId);
    if (!control) result = kMixerInvalidControl;
    return control;
}

// ---- values ----

namespace {

snd_mixer_selem_channel_id_t Channel(uint32_t index) {
    return index == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
}

// The channels and items a call may ask of `control` on a line of
// `lineChannels` channels: 1 or the line's channels; no items, or all of them
// for a list.
bool ShapeAccepted(const AlsaMixerControl& control, uint32_t lineChannels, uint32_t channels,
                   uint32_t items) {
    if (channels != 1 && channels != lineChannels) return false;
    if (control.kind == AlsaControlKind::Mux) return items == control.items.size();
    return items == 0;
}

}  // namespace

MMResult AlsaMixerBackend::GetDetails(int deviceId, int32_t controlId, uint32_t channels,
                                      uint32_t items, std::vector<int32_t>& values) {
    Device* device = nullptr;
    MMResult result = kMMNoError;
    const AlsaMixerControl* control = FindControl(deviceId, controlId, device, result);
    if (!control) return result;
    const uint32_t lineChannels = device->model.lines[control->line].record.channels;
    if (!ShapeAccepted(*control, lineChannels, channels, items)) return kMMInvalidParam;

    std::vector<int32_t> read;
    int err = 0;
    snd_mixer_elem_t* e = control->elem;
    switch (control->kind) {
        case AlsaControlKind::Volume:
            for (uint32_t c = 0; c < channels && err >= 0; ++c) {
                long value = 0;
                err = control->capture ? snd_mixer_selem_get_capture_volume(e, Channel(c), &value)
                                       : snd_mixer_selem_get_playback_volume(e, Channel(c), &value);
                read.push_back(int32_t(value));
            }
            break;
        case AlsaControlKind::Mute:
            for (uint32_t c = 0; c < channels && err >= 0; ++c) {
                int on = 0;
                err = control->capture ? snd_mixer_selem_get_capture_switch(e, Channel(c), &on)
                                       : snd_mixer_selem_get_playback_switch(e, Channel(c), &on);
                read.push_back(on ? 0 : 1);
            }
            break;
        case AlsaControlKind::Mux: {
            std::vector<int32_t> selected(control->items.size(), 0);
            if (e) {
                unsigned item = 0;
                err = snd_mixer_selem_get_enum_item(e, SND_MIXER_SCHN_MONO, &item);
                if (err >= 0 && item < selected.size()) selected[item] = 1;
            } else {
                for (size_t i = 0; i < control->switches.size() && err >= 0; ++i) {
                    int on = 0;
                    err = snd_mixer_selem_get_capture_switch(control->switches[i],
                                                             SND_MIXER_SCHN_MONO, &on);
                    selected[i] = on ? 1 : 0;
                }
            }
            for (int32_t value : selected)
                for (uint32_t c = 0; c < channels; ++c) read.push_back(value);
            break;
        }
    }
    if (err < 0) return Failed(*device, err);
    values = std::move(read);
    return kMMNoError;
}

MMResult AlsaMixerBackend::SetDetails(int deviceId, int32_t controlId, uint32_t channels,
                                      uint32_t items, const std::vector<int32_t>& values) {
    Device* device = nullptr;
    MMResult result = kMMNoError;
    const AlsaMixerControl* control = FindControl(deviceId, controlId, device, result);
    if (!control) return result;
    const uint32_t lineChannels = device->model.lines[control->line].record.channels;
    if (!ShapeAccepted(*control, lineChannels, channels, items) ||
        values.size() < size_t(channels) * std::max<uint32_t>(items, 1))
        return kMMInvalidParam;

    int err = 0;
    snd_mixer_elem_t* e = control->elem;
    const bool all = channels == 1;  // one value for every channel of the element
    switch (control->kind) {
        case AlsaControlKind::Volume: {
            const long min = control->record.minimum, max = control->record.maximum;
            for (uint32_t c = 0; c < channels && err >= 0; ++c) {
                const long v = std::clamp<long>(values[c], min, max);
                if (control->capture)
                    err = all ? snd_mixer_selem_set_capture_volume_all(e, v)
                              : snd_mixer_selem_set_capture_volume(e, Channel(c), v);
                else
                    err = all ? snd_mixer_selem_set_playback_volume_all(e, v)
                              : snd_mixer_selem_set_playback_volume(e, Channel(c), v);
            }
            break;
        }
        case AlsaControlKind::Mute:
            for (uint32_t c = 0; c < channels && err >= 0; ++c) {
                const int on = values[c] ? 0 : 1;
                if (control->capture)
                    err = all ? snd_mixer_selem_set_capture_switch_all(e, on)
                              : snd_mixer_selem_set_capture_switch(e, Channel(c), on);
                else
                    err = all ? snd_mixer_selem_set_playback_switch_all(e, on)
                              : snd_mixer_selem_set_playback_switch(e, Channel(c), on);
            }
            break;
        case AlsaControlKind::Mux: {
            // The first item set on the first channel is the one selected.
            size_t chosen = items;
            for (size_t i = 0; i < items && chosen == items; ++i)
                if (values[i * channels]) chosen = i;
            if (chosen == items) return kMixerInvalidValue;
            if (e) {
                // Every channel of the enumeration: reading one past the
                // last fails.
                for (int c = 0; c <= SND_MIXER_SCHN_LAST && err >= 0; ++c) {
                    const auto channel = snd_mixer_selem_channel_id_t(c);
                    unsigned current = 0;
                    if (const int probe = snd_mixer_selem_get_enum_item(e, channel, &current);
                        probe < 0) {
                        if (c == 0) err = probe;
                        break;
                    }
                    err = snd_mixer_selem_set_enum_item(e, channel, unsigned(chosen));
                }
            } else {
                for (size_t i = 0; i < control->switches.size() && err >= 0; ++i)
                    if (i != chosen)
                        err = snd_mixer_selem_set_capture_switch_all(control->switches[i], 0);
                if (err >= 0)
                    err = snd_mixer_selem_set_capture_switch_all(control->switches[chosen], 1);
            }
            break;
        }
    }
    return err < 0 ? Failed(*device, err) : kMMNoError;
}

MMResult AlsaMixerBackend::GetListText(int deviceId, int32_t controlId, uint32_t channels,
                                       uint32_t items, std::vector<MixerListText>& texts) {
    Device* device = nullptr;
    MMResult result = kMMNoError;
    const AlsaMixerControl* control = FindControl(deviceId, controlId, device, result);
    if (!control) return result;
    const uint32_t lineChannels = device->model.lines[control->line].record.channels;
    if (control->kind != AlsaControlKind::Mux ||
        !ShapeAccepted(*control, lineChannels, channels, items))
        return kMMInvalidParam;
    texts.clear();
    for (const MixerListText& item : control->items)
        for (uint32_t c = 0; c < channels; ++c) texts.push_back(item);
    return kMMNoError;
}

}  // namespace zt
