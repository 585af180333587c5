#include "update/UpdateWorker.h"

namespace zt {

UpdateWorker::UpdateWorker() : thread_([this] { Loop(); }) {}

UpdateWorker::~UpdateWorker() {
    {
        MutexLock guard(lock_);
        quit_ = true;
        jobs_.clear();
    }
    changed_.notify_all();
    thread_.join();
    owner_.DropPending();
}

void UpdateWorker::Run(std::function<void()> job, Done done) {
    ++unfinished_;
    {
        MutexLock guard(lock_);
        jobs_.push_back(Job{std::move(job), std::move(done)});
    }
    changed_.notify_all();
}

void UpdateWorker::Loop() {
    for (;;) {
        Job job;
        {
            UniqueLock lk(lock_);
            while (jobs_.empty() && !quit_) lk.Wait(changed_);
            if (quit_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        std::exception_ptr error;
        try {
            job.work();
        } catch (...) {
            error = std::current_exception();
        }
        owner_.Post([this, done = std::move(job.done), error] {
            --unfinished_;
            if (done) done(error);
        });
    }
}

}  // namespace zt
