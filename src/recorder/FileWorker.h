#pragma once
// The recorder's worker for slow file work: renaming and copying finished
// segments, retention passes and the low-space guard's deletions. A slow
// backup drive, a network folder or a folder of tens of thousands of
// recordings then never holds up the main thread, which hands the capture's
// buffers on.
//
// Jobs run one at a time on one thread, in the order they were queued, so
// the steps of one segment keep their order (rename, then copy) and one
// segment's work never overtakes an earlier segment's. A job's completion
// runs on the main thread through the main-thread queue, inside the error
// guard; an exception a job throws is shown there by the general error
// display.
//
// Destruction runs every job already queued (so the last segment of a
// session is still renamed and copied when the program ends) and then
// ends the thread; completions that have not run by then are dropped.
//
// Threads: Post, Run, Drain and the destructor on the main thread; jobs on
// the worker thread; completions on the main thread. The queue and the
// busy flag are guarded by `lock_`.

#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>
#include <utility>

#include "platform/ErrorDisplay.h"
#include "platform/MainThreadQueue.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

class FileWorker {
public:
    FileWorker();
    ~FileWorker();
    FileWorker(const FileWorker&) = delete;
    FileWorker& operator=(const FileWorker&) = delete;

    // Queues a job; an exception it throws is shown on the main thread.
    void Post(std::function<void()> job) EXCLUDES(lock_);

    // Queues job; its result is handed to done on the main thread.
    template <class R>
    void Run(std::function<R()> job, std::function<void(R)> done) {
        Post([this, job = std::move(job), done = std::move(done)]() mutable {
            R result = job();
            owner_.Post([done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            });
        });
    }

    // Main thread: waits until every job queued so far has run, then runs
    // the completions they left. For the end of a recording and for tests.
    void Drain() EXCLUDES(lock_);

    // Jobs queued or running.
    int Pending() const EXCLUDES(lock_);

private:
    void Loop() EXCLUDES(lock_);

    mutable Mutex lock_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_ GUARDED_BY(lock_);
    bool busy_ GUARDED_BY(lock_) = false;
    bool quit_ GUARDED_BY(lock_) = false;
    MainThreadOwner owner_;
    std::thread thread_;
};

}  // namespace zt
