#include "audio/chain/SoundComponent.h"

#include <utility>

#include "platform/ErrorDisplay.h"

namespace zt {

namespace {
// No chain is longer than the number of live components; a walk that gets
// further has met a cycle made through the raw link stores and stops.
size_t WalkLimit() {
    return TMMDSPComponent::LiveCount() + 1;
}
}  // namespace

TMMCustomSoundComponent::TMMCustomSoundComponent(std::string name)
    : TMMDSPComponent(std::move(name)) {}

TMMCustomSoundComponent::~TMMCustomSoundComponent() = default;

TMMDSPComponent* TMMCustomSoundComponent::SegmentStart() {
    TMMDSPComponent* c = this;
    size_t steps = WalkLimit();
    while (c->GetInput() && steps-- > 0) {
        c = c->GetInput();
        if (c == this) return this;
        if (c->IsSoundComponent()) return this;
    }
    return c;
}

TMMDSPComponent* TMMCustomSoundComponent::NextSoundComponent() {
    TMMDSPComponent* c = GetOutput();
    size_t steps = WalkLimit();
    while (c && c != this && steps-- > 0) {
        if (c->IsSoundComponent()) return c;
        c = c->GetOutput();
    }
    return nullptr;
}

void TMMCustomSoundComponent::Deliver(TMMDSPComponent* member, Note note) {
    switch (note) {
        case Note::Opened:
            member->Opened();
            break;
        case Note::Closed:
            member->Closed();
            break;
        case Note::Started:
            member->Started();
            break;
        case Note::Paused:
            member->Paused();
            break;
        case Note::Restarted:
            member->Restarted();
            break;
        case Note::Stopped:
            member->Stopped();
            break;
        case Note::Reset:
            member->Reset();
            break;
    }
}

void TMMCustomSoundComponent::Walk(Note note, bool withBufferSize, bool includeNextDriver) {
    TMMDSPComponent* c = SegmentStart();
    size_t steps = WalkLimit();
    bool passedSelf = false;
    while (c && steps-- > 0) {
        if (c == this) {
            if (passedSelf) break;  // back at the start: a cycle
            passedSelf = true;
        } else {
            const bool driver = c->IsSoundComponent();
            if (driver && !includeNextDriver) break;
            if (withBufferSize) c->SetBufferSize(GetBufferSize());
            Deliver(c, note);
            if (driver) break;
        }
        c = c->GetOutput();
    }
}

void TMMCustomSoundComponent::DispatchForward(Note note) {
    Walk(note, note == Note::Opened, true);
}

void TMMCustomSoundComponent::DispatchStopping(Note note) {
    // The next driver downstream goes first, so that it stops (and flushes)
    // before the members that feed it.
    if (TMMDSPComponent* next = NextSoundComponent()) Deliver(next, note);
    Walk(note, false, false);
}

void TMMCustomSoundComponent::Opened() {
    DispatchForward(Note::Opened);
    TMMDSPComponent::Opened();
}

void TMMCustomSoundComponent::Closed() {
    DispatchStopping(Note::Closed);
    TMMDSPComponent::Closed();
}

void TMMCustomSoundComponent::Started() {
    DispatchForward(Note::Started);
    TMMDSPComponent::Started();
}

void TMMCustomSoundComponent::Paused() {
    DispatchForward(Note::Paused);
    TMMDSPComponent::Paused();
}

void TMMCustomSoundComponent::Restarted() {
    DispatchForward(Note::Restarted);
    TMMDSPComponent::Restarted();
}

void TMMCustomSoundComponent::Stopped() {
    DispatchStopping(Note::Stopped);
    TMMDSPComponent::Stopped();
}

void TMMCustomSoundComponent::Reset() {
    DispatchForward(Note::Reset);
    TMMDSPComponent::Reset();
}

// ---- lifecycle -----------------------------------------------------------------------

void TMMCustomSoundComponent::Fire(const NotifyEvent& event) {
    if (event && !IsDestroying()) event(this);
}

void TMMCustomSoundComponent::ReportError(std::exception_ptr error) {
    {
        MutexLock guard(lock_);
        if (error && error == reportedError_) return;
        reportedError_ = error;
    }
    if (OnError) OnError(this);
}

void TMMCustomSoundComponent::RaiseReported(std::exception_ptr error) {
    ReportError(error);
    std::rethrow_exception(error);
}

void TMMCustomSoundComponent::LeaveHandler() {
    bool post = false;
    {
        MutexLock guard(lock_);
        if (--handlerDepth_ == 0 && (stopPending_ || DataEndedLocked()) && !stopPosted_) {
            stopPosted_ = stopping_ = true;
            post = true;
        }
    }
    if (post) PostDeferredStop();
}

void TMMCustomSoundComponent::PostDeferredStop() {
    const uint64_t run = run_.load();
    control_.Post([this, run] {
        if (run == run_.load()) Stop();  // else that run has ended already
    });
}

void TMMCustomSoundComponent::PostHandlerFailure(std::exception_ptr error, uint64_t session,
                                                 const std::atomic<uint64_t>& currentSession) {
    control_.Post([this, error = std::move(error), session, &currentSession]() mutable {
        HandlerFailed(std::exchange(error, {}), session, currentSession);
    });
}

void TMMCustomSoundComponent::HandlerFailed(std::exception_ptr error, uint64_t session,
                                            const std::atomic<uint64_t>& currentSession) {
    // The driver ends: stop, close, their events; then the general error
    // display shows what went wrong.
    if (session == currentSession.load()) Guarded([this] { Close(); });
    ShowException(std::move(error));
}

}  // namespace zt
