#pragma once
// The wave-in capture component: records PCM audio from an input device
// and pushes every filled buffer into its chain (it is the head of the
// capture chain and drives it, see SoundComponent.h).
//
// TMMCustomWaveIn holds all behaviour; it talks to the platform only
// through a capture back end (WaveInBackend.h). TMMWaveIn binds the ALSA
// back end with its default device discovery. The binding is the virtual
// BindBackend(); since a C++ base constructor cannot reach an override,
// every constructor in the hierarchy runs InitBackend() itself, so the most
// derived binding wins. SetBackend() binds a given back end instance
// (another device list, a test back end).
//
// State: closed -> (Open) opened -> (Start) started <-> (Pause/Restart)
// paused -> (Stop) opened -> (Close) closed. Start and Pause open
// implicitly, Close stops implicitly, destruction closes with OnStop and
// OnClose suppressed. The format record is always the PCM format built from
// BitLength, Mode and SampleRate and is sent down the chain whenever one of
// them changes. Failures raise EMMWaveInError after OnError has fired; a
// failing public operation closes the component before the exception
// leaves it.
//
// Threads:
// - Construction, destruction, the properties and the public operations
//   Open, Close, Start, Pause, Restart, Stop belong to the main thread (the
//   thread that created the component). The one exception: Stop may be
//   called from inside a buffer handler (OnBufferReady, a downstream
//   BufferReady, the MaxRecordTime limit) on whatever thread that handler
//   runs; it is then only marked pending and finished on the main thread.
// - The back end's notification function runs on the back end's thread. It
//   never calls into the chain: Opened/Closed set atomics, a returned
//   buffer is posted (cmWindow: through the main-thread queue, handled on
//   the main thread in arrival order; cmThread: the queue of the capture
//   thread, TMMWaveInThread). cmCallback is refused on this platform, so
//   buffers are never handled on the back end's thread.
// - Buffer handling (and so OnBufferReady, the chain's BufferReady and the
//   limit check) runs on the main thread in cmWindow mode and on the
//   capture thread in cmThread mode. Every call into the back end is made
//   on the main thread: in cmThread mode the capture thread hands the
//   re-queueing of a buffer to the main thread through the main-thread
//   queue.
// - lock_ (the drivers' lock, SoundComponent.h) guards the queued count,
//   the handler depth and the stop and reset flags between the handler
//   thread and the main thread (uncontended in cmWindow mode); the
//   compiler checks it. The device state is atomic: the handler thread
//   reads the started bit. Recorded bytes, the limit and the next-buffer
//   index are written by Start (before any buffer is queued) and by the
//   handler.
// - Events other than OnBufferReady/OnError-from-a-handler fire on the
//   main thread.
// - A loss announced by the back end (WaveInMessage::Lost) is posted like a
//   buffer; the main thread takes the details from the back end and fires
//   OnLoss. A device failure (WaveInMessage::Failed, a card unplugged) is
//   posted the same way; the main thread fires OnError, closes the capture
//   and shows the error.
// - Every posted notification carries the number of the open session it
//   belongs to (the generation of `buffersOwner_`); one left over from an
//   earlier session is dropped, and Stop and Close drop the component's
//   pending buffer notifications. Destroying the component drops every
//   notification still queued for it.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/capture/WaveInBackend.h"
#include "audio/capture/WaveInThread.h"
#include "audio/chain/SoundComponent.h"

namespace zt {

class TMMCustomWaveIn : public TMMCustomSoundComponent {
public:
    static constexpr int32_t kMaxBuffers = 500;
    static constexpr int32_t kMinBufferSize = 32;
    static constexpr int32_t kMinSampleRate = 8000;
    static constexpr int32_t kMaxSampleRate = 100000;
    static constexpr int64_t kUnlimited = 2147483647;
    // The refusal shown for cmCallback on this platform.
    static const char* const kCallbackRefusal;

    // Device state bits.
    static constexpr uint32_t wisClosed = stClosed, wisOpen = stOpen, wisStarted = stStarted,
                              wisPaused = stPaused;

    // Binds nothing (no device); see InitBackend for derived bindings.
    explicit TMMCustomWaveIn(std::string name = {});
    // Closes (OnStop/OnClose suppressed), drops queued notifications, frees
    // the pool.
    ~TMMCustomWaveIn() override;

    bool HasOutputSide() const override { return true; }

