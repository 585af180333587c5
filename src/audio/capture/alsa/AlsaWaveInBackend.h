#pragma once
// Capture through ALSA behind the wave-in back-end operations.
//
// Devices: with the default constructor, device 0 is the ALSA "default" PCM
// (named "Default"; absent when it cannot be opened at construction), then
// every sound card with a capture device, opened as "plughw:N" and named by
// the card's name cut to 31 characters. The list is read once, by the
// constructor. Device -1 is device 0. A second constructor takes an explicit
// list of PCM names (tests use it for several fixture PCMs).
//
// Result codes: kWaveIn* below, or kAlsaErrorBase + errno for a failed ALSA
// call (text from snd_strerror).
//
// Threads and locking (one capture thread per open handle):
// - Every operation of the class, OverrunCount and BufferFrames included,
//   is called by one owning thread (the main thread). The open-handle table
//   is touched only there, so it has no lock.
// - The capture thread of a handle runs only between Start() and
//   Stop()/Reset()/Close(); otherwise it is parked on the handle's control
//   condition variable. While it runs it alone calls the PCM (non-blocking
//   reads, poll, recovery); while it is parked only the owning thread does.
//   Stop(), Reset() and Close() ask it to park (an atomic command plus an
//   eventfd that wakes its poll) and wait on the condition variable until it
//   has, so they return with no ALSA call in flight on that handle.
// - The buffer queue (an intrusive list through WAVEHDR::lpNext) is guarded
//   by the handle's queue mutex: AddBuffer appends on the owning thread; the
//   capture thread takes the head under it, fills it outside the lock (the
//   header belongs to the device until handed back) and unlinks it under the
//   lock when full. WAVEHDR::reserved marks a queued header, read and written
//   under that mutex only. The list's ends are GUARDED_BY the queue mutex
//   and the parked flag by the control mutex (checked by clang); the
//   headers' own link fields follow the same rule without the check.
// - The notification function is called with Data on the capture thread for
//   filled buffers, and on the owning thread during Stop/Reset/Close for the
//   buffers those hand back, and with Opened/Closed during Open/Close. Never
//   after Close() has returned.
// - Per period the capture thread takes only the queue mutex (and, for a
//   loss, the loss mutex), never allocates, and waits only in poll(). The
//   device is read whether or not a buffer is queued, so the ALSA buffer
//   never overruns because of a late consumer: with no buffer queued the
//   audio goes into the handle's store, a ring of StoreSeconds() of audio
//   allocated by Open, and is handed over in order, before anything newer,
//   as soon as buffers are queued again (AddBuffer wakes the thread for it).
//   Audio is lost only when the store is full too (read into a scratch area
//   and dropped) or when the device overruns because the capture thread
//   itself was held up (-EPIPE, recovered with snd_pcm_recover). Each loss
//   is recorded (cause, frames, wall-clock start; a full store's loss lasts
//   until audio can be kept again) and announced with WaveInMessage::Lost;
//   TakeLosses gives them to the owning thread. Stop, Reset and Close drop
//   what the store holds, like what the device holds.
// - A device that fails for good while capturing (unplugged: an error such
//   as -ENODEV that recovery cannot mend) ends capturing on its handle:
//   WaveInMessage::Failed is sent once, CaptureFailure gives the code, and the
//   thread waits for the owner to park or close the handle.
// - Position, overrun, store and loss counters are atomics: the owning
//   thread reads them (GetPosition, OverrunCount, StoreFigures) while the
//   capture thread counts, without a lock. The position counts every frame
//   read from the device since Open or the last Reset, dropped frames
//   included, so it follows the device clock.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "audio/capture/WaveInBackend.h"

