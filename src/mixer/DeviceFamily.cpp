#include "mixer/DeviceFamily.h"

namespace zt {

MMResult MixerDeviceFamily::GetDevCaps(TMMDeviceId id, AudioDeviceCapsRecord& caps) {
    if (id == kMapperDeviceId) return kMMBadDeviceId;
    MixerCapsRecord record;
    const MMResult result = backend_.GetDevCaps(id, record);
    if (result != kMMNoError) return result;
    caps.manufacturerId = record.manufacturerId;
    caps.productId = record.productId;
    caps.driverVersion = record.driverVersion;
    caps.productName = record.productName;
    return kMMNoError;
}

MMResult MixerDeviceFamily::MixerIdOf(TMMDeviceId id, TMMDeviceId& mixerId) {
    if (id < 0 || id >= backend_.NumDevs()) return kMMBadDeviceId;
    mixerId = id;
    return kMMNoError;
}

}  // namespace zt
