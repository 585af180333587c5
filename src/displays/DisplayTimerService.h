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
// - Manual mode (tests): no thread; Tick() runs one tick on the caller's
//   thread.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

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
    ClientId Register(int intervalMs, Callback callback);
    void Unregister(ClientId id);
    void Suspend(ClientId id);
    void Resume(ClientId id);

    int Clients() const;
    bool Ticking() const;  // the thread runs (thread mode)
    int IntervalOf(ClientId id) const;
    int SuspendCountOf(ClientId id) const;
    int ElapsedOf(ClientId id) const;

    // One tick on the calling thread (manual mode; ignored otherwise).
    void Tick();

    // Tests: makes the next thread start fail, as if the system had no
    // timer left.
    void FailNextStartForTest() { failNextStart_ = true; }

private:
    struct Entry {
        ClientId id;
        int interval;
        Callback callback;
        int suspended = 0;
        int elapsed = 0;
    };
    void TickLocked();
    void Run();
    Entry* Find(ClientId id);
    const Entry* Find(ClientId id) const;

    const Mode mode_;
    mutable std::mutex lock_;  // the entries; held while callbacks run
    std::list<Entry> entries_;
    ClientId nextId_ = 1;

    std::mutex lifecycle_;  // serialises starting and joining the thread
    std::condition_variable wake_;
    bool stop_ = false;  // under lock_
    std::thread thread_;
    bool failNextStart_ = false;
};

}  // namespace zt
