#pragma once
// TMMTrigger: the pump of a pull chain. It owns a worker thread that pulls
// one buffer at a time from its Input (BufferLoad up the chain, to the
// audio file source) and pushes it to its Output (BufferReady down the
// chain, to the converter and the wave file writer), as fast as the chain
// takes it, pausing max(Interval, 1) ms between buffers. When the source
// has delivered its last data the worker posts a stop message to the
// pump's hidden object on the main thread, where Stop runs and OnStop
// fires.
//
// State: closed -> (Open) opened -> (Start) started <-> (Pause/Restart)
// paused -> (end of data, or Stop) opened -> (Close) closed. Start and
// Pause open first when needed, Close stops first. A failing public
// operation fires OnError and closes the pump before the exception
// (EMMTriggerError) leaves it. The chain notifications (Opened, Closed,
// Started, Paused, Restarted, Stopped) run the matching public operation,
// so a pump inside another driver's segment follows that driver; a
// BufferReady pushed into the pump from upstream is ignored.
//
// Threads:
// - Construction, destruction, the properties and Open, Close, Start,
//   Pause, Restart, Stop belong to the main thread, as do OnOpen, OnStart,
//   OnPause, OnRestart, OnStop, OnClose. Stop may also be called from a
//   buffer handler on the worker: while a handler runs, a stop is only
//   marked pending and finished on the main thread.
// - The worker runs the buffer rounds: BufferLoad and BufferReady of the
//   whole chain, OnBufferLoad, OnBufferFilled, OnBufferReady, and OnError /
//   OnErrorEx for a failed round. The first buffer of a run is loaded by
//   Start on the main thread, before the worker is told to go.
// - lock_ (the drivers' lock, SoundComponent.h) guards the handler depth,
//   bytes pumped, MoreBuffers and the stop and pause flags between the
//   worker and the main thread; the compiler checks it. The state bits are
//   atomic. The buffer record belongs to the worker while started and to
//   the main thread otherwise.
// - An exception that escapes a round (not marked handled by OnErrorEx)
//   ends the worker; it is posted to the main thread, which closes the pump
//   and shows it through the general error display. No box is ever shown
//   from the worker.
// - Messages to the main thread go through the main-thread queue and carry
//   the run they belong to; one from an earlier run is dropped, and Close
//   removes the pump's pending messages.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "audio/chain/SoundComponent.h"

namespace zt {

class TMMTriggerThread;

class TMMTrigger : public TMMCustomSoundComponent {
public:
    static constexpr int32_t kMinBufferSize = 32;
    // How long Open waits for the worker to come up, and Close for it to end.
    static constexpr int kThreadWaitMs = 5000;
    // State bits.
    static constexpr uint32_t trsClosed = stClosed, trsOpen = stOpen, trsStarted = stStarted,
                              trsPaused = stPaused;

    explicit TMMTrigger(std::string name = {});
    // Closes with OnStop and OnClose suppressed.
    ~TMMTrigger() override;

    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }

    // ---- operations (main thread) -------------------------------------------
    // Fires OnError, then throws EMMTriggerError(message).
    [[noreturn]] virtual void RaiseError(const std::string& message);
    void Open() override;
    void Close() override;
    void Start() override;
    void Pause() override;
    void Restart() override;
    void Stop() override;

    uint32_t State() const { return LoadState(); }
    // Bytes pushed down the chain since the last Start.
    int64_t BytesPumped() const EXCLUDES(lock_);

    // ---- properties -------------------------------------------------------------
    // msg::ChangeWhileOpen while opened; equal value ignored; empties the pool and stores
    // max(value, 32).
    void SetBufferSize(int32_t bytes) override;
    // Stored as max(value, 0); the worker sleeps max(Interval, 1) ms.
    void SetInterval(int32_t ms) { interval_.store(ms < 0 ? 0 : ms); }
    int32_t GetInterval() const { return interval_.load(); }
    void SetTimeFormat(TMMTimeFormats value) { timeFormat_ = value; }
    TMMTimeFormats GetTimeFormat() const { return timeFormat_; }
    // Closes the pump first.
    void SetWaveFormat(const WAVEFORMATEX* format) override;

    // A pump has no device: these accessors keep nothing.
    void SetNumBuffers(int32_t) override {}
    int32_t GetNumBuffers() const override { return 1; }
    void SetDeviceID(int32_t) override {}
    int32_t GetDeviceID() const override { return 0; }
    void SetProductName(const std::string&) override {}
    std::string GetProductName() const override { return {}; }
    void SetCallBackMode(TMMCBMode) override {}
    TMMCBMode GetCallBackMode() const override { return TMMCBMode::cmThread; }

    // ---- chain notifications ---------------------------------------------------
    void Opened() override { Open(); }
    void Closed() override { Close(); }
    void Started() override { Start(); }
    void Paused() override { Pause(); }
    void Restarted() override { Restart(); }
    void Stopped() override { Stop(); }
    // Upstream pushes are not the pump's business.
    void BufferReady(PWaveHdr) override {}
    // The pump's own pull: presets the record (length = buffer size, nothing
    // recorded, no looping), asks upstream, then sets the length to what
    // came back.
    void BufferLoad(PWaveHdr buffer, bool& moreBuffers) override;

    // ---- events ------------------------------------------------------------------
    std::function<void(TMMDSPComponent* sender, bool& handled)> OnErrorEx;
    std::function<void(TMMDSPComponent* sender, PWaveHdr buffer)> OnBufferFilled;

private:
    friend class TMMTriggerThread;

    void OpenSteps();
    void StartSteps();
    void CloseSteps();
    void StartWorker();
    void EndWorker();
    // Loads the record; true when it holds data.
    bool LoadBuffer();
    void PushBuffer();
    // One round on the worker.
    void ProcessBuffer();
    // Worker: a round failed and nobody handled it.
    void WorkerFailed(std::exception_ptr error, uint64_t run) EXCLUDES(lock_);
    // The source has no more data: the round's end stops the run.
    bool DataEndedLocked() const override REQUIRES(lock_) { return !moreBuffers_; }
    bool Is(uint32_t bit) const { return (LoadState() & bit) != 0; }
    bool Stopping() const EXCLUDES(lock_);

    std::unique_ptr<TMMTriggerThread> thread_;
    PWaveHdr buffer_ = nullptr;
    std::atomic<int32_t> interval_{0};
    int32_t bufferSizeAsked_ = DefaultBufferSize;
    TMMTimeFormats timeFormat_ = TMMTimeFormats::tfByte;

    std::condition_variable resume_;  // paused worker waits here, on lock_
    int64_t bytesPumped_ GUARDED_BY(lock_) = 0;
    bool moreBuffers_ GUARDED_BY(lock_) = false;
    bool threadFailed_ GUARDED_BY(lock_) = false;
    bool paused_ GUARDED_BY(lock_) = false;  // the worker holds back while set
};

}  // namespace zt
