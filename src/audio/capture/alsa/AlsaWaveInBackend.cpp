#include "audio/capture/alsa/AlsaWaveInBackend.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <thread>
#include <vector>

#include "audio/capture/alsa/AlsaCaptureHandle.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

namespace {

constexpr size_t kMaxNameLength = 31;

WaveInResult AlsaError(int err) {
    return kAlsaErrorBase + WaveInResult(err < 0 ? -err : err);
}

std::string CutName(const std::string& name) {
    return name.substr(0, kMaxNameLength);
}

// The ALSA sample format of a PCM record, or UNKNOWN when there is none.
snd_pcm_format_t PcmFormat(const WAVEFORMATEX& format) {
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels == 0 || format.nSamplesPerSec == 0)
        return SND_PCM_FORMAT_UNKNOWN;
    if (format.wBitsPerSample == 8 && format.nBlockAlign == format.nChannels)
        return SND_PCM_FORMAT_U8;
    if (format.wBitsPerSample == 16 && format.nBlockAlign == 2 * format.nChannels)
        return SND_PCM_FORMAT_S16_LE;
    return SND_PCM_FORMAT_UNKNOWN;
}

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
using HwParamsPtr = std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree>;

// Opens a PCM for capture without waiting for a busy device.
int OpenCapture(const std::string& name, PcmPtr& pcm) {
    snd_pcm_t* raw = nullptr;
    int err = snd_pcm_open(&raw, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0) return err;
    pcm.reset(raw);
    return 0;
}

// Restricts `params` to interleaved reads of the format, exactly; an error
// means the device cannot take it.
int RestrictTo(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, snd_pcm_format_t format,
               unsigned channels, unsigned rate) {
    int err = snd_pcm_hw_params_any(pcm, params);
    if (err < 0) return err;
    if ((err = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (err = snd_pcm_hw_params_set_format(pcm, params, format)) < 0 ||
        (err = snd_pcm_hw_params_set_channels(pcm, params, channels)) < 0 ||
        (err = snd_pcm_hw_params_set_rate(pcm, params, rate, 0)) < 0)
        return err;
    return 0;
}

bool TestFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, snd_pcm_format_t format,
                unsigned channels, unsigned rate) {
    return RestrictTo(pcm, params, format, channels, rate) == 0;
}

}  // namespace

AlsaWaveInBackend::AlsaWaveInBackend() : devices_(ProbeDevices()), probed_(true) {}

void AlsaWaveInBackend::Rescan() {
    if (probed_ && open_.empty()) devices_ = ProbeDevices();
}

std::vector<AlsaPcmDevice> AlsaWaveInBackend::ProbeDevices() {
    std::vector<AlsaPcmDevice> devices;
    PcmPtr probe;
    if (OpenCapture("default", probe) == 0) devices.push_back({"default", "Default"});
    probe.reset();

    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        std::string hw = "hw:" + std::to_string(card);
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, hw.c_str(), 0) < 0) continue;
        bool canCapture = false;
        int device = -1;
        snd_pcm_info_t* info;
        snd_pcm_info_alloca(&info);
        while (!canCapture && snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
            snd_pcm_info_set_device(info, unsigned(device));
            snd_pcm_info_set_subdevice(info, 0);
            snd_pcm_info_set_stream(info, SND_PCM_STREAM_CAPTURE);
            canCapture = snd_ctl_pcm_info(ctl, info) == 0;
        }
        snd_ctl_close(ctl);
        if (!canCapture) continue;
        char* name = nullptr;
        std::string display = hw;
        if (snd_card_get_name(card, &name) == 0 && name) {
            display = name;
            free(name);
        }
        devices.push_back({"plughw:" + std::to_string(card), CutName(display)});
    }
    return devices;
}

AlsaWaveInBackend::AlsaWaveInBackend(std::vector<AlsaPcmDevice> devices)
    : devices_(std::move(devices)) {
    for (AlsaPcmDevice& d : devices_) d.displayName = CutName(d.displayName);
}

AlsaWaveInBackend::~AlsaWaveInBackend() {
    while (!open_.empty()) Close(open_.begin()->first);
}

