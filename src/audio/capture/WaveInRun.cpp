#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <thread>

#include "audio/capture/WaveIn.h"
#include "audio/chain/MMErrors.h"

#include "audio/capture/WaveInWaits.h"
#include "platform/ErrorDisplay.h"

// Running the capture: Start, Pause, Restart, Stop, Close and the handling
// of every buffer the device hands back.

namespace zt {

using namespace wavein_detail;

namespace {

bool DoneFlag(WAVEHDR* header) {
    return (std::atomic_ref<uint32_t>(header->dwFlags).load() & WHDR_DONE) != 0;
}

}  // namespace

// ---- Start / Pause / Restart ---------------------------------------------------------

void TMMCustomWaveIn::Start() {
    if (!StateIsOpen()) Open();
    if (!StateIsOpen() || StateIsStarted()) return;
    try {
        {
            MutexLock guard(lock_);
            queuedCount_ = 0;
            handlerDepth_ = 0;
            stopPending_ = stopping_ = resetting_ = stopPosted_ = false;
        }
        ++run_;
        recordedBytes_ = 0;
        nextBuffer_ = 0;
        lastPosition_ = 0;
        wrapCount_ = 0;
        limitBytes_ = LimitBytes();
        for (PWaveHdr b : buffers_) QueueBuffer(&b->wh);
        SetStateBits(wisStarted);
        if (!StateIsPaused()) Check("WaveInStart", backend_->Start(handle_));
        TMMCustomSoundComponent::Started();
        Fire(OnStart);
    } catch (...) {
        ReportError(std::current_exception());
        SetStateBits(wisStarted);
        Close();
        StoreState(wisClosed);
        throw;
    }
}

void TMMCustomWaveIn::QueueBuffer(WAVEHDR* header) {
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    // Counted before it is added: in cmThread mode the capture thread may
    // hand it back before AddBuffer has returned here.
    {
        MutexLock guard(lock_);
        ++queuedCount_;
    }
    const WaveInResult r = backend_->AddBuffer(handle_, header);
    if (r != kWaveInOk) {
        {
            MutexLock guard(lock_);
            --queuedCount_;
        }
        header->dwFlags |= WHDR_DONE;  // not with the device
        Check("WaveInAddBuffer", r);
    }
}

void TMMCustomWaveIn::Pause() {
    if (!StateIsOpen()) Open();
    if (!StateIsOpen() || StateIsPaused()) return;
    try {
        if (StateIsStarted()) Check("WaveInPause", backend_->Stop(handle_));
        SetStateBits(wisPaused);
        TMMCustomSoundComponent::Paused();
        Fire(OnPause);
    } catch (...) {
        ReportError(std::current_exception());
        Close();
        throw;
    }
}

void TMMCustomWaveIn::Restart() {
    if (!(StateIsStarted() && StateIsPaused())) return;
    try {
        Check("WaveInRestart", backend_->Start(handle_));
        ClearStateBits(wisPaused);
        TMMCustomSoundComponent::Restarted();
        Fire(OnRestart);
    } catch (...) {
        ReportError(std::current_exception());
        Close();
        throw;
    }
}

// ---- Stop -----------------------------------------------------------------------------

void TMMCustomWaveIn::Stop() {
    if (!OnOwnerThread()) {
        // From a buffer handler on the capture thread: the device belongs to
        // the main thread, so the stop is only marked here. Buffers handed
        // back from now on are dropped and not queued again; the handler
        // posts the deferred stop when it ends.
        MutexLock guard(lock_);
        if (StateIsStarted() || StateIsPaused()) stopping_ = resetting_ = stopPending_ = true;
        return;
    }
    if (!(StateIsStarted() || StateIsPaused())) return;
    try {
        {
            MutexLock guard(lock_);
            stopping_ = true;
            Check("WaveInStop", backend_->Stop(handle_));
            wrapCount_ = 0;
            lastPosition_ = 0;
            resetting_ = true;
            Check("WaveInReset", backend_->Reset(handle_));
        }
        bool inHandler;
        {
            MutexLock guard(lock_);
            inHandler = handlerDepth_ > 0;
        }
        if (!inHandler) WaitForReturnedBuffers();
        StoppedStep();
    } catch (...) {
        ReportError(std::current_exception());
        Close();
        throw;
    }
}

void TMMCustomWaveIn::WaitForReturnedBuffers() {
    auto allBack = [this] {
        MutexLock guard(lock_);
        return queuedCount_ == 0;
    };
    if (callBackMode_ == TMMCBMode::cmThread) {
        TMMWaveInThread* t = thread_.get();
        TMMDSPThread::WaitOnMainThread(
            [&] { return allBack() || !t || t->HasFailed() || t->Finished(); },
            kTick * kReturnRounds);
        return;
    }
    // Only this component's own returned buffers are handled here (their
    // data is not pushed: resetting is set); nothing else of the event loop
    // runs inside Stop.
    for (int i = 0; i < kReturnRounds; ++i) {
        buffersOwner_.RunPending();
        if (allBack()) return;
        std::this_thread::sleep_for(kTick);
    }
}

void TMMCustomWaveIn::StoppedStep() {
    {
        MutexLock guard(lock_);
        if (handlerDepth_ > 0) {
            // A handler is running: the deferred stop finishes this once the
            // outermost handler has returned.
            stopPending_ = true;
            return;
        }
        queuedCount_ = 0;
        stopPending_ = false;
    }
    ClearStateBits(wisStarted | wisPaused);
    nextBuffer_ = 0;
    // Notifications of this run still queued are void now.
    buffersOwner_.DropPending();
    TMMCustomSoundComponent::Stopped();
    if (!IsDestroying()) Fire(OnStop);
    if (closePending_) Close();
}

// ---- Close -----------------------------------------------------------------------------

void TMMCustomWaveIn::Close() {
    if (!StateIsOpen() || (closing_ && !closePending_)) return;
    try {
        closing_ = true;
        if (StateIsStarted() || StateIsPaused()) Stop();
        {
            MutexLock guard(lock_);
            if (stopPending_) {
                closePending_ = true;
                return;
            }
        }
        closePending_ = false;
        bool closeTimedOut = false;
        CloseSteps(closeTimedOut);
        if (closeTimedOut) RaiseError(StepError("WaveInOpen", LoadResString(msg::UnableToClose)));
    } catch (...) {
        // OnError has fired; a failed Close does not pass its error on.
        ReportError(std::current_exception());
        closing_ = false;
    }
}

void TMMCustomWaveIn::CloseSteps(bool& closeTimedOut) {
    if (handle_) {
        backend_->Stop(handle_);
        backend_->Reset(handle_);
        // Losses the back end recorded up to here are still told.
        DeliverLosses();
        for (size_t i = 0; i < buffers_.size(); ++i) {
            if (!prepared_[i]) continue;
            WAVEHDR* h = &buffers_[i]->wh;
            int checks = 0;
            while (!DoneFlag(h) && checks++ < kDoneChecks) std::this_thread::yield();
            std::atomic_ref<uint32_t>(h->dwFlags).fetch_or(WHDR_DONE);
            Check("WaveInUnprepareHeader", backend_->UnprepareHeader(handle_, h));
            prepared_[i] = false;
        }
        Check("WaveInClose", backend_->Close(handle_));
        handle_ = 0;
        for (int i = 0; i < kNoteRounds && !closedNote_.load(); ++i)
            std::this_thread::sleep_for(kTick);
        closeTimedOut = !closedNote_.load();
        wrapCount_ = 0;
        lastPosition_ = 0;
    }
    // The device is closed (or was never opened), whether or not its
    // notification came: the component must not stay half open.
    StoreState(wisClosed);
    // The capture thread ends before the segment closes, so that no buffer
    // is pushed into a closing chain.
    EndThread();
    buffersOwner_.DropPending();
    TMMCustomSoundComponent::Closed();
    ReleaseBuffers();
    closing_ = false;
    if (!IsDestroying()) Fire(OnClose);
}

void TMMCustomWaveIn::ReleaseBuffers() {
    for (PWaveHdr& b : buffers_) Allocator().FreeStreamBuffer(b);
    buffers_.clear();
    prepared_.clear();
}

// ---- buffer handling ---------------------------------------------------------------------

void TMMCustomWaveIn::CountOffLocked() {
    if (queuedCount_ > 0) --queuedCount_;
    if (queuedCount_ == 0) resetting_ = false;
}

void TMMCustomWaveIn::HandleBufferDone(WAVEHDR* header) {
    if (!StateIsStarted()) return;
    bool requeue;
    {
        MutexLock guard(lock_);
        if (stopping_ || resetting_) {
            // Handed back by a stop: counted off once, never queued again;
            // its data is kept only while no reset is under way.
            const bool push = !resetting_ && header->dwBytesRecorded > 0;
            CountOffLocked();
            if (!push) return;
            requeue = false;
        } else {
            CountOffLocked();
            requeue = true;
        }
        ++handlerDepth_;
    }
    // Leaves the handler; the outermost one posts a stop asked for inside.
    struct Leave {
        TMMCustomWaveIn* self;
        ~Leave() { self->LeaveHandler(); }
    } leave{this};
    try {
        BufferReady(reinterpret_cast<PWaveHdr>(header));
        if (requeue) {
            if (OnOwnerThread())
                RequeueStep(header, session_.load());
            else
                buffersOwner_.Post(session_.load(), [this, header, session = session_.load()] {
                    try {
                        RequeueStep(header, session);
                    } catch (...) {
                        ReportError(std::current_exception());
                        HandlerFailed(std::current_exception(), session, session_);
                    }
                });
        }
    } catch (...) {
        ReportError(std::current_exception());
        throw;
    }
}

void TMMCustomWaveIn::RequeueStep(WAVEHDR* header, uint64_t session) {
    if (session != session_.load() || !StateIsStarted()) return;
    {
        MutexLock guard(lock_);
        if (stopPending_ || stopping_ || resetting_) return;
    }
    WaveInPosition position;
    Check("WaveInGetPosition", backend_->GetPosition(handle_, position));
    uint32_t samples = position.value;
    if (position.inBytes && GetWaveFormat())
        samples = static_cast<uint32_t>(BytesToSamples(*GetWaveFormat(), position.value));
    if (samples < lastPosition_ && lastPosition_ - samples >= 65535) ++wrapCount_;
    lastPosition_ = samples;
    QueueBuffer(header);
}

void TMMCustomWaveIn::BufferReady(PWaveHdr buffer) {
    recordedBytes_ += buffer->wh.dwBytesRecorded;
    bool limitReached = false;
    if (maxRecordTime_ > 0 && recordedBytes_ >= limitBytes_) {
        const int64_t excess = recordedBytes_ - limitBytes_;
        buffer->wh.dwBytesRecorded -=
            static_cast<uint32_t>(std::min<int64_t>(excess, buffer->wh.dwBytesRecorded));
        recordedBytes_ = limitBytes_;
        limitReached = true;
    }
    if (numBuffers_ > 0) nextBuffer_ = (nextBuffer_ + 1) % numBuffers_;
    TMMDSPComponent::BufferReady(buffer);
    if (limitReached) Stop();
}

bool TMMCustomWaveIn::OnThreadBuffer(WAVEHDR* header, uint64_t session) {
    if (session != session_.load()) return true;
    try {
        HandleBufferDone(header);
        return true;
    } catch (...) {
        // The device and the chain belong to the main thread: it closes the
        // component and shows the error; this thread ends.
        PostHandlerFailure(std::current_exception(), session, session_);
        return false;
    }
}

}  // namespace zt
