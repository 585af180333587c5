#pragma once
// The chain driver: a component that owns a clock or a thread (the capture
// device, the export pump) and therefore drives its chain segment.
//
// The segment of a sound component S runs from its start (found by walking
// Inputs upstream from S: a component without Input, unless an upstream
// sound component is met first, in which case the segment starts at S
// itself) down to the next sound component. S's notifications reach every
// passive member of the segment:
// - Opened: every passive member, then the next sound component downstream
//   (which ends the walk), receives SetBufferSize(S's buffer size) and
//   Opened; S itself is skipped in the walk and opens last.
// - Started, Paused, Restarted, Reset: the same walk without the size.
// - Closed, Stopped: the nearest downstream sound component first, then the
//   passive members up to (not including) the next sound component, S last.
//
// The lifecycle the drivers share (the capture device and the export
// pump): state bits closed -> open -> started <-> paused; the operations
// Open, Close, Start, Pause, Restart, Stop; the events; OnError fired once
// per exception; a failing operation that closes the driver before its
// exception leaves; and the stop asked for inside a buffer handler, which
// is only marked pending and finished on the main thread once the
// outermost handler has returned.
//
// Threads: the notifications and the operations run on the main thread
// (the thread that owns the chain), like every other chain operation; Stop
// may also be called from a buffer handler on the driver's thread, where
// it only marks the stop pending. The state bits are atomic (the handler
// thread reads them). `lock_` guards the handler depth, the stop flags and
// the last reported exception, and the driver's own fields that change
// with them; the compiler checks every use. The deferred stop and a
// handler's failure reach the main thread through the main-thread queue
// (platform/MainThreadQueue.h), tagged with the run they belong to. The
// buffer pool has its own lock (see Allocator.h).

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "audio/chain/Allocator.h"
#include "audio/chain/DSPComponent.h"
#include "platform/MainThreadQueue.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

// Where a sound component handles its buffer notifications: posted to the
// main thread, directly in the driver's callback, or on a thread of its own.
enum class TMMCBMode { cmWindow, cmCallback, cmThread };

class TMMCustomSoundComponent : public TMMDSPComponent {
public:
    explicit TMMCustomSoundComponent(std::string name = {});
    ~TMMCustomSoundComponent() override;

    bool IsSoundComponent() const override { return true; }

    void Opened() override;
    void Closed() override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    void Reset() override;

    // Device-style accessors every driver offers.
    virtual void SetNumBuffers(int32_t value) = 0;
    virtual int32_t GetNumBuffers() const = 0;
    virtual void SetDeviceID(int32_t value) = 0;
    virtual int32_t GetDeviceID() const = 0;
    virtual void SetProductName(const std::string& value) = 0;
    virtual std::string GetProductName() const = 0;
    virtual void SetCallBackMode(TMMCBMode value) = 0;
    virtual TMMCBMode GetCallBackMode() const = 0;

    // The pool the driver allocates its buffer records from. The driver
    // empties it when its buffer size changes; it is freed with the driver.
    TMMAllocator& Allocator() { return allocator_; }

    // ---- the driver's operations (main thread) ----------------------------------
    // The base drives nothing; the capture device and the pump implement
    // them.
    virtual void Open() {}
    virtual void Close() {}
    virtual void Start() {}
    virtual void Pause() {}
    virtual void Restart() {}
    virtual void Stop() {}

    using NotifyEvent = std::function<void(TMMDSPComponent* sender)>;
    NotifyEvent OnError, OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose;

    // State bits.
    static constexpr uint32_t stClosed = 1, stOpen = 2, stStarted = 4, stPaused = 8;

protected:
    // ---- lifecycle helpers ----------------------------------------------------------
    bool StateIsOpen() const { return (state_.load() & stOpen) != 0; }
    bool StateIsStarted() const { return (state_.load() & stStarted) != 0; }
    bool StateIsPaused() const { return (state_.load() & stPaused) != 0; }
    void SetStateBits(uint32_t bits) { state_.fetch_or(bits); }
    void ClearStateBits(uint32_t bits) { state_.fetch_and(~bits); }
    void StoreState(uint32_t bits) { state_.store(bits); }
    uint32_t ExchangeState(uint32_t bits) { return state_.exchange(bits); }
    uint32_t LoadState() const { return state_.load(); }

    // Fires an operation's event; none fires while the driver is destroyed.
    void Fire(const NotifyEvent& event);
    // OnError, once per exception object: the same exception passes several
    // catch sites on its way out (a step, Close, the operation).
    void ReportError(std::exception_ptr error) EXCLUDES(lock_);
    // Reports `error` and throws it.
    [[noreturn]] void RaiseReported(std::exception_ptr error) EXCLUDES(lock_);
    // Runs an operation's steps; when they fail, reports the error, closes
    // the driver and lets the exception go on.
    template <class Steps>
    void RunOrClose(Steps&& steps) {
        try {
            steps();
        } catch (...) {
            ReportError(std::current_exception());
            Close();
            throw;
        }
    }

    // A buffer handler is leaving (the handler depth was raised under
    // lock_ when it began). The outermost one posts the stop that was asked
    // for inside it, or that DataEndedLocked() calls for.
    void LeaveHandler() EXCLUDES(lock_);
    // True when the data has run out, so the handler's end stops the run.
    virtual bool DataEndedLocked() const REQUIRES(lock_) { return false; }
    // Queues Stop on the main thread for the current run.
    void PostDeferredStop();
    // A handler on the driver's thread failed: the main thread closes the
    // driver (unless the session it failed in has ended) and shows the error.
    void PostHandlerFailure(std::exception_ptr error, uint64_t session,
                            const std::atomic<uint64_t>& currentSession);
    // The same on the main thread, at once.
    void HandlerFailed(std::exception_ptr error, uint64_t session,
                       const std::atomic<uint64_t>& currentSession);
    // Resets the stop flags for a new session or run (lock_ held).
    void ClearStopFlagsLocked() REQUIRES(lock_) { stopping_ = stopPending_ = stopPosted_ = false; }

    mutable Mutex lock_;
    int32_t handlerDepth_ GUARDED_BY(lock_) = 0;
    bool stopping_ GUARDED_BY(lock_) = false;             // a stop has begun
    bool stopPending_ GUARDED_BY(lock_) = false;          // asked for inside a handler
    bool stopPosted_ GUARDED_BY(lock_) = false;           // the deferred stop is queued
    std::exception_ptr reportedError_ GUARDED_BY(lock_);  // the last one OnError fired for
    // Main thread only.
    bool closing_ = false;
    bool closePending_ = false;
    // Bumped by every Start; a deferred stop of an earlier run is void.
    std::atomic<uint64_t> run_{0};
    // The deferred stops and handler failures on their way to the main thread.
    MainThreadOwner control_;

    // The first member of this component's segment (see above).
    TMMDSPComponent* SegmentStart();
    // The nearest sound component downstream of this one, or nullptr.
    TMMDSPComponent* NextSoundComponent();

private:
    enum class Note { Opened, Closed, Started, Paused, Restarted, Stopped, Reset };
    // Delivers `note` to one member (the virtual notification).
    static void Deliver(TMMDSPComponent* member, Note note);
    // Walk from the segment start; the first downstream sound component is
    // included and ends the walk when includeNextDriver, else it ends the
    // walk without receiving the note.
    void Walk(Note note, bool withBufferSize, bool includeNextDriver);
    void DispatchForward(Note note);   // Opened .. Reset walk shape
    void DispatchStopping(Note note);  // Closed / Stopped walk shape

    TMMAllocator allocator_;
    std::atomic<uint32_t> state_{stClosed};
};

}  // namespace zt
