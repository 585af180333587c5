#include "audio/capture/WaveInThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zt {

namespace {

int NiceOf(TThreadPriority priority) {
    switch (priority) {
        case TThreadPriority::tpIdle:
            return 19;
        case TThreadPriority::tpLowest:
            return 10;
        case TThreadPriority::tpLower:
            return 5;
        case TThreadPriority::tpNormal:
            return 0;
        case TThreadPriority::tpHigher:
            return -5;
        case TThreadPriority::tpHighest:
            return -10;
        case TThreadPriority::tpTimeCritical:
            return -20;
    }
    return 0;
}

}  // namespace

bool ApplyThreadPriority(long threadId, TThreadPriority priority) {
    if (threadId <= 0) return false;
    // On Linux the nice value belongs to the thread, addressed by its id.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), NiceOf(priority)) == 0;
}

TMMWaveInThread::TMMWaveInThread(TMMDSPComponent* owner, Handler handler, TThreadPriority priority)
    : TMMDSPThread(owner), handler_(std::move(handler)), priority_(priority) {}

TMMWaveInThread::~TMMWaveInThread() {
    RequestEnd();
    TerminateAndWait();
}

void TMMWaveInThread::Post(WAVEHDR* header, uint64_t session) {
    {
        MutexLock guard(queueLock_);
        queue_.push_back({header, session});
    }
    wake_.notify_one();
}

void TMMWaveInThread::RequestEnd() {
    {
        // Under the queue lock, so the worker cannot miss the request
        // between its check and its wait.
        MutexLock guard(queueLock_);
        Terminate();
    }
    wake_.notify_all();
}

void TMMWaveInThread::SetPriority(TThreadPriority priority) {
    priority_.store(priority);
    if (started_.load()) ApplyThreadPriority(tid_.load(), priority);
}

void TMMWaveInThread::Execute() {
    tid_.store(static_cast<long>(syscall(SYS_gettid)));
    ApplyThreadPriority(tid_.load(), priority_.load());
    started_.store(true);
    WakeWaiters();
    for (;;) {
        Item item;
        {
            UniqueLock lk(queueLock_);
            while (!Terminated() && queue_.empty()) lk.Wait(wake_);
            if (Terminated()) return;
            item = queue_.front();
            queue_.pop_front();
        }
        if (!handler_(item.header, item.session)) {
            failed_.store(true);
            WakeWaiters();
            return;
        }
    }
}

}  // namespace zt
