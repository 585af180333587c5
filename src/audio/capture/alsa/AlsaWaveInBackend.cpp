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

#include "platform/ThreadAnnotations.h"

namespace zt {

namespace {

constexpr size_t kMaxNameLength = 31;
constexpr int kPollTimeoutMs = 500;
constexpr int kMaxPollFds = 16;

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

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmCloser>;

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

// One open capture handle and its thread (see the header for the contract).
class AlsaWaveInBackend::Capture {
public:
    enum Command { kPark, kRun, kQuit };

    Capture(PcmPtr pcm, WaveInNotify notify, unsigned frameBytes, unsigned rate,
            snd_pcm_uframes_t periodFrames, snd_pcm_uframes_t bufferFrames,
            snd_pcm_uframes_t storeFrames)
        : pcm_(std::move(pcm)),
          notify_(std::move(notify)),
          frameBytes_(frameBytes),
          rate_(rate),
          bufferFrames_(bufferFrames),
          scratchFrames_(periodFrames),
          scratch_(size_t(periodFrames) * frameBytes),
          storeFrames_(std::max(storeFrames, periodFrames)),
          store_(size_t(storeFrames_) * frameBytes) {}

    ~Capture() {
        Quit();
        if (wakeFd_ >= 0) ::close(wakeFd_);
    }

    // Sets up the wake-up descriptor and the parked thread.
    int Launch() {
        wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0) return -errno;
        int count = snd_pcm_poll_descriptors_count(pcm_.get());
        if (count < 0) return count;
        if (count + 1 > kMaxPollFds) return -EINVAL;
        fds_[0] = {wakeFd_, POLLIN, 0};
        int got = snd_pcm_poll_descriptors(pcm_.get(), fds_ + 1, unsigned(count));
        if (got < 0) return got;
        nfds_ = 1 + got;
        thread_ = std::thread([this] { Run(); });
        return 0;
    }

    // Owning thread: let the thread run.
    void Resume() EXCLUDES(control_) {
        MutexLock lock(control_);
        command_.store(kRun, std::memory_order_release);
        controlChanged_.notify_all();
    }

    // Owning thread: park the thread and wait until it is parked.
    void Park() EXCLUDES(control_) {
        UniqueLock lock(control_);
        command_.store(kPark, std::memory_order_release);
        Wake();
        controlChanged_.notify_all();
        while (!parked_) lock.Wait(controlChanged_);
    }

    void Quit() EXCLUDES(control_) {
        if (!thread_.joinable()) return;
        {
            MutexLock lock(control_);
            command_.store(kQuit, std::memory_order_release);
            Wake();
            controlChanged_.notify_all();
        }
        thread_.join();
    }

    // Owning thread, parked: drops what the device and the store hold and
    // makes the device ready to start again.
    int Halt() {
        int err = snd_pcm_drop(pcm_.get());
        int err2 = snd_pcm_prepare(pcm_.get());
        storeHead_ = storeFill_ = 0;
        backlog_.store(0, std::memory_order_relaxed);
        return err < 0 ? err : err2;
    }

    void Append(WAVEHDR* header) EXCLUDES(queue_) {
        {
            MutexLock lock(queue_);
            header->lpNext = nullptr;
            header->reserved = reinterpret_cast<uintptr_t>(this);
            if (tail_)
                tail_->lpNext = header;
            else
                head_ = header;
            tail_ = header;
        }
        // Audio is waiting in the store: the thread hands it over now
        // instead of at its next period, so a late consumer catches up fast.
        if (backlog_.load(std::memory_order_relaxed) > 0) Wake();
    }

    bool IsQueued(const WAVEHDR* header) EXCLUDES(queue_) {
        MutexLock lock(queue_);
        return header->reserved == reinterpret_cast<uintptr_t>(this);
    }

    // Owning thread, parked: unlinks the head when `withData` is false or
    // it holds data; nullptr when nothing is to be handed back.
    WAVEHDR* TakeHead(bool withDataOnly) EXCLUDES(queue_) {
        MutexLock lock(queue_);
        if (!head_ || (withDataOnly && head_->dwBytesRecorded == 0)) return nullptr;
        return UnlinkHeadLocked();
    }

