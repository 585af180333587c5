#pragma once
// The capture thread of a wave-in component in cmThread mode: a worker with
// a queue of its own that receives the buffers the capture device hands
// back and runs the component's buffer handler for each, in arrival order.
//
// Life: created and resumed by the component's Open, which waits (serving
// main-thread hand-offs, see DSPThread.h) until the worker signals that it
// runs; ended by the component's Close (RequestEnd, then WaitFor). The
// worker ends by itself when the handler reports a failure; later buffers
// stay in the queue unhandled.
//
// Threads:
// - Post() is called by the capture back end's notification function, on
//   the back end's thread or on the main thread; it only queues and wakes.
// - The handler runs on the worker only.
// - RequestEnd(), SetPriority() and the queries may be called from any
//   thread; the queue is guarded by its own lock (GUARDED_BY, checked by
//   clang; never held while the handler runs), the start/fail flags and
//   the priority are atomics. The end request is an atomic of the thread
//   base, set under the queue lock so that the worker's wait sees it.
// - The thread id used to apply a priority is written by the worker before
//   it signals its start and read afterwards.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>

#include "audio/chain/DSPThread.h"
#include "audio/chain/WaveFormat.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

// Scheduling priority of a worker thread, lowest to highest.
enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// Applies priority to the thread with the given kernel thread id, as far as
// the process is permitted to (raising a priority usually needs a
// privilege; a refused change is ignored). Returns true when applied.
bool ApplyThreadPriority(long threadId, TThreadPriority priority);

class TMMWaveInThread : public TMMDSPThread {
public:
    // Handles one buffer of the given open session; false ends the thread
    // (the handler has already reported its failure).
    using Handler = std::function<bool(WAVEHDR* header, uint64_t session)>;

    TMMWaveInThread(TMMDSPComponent* owner, Handler handler, TThreadPriority priority);
    // Ends the worker and waits for it.
    ~TMMWaveInThread() override;

    // Queues one returned buffer for the handler.
    void Post(WAVEHDR* header, uint64_t session) EXCLUDES(queueLock_);
    // Asks the worker to end and wakes it.
    void RequestEnd() EXCLUDES(queueLock_);

    bool HasStarted() const { return started_.load(); }
    bool HasFailed() const { return failed_.load(); }

    void SetPriority(TThreadPriority priority);
    TThreadPriority Priority() const { return priority_.load(); }

protected:
    void Execute() override EXCLUDES(queueLock_);

private:
    struct Item {
        WAVEHDR* header;
        uint64_t session;
    };

    Handler handler_;
    std::atomic<TThreadPriority> priority_;
    std::atomic<bool> started_{false};
    std::atomic<bool> failed_{false};
    std::atomic<long> tid_{0};
    Mutex queueLock_;
    std::condition_variable wake_;
    std::deque<Item> queue_ GUARDED_BY(queueLock_);
};

}  // namespace zt