uint32_t AlsaWaveInBackend::AlsaVersion() {
    unsigned major = 0, minor = 0, patch = 0;
    if (std::sscanf(snd_asoundlib_version(), "%u.%u.%u", &major, &minor, &patch) < 2)
        return SND_LIB_VERSION;
    return (major & 0xFF) << 16 | (minor & 0xFF) << 8 | (patch & 0xFF);
}

const AlsaPcmDevice* AlsaWaveInBackend::Device(int deviceId) const {
    if (deviceId == -1) deviceId = 0;
    if (deviceId < 0 || size_t(deviceId) >= devices_.size()) return nullptr;
    return &devices_[size_t(deviceId)];
}

AlsaWaveInBackend::Capture* AlsaWaveInBackend::Find(WaveInHandle handle) {
    auto it = open_.find(handle);
    return it == open_.end() ? nullptr : it->second.get();
}

int AlsaWaveInBackend::NumDevs() {
    return int(devices_.size());
}

WaveInResult AlsaWaveInBackend::GetDevCaps(int deviceId, WaveInCaps& caps) {
    const AlsaPcmDevice* device = Device(deviceId);
    if (!device) return kWaveInBadDeviceId;
    caps = WaveInCaps{};
    caps.name = device->displayName;
    caps.driverVersion = AlsaVersion();

    PcmPtr pcm;
    HwParamsPtr params;
    snd_pcm_hw_params_t* raw = nullptr;
    if (OpenCapture(device->pcmName, pcm) < 0 || snd_pcm_hw_params_malloc(&raw) < 0)
        return kWaveInOk;  // busy or gone now: no mask, as the caller allows
    params.reset(raw);

    struct Standard {
        unsigned rate, channels;
        snd_pcm_format_t format;
        uint32_t flag;
    };
    static const Standard kStandard[] = {
        {11025, 1, SND_PCM_FORMAT_U8, WAVE_FORMAT_1M08},
        {11025, 2, SND_PCM_FORMAT_U8, WAVE_FORMAT_1S08},
        {11025, 1, SND_PCM_FORMAT_S16_LE, WAVE_FORMAT_1M16},
        {11025, 2, SND_PCM_FORMAT_S16_LE, WAVE_FORMAT_1S16},
        {22050, 1, SND_PCM_FORMAT_U8, WAVE_FORMAT_2M08},
        {22050, 2, SND_PCM_FORMAT_U8, WAVE_FORMAT_2S08},
        {22050, 1, SND_PCM_FORMAT_S16_LE, WAVE_FORMAT_2M16},
        {22050, 2, SND_PCM_FORMAT_S16_LE, WAVE_FORMAT_2S16},
        {44100, 1, SND_PCM_FORMAT_U8, WAVE_FORMAT_4M08},
        {44100, 2, SND_PCM_FORMAT_U8, WAVE_FORMAT_4S08},
        {44100, 1, SND_PCM_FORMAT_S16_LE, WAVE_FORMAT_4M16},
        {44100, 2, SND_PCM_FORMAT_S16_LE, WAVE_FORMAT_4S16},
    };
    for (const Standard& s : kStandard)
        if (TestFormat(pcm.get(), params.get(), s.format, s.channels, s.rate))
            caps.formats |= s.flag;
    caps.hasFormatMask = true;

    unsigned maxChannels = 0;
    if (snd_pcm_hw_params_any(pcm.get(), params.get()) >= 0 &&
        snd_pcm_hw_params_get_channels_max(params.get(), &maxChannels) == 0)
        caps.channels = uint16_t(std::min(maxChannels, 2u));
    return kWaveInOk;
}

