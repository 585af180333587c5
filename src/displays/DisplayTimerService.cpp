#include "displays/DisplayTimerService.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace zt {

DisplayTimerService::DisplayTimerService(Mode mode) : mode_(mode) {}

DisplayTimerService::~DisplayTimerService() {
    MutexLock life(lifecycle_);
    {
        MutexLock guard(lock_);
        stop_ = true;
        entries_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

DisplayTimerService& DisplayTimerService::Shared() {
    // Never destroyed: displays of static lifetime may leave after main.
    static auto* service = new DisplayTimerService(Mode::Thread);
    return *service;
}

DisplayTimerService::Entry* DisplayTimerService::Find(ClientId id) {
    for (Entry& e : entries_)
        if (e.id == id) return &e;
    return nullptr;
}

const DisplayTimerService::Entry* DisplayTimerService::Find(ClientId id) const {
    for (const Entry& e : entries_)
        if (e.id == id) return &e;
    return nullptr;
}

DisplayTimerService::ClientId DisplayTimerService::Register(int intervalMs, Callback callback) {
    MutexLock life(lifecycle_);
    if (mode_ == Mode::Thread && !thread_.joinable()) {
        try {
            if (failNextStart_) {
                failNextStart_ = false;
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            {
                MutexLock guard(lock_);
                stop_ = false;
            }
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return 0;
        }
    }
    MutexLock guard(lock_);
    const ClientId id = nextId_++;
    if (nextId_ == 0) nextId_ = 1;
    entries_.push_back(Entry{id, std::max(intervalMs, kPeriodMs), std::move(callback)});
    return id;
}

void DisplayTimerService::Unregister(ClientId id) {
    if (id == 0) return;
    MutexLock life(lifecycle_);
    bool last = false;
    {
        // Taking the lock waits for a running callback to return.
        MutexLock guard(lock_);
        entries_.remove_if([id](const Entry& e) { return e.id == id; });
        last = entries_.empty();
        if (last) stop_ = true;
    }
    if (last && thread_.joinable()) {
        wake_.notify_all();
        thread_.join();
    }
}

void DisplayTimerService::Suspend(ClientId id) {
    MutexLock guard(lock_);
    if (Entry* e = Find(id)) {
        ++e->suspended;
        e->elapsed = 0;
    }
}

void DisplayTimerService::Resume(ClientId id) {
    MutexLock guard(lock_);
    if (Entry* e = Find(id)) e->suspended = std::max(e->suspended - 1, 0);
}

int DisplayTimerService::Clients() const {
    MutexLock guard(lock_);
    return static_cast<int>(entries_.size());
}

bool DisplayTimerService::Ticking() const {
    MutexLock guard(lock_);
    return mode_ == Mode::Thread && !stop_ && !entries_.empty();
}

int DisplayTimerService::IntervalOf(ClientId id) const {
    MutexLock guard(lock_);
    const Entry* e = Find(id);
    return e ? e->interval : 0;
}

int DisplayTimerService::SuspendCountOf(ClientId id) const {
    MutexLock guard(lock_);
    const Entry* e = Find(id);
    return e ? e->suspended : 0;
}

int DisplayTimerService::ElapsedOf(ClientId id) const {
    MutexLock guard(lock_);
    const Entry* e = Find(id);
    return e ? e->elapsed : 0;
}

void DisplayTimerService::Tick() {
    if (mode_ != Mode::Manual) return;
    MutexLock guard(lock_);
    TickLocked();
}

void DisplayTimerService::TickLocked() {
    for (Entry& e : entries_) {
        if (e.suspended > 0) continue;
        e.elapsed += kPeriodMs;
        if (e.elapsed >= e.interval) {
            e.elapsed = 0;
            if (e.callback) e.callback();
        }
    }
}

void DisplayTimerService::Run() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(kPeriodMs);
    auto next = Clock::now() + period;
    UniqueLock guard(lock_);
    while (!stop_) {
        // Sleeps until the next tick is due, or until told to stop.
        while (!stop_)
            if (!guard.WaitUntil(wake_, next)) break;
        if (stop_) break;
        TickLocked();
        // A late tick is not made up for: like a periodic system timer,
        // missed periods are dropped rather than delivered in a burst.
        next += period;
        const auto now = Clock::now();
        if (next < now) next = now + period;
    }
}

}  // namespace zt