namespace zt {

// One capture device of an explicit list.
struct AlsaPcmDevice {
    std::string pcmName;      // as given to snd_pcm_open, e.g. "plughw:1"
    std::string displayName;  // the device's name (cut to 31 characters)
};

inline constexpr WaveInResult kWaveInBadDeviceId = 2;
inline constexpr WaveInResult kWaveInInvalidHandle = 5;
inline constexpr WaveInResult kWaveInNoMemory = 7;
inline constexpr WaveInResult kWaveInInvalidParam = 11;
inline constexpr WaveInResult kWaveInStillQueued = 33;
inline constexpr WaveInResult kWaveInUnprepared = 34;
inline constexpr WaveInResult kAlsaErrorBase = 0x10000;

// The store of an open handle, in sample frames.
struct AlsaStoreFigures {
    uint64_t capacityFrames = 0;
    uint64_t backlogFrames = 0;      // held now
    uint64_t peakBacklogFrames = 0;  // most held at once since Open
    uint64_t lostFrames = 0;         // lost since Open (overruns estimated)
};

class AlsaWaveInBackend : public WaveInBackend {
public:
    // The ALSA period asked for (the device may round it) and the ring
    // buffer behind it. Every period costs a wake-up of the capture thread
    // and of the device's plugins; 50 ms keeps that cost low for a process
    // that runs for months, while the displays still get fresh data twenty
    // times a second and the 20 queued buffers (~0.46 s) keep their slack.
    static constexpr unsigned kPeriodMicroseconds = 50000;
    static constexpr unsigned kBufferMicroseconds = 500000;
    // Audio kept for a consumer that is late (the main thread held up by a
    // slow drive, a modal box, a busy desktop): 30 s, 5.3 MB at 44.1 kHz
    // 16-bit stereo.
    static constexpr double kStoreSeconds = 30.0;

    // The default PCM and the sound cards that can capture.
    AlsaWaveInBackend();
    // Exactly these devices, in this order (not probed; Rescan keeps them).
    explicit AlsaWaveInBackend(std::vector<AlsaPcmDevice> devices);
    ~AlsaWaveInBackend() override;  // closes every handle still open
    AlsaWaveInBackend(const AlsaWaveInBackend&) = delete;
    AlsaWaveInBackend& operator=(const AlsaWaveInBackend&) = delete;

    int NumDevs() override;
    WaveInResult GetDevCaps(int deviceId, WaveInCaps& caps) override;
    bool ErrorText(WaveInResult code, std::string& text) override;
    WaveInResult Open(WaveInHandle* handle, int deviceId, const WAVEFORMATEX& format,
                      WaveInNotify notify, bool queryOnly) override;
    WaveInResult Close(WaveInHandle handle) override;
    WaveInResult PrepareHeader(WaveInHandle handle, WAVEHDR* header) override;
    WaveInResult UnprepareHeader(WaveInHandle handle, WAVEHDR* header) override;
    WaveInResult AddBuffer(WaveInHandle handle, WAVEHDR* header) override;
    WaveInResult Start(WaveInHandle handle) override;
    WaveInResult Stop(WaveInHandle handle) override;
    WaveInResult Reset(WaveInHandle handle) override;
    WaveInResult GetPosition(WaveInHandle handle, WaveInPosition& position) override;
    void TakeLosses(WaveInHandle handle, std::vector<WaveInLoss>& out) override;
    WaveInResult CaptureFailure(WaveInHandle handle) override;
    // Probes the default PCM and the cards again (a USB card plugged in
    // after start-up); a fixed list stays as it is.
    void Rescan() override;

    // The device list in use.
    const std::vector<AlsaPcmDevice>& Devices() const { return devices_; }
    // Overruns recovered on an open handle since it was opened (0 for an
    // unknown handle). Owning thread only: it looks the handle up in the
    // open-handle table, which Open and Close change on that thread.
    uint64_t OverrunCount(WaveInHandle handle);
    // The ALSA buffer of an open handle in frames (0 for an unknown handle).
    uint32_t BufferFrames(WaveInHandle handle);
    // The store of an open handle (all 0 for an unknown handle).
    AlsaStoreFigures StoreFigures(WaveInHandle handle);
    // The store's length for handles opened from now on (kStoreSeconds
    // unless set; at least one period).
    void SetStoreSeconds(double seconds);
    double StoreSeconds() const { return storeSeconds_; }

    // alsa-lib's version as 0xMMmmpp (e.g. 0x010208 for 1.2.8).
    static uint32_t AlsaVersion();

private:
    class Capture;
    Capture* Find(WaveInHandle handle);
    const AlsaPcmDevice* Device(int deviceId) const;

    static std::vector<AlsaPcmDevice> ProbeDevices();

    std::vector<AlsaPcmDevice> devices_;
    bool probed_ = false;
    std::unordered_map<WaveInHandle, std::unique_ptr<Capture>> open_;
    double storeSeconds_ = kStoreSeconds;
};

}  // namespace zt