bool AlsaWaveInBackend::ErrorText(WaveInResult code, std::string& text) {
    switch (code) {
        case kWaveInOk:
            text = "No error.";
            return true;
        case kWaveInBadDeviceId:
            text = "The device number is out of range.";
            return true;
        case kWaveInInvalidHandle:
            text = "The device handle is invalid.";
            return true;
        case kWaveInNoMemory:
            text = "Not enough memory for the capture device.";
            return true;
        case kWaveInInvalidParam:
            text = "An invalid parameter was passed.";
            return true;
        case kWaveInBadFormat:
            text =
                "The device cannot capture in this format (sample rate, channels or sample size).";
            return true;
        case kWaveInStillQueued:
            text = "The buffer is still queued on the device.";
            return true;
        case kWaveInUnprepared:
            text = "The buffer has not been prepared.";
            return true;
        default:
            break;
    }
    if (code > kAlsaErrorBase && code < kAlsaErrorBase + 0x1000) {
        text = snd_strerror(-int(code - kAlsaErrorBase));
        if (text.size() > 255) text.resize(255);
        return true;
    }
    return false;
}

WaveInResult AlsaWaveInBackend::Open(WaveInHandle* handle, int deviceId, const WAVEFORMATEX& format,
                                     WaveInNotify notify, bool queryOnly) {
    const AlsaPcmDevice* device = Device(deviceId);
    if (!device) return kWaveInBadDeviceId;
    if (!queryOnly && (!handle || !notify)) return kWaveInInvalidParam;
    snd_pcm_format_t sampleFormat = PcmFormat(format);
    if (sampleFormat == SND_PCM_FORMAT_UNKNOWN) return kWaveInBadFormat;

    PcmPtr pcm;
    int err = OpenCapture(device->pcmName, pcm);
    if (err < 0) return AlsaError(err);
    snd_pcm_hw_params_t* raw = nullptr;
    if (snd_pcm_hw_params_malloc(&raw) < 0) return kWaveInNoMemory;
    HwParamsPtr params(raw);
    if (RestrictTo(pcm.get(), params.get(), sampleFormat, format.nChannels, format.nSamplesPerSec) <
        0)
        return kWaveInBadFormat;
    if (queryOnly) return kWaveInOk;

    unsigned periodUs = kPeriodMicroseconds, bufferUs = kBufferMicroseconds;
    int dir = 0;
    if ((err = snd_pcm_hw_params_set_buffer_time_near(pcm.get(), params.get(), &bufferUs, &dir)) <
            0 ||
        (err = snd_pcm_hw_params_set_period_time_near(pcm.get(), params.get(), &periodUs, &dir)) <
            0 ||
        (err = snd_pcm_hw_params(pcm.get(), params.get())) < 0)
        return AlsaError(err);
    snd_pcm_uframes_t periodFrames = 0, bufferFrames = 0;
    snd_pcm_hw_params_get_period_size(params.get(), &periodFrames, &dir);
    snd_pcm_hw_params_get_buffer_size(params.get(), &bufferFrames);

    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    if ((err = snd_pcm_sw_params_current(pcm.get(), sw)) < 0 ||
        (err = snd_pcm_sw_params_set_avail_min(pcm.get(), sw, periodFrames)) < 0 ||
        (err = snd_pcm_sw_params(pcm.get(), sw)) < 0)
        return AlsaError(err);

    std::unique_ptr<Capture> capture;
    try {
        const auto storeFrames =
            snd_pcm_uframes_t(std::ceil(storeSeconds_ * double(format.nSamplesPerSec)));
        capture = std::make_unique<Capture>(std::move(pcm), std::move(notify), format.nBlockAlign,
                                            format.nSamplesPerSec, periodFrames, bufferFrames,
                                            storeFrames);
    } catch (const std::bad_alloc&) {
        return kWaveInNoMemory;
    }
    if ((err = capture->Launch()) < 0) return AlsaError(err);
    WaveInHandle id = reinterpret_cast<WaveInHandle>(capture.get());
    Capture* c = capture.get();
    open_.emplace(id, std::move(capture));
    *handle = id;
    c->Notify(WaveInMessage::Opened);
    return kWaveInOk;
}

WaveInResult AlsaWaveInBackend::Close(WaveInHandle handle) {
    Capture* c = Find(handle);
    if (!c) return kWaveInInvalidHandle;
    WaveInResult result = Reset(handle);
    auto node = open_.extract(handle);
    node.mapped()->Quit();
    WaveInNotify notify = node.mapped()->TakeNotify();
    node.mapped().reset();  // closes the PCM
    notify(WaveInMessage::Closed, nullptr);
    return result;
}

