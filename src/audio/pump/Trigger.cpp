#include "audio/pump/Trigger.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <utility>

#include "audio/chain/DSPThread.h"
#include "audio/chain/MMErrors.h"
#include "platform/ErrorDisplay.h"

namespace zt {

// ---- the worker ------------------------------------------------------------------

// Waits for "go" (one buffer round, then go again unless the pump is
// stopping) or "end". The started signal tells Open that it runs.
class TMMTriggerThread : public TMMDSPThread {
public:
    explicit TMMTriggerThread(TMMTrigger* owner) : TMMDSPThread(owner), pump_(owner) {}
    ~TMMTriggerThread() override { TerminateAndWait(); }

    void Go() EXCLUDES(lock_) {
        MutexLock guard(lock_);
        go_ = true;
        signal_.notify_all();
    }
    void End() EXCLUDES(lock_) {
        MutexLock guard(lock_);
        end_ = true;
        signal_.notify_all();
    }
    bool WaitStarted(std::chrono::milliseconds timeout) EXCLUDES(lock_) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        UniqueLock guard(lock_);
        while (!started_)
            if (!guard.WaitUntil(signal_, deadline)) return started_;
        return true;
    }

protected:
    void Execute() override {
        {
            MutexLock guard(lock_);
            started_ = true;
            signal_.notify_all();
        }
        const uint64_t run = pump_->run_.load();
        try {
            for (;;) {
                {
                    UniqueLock guard(lock_);
                    while (!go_ && !end_) guard.Wait(signal_);
                    if (end_) return;
                    go_ = false;
                }
                if (!pump_->Stopping()) pump_->ProcessBuffer();
                if (pump_->Stopping()) continue;
                const auto pause = std::chrono::milliseconds(std::max(pump_->GetInterval(), 1));
                {
                    const auto until = std::chrono::steady_clock::now() + pause;
                    UniqueLock guard(lock_);
                    while (!end_)
                        if (!guard.WaitUntil(signal_, until)) break;
                    if (end_) return;
                }
                if (!pump_->Stopping()) Go();
            }
        } catch (...) {
            // The round failed and nobody marked it handled: this worker
            // ends, the main thread closes the pump and shows the error.
            pump_->WorkerFailed(std::current_exception(), run);
        }
    }

private:
    TMMTrigger* pump_;
    Mutex lock_;
    std::condition_variable signal_;
    bool started_ GUARDED_BY(lock_) = false;
    bool go_ GUARDED_BY(lock_) = false;
    bool end_ GUARDED_BY(lock_) = false;
};

// ---- construction ------------------------------------------------------------------

TMMTrigger::TMMTrigger(std::string name) : TMMCustomSoundComponent(std::move(name)) {}

TMMTrigger::~TMMTrigger() {
    BeginDestroying();
    Close();
    if (Is(trsOpen)) {
        // A round is still running: its end posts the stop, which would
        // finish the close. Wait for it here instead, serving hand-offs.
        TMMDSPThread::WaitOnMainThread(
            [this] {
                MutexLock guard(lock_);
                return handlerDepth_ == 0;
            },
            std::chrono::milliseconds(0));
        Stop();
        if (Is(trsOpen)) Close();
    }
    thread_.reset();
    control_.DropPending();  // messages still queued must not reach a destroyed pump
    if (buffer_) Allocator().FreeStreamBuffer(buffer_);
    Allocator().Empty();
}

// ---- errors ---------------------------------------------------------------------------

void TMMTrigger::RaiseError(const std::string& message) {
    RaiseReported(std::make_exception_ptr(EMMTriggerError(message)));
}

void TMMTrigger::WorkerFailed(std::exception_ptr error, uint64_t run) {
    {
        MutexLock guard(lock_);
        threadFailed_ = true;
    }
    PostHandlerFailure(std::move(error), std::max(run, run_.load()), run_);
}

int64_t TMMTrigger::BytesPumped() const {
    MutexLock guard(lock_);
    return bytesPumped_;
}

bool TMMTrigger::Stopping() const {
    MutexLock guard(lock_);
    return stopping_;
}

// ---- properties ------------------------------------------------------------------------

