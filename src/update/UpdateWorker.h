#pragma once
// The thread the update's slow work runs on: requests to the update
// service, saving and unpacking the archive, installing its files. The
// window that starts the work stays responsive, and so does everything
// else the main thread carries (the recording among it).
//
// Jobs run one at a time, in the order they were queued. A job's outcome
// (nothing, or the exception it threw) is handed to its `done` on the main
// thread through the main-thread queue, after every call the job posted
// with PostToMain, so progress reports arrive before the end they precede.
//
// Destruction drops the jobs still queued and the calls not yet delivered,
// waits for the running job (its owner cancels its requests first, which
// end within about 100 ms) and ends the thread.
//
// Threads: Run, Busy and the destructor on the main thread; jobs on the
// worker thread; PostToMain from the jobs; done and posted calls on the main
// thread. The queue is guarded by `lock_`; the count of unfinished jobs is
// the main thread's.

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <thread>

#include "platform/MainThreadQueue.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

class UpdateWorker {
public:
    UpdateWorker();
    ~UpdateWorker();
    UpdateWorker(const UpdateWorker&) = delete;
    UpdateWorker& operator=(const UpdateWorker&) = delete;

    using Done = std::function<void(std::exception_ptr error)>;
    void Run(std::function<void()> job, Done done = {}) EXCLUDES(lock_);
    // A job's report to the main thread, delivered in order with the rest.
    void PostToMain(std::function<void()> call) const { owner_.Post(std::move(call)); }
    // A job is queued or running, or its outcome is not yet delivered.
    bool Busy() const { return unfinished_ > 0; }

private:
    struct Job {
        std::function<void()> work;
        Done done;
    };
    void Loop() EXCLUDES(lock_);

    mutable Mutex lock_;
    std::condition_variable changed_;
    std::deque<Job> jobs_ GUARDED_BY(lock_);
    bool quit_ GUARDED_BY(lock_) = false;
    // Main thread only.
    int unfinished_ = 0;
    MainThreadOwner owner_;
    std::thread thread_;
};

}  // namespace zt
