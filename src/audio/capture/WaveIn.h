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
//   buffer is posted (cmWindow: a Qt event to the component's hidden
//   object, handled on the main thread in arrival order; cmThread: the
//   queue of the capture thread, TMMWaveInThread). cmCallback is refused on
//   this platform, so buffers are never handled on the back end's thread.
// - Buffer handling (and so OnBufferReady, the chain's BufferReady and the
//   limit check) runs on the main thread in cmWindow mode and on the
//   capture thread in cmThread mode. Every call into the back end is made
//   on the main thread: in cmThread mode the capture thread hands the
//   re-queueing of a buffer to the main thread through the hidden object.
// - lock_ guards the queued count, the callback depth and the stop flags
//   between the handler thread and the main thread (uncontended in
//   cmWindow mode). The device state is atomic: the handler thread reads
//   the started bit. Recorded bytes, the limit and the next-buffer index
//   are written by Start (before any buffer is queued) and by the handler.
// - Events other than OnBufferReady/OnError-from-a-handler fire on the
//   main thread.
// - Every posted notification carries the number of the open session it
//   belongs to; one left over from an earlier session is dropped, and Close
//   removes the component's pending notifications once the device is
//   closed. Destroying the component destroys its hidden object and with it
//   any notification still queued for it.

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

class QObject;

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
    static constexpr uint32_t wisClosed = 1, wisOpen = 2, wisStarted = 4, wisPaused = 8;

    // Binds nothing (no device); see InitBackend for derived bindings.
    explicit TMMCustomWaveIn(std::string name = {});
    // Closes (OnStop/OnClose suppressed), frees the hidden object and the pool.
    ~TMMCustomWaveIn() override;

    bool HasOutputSide() const override { return true; }

    // ---- binding ----------------------------------------------------------
    // Binds the platform's back end; the base binds none.
    virtual void BindBackend() {}
    // Binds the given back end (nullptr: none), reads its number of devices
    // and applies the DeviceID last asked for. 28060 while opened.
    void SetBackend(std::unique_ptr<WaveInBackend> backend);
    WaveInBackend* Backend() const { return backend_.get(); }
    // Number of input devices, read when the back end was bound.
    int32_t NumDevs() const { return numDevs_; }

    // ---- operations (main thread) -------------------------------------------
    // Fires OnError, then throws EMMWaveInError(message).
    [[noreturn]] virtual void RaiseError(const std::string& message);
    virtual void Open();
    virtual void Close();
    virtual void Start();
    virtual void Pause();
    virtual void Restart();
    virtual void Stop();

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
    // 28060 while opened; an equal value is ignored; otherwise the pool is
    // emptied and max(value, 32) stored.
    void SetBufferSize(int32_t bytes) override;
    // The capture side of a push: counts the bytes, applies the recording
    // limit (shortening the last buffer), then pushes down the chain and
    // stops when the limit was reached.
    void BufferReady(PWaveHdr buffer) override;

    // ---- state ------------------------------------------------------------
    uint32_t DeviceState() const { return state_.load(); }
    WaveInHandle Handle() const { return handle_; }
    int32_t QueuedCount() const;
    int64_t RecordedBytes() const { return recordedBytes_; }
    // MaxRecordTime in bytes (kUnlimited when none), rounded down to whole
    // blocks.
    int64_t LimitBytes() const;
    int32_t WrapCount() const { return wrapCount_; }
    // The platform result of the last failed step.
    WaveInResult LastError() const { return lastError_; }

    std::function<void(TMMDSPComponent*sender)> OnError, OnOpen, OnStart, OnPause, OnRestart,
        OnStop, OnClose;

protected:
    // Runs BindBackend() and reads the devices; called by every constructor
    // of the hierarchy that overrides BindBackend.
    void InitBackend();
    // For BindBackend overrides.
    void BindBackendInstance(std::unique_ptr<WaveInBackend> backend);