void TMMTrigger::SetBufferSize(int32_t bytes) {
    if (bytes == bufferSizeAsked_) return;
    if (Is(trsOpen)) RaiseError(LoadResString(msg::ChangeWhileOpen));
    Allocator().Empty();
    bufferSizeAsked_ = std::max(bytes, kMinBufferSize);
    TMMDSPComponent::SetBufferSize(bufferSizeAsked_);
}

void TMMTrigger::SetWaveFormat(const WAVEFORMATEX* format) {
    if (format != GetWaveFormat()) Close();
    TMMDSPComponent::SetWaveFormat(format);
}

// ---- Open ------------------------------------------------------------------------------

void TMMTrigger::Open() {
    if (!GetWaveFormat())
        RaiseError(StepError("TriggerOpen", LoadResString(msg::InvalidWaveFormat)));
    if (Is(trsOpen)) Close();
    if (Is(trsOpen) || closing_) return;
    try {
        OpenSteps();
    } catch (...) {
        ReportError(std::current_exception());
        StoreState(trsOpen);
        Close();
        StoreState(trsClosed);
        throw;
    }
}

void TMMTrigger::OpenSteps() {
    closing_ = closePending_ = false;
    {
        MutexLock guard(lock_);
        stopping_ = stopPending_ = stopPosted_ = threadFailed_ = paused_ = false;
        handlerDepth_ = 0;
    }
    TMMCustomSoundComponent::Opened();
    StartWorker();
    try {
        buffer_ = Allocator().AllocStreamBuffer(static_cast<uint32_t>(bufferSizeAsked_));
    } catch (const std::bad_alloc&) {
        RaiseError(LoadResString(msg::HeaderAllocFailed));
    }
    StoreState(trsOpen);
    Fire(OnOpen);
}

void TMMTrigger::StartWorker() {
    const std::string failure = StepError("Trigger", LoadResString(msg::CouldNotCreateThread));
    try {
        thread_ = std::make_unique<TMMTriggerThread>(this);
        thread_->Resume();
    } catch (const std::system_error&) {
        thread_.reset();
        RaiseError(failure);
    }
    if (!thread_->WaitStarted(std::chrono::milliseconds(kThreadWaitMs))) RaiseError(failure);
}

// ---- Start -----------------------------------------------------------------------------

void TMMTrigger::Start() {
    if (!Is(trsOpen)) Open();
    if (!Is(trsOpen) || Is(trsStarted)) return;
    try {
        StartSteps();
    } catch (...) {
        ReportError(std::current_exception());
        Close();
        StoreState(trsClosed);
        throw;
    }
}

void TMMTrigger::StartSteps() {
    ++run_;
    {
        MutexLock guard(lock_);
        bytesPumped_ = 0;
        handlerDepth_ = 0;
        stopPending_ = stopping_ = stopPosted_ = false;
    }
    TMMCustomSoundComponent::Started();
    {
        MutexLock guard(lock_);
        moreBuffers_ = true;
    }
    SetStateBits(trsStarted);
    const bool data = LoadBuffer();
    if (data) {
        if (OnBufferFilled) OnBufferFilled(this, buffer_);
        // A paused pump's worker holds back at its pause gate until Restart.
        thread_->Go();
        Fire(OnStart);
        return;
    }
    // Nothing to pump: the run never started, so it ends without OnStop.
    TMMCustomSoundComponent::Stopped();
    ClearStateBits(trsStarted | trsPaused);
    RaiseError(StepError("TriggerStart", LoadResString(msg::UnableToStart)));
}

// ---- buffers ---------------------------------------------------------------------------

void TMMTrigger::BufferLoad(PWaveHdr buffer, bool& moreBuffers) {
    buffer->wh.dwBufferLength = static_cast<uint32_t>(GetBufferSize());
    buffer->wh.dwBytesRecorded = 0;
    buffer->lpLooping = 0;
    TMMDSPComponent::BufferLoad(buffer, moreBuffers);
    buffer->wh.dwBufferLength = buffer->wh.dwBytesRecorded;
}

bool TMMTrigger::LoadBuffer() {
    bool more = false;
    {
        MutexLock guard(lock_);
        moreBuffers_ = false;
    }
    BufferLoad(buffer_, more);
    const bool data = buffer_->wh.dwBytesRecorded > 0;
    MutexLock guard(lock_);
    moreBuffers_ = more && data;
    return data;
}