    // Marks a header handed back and tells the owner.
    void HandBack(WAVEHDR* header) {
        header->dwFlags |= WHDR_DONE;
        notify_(WaveInMessage::Data, header);
    }

    void Notify(WaveInMessage message) { notify_(message, nullptr); }
    WaveInNotify TakeNotify() { return std::move(notify_); }
    void ResetPosition() { position_.store(0, std::memory_order_relaxed); }
    uint64_t Position() const { return position_.load(std::memory_order_relaxed); }
    uint64_t Overruns() const { return overruns_.load(std::memory_order_relaxed); }
    uint32_t BufferFrames() const { return uint32_t(bufferFrames_); }
    uint64_t StoreFrames() const { return storeFrames_; }
    uint64_t Backlog() const { return backlog_.load(std::memory_order_relaxed); }
    uint64_t PeakBacklog() const { return peakBacklog_.load(std::memory_order_relaxed); }
    uint64_t LostFrames() const { return lostFrames_.load(std::memory_order_relaxed); }

    void TakeLosses(std::vector<WaveInLoss>& out) EXCLUDES(lossLock_) {
        MutexLock lock(lossLock_);
        out.insert(out.end(), losses_, losses_ + lossCount_);
        lossCount_ = 0;
    }

private:
    WAVEHDR* UnlinkHeadLocked() REQUIRES(queue_) {
        WAVEHDR* header = head_;
        head_ = header->lpNext;
        if (!head_) tail_ = nullptr;
        header->lpNext = nullptr;
        header->reserved = 0;
        return header;
    }

    void Wake() {
        uint64_t one = 1;
        ssize_t n = ::write(wakeFd_, &one, sizeof one);
        (void)n;
    }

    void DrainWake() {
        uint64_t count;
        ssize_t n = ::read(wakeFd_, &count, sizeof count);
        (void)n;
    }

    // The capture thread.
    void Run() EXCLUDES(control_, queue_) {
        bool needStart = true;
        for (;;) {
            if (command_.load(std::memory_order_acquire) != kRun) {
                EndDropping();
                UniqueLock lock(control_);
                parked_ = true;
                controlChanged_.notify_all();
                while (command_.load() == kPark) lock.Wait(controlChanged_);
                if (command_.load() == kQuit) return;
                parked_ = false;
                needStart = true;
            }
            if (needStart) {
                needStart = !StartDevice();
                if (needStart) {
                    Idle(50);  // the device refused; try again shortly
                    continue;
                }
            }
            int ready = ::poll(fds_, nfds_, kPollTimeoutMs);
            if (ready < 0 && errno != EINTR) {
                Idle(50);
                continue;
            }
            if (fds_[0].revents & POLLIN) DrainWake();
            if (command_.load(std::memory_order_acquire) != kRun) continue;
            unsigned short revents = 0;
            if (ready > 0)
                snd_pcm_poll_descriptors_revents(pcm_.get(), fds_ + 1, unsigned(nfds_ - 1),
                                                 &revents);
            if (!ReadAvailable()) needStart = true;
        }
    }

    // Starts capture from whatever state an earlier step left.
    bool StartDevice() {
        snd_pcm_state_t state = snd_pcm_state(pcm_.get());
        if (state == SND_PCM_STATE_RUNNING) return true;
        if (state != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm_.get()) < 0) return false;
        return snd_pcm_start(pcm_.get()) == 0;
    }

    // Waits up to `ms` or until woken.
    void Idle(int ms) {
        pollfd wake = {wakeFd_, POLLIN, 0};
        if (::poll(&wake, 1, ms) > 0) DrainWake();
    }

