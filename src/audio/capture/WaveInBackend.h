#pragma once
// The operations a capture back end offers to the wave-in component. The
// component holds one back end and calls nothing else of the platform, so
// another back end binds the same way (the component's BindBackend()).
//
// Results are 0 (kWaveInOk) on success, otherwise a code of the back end
// whose text ErrorText() gives. The component turns a failed step into
// "<step>:\n\r<text>".
//
// Buffers: the component prepares each buffer record once per open, then
// adds buffers to the device's queue. The device fills queued buffers in
// the order they were added; a full buffer is handed back with
// dwBytesRecorded set and WHDR_DONE set in dwFlags, through the
// notification function with WaveInMessage::Data. Stop() ends filling and
// hands back the buffer being filled if it holds data (partial); Reset()
// stops and hands back every queued buffer (done flag set, possibly with 0
// bytes). Every buffer added is handed back exactly once, by filling, by
// Stop, by Reset or by Close (which resets first).
//
// Threads: every operation is called by the component's owning thread (the
// main thread). The notification function is called on a thread of the
// back end's (its capture thread) or, for Opened/Closed and for buffers
// handed back by Stop/Reset/Close, possibly on the calling thread during
// that call. The function must only record or post; it must never call
// back into the back end. The back end never calls it after Close() has
// returned.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/chain/WaveFormat.h"

namespace zt {

using WaveInHandle = uintptr_t;  // 0: none
using WaveInResult = uint32_t;
inline constexpr WaveInResult kWaveInOk = 0;
// The device cannot take the format (every back end answers a format it
// refuses with this code; other codes say the device itself failed).
inline constexpr WaveInResult kWaveInBadFormat = 32;

// Standard-format flags of the capability mask: rate band (11.025, 22.05,
// 44.1 kHz), mono/stereo, 8/16 bits.
inline constexpr uint32_t WAVE_FORMAT_1M08 = 0x00000001;
inline constexpr uint32_t WAVE_FORMAT_1S08 = 0x00000002;
inline constexpr uint32_t WAVE_FORMAT_1M16 = 0x00000004;
inline constexpr uint32_t WAVE_FORMAT_1S16 = 0x00000008;
inline constexpr uint32_t WAVE_FORMAT_2M08 = 0x00000010;
inline constexpr uint32_t WAVE_FORMAT_2S08 = 0x00000020;
inline constexpr uint32_t WAVE_FORMAT_2M16 = 0x00000040;
inline constexpr uint32_t WAVE_FORMAT_2S16 = 0x00000080;
inline constexpr uint32_t WAVE_FORMAT_4M08 = 0x00000100;
inline constexpr uint32_t WAVE_FORMAT_4S08 = 0x00000200;
inline constexpr uint32_t WAVE_FORMAT_4M16 = 0x00000400;
inline constexpr uint32_t WAVE_FORMAT_4S16 = 0x00000800;

struct WaveInCaps {
    std::string name;  // at most 31 characters
    uint32_t driverVersion = 0;
    uint32_t formats = 0;        // WAVE_FORMAT_* mask
    bool hasFormatMask = false;  // false: the mask is not checked at all
    uint16_t channels = 0;
};

// Lost: audio the device captured could not be kept (see WaveInLoss); the
// header is nullptr and TakeLosses() gives the details on the owning thread.
// Failed: the device failed while capturing (unplugged, gone): capturing
// has ended on this handle; CaptureFailure() gives the code.
enum class WaveInMessage { Opened, Closed, Data, Lost, Failed };

// One stretch of captured audio that was lost: the device overran (the back
// end itself was held up), or the back end's own store for audio nobody has
// taken yet was full.
struct WaveInLoss {
    enum class Cause { Overrun, StoreFull };
    Cause cause = Cause::Overrun;
    uint64_t frames = 0;      // sample frames lost (an overrun's is estimated)
    int64_t startUnixNs = 0;  // wall-clock time at which the loss began
};

// Called by the back end; for Data, header is the buffer handed back.
using WaveInNotify = std::function<void(WaveInMessage message, WAVEHDR* header)>;

struct WaveInPosition {
    bool inBytes = false;  // false: samples (frames)
    uint32_t value = 0;    // wraps at 2^32
};

class WaveInBackend {
public:
    virtual ~WaveInBackend() = default;

    // Number of input devices; 0 means none.
    virtual int NumDevs() = 0;
    // Reads the list of devices again (a card plugged in since); called only
    // while no handle is open. A back end with a fixed list keeps it.
    virtual void Rescan() {}
    // deviceId from -1 (the default device) to NumDevs() - 1.
    virtual WaveInResult GetDevCaps(int deviceId, WaveInCaps& caps) = 0;
    // The text of a result code (at most 255 characters); false when the
    // code is unknown.
    virtual bool ErrorText(WaveInResult code, std::string& text) = 0;

    // queryOnly: only checks that the device would accept the format;
    // nothing stays open, no notification is sent, *handle is untouched.
    // Otherwise opens the device and sends Opened.
    virtual WaveInResult Open(WaveInHandle* handle, int deviceId, const WAVEFORMATEX& format,
                              WaveInNotify notify, bool queryOnly) = 0;
    // Resets, then closes and sends Closed.
    virtual WaveInResult Close(WaveInHandle handle) = 0;
    virtual WaveInResult PrepareHeader(WaveInHandle handle, WAVEHDR* header) = 0;
    virtual WaveInResult UnprepareHeader(WaveInHandle handle, WAVEHDR* header) = 0;
    virtual WaveInResult AddBuffer(WaveInHandle handle, WAVEHDR* header) = 0;
    virtual WaveInResult Start(WaveInHandle handle) = 0;
    virtual WaveInResult Stop(WaveInHandle handle) = 0;
    virtual WaveInResult Reset(WaveInHandle handle) = 0;
    // Frames (or bytes) captured since the device was opened or last reset.
    virtual WaveInResult GetPosition(WaveInHandle handle, WaveInPosition& position) = 0;
    // Moves the losses recorded on `handle` since the last call into `out`
    // (appended, oldest first). A back end that never loses audio on its
    // own has none.
    virtual void TakeLosses(WaveInHandle handle, std::vector<WaveInLoss>& out) {
        (void)handle;
        (void)out;
    }
    // The result code of the failure that ended capturing on `handle`
    // (kWaveInOk when none).
    virtual WaveInResult CaptureFailure(WaveInHandle handle) {
        (void)handle;
        return kWaveInOk;
    }
};

}  // namespace zt
