#pragma once
// The worker thread a sound component owns, and the synchronous hand-off
// of events that must run on the main thread (the thread of the Qt
// application object).
//
// A TMMDSPThread is created suspended: nothing runs until Resume(). It
// remembers its owner component and is listed in a process-wide thread
// registry from construction until destruction. The work is Execute() of a
// derived class, or the function given to the constructor.
//
// Hand-off: Synchronize(event), called on the worker, queues the event for
// the main thread and waits until it has run there. The main thread runs it
// from its event loop, or from any of the waits below. An exception thrown
// by the event is shown by the general error display on the main thread and
// never reaches the worker. RunEventOnMainThread(event) hands off when the
// calling thread is a registered TMMDSPThread and runs the event directly
// (exceptions reach the caller) on any other thread.
//
// DEADLOCK RULE: the main thread must never block on a worker (join, wait
// for a signal, wait for a lock the worker holds) while that worker may be
// inside a hand-off, because the hand-off waits for the main thread. The
// main thread waits for a worker only through WaitFor() or
// WaitOnMainThread(), which run pending hand-offs while they wait. Workers
// check Terminated() between units of work so that a stop request ends them
// promptly.
//
// Threads:
// - Construction, Resume, Terminate and WaitFor are called by the owner
//   (normally on the main thread; WaitFor also works on another thread,
//   where it simply joins). Terminated() is atomic and read by the worker.
// - The registry is guarded by one lock, RegistryLock(): threads are added
//   on the creating thread and removed on the destroying one, which for a
//   free-on-terminate thread is the worker itself as it ends.
// - The hand-off queue is guarded by the same lock; the event runs on the
//   main thread, the worker blocks on a condition variable meanwhile.
// - A thread's resumed and finished flags and its fatal exception are
//   guarded by that lock too. Every field the lock guards is GUARDED_BY it
//   (checked by clang). The thread object itself, the free-on-terminate
//   flag included, is set up by the owner before Resume(), which takes the
//   lock before the worker starts.

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <thread>

#include "platform/ThreadAnnotations.h"

namespace zt {

class TMMDSPComponent;

class TMMDSPThread {
public:
    using Body = std::function<void(TMMDSPThread& self)>;

    // Created suspended; registers in the thread registry.
    explicit TMMDSPThread(TMMDSPComponent* owner, Body body = {});
    // Not free-on-terminate: Terminate(), then waits for the end (serving
    // hand-offs when called on the main thread) and unregisters. A thread
    // that was never resumed never runs. A derived class whose Execute()
    // uses its own members calls TerminateAndWait() in its destructor, so
    // the worker is gone before those members are.
    virtual ~TMMDSPThread();
    TMMDSPThread(const TMMDSPThread&) = delete;
    TMMDSPThread& operator=(const TMMDSPThread&) = delete;

    TMMDSPComponent* Owner() const { return owner_; }

    // When set before Resume(), the thread deletes itself on the worker as
    // it ends; the owner must then not touch the object once resumed (it
    // watches its own signal instead, through WaitOnMainThread).
    void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
    bool FreeOnTerminate() const { return freeOnTerminate_; }

    // Starts the worker (once; later calls do nothing).
    void Resume() EXCLUDES(RegistryLock());
    bool IsResumed() const EXCLUDES(RegistryLock());

    // Asks the worker to end; Execute() polls Terminated().
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }

    // Waits until the worker has finished; true when it has (a thread that
    // was never resumed counts as finished). On the main thread, pending
    // hand-offs run while waiting. A timeout of zero or less waits without
    // limit. Must not be called on the worker itself.
    bool WaitFor(std::chrono::milliseconds timeout = std::chrono::milliseconds(0))
        EXCLUDES(RegistryLock());
    void TerminateAndWait() EXCLUDES(RegistryLock());
    bool Finished() const EXCLUDES(RegistryLock());

    // The exception that escaped Execute(), if any (kept for the owner).
    std::exception_ptr FatalException() const EXCLUDES(RegistryLock());

    // Runs event on the main thread and waits for it (see the file comment).
    // Called on the worker; on the main thread it runs the event directly.
    void Synchronize(const std::function<void()>& event) EXCLUDES(RegistryLock());

    // The TMMDSPThread running the calling code, or nullptr.
    static TMMDSPThread* Current();
    static bool IsRegistered(const TMMDSPThread* thread) EXCLUDES(RegistryLock());
    static size_t RegisteredCount() EXCLUDES(RegistryLock());

    // True on the thread of the Qt application object (true everywhere
    // when there is none).
    static bool OnMainThread();
    // Main thread: waits until condition() holds or the timeout passes,
    // running pending hand-offs meanwhile. The condition is checked again
    // after each hand-off, whenever a registered thread ends or leaves the
    // registry, on WakeWaiters(), and at least every 10 ms. Zero or less
    // waits without limit. Returns the last value of condition().
    static bool WaitOnMainThread(const std::function<bool()>& condition,
                                 std::chrono::milliseconds timeout) EXCLUDES(RegistryLock());
    // Wakes WaitOnMainThread so that it checks its condition again.
    static void WakeWaiters() EXCLUDES(RegistryLock());
    // Main thread: runs every queued hand-off now.
    static void RunPendingHandOffs() EXCLUDES(RegistryLock());

protected:
    // The work; the default runs the body given to the constructor.
    virtual void Execute();

private:
    // The registry and the hand-off queue (DSPThread.cpp).
    struct HandOff;
    struct ThreadState;
    static ThreadState& State();
    // The one lock of the registry, the hand-off queue and the flags below.
    static Mutex& RegistryLock();

    void Run() EXCLUDES(RegistryLock());

    TMMDSPComponent* owner_;
    Body body_;
    // Assigned in Resume() under the lock, which the worker takes before it
    // reads it; joined by the owner.
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    bool freeOnTerminate_ = false;  // set before Resume()
    bool resumed_ GUARDED_BY(RegistryLock()) = false;
    bool finished_ GUARDED_BY(RegistryLock()) = false;
    std::exception_ptr fatal_ GUARDED_BY(RegistryLock());  // written by the worker with finished_
};

// Runs event on the main thread when called on a registered TMMDSPThread
// (the caller waits; exceptions go to the error display on the main
// thread), else directly on the calling thread.
void RunEventOnMainThread(const std::function<void()>& event);

}  // namespace zt
