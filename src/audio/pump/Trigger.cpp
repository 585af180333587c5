#include "audio/pump/Trigger.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <utility>

#include "audio/chain/DSPThread.h"
#include "audio/chain/MMErrors.h"
#include "platform/CrossThreadPost.h"
#include "platform/ErrorDisplay.h"

namespace zt {

namespace {

QEvent::Type StopMessageType() {
    static const QEvent::Type t = QEvent::Type(QEvent::registerEventType());
    return t;
}
QEvent::Type WorkerFailedType() {
    static const QEvent::Type t = QEvent::Type(QEvent::registerEventType());
    return t;
}

class StopMessage : public QEvent {
public:
    explicit StopMessage(uint64_t run) : QEvent(StopMessageType()), run(run) {}
    uint64_t run;
};

class WorkerFailed : public QEvent {
public:
    WorkerFailed(std::exception_ptr error, uint64_t run)
        : QEvent(WorkerFailedType()), error(std::move(error)), run(run) {}
    std::exception_ptr error;
    uint64_t run;
};

}  // namespace

// ---- the worker ------------------------------------------------------------------

// Waits for "go" (one buffer round, then go again unless the pump is
// stopping) or "end". The started signal tells Open that it runs.
class TMMTriggerThread : public TMMDSPThread {
public:
    explicit TMMTriggerThread(TMMTrigger* owner) : TMMDSPThread(owner), pump_(owner) {}
    ~TMMTriggerThread() override { TerminateAndWait(); }

    void Go() {
        std::lock_guard<std::mutex> guard(lock_);
        go_ = true;
        signal_.notify_all();
    }
    void End() {
        std::lock_guard<std::mutex> guard(lock_);
        end_ = true;
        signal_.notify_all();
    }
    bool WaitStarted(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> guard(lock_);
        return signal_.wait_for(guard, timeout, [this] { return started_; });
    }

protected:
    void Execute() override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            started_ = true;
            signal_.notify_all();
        }
        const uint64_t run = pump_->run_.load();
        try {
            for (;;) {
                {
                    std::unique_lock<std::mutex> guard(lock_);
                    signal_.wait(guard, [this] { return go_ || end_; });
                    if (end_) return;
                    go_ = false;
                }
                if (!pump_->Stopping()) pump_->ProcessBuffer();
                if (pump_->Stopping()) continue;
                const auto pause = std::chrono::milliseconds(std::max(pump_->GetInterval(), 1));
                {
                    std::unique_lock<std::mutex> guard(lock_);
                    if (signal_.wait_for(guard, pause, [this] { return end_; })) return;
                }
                if (!pump_->Stopping()) Go();
            }
        } catch (...) {
            // The round failed and nobody marked it handled: this worker
            // ends, the main thread closes the pump and shows the error.
            {
                std::lock_guard<std::mutex> guard(pump_->lock_);
                pump_->threadFailed_ = true;
            }
            PostAcrossThreads(
                pump_->window_.get(),
                new WorkerFailed(std::current_exception(), std::max(run, pump_->run_.load())));
        }
    }

private:
    TMMTrigger* pump_;
    std::mutex lock_;
    std::condition_variable signal_;
    bool started_ = false, go_ = false, end_ = false;
};

// ---- the hidden object on the main thread --------------------------------------

class TMMTrigger::Window : public QObject {
public:
    explicit Window(TMMTrigger* owner) : owner_(owner) {}

    bool event(QEvent* e) override {
        AcceptCrossThreadEvent();
        if (e->type() == StopMessageType()) {
            const uint64_t run = static_cast<StopMessage*>(e)->run;
            Guarded([&] { owner_->OnStopMessage(run); });
            return true;
        }
        if (e->type() == WorkerFailedType()) {
            auto* f = static_cast<WorkerFailed*>(e);
            owner_->OnWorkerFailed(std::exchange(f->error, {}), f->run);
            return true;
        }
        return QObject::event(e);
    }

private:
    TMMTrigger* owner_;
};

// ---- construction ------------------------------------------------------------------

TMMTrigger::TMMTrigger(std::string name) : TMMCustomSoundComponent(std::move(name)) {
    window_ = std::make_unique<Window>(this);
}

TMMTrigger::~TMMTrigger() {
    suppressEvents_ = true;
    BeginDestroying();
    Close();
    if (Is(trsOpen)) {
        // A round is still running: its end posts the stop, which would
        // finish the close. Wait for it here instead, serving hand-offs.
        TMMDSPThread::WaitOnMainThread(
            [this] {
                std::lock_guard<std::mutex> guard(lock_);
                return handlerDepth_ == 0;
            },
            std::chrono::milliseconds(0));
        Stop();
        if (Is(trsOpen)) Close();
    }
    thread_.reset();
    window_.reset();  // drops messages still queued for it
    if (buffer_) Allocator().FreeStreamBuffer(buffer_);
    Allocator().Empty();
}

// ---- errors ---------------------------------------------------------------------------

void TMMTrigger::Fire(const NotifyEvent& event) {
    if (event && !suppressEvents_) event(this);
}