    // Reads what the device holds. Audio goes to the queued buffers in the
    // order it was captured: first what waits in the store, then the
    // device's. With no buffer queued (the consumer is late) it goes to the
    // store; only when the store is full as well is it read into the scratch
    // area and lost (counted as one loss until audio can be kept again).
    // False when the device had to be recovered and needs a start.
    bool ReadAvailable() EXCLUDES(queue_) {
        for (;;) {
            if (command_.load(std::memory_order_acquire) != kRun) return true;
            WAVEHDR* header;
            {
                MutexLock lock(queue_);
                header = head_;
            }
            if (header && storeFill_ > 0) {
                FillFromStore(header);
                continue;
            }
            enum { kToHeader, kToStore, kToScratch } dest = kToScratch;
            char* target = scratch_.data();
            snd_pcm_uframes_t frames = scratchFrames_;
            if (header) {
                dest = kToHeader;
                target = header->lpData + header->dwBytesRecorded;
                frames = (header->dwBufferLength - header->dwBytesRecorded) / frameBytes_;
            } else if (storeFill_ < storeFrames_) {
                dest = kToStore;
                const snd_pcm_uframes_t tail = (storeHead_ + storeFill_) % storeFrames_;
                target = store_.data() + size_t(tail) * frameBytes_;
                frames = std::min(storeFrames_ - storeFill_, storeFrames_ - tail);
            }
            snd_pcm_sframes_t got = snd_pcm_readi(pcm_.get(), target, frames);
            if (got == -EAGAIN || got == 0) return true;
            if (got < 0) return Recover(int(got));
            lastReadNs_ = MonotonicNs();
            position_.fetch_add(uint64_t(got), std::memory_order_relaxed);
            if (dest == kToScratch) {
                Drop(uint64_t(got));
                continue;
            }
            EndDropping();
            if (dest == kToStore) {
                storeFill_ += snd_pcm_uframes_t(got);
                backlog_.store(storeFill_, std::memory_order_relaxed);
                if (storeFill_ > peakBacklog_.load(std::memory_order_relaxed))
                    peakBacklog_.store(storeFill_, std::memory_order_relaxed);
                continue;
            }
            header->dwBytesRecorded += uint32_t(got) * frameBytes_;
            HandBackIfFull(header);
        }
    }

    // Moves the oldest stored audio into a queued buffer.
    void FillFromStore(WAVEHDR* header) EXCLUDES(queue_) {
        const snd_pcm_uframes_t room =
            (header->dwBufferLength - header->dwBytesRecorded) / frameBytes_;
        const snd_pcm_uframes_t frames = std::min({room, storeFill_, storeFrames_ - storeHead_});
        std::memcpy(header->lpData + header->dwBytesRecorded,
                    store_.data() + size_t(storeHead_) * frameBytes_, size_t(frames) * frameBytes_);
        header->dwBytesRecorded += uint32_t(frames) * frameBytes_;
        storeHead_ = (storeHead_ + frames) % storeFrames_;
        storeFill_ -= frames;
        backlog_.store(storeFill_, std::memory_order_relaxed);
        HandBackIfFull(header);
    }

    void HandBackIfFull(WAVEHDR* header) EXCLUDES(queue_) {
        if (header->dwBufferLength - header->dwBytesRecorded >= frameBytes_) return;
        {
            MutexLock lock(queue_);
            UnlinkHeadLocked();
        }
        HandBack(header);
    }

    // Frames that could be kept nowhere: one loss lasts until audio can be
    // kept again.
    void Drop(uint64_t frames) {
        lostFrames_.fetch_add(frames, std::memory_order_relaxed);
        if (!dropping_) {
            dropping_ = true;
            dropped_ = WaveInLoss{WaveInLoss::Cause::StoreFull, 0,
                                  RealtimeNs() - int64_t(FramesToNs(frames))};
        }
        dropped_.frames += frames;
    }

    void EndDropping() {
        if (!dropping_) return;
        dropping_ = false;
        RecordLoss(dropped_);
    }

    // Keeps the loss for TakeLosses (a fixed number of them; more are merged
    // into the last, so nothing is allocated here) and tells the owner.
    void RecordLoss(const WaveInLoss& loss) EXCLUDES(lossLock_) {
        {
            MutexLock lock(lossLock_);
            if (lossCount_ < kMaxLosses) {
                losses_[lossCount_++] = loss;
            } else {
                losses_[kMaxLosses - 1].frames += loss.frames;
            }
        }
        notify_(WaveInMessage::Lost, nullptr);
    }

