#include "mixer/AudioDevice.h"

#include "mixer/MixerErrors.h"

namespace zt {

void TMMDeviceCaps::Assign(const AudioDeviceCapsRecord& caps) {
    manufacturerId_ = caps.manufacturerId;
    productId_ = caps.productId;
    driverVersion_ = caps.driverVersion;
    productName_ = CutName(caps.productName, 31);
}

void TMMDeviceCaps::Clear() {
    *this = TMMDeviceCaps();
}

TMMCustomAudioDevice::TMMCustomAudioDevice(TMMDeviceFamilies families)
    : families_(std::move(families)) {
    try {
        RefreshCaps();
    } catch (const Exception&) {
        deviceId_ = kNoDeviceId;
        RefreshCaps();
    }
}

TMMCustomAudioDevice::~TMMCustomAudioDevice() = default;

TMMDeviceFamily& TMMCustomAudioDevice::Family() const {
    static EmptyDeviceFamily empty;
    const auto& family = families_[size_t(kind_)];
    return family ? *family : empty;
}

bool TMMCustomAudioDevice::Mapper() const {
    AudioDeviceCapsRecord caps;
    return CheckMMFound(Family().GetDevCaps(kMapperDeviceId, caps),
                        {kMMBadDeviceId, kMMInvalidHandle},
                        [this](MMResult r) { return ErrorText(r); });
}

void TMMCustomAudioDevice::SetActive(bool active) {
    if (IsLoading()) {
        loadedActive_ = active;
        return;
    }
    if (active == active_) return;
    CloseDevice();
    if (active) OpenDevice();
}

void TMMCustomAudioDevice::SetDeviceId(TMMDeviceId id) {
    if (id != kMapperDeviceId && id != kNoDeviceId && id != 0 && (id < 0 || id >= DeviceCount()))
        throw EMMDeviceError(mixer_msg::kDeviceIdOutOfRange);
    if (id == deviceId_) return;
    const bool wasActive = active_;
    CloseDevice();
    deviceId_ = id;
    UpdateDevice();
    if (wasActive) SetActive(true);
}

bool TMMCustomAudioDevice::IsValidDevice() const {
    return DeviceCount() >= 1 && deviceId_ != kNoDeviceId;
}

void TMMCustomAudioDevice::ListDevices(std::vector<std::string>& list, bool includeMapper) const {
    list.clear();
    const auto text = [this](MMResult r) { return ErrorText(r); };
    AudioDeviceCapsRecord caps;
    if (includeMapper && Mapper()) {
        CheckMM(Family().GetDevCaps(kMapperDeviceId, caps), text);
        list.push_back(CutName(caps.productName, 31));
    }
    const int count = DeviceCount();
    for (int i = 0; i < count; ++i) {
        caps = {};
        CheckMM(Family().GetDevCaps(i, caps), text);
        list.push_back(CutName(caps.productName, 31));
    }
}

TMMDeviceId TMMCustomAudioDevice::MixerIdOf() const {
    TMMDeviceId mixerId = kNoDeviceId;
    if (!CheckMMFound(Family().MixerIdOf(deviceId_, mixerId), {kMMNoDriver},
                      [this](MMResult r) { return ErrorText(r); }))
        return kNoDeviceId;
    return mixerId == kMapperDeviceId ? kNoDeviceId : mixerId;
}

void TMMCustomAudioDevice::Loaded() {
    TMMLoadable::Loaded();
    SetActive(loadedActive_);
}

void TMMCustomAudioDevice::SetDeviceKind(TMMDeviceKind kind) {
    if (kind == kind_) return;
    CloseDevice();
    kind_ = kind;
    deviceId_ = 0;
    UpdateDevice();
}

void TMMCustomAudioDevice::UpdateDevice() {
    RefreshCaps();
    DeviceChanged();
}

void TMMCustomAudioDevice::DeviceChanged() {
    notifier_.Notify(TMMDeviceChange());
    if (OnChange) OnChange(this);
}

void TMMCustomAudioDevice::RefreshCaps() {
    if (!IsValidDevice()) {
        caps_.Clear();
        return;
    }
    AudioDeviceCapsRecord caps;
    CheckMM(Family().GetDevCaps(deviceId_, caps), [this](MMResult r) { return ErrorText(r); });
    caps_.Assign(caps);
}

}  // namespace zt
