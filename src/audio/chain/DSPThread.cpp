#include "audio/chain/DSPThread.h"

#include "platform/MainThreadQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "platform/ErrorDisplay.h"

namespace zt {

namespace {

thread_local TMMDSPThread* tlsCurrent = nullptr;

constexpr auto kRecheck = std::chrono::milliseconds(10);

// Runs fn on the main thread from its event loop, inside the error guard.
// The owner lives as long as the process: a worker ending late still
// finds it. Without an application object the call is dropped.
void PostToMainThread(std::function<void()> fn) {
    static MainThreadOwner* const owner = new MainThreadOwner;
    owner->Post(std::move(fn));
}

}  // namespace

// One event waiting for the main thread; lives on the waiting worker's stack.
struct TMMDSPThread::HandOff {
    const std::function<void()>* event = nullptr;
    bool done GUARDED_BY(RegistryLock()) = false;
    std::condition_variable finished;
};

// The thread registry and the hand-off queue share one lock. Deliberately
// never freed: a free-on-terminate worker may still leave the registry while
// static objects are being destroyed.
struct TMMDSPThread::ThreadState {
    // Reached through RegistryLock(), the name the guarded fields use, here
    // and in the thread objects.
    Mutex lock;
    // Wakes main-thread waiters: a hand-off was queued, a thread finished or
    // left the registry, or WakeWaiters() was called. `generation` counts
    // those wake-ups so that none is lost between a check and a wait.
    std::condition_variable wake;
    uint64_t generation GUARDED_BY(RegistryLock()) = 0;
    std::vector<TMMDSPThread*> threads GUARDED_BY(RegistryLock());
    std::deque<HandOff*> pending GUARDED_BY(RegistryLock());

    void Bump() REQUIRES(RegistryLock()) {
        ++generation;
        wake.notify_all();
    }
};

TMMDSPThread::ThreadState& TMMDSPThread::State() {
    static auto* state = new ThreadState;
    return *state;
}

Mutex& TMMDSPThread::RegistryLock() {
    return State().lock;
}

TMMDSPThread::TMMDSPThread(TMMDSPComponent* owner, Body body)
    : owner_(owner), body_(std::move(body)) {
    auto& s = State();
    MutexLock guard(RegistryLock());
    s.threads.push_back(this);
}

TMMDSPThread::~TMMDSPThread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            // Destroyed by its own worker (free on terminate, or the body
            // deleted it): nothing to wait for.
            thread_.detach();
        } else {
            TerminateAndWait();
        }
    }
    auto& s = State();
    MutexLock guard(RegistryLock());
    std::erase(s.threads, this);
    s.Bump();
}

void TMMDSPThread::Resume() {
    MutexLock guard(RegistryLock());
    if (resumed_) return;
    // Run() takes the same lock first, so the worker sees thread_ assigned.
    thread_ = std::thread([this] { Run(); });
    resumed_ = true;
}

bool TMMDSPThread::IsResumed() const {
    MutexLock guard(RegistryLock());
    return resumed_;
}

bool TMMDSPThread::Finished() const {
    MutexLock guard(RegistryLock());
    return !resumed_ || finished_;
}

std::exception_ptr TMMDSPThread::FatalException() const {
    MutexLock guard(RegistryLock());
    return fatal_;
}

void TMMDSPThread::Execute() {
    if (body_) body_(*this);
}

void TMMDSPThread::Run() {
    auto& s = State();
    { MutexLock guard(RegistryLock()); }
    tlsCurrent = this;
    std::exception_ptr fatal;
    try {
        Execute();
    } catch (...) {
        fatal = std::current_exception();
    }
    tlsCurrent = nullptr;
    bool selfDelete;
    {
        MutexLock guard(RegistryLock());
        fatal_ = std::move(fatal);
        finished_ = true;
        selfDelete = freeOnTerminate_;
        if (selfDelete) fatal = std::exchange(fatal_, nullptr);
        s.Bump();
    }
    if (selfDelete) {
        // Nobody holds the object any more, so nobody else would see the
        // error: it goes to the error display on the main thread. The
        // posted call is its only owner from here on, so the exception
        // object is freed on the main thread after it has been shown.
        if (fatal)
            PostToMainThread(
                [error = std::move(fatal)]() mutable { ShowException(std::exchange(error, {})); });
        delete this;
    }
}

