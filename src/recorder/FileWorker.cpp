#include "recorder/FileWorker.h"

#include <exception>

namespace zt {

FileWorker::FileWorker() : thread_([this] { Loop(); }) {}

FileWorker::~FileWorker() {
    {
        MutexLock guard(lock_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void FileWorker::Post(std::function<void()> job) {
    {
        MutexLock guard(lock_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void FileWorker::Drain() {
    {
        UniqueLock lk(lock_);
        while (busy_ || !jobs_.empty()) lk.Wait(changed_);
    }
    owner_.RunPending();
}

int FileWorker::Pending() const {
    MutexLock guard(lock_);
    return int(jobs_.size()) + (busy_ ? 1 : 0);
}

void FileWorker::Loop() {
    for (;;) {
        std::function<void()> job;
        {
            UniqueLock lk(lock_);
            while (jobs_.empty() && !quit_) lk.Wait(changed_);
            // Queued jobs are run before the thread ends.
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
        }
        try {
            job();
        } catch (...) {
            owner_.Post([error = std::current_exception()] { std::rethrow_exception(error); });
        }
        {
            MutexLock guard(lock_);
            busy_ = false;
        }
        changed_.notify_all();
    }
}

}  // namespace zt