    // ---- binding ----------------------------------------------------------
    // Binds the platform's back end; the base binds none.
    virtual void BindBackend() {}
    // Binds the given back end (nullptr: none), reads its number of devices
    // and applies the DeviceID last asked for. msg::ChangeWhileOpen while opened.
    void SetBackend(std::unique_ptr<WaveInBackend> backend);
    WaveInBackend* Backend() const { return backend_.get(); }
    // Number of input devices, read when the back end was bound and by
    // RescanDevices.
    int32_t NumDevs() const { return numDevs_; }
    // Reads the back end's device list again (a card plugged in after
    // start-up) and applies the DeviceID last asked for to it.
    // msg::ChangeWhileOpen while opened.
    void RescanDevices();
    // "" when Open would find the device and its format accepted now (the
    // device is probed, not kept open), else the message Open would raise.
    // Fires no event: for retrying until a device comes back.
    std::string OpenRefusal();

    // ---- operations (main thread) -------------------------------------------
    // Fires OnError, then throws EMMWaveInError(message).
    [[noreturn]] virtual void RaiseError(const std::string& message);
    void Open() override;
    void Close() override;
    void Start() override;
    void Pause() override;
    void Restart() override;
    void Stop() override;

    // ---- properties -------------------------------------------------------
    void SetDeviceID(int32_t value) override;
    int32_t GetDeviceID() const override { return deviceID_; }
    // Read-only: the setter does nothing.
    void SetProductName(const std::string&) override {}
    std::string GetProductName() const override { return productName_; }
    uint32_t DriverVersion() const { return driverVersion_; }
    void SetNumBuffers(int32_t value) override;
    int32_t GetNumBuffers() const override { return numBuffers_; }
    void SetCallBackMode(TMMCBMode value) override;
    TMMCBMode GetCallBackMode() const override { return callBackMode_; }

    void SetMode(TMMMode value);
    TMMMode GetMode() const { return mode_; }
    void SetBitLength(TMMBits value);
    TMMBits GetBitLength() const { return bits_; }
    void SetSampleRate(int32_t value);
    int32_t GetSampleRate() const { return sampleRate_; }
    void SetTimeFormat(TMMTimeFormats value);
    TMMTimeFormats GetTimeFormat() const { return timeFormat_; }
    void SetMaxRecordTime(int32_t value) { maxRecordTime_ = value; }
    int32_t GetMaxRecordTime() const { return maxRecordTime_; }
    void SetPriority(TThreadPriority value);
    TThreadPriority GetPriority() const { return priority_; }

    // Closes first; a valid PCM format also sets SampleRate, BitLength and
    // Mode, and the format rebuilt from them is what is stored.
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    // msg::ChangeWhileOpen while opened; an equal value is ignored; otherwise the pool is
    // emptied and max(value, 32) stored.
    void SetBufferSize(int32_t bytes) override;
    // The capture side of a push: counts the bytes, applies the recording
    // limit (shortening the last buffer), then pushes down the chain and
    // stops when the limit was reached.
    void BufferReady(PWaveHdr buffer) override;

    // Audio the back end captured but could not keep (its store was full, or
    // the device overran). Fired on the main thread, once per loss, soon
    // after the loss has ended; also by Close for losses not yet told.
    std::function<void(TMMDSPComponent* sender, const WaveInLoss& loss)> OnLoss;

    // ---- state ------------------------------------------------------------
    uint32_t DeviceState() const { return LoadState(); }
    // Losses told through OnLoss since the component was created.
    uint64_t LostFrames() const { return lostFrames_; }
    uint64_t LossCount() const { return lossCount_; }
    WaveInHandle Handle() const { return handle_; }
    int32_t QueuedCount() const;
    int64_t RecordedBytes() const { return recordedBytes_; }
    // MaxRecordTime in bytes (kUnlimited when none), rounded down to whole
    // blocks.
    int64_t LimitBytes() const;
    int32_t WrapCount() const { return wrapCount_; }
    // The platform result of the last failed step, and its text ("" when
    // none failed).
    WaveInResult LastError() const { return lastError_; }
    std::string LastErrorText();

protected:
    // Runs BindBackend() and reads the devices; called by every constructor
    // of the hierarchy that overrides BindBackend.
    void InitBackend();
    // For BindBackend overrides.
    void BindBackendInstance(std::unique_ptr<WaveInBackend> backend);

private:
    // ---- helpers ----------------------------------------------------------
    bool OnOwnerThread() const { return std::this_thread::get_id() == ownerThread_; }
    void RefuseWhileOpen();
    void RebuildFormat();
    std::string ErrorText(WaveInResult code);
    // Throws "<step>:\n\r<error text>" unless result is 0 (OnError is fired
    // by the operation that catches it).
    void Check(const char* step, WaveInResult result);
    [[noreturn]] void Fail(const std::string& message);
    // Whether the device would open with `format`: kWaveInOk,
    // kWaveInBadFormat, or the device's own failure.
    WaveInResult ProbeFormat(const WAVEFORMATEX& format);
    // "WaveInOpen:" and what a failed probe means.
    std::string ProbeError(WaveInResult result);
    void ReadDevices();
    void ApplyDeviceID(int32_t value);

