#include "mixer/MixerDevice.h"

#include <memory>

#include "mixer/MixerErrors.h"
#include "platform/ErrorDisplay.h"

namespace zt {

namespace {

TMMDeviceFamilies WithMixerFamily(MixerBackend& backend, TMMDeviceFamilies families) {
    families[size_t(TMMDeviceKind::dkMixer)] = std::make_shared<MixerDeviceFamily>(backend);
    return families;
}

}  // namespace

TMMMixerDevice::TMMMixerDevice(MixerBackend& backend, TMMDeviceFamilies otherFamilies)
    : TMMCustomAudioDevice(WithMixerFamily(backend, std::move(otherFamilies))),
      backend_(backend),
      deviceObserver_([this](const TMMNotification&) { UpdateDevice(); }) {
    // A card whose capabilities cannot be read must not keep the window from
    // being built: like the generic device, fall back to no device.
    try {
        SetDeviceKind(TMMDeviceKind::dkMixer);
    } catch (const Exception&) {
        StoreDeviceId(kNoDeviceId);
        RefreshCaps();
    }
}

TMMMixerDevice::~TMMMixerDevice() {
    CloseHandle();
}

void TMMMixerDevice::SetDevice(TMMCustomAudioDevice* device) {
    if (device && device->DeviceKind() == TMMDeviceKind::dkMixer)
        throw EMMMixerDeviceError(mixer_msg::kMixerCantReferenceMixer);
    if (device == device_) return;
    const bool wasOpen = IsOpen();
    CloseDevice();
    if (device_) device_->Unsubscribe(deviceObserver_);
    device_ = device;
    if (device_) device_->Subscribe(deviceObserver_);
    UpdateDevice();
    if (wasOpen) SetActive(true);
}

uint32_t TMMMixerDevice::Destinations() {
    if (!IsValidDevice()) return 0;
    MixerCapsRecord caps;
    Check(backend_.GetDevCaps(EffectiveId(), caps));
    return caps.destinations;
}

TMMDeviceId TMMMixerDevice::EffectiveId() {
    if (!handle_) return DeviceId();
    int id = 0;
    Check(backend_.GetId(handle_, id));
    if (id != DeviceId()) {
        StoreDeviceId(id);
        DeviceChanged();
    }
    return id;
}

void TMMMixerDevice::OpenDevice() {
    if (!IsValidDevice()) throw EMMMixerDeviceError(mixer_msg::kDeviceNotValid);
    const uint64_t generation = ++openGeneration_;
    auto onChange = [this, generation](MixerChangeKind kind, int32_t id) {
        if (generation != openGeneration_ || !handle_) return;
        Guarded([&] {
            if (kind == MixerChangeKind::Line)
                MixerLineChanged(id);
            else
                MixerControlChanged(id);
        });
    };
    MixerHandle handle = 0;
    Check(backend_.Open(DeviceId(), std::move(onChange), handle));
    handle_ = handle;
    TMMCustomAudioDevice::OpenDevice();
}

MMResult TMMMixerDevice::CloseHandle() noexcept {
    MMResult result = kMMNoError;
    if (handle_) {
        const MixerHandle handle = handle_;
        handle_ = 0;
        ++openGeneration_;
        result = backend_.Close(handle);
    }
    TMMCustomAudioDevice::CloseDevice();
    return result;
}

void TMMMixerDevice::CloseDevice() {
    // The component is closed whatever the back end answers; its failure is
    // still reported.
    Check(CloseHandle());
}

void TMMMixerDevice::UpdateDevice() {
    if (device_) SetDeviceId(device_->MixerIdOf());
    TMMCustomAudioDevice::UpdateDevice();
}

void TMMMixerDevice::DeviceChanged() {
    lineNotifier_.Notify(TMMDeviceChange());
    TMMCustomAudioDevice::DeviceChanged();
}

void TMMMixerDevice::MixerLineChanged(TMMLineId lineId) {
    lineNotifier_.Notify(TMMLineChange(lineId));
    if (OnLineChange) OnLineChange(this, lineId);
}

void TMMMixerDevice::MixerControlChanged(TMMControlId controlId) {
    const TMMLineId lineId = ControlLineId(controlId);
    lineNotifier_.Notify(TMMControlChange(lineId, controlId));
    if (OnControlChange) OnControlChange(this, lineId, controlId);
}

void TMMMixerDevice::Check(MMResult result) {
    CheckMM(result, [this](MMResult r) { return ErrorText(r); });
}

bool TMMMixerDevice::CheckLineFound(MMResult result) {
    return CheckMMFound(result, {kMixerInvalidLine, kMMNoDriver, kMMInvalidParam},
                        [this](MMResult r) { return ErrorText(r); });
}

bool TMMMixerDevice::CheckControlFound(MMResult result) {
    return CheckMMFound(result, {kMixerInvalidControl, kMixerInvalidLine, kMMNoDriver},
                        [this](MMResult r) { return ErrorText(r); });
}

bool TMMMixerDevice::LineInfoById(TMMLineId lineId, MixerLineRecord& line) {
    return CheckLineFound(backend_.LineInfoById(EffectiveId(), lineId, line));
}

bool TMMMixerDevice::LineInfoByType(uint32_t componentType, MixerLineRecord& line) {
    return CheckLineFound(backend_.LineInfoByType(EffectiveId(), componentType, line));
}

bool TMMMixerDevice::LineInfoBySource(uint32_t destination, uint32_t source,
                                      MixerLineRecord& line) {
    return CheckLineFound(backend_.LineInfoBySource(EffectiveId(), destination, source, line));
}

bool TMMMixerDevice::LineInfoByTarget(uint32_t targetType, uint16_t manufacturerId,
                                      uint16_t productId, uint32_t driverVersion,
                                      const std::string& productName, MixerLineRecord& line) {
    return CheckLineFound(backend_.LineInfoByTarget(EffectiveId(), targetType, manufacturerId,
                                                    productId, driverVersion,
                                                    CutName(productName, 31), line));
}

bool TMMMixerDevice::ControlById(TMMControlId controlId, MixerControlRecord& control,
                                 TMMLineId& lineId) {
    return CheckControlFound(backend_.ControlById(EffectiveId(), controlId, control, lineId));
}

bool TMMMixerDevice::ControlByType(TMMLineId lineId, uint32_t controlType,
                                   MixerControlRecord& control) {
    return CheckControlFound(backend_.ControlByType(EffectiveId(), lineId, controlType, control));
}

TMMLineId TMMMixerDevice::ControlLineId(TMMControlId controlId) {
    MixerControlRecord control;
    TMMLineId lineId = kBadLineId;
    if (!ControlById(controlId, control, lineId)) return kBadLineId;
    return lineId;
}

std::vector<int32_t> TMMMixerDevice::GetDetails(TMMControlId controlId, uint32_t channels,
                                                uint32_t items) {
    std::vector<int32_t> values;
    Check(backend_.GetDetails(EffectiveId(), controlId, channels, items, values));
    // A back end that answers with fewer values than asked for is treated as
    // a failed read rather than read past.
    const size_t expected = size_t(channels) * (items ? items : 1);
    if (values.size() < expected) Check(kMMError);
    return values;
}

void TMMMixerDevice::SetDetails(TMMControlId controlId, uint32_t channels, uint32_t items,
                                const std::vector<int32_t>& values) {
    Check(backend_.SetDetails(EffectiveId(), controlId, channels, items, values));
}

std::vector<MixerListText> TMMMixerDevice::GetListText(TMMControlId controlId, uint32_t channels,
                                                       uint32_t items) {
    std::vector<MixerListText> texts;
    Check(backend_.GetListText(EffectiveId(), controlId, channels, items, texts));
    const size_t expected = size_t(channels) * (items ? items : 1);
    if (texts.size() < expected) Check(kMMError);
    return texts;
}

}  // namespace zt