bool TMMDSPThread::WaitFor(std::chrono::milliseconds timeout) {
    bool done;
    if (OnMainThread()) {
        done = WaitOnMainThread([this] { return Finished(); }, timeout);
    } else {
        auto& s = State();
        UniqueLock lk(RegistryLock());
        if (timeout.count() > 0) {
            const auto deadline = std::chrono::steady_clock::now() + timeout;
            while (resumed_ && !finished_)
                if (!lk.WaitUntil(s.wake, deadline)) break;
            done = !resumed_ || finished_;
        } else {
            while (resumed_ && !finished_) lk.Wait(s.wake);
            done = true;
        }
    }
    if (done && thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
    return done;
}

void TMMDSPThread::TerminateAndWait() {
    Terminate();
    WaitFor();
}

TMMDSPThread* TMMDSPThread::Current() {
    return tlsCurrent;
}

bool TMMDSPThread::IsRegistered(const TMMDSPThread* thread) {
    auto& s = State();
    MutexLock guard(RegistryLock());
    return std::find(s.threads.begin(), s.threads.end(), thread) != s.threads.end();
}

size_t TMMDSPThread::RegisteredCount() {
    auto& s = State();
    MutexLock guard(RegistryLock());
    return s.threads.size();
}

bool TMMDSPThread::OnMainThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void TMMDSPThread::WakeWaiters() {
    auto& s = State();
    MutexLock guard(RegistryLock());
    s.Bump();
}

void TMMDSPThread::RunPendingHandOffs() {
    if (!OnMainThread()) return;
    auto& s = State();
    for (;;) {
        HandOff* h;
        {
            MutexLock guard(RegistryLock());
            if (s.pending.empty()) return;
            h = s.pending.front();
            s.pending.pop_front();
        }
        Guarded(*h->event);
        // Notify under the lock: the worker cannot leave (and free h) before
        // the lock is released, and h is not touched after that.
        MutexLock guard(RegistryLock());
        h->done = true;
        h->finished.notify_all();
    }
}

bool TMMDSPThread::WaitOnMainThread(const std::function<bool()>& condition,
                                    std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const bool limited = timeout.count() > 0;
    const auto deadline = Clock::now() + timeout;
    auto& s = State();
    for (;;) {
        RunPendingHandOffs();
        uint64_t seen;
        {
            MutexLock guard(RegistryLock());
            seen = s.generation;
        }
        if (condition()) return true;
        if (limited && Clock::now() >= deadline) {
            RunPendingHandOffs();
            return condition();
        }
        auto until = Clock::now() + kRecheck;
        if (limited) until = std::min(until, deadline);
        UniqueLock lk(RegistryLock());
        while (s.pending.empty() && s.generation == seen)
            if (!lk.WaitUntil(s.wake, until)) break;
    }
}

void TMMDSPThread::Synchronize(const std::function<void()>& event) {
    if (OnMainThread()) {
        event();
        return;
    }
    auto& s = State();
    HandOff h;
    h.event = &event;
    {
        MutexLock guard(RegistryLock());
        s.pending.push_back(&h);
        s.Bump();
    }
    // The event loop runs it; a main thread inside WaitFor/WaitOnMainThread
    // runs it even sooner. Whoever comes second finds the queue empty.
    PostToMainThread([] { RunPendingHandOffs(); });
    UniqueLock lk(RegistryLock());
    while (!h.done) lk.Wait(h.finished);
}

void RunEventOnMainThread(const std::function<void()>& event) {
    TMMDSPThread* current = TMMDSPThread::Current();
    if (current && TMMDSPThread::IsRegistered(current))
        current->Synchronize(event);
    else
        event();
}

}  // namespace zt
