#pragma once
// Locks the compiler checks: clang's thread-safety analysis
// (-Wthread-safety) and a small mutex and lock guards it understands.
//
// Every field a lock guards is declared GUARDED_BY(that lock); a function
// that expects the caller to hold it is REQUIRES(lock), one that takes it
// itself EXCLUDES(lock). The standard library's std::mutex and
// std::lock_guard carry no annotations, so guarded fields sit behind a
// zt::Mutex taken with zt::MutexLock (or zt::UniqueLock where a condition
// variable waits on it). Under g++ the macros expand to nothing.
//
// Waiting on a condition variable: write the wait as a loop in the scope
// that holds the lock, so the analysis sees every read of a guarded field
// under it:
//     UniqueLock lock(mutex_);
//     while (!ready_) lock.Wait(cv_);
//
// Threads: Mutex and the guards are used from any thread, like std::mutex.

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define ZT_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZT_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) ZT_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY ZT_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) ZT_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) ZT_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) ZT_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) ZT_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) ZT_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) ZT_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) ZT_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) ZT_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) ZT_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) ZT_THREAD_ANNOTATION(assert_capability(x))
#define RETURN_CAPABILITY(x) ZT_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS ZT_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace zt {

// std::mutex with the annotations; BasicLockable, so std::scoped_lock and
// friends still work where the analysis need not follow.
class CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    friend class UniqueLock;
    std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~MutexLock() RELEASE() { mutex_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

// Holds a Mutex for its scope and lets a condition variable wait on it
// (the wait releases and retakes the mutex; to the analysis it stays held).
class SCOPED_CAPABILITY UniqueLock {
public:
    explicit UniqueLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~UniqueLock() RELEASE() {}
    UniqueLock(const UniqueLock&) = delete;
    UniqueLock& operator=(const UniqueLock&) = delete;

    void Wait(std::condition_variable& cv) { cv.wait(lock_); }
    // False when the time ran out.
    template <class Rep, class Period>
    bool WaitFor(std::condition_variable& cv, std::chrono::duration<Rep, Period> time) {
        return cv.wait_for(lock_, time) == std::cv_status::no_timeout;
    }
    template <class Clock, class Duration>
    bool WaitUntil(std::condition_variable& cv, std::chrono::time_point<Clock, Duration> when) {
        return cv.wait_until(lock_, when) == std::cv_status::no_timeout;
    }

private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace zt