    // ---- steps ------------------------------------------------------------
    void OpenSteps();
    void Notify(uint64_t session, WaveInMessage message, WAVEHDR* header);
    // Takes the back end's recorded losses and fires OnLoss (main thread).
    void DeliverLosses();
    // The device failed for good while capturing (main thread): OnError,
    // the capture closes, and the error is shown.
    void DeviceFailed(uint64_t session);
    void QueueBuffer(WAVEHDR* header);
    // The full stop once no handler runs (or marking it pending).
    void StoppedStep();
    void CloseSteps(bool& closeTimedOut);
    void ReleaseBuffers();
    void StartThread();
    void EndThread();
    void WaitForReturnedBuffers();

    // ---- buffer handling (handler thread) ------------------------------------
    // One returned buffer; throws (after OnError) when pushing or queueing
    // fails.
    void HandleBufferDone(WAVEHDR* header);
    // Counts one returned buffer off the queued count.
    void CountOffLocked() REQUIRES(lock_);
    // Re-queues a handled buffer unless a stop has begun since (main thread).
    void RequeueStep(WAVEHDR* header, uint64_t session);
    // The capture thread's entry point.
    bool OnThreadBuffer(WAVEHDR* header, uint64_t session);

    // ---- fields -------------------------------------------------------------
    std::unique_ptr<WaveInBackend> backend_;
    // Returned buffers and their re-queueing on their way to the main
    // thread; the generation is the open session.
    MainThreadOwner buffersOwner_;
    std::thread::id ownerThread_;
    int32_t numDevs_ = 0;
    int32_t requestedDeviceID_ = 0;
    int32_t deviceID_ = 0;
    std::string productName_;
    uint32_t driverVersion_ = 0;
    WaveInCaps caps_;
    bool capsValid_ = false;
    TMMMode mode_ = TMMMode::mMono;
    TMMBits bits_ = TMMBits::b8Bit;
    int32_t sampleRate_ = 11025;
    int32_t numBuffers_ = 10;
    TMMCBMode callBackMode_ = TMMCBMode::cmWindow;
    TMMTimeFormats timeFormat_ = TMMTimeFormats::tfByte;
    int32_t maxRecordTime_ = -1;
    TThreadPriority priority_ = TThreadPriority::tpHigher;

    WaveInHandle handle_ = 0;
    std::atomic<bool> openedNote_{false}, closedNote_{false};
    std::atomic<uint64_t> session_{0};  // bumped by every Open
    std::vector<PWaveHdr> buffers_;
    std::vector<bool> prepared_;
    int32_t nextBuffer_ = 0;

    int32_t queuedCount_ GUARDED_BY(lock_) = 0;
    // A stop is handing the device's buffers back: they are counted off and
    // never pushed.
    bool resetting_ GUARDED_BY(lock_) = false;

    int64_t recordedBytes_ = 0;
    int64_t limitBytes_ = kUnlimited;
    uint32_t lastPosition_ = 0;
    int32_t wrapCount_ = 0;
    WaveInResult lastError_ = 0;
    uint64_t lostFrames_ = 0;  // main thread
    uint64_t lossCount_ = 0;   // main thread

    std::unique_ptr<TMMWaveInThread> thread_;
};

// The capture component bound to ALSA (default device discovery).
class TMMWaveIn : public TMMCustomWaveIn {
public:
    explicit TMMWaveIn(std::string name = {});
    void BindBackend() override;
};

}  // namespace zt