private:
    class Window;
    friend class Window;

    // ---- helpers ----------------------------------------------------------
    bool Opened_() const { return (state_.load() & wisOpen) != 0; }
    bool Started_() const { return (state_.load() & wisStarted) != 0; }
    bool Paused_() const { return (state_.load() & wisPaused) != 0; }
    void SetBits(uint32_t bits) { state_.fetch_or(bits); }
    void ClearBits(uint32_t bits) { state_.fetch_and(~bits); }
    bool OnOwnerThread() const { return std::this_thread::get_id() == ownerThread_; }
    void RefuseWhileOpen();
    void RebuildFormat();
    std::string ErrorText(WaveInResult code);
    // Throws "<step>:\n\r<error text>" unless result is 0 (OnError is fired
    // by the operation that catches it).
    void Check(const char* step, WaveInResult result);
    [[noreturn]] void Fail(const std::string& message);
    // Fires OnError once per exception object.
    void ReportError(std::exception_ptr error);
    void Fire(const std::function<void(TMMDSPComponent*)>& event);
    bool FormatSupported(const WAVEFORMATEX& format);
    void ReadDevices();
    void ApplyDeviceID(int32_t value);

    // ---- steps ------------------------------------------------------------
    void OpenSteps();
    void Notify(uint64_t session, WaveInMessage message, WAVEHDR* header);
    void QueueBuffer(WAVEHDR* header);
    // The full stop once no handler runs (or marking it pending).
    void StoppedStep();
    void CloseSteps(bool& closeTimedOut);
    void ReleaseBuffers();
    void StartThread();
    void EndThread();
    void WaitForReturnedBuffers();
    void PostDeferredStop();

    // ---- buffer handling (handler thread) ------------------------------------
    // One returned buffer; throws (after OnError) when pushing or queueing
    // fails.
    void HandleBufferDone(WAVEHDR* header);
    // Counts one returned buffer off the queued count (lock_ held).
    void CountOffLocked();
    // Re-queues a handled buffer unless a stop has begun since (main thread).
    void RequeueStep(WAVEHDR* header, uint64_t session);
    // A handler failed: close the component and show the error (main thread).
    void HandlerFailed(std::exception_ptr error, uint64_t session);
    // Window / thread entry points.
    void OnBufferDoneEvent(WAVEHDR* header, uint64_t session);
    bool OnThreadBuffer(WAVEHDR* header, uint64_t session);
    void OnDeferredStopEvent(uint64_t session);

    // ---- fields -------------------------------------------------------------
    std::unique_ptr<WaveInBackend> backend_;
    std::unique_ptr<QObject> window_;
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

    std::atomic<uint32_t> state_{wisClosed};
    WaveInHandle handle_ = 0;
    std::atomic<bool> openedNote_{false}, closedNote_{false};
    std::atomic<uint64_t> session_{0};  // bumped by every Open
    std::atomic<uint64_t> run_{0};      // bumped by every Start
    std::vector<PWaveHdr> buffers_;
    std::vector<bool> prepared_;
    int32_t nextBuffer_ = 0;

    mutable std::mutex lock_;
    int32_t queuedCount_ = 0;    // lock_
    int32_t callbackDepth_ = 0;  // lock_
    bool stopping_ = false;      // lock_
    bool resetting_ = false;     // lock_
    bool stopPending_ = false;   // lock_
    bool stopPosted_ = false;    // lock_
    bool closing_ = false;       // main thread
    bool closePending_ = false;  // main thread

    int64_t recordedBytes_ = 0;
    int64_t limitBytes_ = kUnlimited;
    uint32_t lastPosition_ = 0;
    int32_t wrapCount_ = 0;
    WaveInResult lastError_ = 0;
    std::exception_ptr reportedError_;  // lock_: the last one OnError fired for

    std::unique_ptr<TMMWaveInThread> thread_;
};

// The capture component bound to ALSA (default device discovery).
class TMMWaveIn : public TMMCustomWaveIn {
public:
    explicit TMMWaveIn(std::string name = {});
    void BindBackend() override;
};

}  // namespace zt