void TMMTrigger::PushBuffer() {
    {
        MutexLock guard(lock_);
        bytesPumped_ += buffer_->wh.dwBufferLength;
    }
    TMMDSPComponent::BufferReady(buffer_);
}

void TMMTrigger::ProcessBuffer() {
    {
        UniqueLock guard(lock_);
        while (paused_ && !stopping_) guard.Wait(resume_);
        if (stopping_ || !Is(trsStarted)) return;
        ++handlerDepth_;
    }
    // Leaving the round: the outermost handler posts the stop when the data
    // has ended or a stop was asked for meanwhile.
    struct Leave {
        TMMTrigger* self;
        ~Leave() { self->LeaveHandler(); }
    } leave{this};
    try {
        PushBuffer();
        bool more, pending;
        {
            MutexLock guard(lock_);
            more = moreBuffers_;
            pending = stopPending_;
        }
        if (more && !pending) {
            if (!LoadBuffer()) RaiseError(LoadResString(msg::ErrorFillingBuffer));
            {
                MutexLock guard(lock_);
                pending = stopPending_;
                more = moreBuffers_;
            }
            if (!pending) {
                if (OnBufferFilled) OnBufferFilled(this, buffer_);
                // The source's last data goes out in this round.
                if (!more) PushBuffer();
            }
        }
    } catch (...) {
        ReportError(std::current_exception());
        bool handled = false;
        if (OnErrorEx) OnErrorEx(this, handled);
        if (!handled) throw;
    }
}

// ---- Stop ------------------------------------------------------------------------------

void TMMTrigger::Stop() {
    if (!Is(trsStarted) && !Is(trsPaused)) return;
    {
        MutexLock guard(lock_);
        stopping_ = true;
        resume_.notify_all();
        if (handlerDepth_ > 0) {
            // The running round posts the stop when it leaves.
            stopPending_ = true;
            return;
        }
        stopPending_ = false;
        paused_ = false;
    }
    ClearStateBits(trsStarted | trsPaused);
    TMMCustomSoundComponent::Stopped();
    Fire(OnStop);
    if (closePending_) Close();
}

// ---- Close -----------------------------------------------------------------------------

void TMMTrigger::Close() {
    if (!Is(trsOpen)) return;
    if (closing_ && !closePending_) return;
    closing_ = true;
    try {
        if (Is(trsStarted) || Is(trsPaused)) Stop();
        {
            MutexLock guard(lock_);
            if (stopPending_) {
                closePending_ = true;
                return;
            }
        }
        CloseSteps();
    } catch (...) {
        // A failing close must not leave the pump half open; the exception
        // itself goes no further.
        closing_ = closePending_ = false;
        StoreState(trsClosed);
        EndWorker();
        if (buffer_) Allocator().FreeStreamBuffer(buffer_);
    }
}

void TMMTrigger::CloseSteps() {
    closePending_ = false;
    StoreState(trsClosed);
    control_.DropPending();
    TMMCustomSoundComponent::Closed();
    EndWorker();
    if (buffer_) Allocator().FreeStreamBuffer(buffer_);
    closing_ = false;
    Fire(OnClose);
}

void TMMTrigger::EndWorker() {
    if (!thread_) return;
    thread_->End();
    // On the main thread the wait serves the worker's hand-offs, so a
    // worker inside one can still finish.
    thread_->WaitFor(std::chrono::milliseconds(kThreadWaitMs));
    thread_.reset();
}

// ---- Pause / Restart ---------------------------------------------------------------

void TMMTrigger::Pause() {
    if (!Is(trsOpen)) Open();
    if (!Is(trsOpen) || Is(trsPaused)) return;
    try {
        {
            MutexLock guard(lock_);
            paused_ = true;
        }
        SetStateBits(trsPaused);
        TMMCustomSoundComponent::Paused();
        Fire(OnPause);
    } catch (...) {
        ReportError(std::current_exception());
        Close();
        throw;
    }
}

void TMMTrigger::Restart() {
    if (!Is(trsStarted) || !Is(trsPaused)) return;
    try {
        {
            MutexLock guard(lock_);
            paused_ = false;
            resume_.notify_all();
        }
        ClearStateBits(trsPaused);
        TMMCustomSoundComponent::Restarted();
        Fire(OnRestart);
    } catch (...) {
        ReportError(std::current_exception());
        Close();
        throw;
    }
}

}  // namespace zt
