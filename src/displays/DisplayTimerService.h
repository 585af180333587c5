#pragma once
// One 25 ms periodic timer shared by every live display and connector:
// the meters' and the analyser's peak hold, the connector's pause timer.
//
// A client registers with an interval (raised to at least 25 ms) and a
// callback; on every tick each client that is not suspended adds 25 ms to
// its elapsed time and, when that reaches its interval, has its callback
// called and starts counting again. Suspend (nestable) stops a client's
// counting and clears its elapsed time; Resume undoes one Suspend.
//
// Threads:
// - The ticking thread is started with the first client and joined when
//   the last one leaves. Callbacks run on it, one at a time, under the
//   service's lock; a callback must touch only atomics or state under its
//   owner's own lock, and must not call back into the service.
// - Register, Unregister, Suspend, Resume may be called from any thread
//   but a callback. When Unregister returns, the client's callback is not
//   running and will never run again, so the owner may then be destroyed.
// - lock_ guards the entries, the id counter and the stop flag; lifecycle_
//   (taken before lock_) guards the thread object and the test's
//   start-failure flag. Both are GUARDED_BY (checked by clang).
// - Manual mode (tests): no thread; Tick() runs one tick on the caller's
//   thread.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <thread>

#include "platform/ThreadAnnotations.h"

namespace zt {

class DisplayTimerService {
public:
    static constexpr int kPeriodMs = 25;
    using ClientId = uint32_t;  // 0 = no client
    using Callback = std::function<void()>;
    enum class Mode { Thread, Manual };

    explicit DisplayTimerService(Mode mode = Mode::Thread);
    ~DisplayTimerService();
    DisplayTimerService(const DisplayTimerService&) = delete;
    DisplayTimerService& operator=(const DisplayTimerService&) = delete;

    // The process's service (thread mode).
    static DisplayTimerService& Shared();

    // A new client, or 0 when the ticking thread cannot be started.
    ClientId Register(int intervalMs, Callback callback) EXCLUDES(lifecycle_, lock_);
    void Unregister(ClientId id) EXCLUDES(lifecycle_, lock_);
    void Suspend(ClientId id) EXCLUDES(lock_);
    void Resume(ClientId id) EXCLUDES(lock_);

    int Clients() const EXCLUDES(lock_);
    bool Ticking() const EXCLUDES(lock_);  // the thread runs (thread mode)
    int IntervalOf(ClientId id) const EXCLUDES(lock_);
    int SuspendCountOf(ClientId id) const EXCLUDES(lock_);
    int ElapsedOf(ClientId id) const EXCLUDES(lock_);

    // One tick on the calling thread (manual mode; ignored otherwise).
    void Tick() EXCLUDES(lock_);

    // Tests: makes the next thread start fail, as if the system had no
    // timer left.
    void FailNextStartForTest() EXCLUDES(lifecycle_) {
        MutexLock life(lifecycle_);
        failNextStart_ = true;
    }

private:
    struct Entry {
        ClientId id;
        int interval;
        Callback callback;
        int suspended = 0;
        int elapsed = 0;
    };
    void TickLocked() REQUIRES(lock_);
    void Run() EXCLUDES(lock_);
    Entry* Find(ClientId id) REQUIRES(lock_);
    const Entry* Find(ClientId id) const REQUIRES(lock_);

    const Mode mode_;
    mutable Mutex lock_;  // the entries; held while callbacks run
    std::list<Entry> entries_ GUARDED_BY(lock_);
    ClientId nextId_ GUARDED_BY(lock_) = 1;

    // Serialises starting and joining the thread.
    Mutex lifecycle_ ACQUIRED_BEFORE(lock_);
    std::condition_variable wake_;
    bool stop_ GUARDED_BY(lock_) = false;
    std::thread thread_ GUARDED_BY(lifecycle_);
    bool failNextStart_ GUARDED_BY(lifecycle_) = false;
};

}  // namespace zt