WaveInResult AlsaWaveInBackend::PrepareHeader(WaveInHandle handle, WAVEHDR* header) {
    if (!Find(handle)) return kWaveInInvalidHandle;
    if (!header || !header->lpData) return kWaveInInvalidParam;
    header->dwFlags |= WHDR_PREPARED;
    return kWaveInOk;
}

WaveInResult AlsaWaveInBackend::UnprepareHeader(WaveInHandle handle, WAVEHDR* header) {
    Capture* c = Find(handle);
    if (!c) return kWaveInInvalidHandle;
    if (!header) return kWaveInInvalidParam;
    if (c->IsQueued(header)) return kWaveInStillQueued;
    header->dwFlags &= ~WHDR_PREPARED;
    return kWaveInOk;
}

WaveInResult AlsaWaveInBackend::AddBuffer(WaveInHandle handle, WAVEHDR* header) {
    Capture* c = Find(handle);
    if (!c) return kWaveInInvalidHandle;
    if (!header || !header->lpData) return kWaveInInvalidParam;
    if (!(header->dwFlags & WHDR_PREPARED)) return kWaveInUnprepared;
    if (c->IsQueued(header)) return kWaveInStillQueued;
    header->dwFlags &= ~WHDR_DONE;
    header->dwBytesRecorded = 0;
    c->Append(header);
    return kWaveInOk;
}

WaveInResult AlsaWaveInBackend::Start(WaveInHandle handle) {
    Capture* c = Find(handle);
    if (!c) return kWaveInInvalidHandle;
    c->Resume();
    return kWaveInOk;
}

WaveInResult AlsaWaveInBackend::Stop(WaveInHandle handle) {
    Capture* c = Find(handle);
    if (!c) return kWaveInInvalidHandle;
    c->Park();
    int err = c->Halt();
    // A device that is gone has nothing left to stop.
    if (c->Failure() != 0) err = 0;
    if (WAVEHDR* partial = c->TakeHead(true)) c->HandBack(partial);
    return err < 0 ? AlsaError(err) : kWaveInOk;
}

WaveInResult AlsaWaveInBackend::Reset(WaveInHandle handle) {
    Capture* c = Find(handle);
    if (!c) return kWaveInInvalidHandle;
    c->Park();
    int err = c->Halt();
    if (c->Failure() != 0) err = 0;
    while (WAVEHDR* header = c->TakeHead(false)) c->HandBack(header);
    c->ResetPosition();
    return err < 0 ? AlsaError(err) : kWaveInOk;
}

WaveInResult AlsaWaveInBackend::GetPosition(WaveInHandle handle, WaveInPosition& position) {
    Capture* c = Find(handle);
    if (!c) return kWaveInInvalidHandle;
    position.inBytes = false;
    position.value = uint32_t(c->Position());
    return kWaveInOk;
}

uint64_t AlsaWaveInBackend::OverrunCount(WaveInHandle handle) {
    Capture* c = Find(handle);
    return c ? c->Overruns() : 0;
}

uint32_t AlsaWaveInBackend::BufferFrames(WaveInHandle handle) {
    Capture* c = Find(handle);
    return c ? c->BufferFrames() : 0;
}

WaveInResult AlsaWaveInBackend::CaptureFailure(WaveInHandle handle) {
    Capture* c = Find(handle);
    if (!c || c->Failure() == 0) return kWaveInOk;
    return AlsaError(c->Failure());
}

void AlsaWaveInBackend::TakeLosses(WaveInHandle handle, std::vector<WaveInLoss>& out) {
    if (Capture* c = Find(handle)) c->TakeLosses(out);
}

AlsaStoreFigures AlsaWaveInBackend::StoreFigures(WaveInHandle handle) {
    AlsaStoreFigures figures;
    if (Capture* c = Find(handle)) {
        figures.capacityFrames = c->StoreFrames();
        figures.backlogFrames = c->Backlog();
        figures.peakBacklogFrames = c->PeakBacklog();
        figures.lostFrames = c->LostFrames();
    }
    return figures;
}

void AlsaWaveInBackend::SetStoreSeconds(double seconds) {
    storeSeconds_ = std::max(seconds, 0.0);
}

}  // namespace zt