    bool Recover(int err) {
        if (err == -EPIPE) {
            // The device overran: what it captured since the last read, and
            // until it runs again, is gone. The estimate is the time since
            // the last read.
            overruns_.fetch_add(1, std::memory_order_relaxed);
            EndDropping();
            const int64_t now = MonotonicNs();
            const uint64_t gapNs =
                lastReadNs_ > 0 && now > lastReadNs_ ? uint64_t(now - lastReadNs_) : 0;
            const uint64_t frames = gapNs * rate_ / 1000000000ull;
            lostFrames_.fetch_add(frames, std::memory_order_relaxed);
            RecordLoss(
                WaveInLoss{WaveInLoss::Cause::Overrun, frames, RealtimeNs() - int64_t(gapNs)});
        }
        if (snd_pcm_recover(pcm_.get(), err, 1) < 0) Idle(50);
        return false;
    }

    uint64_t FramesToNs(uint64_t frames) const {
        return rate_ ? frames * 1000000000ull / rate_ : 0;
    }

    static int64_t MonotonicNs() {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }
    static int64_t RealtimeNs() {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }

    static constexpr size_t kMaxLosses = 32;

    PcmPtr pcm_;
    WaveInNotify notify_;
    const unsigned frameBytes_;
    const unsigned rate_;
    const snd_pcm_uframes_t bufferFrames_;
    const snd_pcm_uframes_t scratchFrames_;
    std::vector<char> scratch_;  // capture thread only
    // The store for audio nobody has taken yet, a ring of storeFrames_
    // frames. Its contents and positions belong to the capture thread while
    // it runs and to the owning thread while it is parked (Halt).
    const snd_pcm_uframes_t storeFrames_;
    std::vector<char> store_;
    snd_pcm_uframes_t storeHead_ = 0;   // oldest stored frame
    snd_pcm_uframes_t storeFill_ = 0;   // frames stored
    std::atomic<uint64_t> backlog_{0};  // storeFill_, for other threads
    std::atomic<uint64_t> peakBacklog_{0};
    // Loss bookkeeping of the capture thread.
    int64_t lastReadNs_ = 0;
    bool dropping_ = false;
    WaveInLoss dropped_;
    std::atomic<uint64_t> lostFrames_{0};
    Mutex lossLock_;
    WaveInLoss losses_[kMaxLosses] GUARDED_BY(lossLock_);
    size_t lossCount_ GUARDED_BY(lossLock_) = 0;

    int wakeFd_ = -1;
    pollfd fds_[kMaxPollFds] = {};  // capture thread only (after Launch)
    int nfds_ = 0;
    std::thread thread_;

    Mutex control_;
    std::condition_variable controlChanged_;
    // Atomic, as the running thread polls it without the lock; stored under
    // control_ so that a parked thread's wait cannot miss a change.
    std::atomic<int> command_{kPark};
    bool parked_ GUARDED_BY(control_) = false;

    Mutex queue_;
    WAVEHDR* head_ GUARDED_BY(queue_) = nullptr;
    WAVEHDR* tail_ GUARDED_BY(queue_) = nullptr;

    std::atomic<uint64_t> position_{0};
    std::atomic<uint64_t> overruns_{0};
};

AlsaWaveInBackend::AlsaWaveInBackend() {
    PcmPtr probe;
    if (OpenCapture("default", probe) == 0) devices_.push_back({"default", "Default"});
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
        devices_.push_back({"plughw:" + std::to_string(card), CutName(display)});
    }
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
    if (WAVEHDR* partial = c->TakeHead(true)) c->HandBack(partial);
    return err < 0 ? AlsaError(err) : kWaveInOk;
}

WaveInResult AlsaWaveInBackend::Reset(WaveInHandle handle) {
    Capture* c = Find(handle);
    if (!c) return kWaveInInvalidHandle;
    c->Park();
    int err = c->Halt();
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