void TMMTrigger::ReportError(std::exception_ptr error) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (error && error == raised_) return;  // RaiseError fired it already
    }
    if (OnError) OnError(this);
}

void TMMTrigger::RaiseError(const std::string& message) {
    std::exception_ptr error = std::make_exception_ptr(EMMTriggerError(message));
    {
        std::lock_guard<std::mutex> guard(lock_);
        raised_ = error;
    }
    if (OnError) OnError(this);
    std::rethrow_exception(error);
}

int64_t TMMTrigger::BytesPumped() const {
    std::lock_guard<std::mutex> guard(lock_);
    return bytesPumped_;
}

bool TMMTrigger::Stopping() const {
    std::lock_guard<std::mutex> guard(lock_);
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
        state_.store(trsOpen);
        Close();
        state_.store(trsClosed);
        throw;
    }
}

void TMMTrigger::OpenSteps() {
    closing_ = closePending_ = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
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
    state_.store(trsOpen);
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
        state_.store(trsClosed);
        throw;
    }
}

void TMMTrigger::StartSteps() {
    ++run_;
    {
        std::lock_guard<std::mutex> guard(lock_);
        bytesPumped_ = 0;
        handlerDepth_ = 0;
        stopPending_ = stopping_ = stopPosted_ = false;
    }
    TMMCustomSoundComponent::Started();
    {
        std::lock_guard<std::mutex> guard(lock_);
        moreBuffers_ = true;
    }
    state_.fetch_or(trsStarted);
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
    state_.fetch_and(~(trsStarted | trsPaused));
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
        std::lock_guard<std::mutex> guard(lock_);
        moreBuffers_ = false;
    }
    BufferLoad(buffer_, more);
    const bool data = buffer_->wh.dwBytesRecorded > 0;
    std::lock_guard<std::mutex> guard(lock_);
    moreBuffers_ = more && data;
    return data;
}

void TMMTrigger::PushBuffer() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        bytesPumped_ += buffer_->wh.dwBufferLength;
    }
    TMMDSPComponent::BufferReady(buffer_);
}

void TMMTrigger::ProcessBuffer() {
    {
        std::unique_lock<std::mutex> guard(lock_);
        resume_.wait(guard, [this] { return !paused_ || stopping_; });
        if (stopping_ || !Is(trsStarted)) return;
        ++handlerDepth_;
    }
    // Leaving the round: the outermost handler posts the stop when the data
    // has ended or a stop was asked for meanwhile.
    struct Leave {
        TMMTrigger* self;
        ~Leave() {
            bool post = false;
            {
                std::lock_guard<std::mutex> guard(self->lock_);
                if (--self->handlerDepth_ == 0 && (self->stopPending_ || !self->moreBuffers_) &&
                    !self->stopPosted_) {
                    self->stopping_ = self->stopPosted_ = true;
                    post = true;
                }
            }
            if (post) PostAcrossThreads(self->window_.get(), new StopMessage(self->run_.load()));
        }
    } leave{this};
    try {
        PushBuffer();
        bool more, pending;
        {
            std::lock_guard<std::mutex> guard(lock_);
            more = moreBuffers_;
            pending = stopPending_;
        }
        if (more && !pending) {
            if (!LoadBuffer()) RaiseError(LoadResString(msg::ErrorFillingBuffer));
            {
                std::lock_guard<std::mutex> guard(lock_);
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
        std::lock_guard<std::mutex> guard(lock_);
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
    state_.fetch_and(~(trsStarted | trsPaused));
    TMMCustomSoundComponent::Stopped();
    Fire(OnStop);
    if (closePending_) Close();
}

void TMMTrigger::OnStopMessage(uint64_t run) {
    if (run != run_.load()) return;  // that run has ended already
    Stop();
}

void TMMTrigger::OnWorkerFailed(std::exception_ptr error, uint64_t run) {
    if (run == run_.load()) Guarded([this] { Close(); });
    ShowException(std::move(error));
}

// ---- Close -----------------------------------------------------------------------------

void TMMTrigger::Close() {
    if (!Is(trsOpen)) return;
    if (closing_ && !closePending_) return;
    closing_ = true;
    try {
        if (Is(trsStarted) || Is(trsPaused)) Stop();
        {
            std::lock_guard<std::mutex> guard(lock_);
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
        state_.store(trsClosed);
        EndWorker();
        if (buffer_) Allocator().FreeStreamBuffer(buffer_);
    }
}

void TMMTrigger::CloseSteps() {
    closePending_ = false;
    state_.store(trsClosed);
    RemoveCrossThreadEvents(window_.get(), StopMessageType());
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
            std::lock_guard<std::mutex> guard(lock_);
            paused_ = true;
        }
        state_.fetch_or(trsPaused);
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
            std::lock_guard<std::mutex> guard(lock_);
            paused_ = false;
            resume_.notify_all();
        }
        state_.fetch_and(~trsPaused);
        TMMCustomSoundComponent::Restarted();
        Fire(OnRestart);
    } catch (...) {
        ReportError(std::current_exception());
        Close();
        throw;
    }
}

}  // namespace zt
