#include "platform/MainThreadQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <deque>
#include <unordered_map>

#include "platform/ErrorDisplay.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

namespace {

struct PendingCall {
    uint64_t owner;
    uint64_t generation;
    uint64_t serial;
    std::function<void()> call;
};

class Receiver;

// The process's queue. Created on first use and kept for the life of the
// process, so a worker that posts late never finds it gone.
class Queue {
public:
    static Queue& Get() {
        static Queue* queue = new Queue;
        return *queue;
    }

    uint64_t AddOwner() EXCLUDES(lock_) {
        MutexLock guard(lock_);
        const uint64_t id = nextOwner_++;
        generations_.emplace(id, 0);
        return id;
    }

    void RemoveOwner(uint64_t owner) EXCLUDES(lock_) {
        std::deque<PendingCall> dropped;
        {
            MutexLock guard(lock_);
            generations_.erase(owner);
            TakeLocked(owner, kAllSerials, dropped);
        }
        // The calls' captures are destroyed outside the lock.
    }

    bool Post(uint64_t owner, uint64_t generation, std::function<void()> call) EXCLUDES(lock_);

    void SetGeneration(uint64_t owner, uint64_t generation) EXCLUDES(lock_) {
        MutexLock guard(lock_);
        auto it = generations_.find(owner);
        if (it != generations_.end()) it->second = generation;
    }

    uint64_t Generation(uint64_t owner) const EXCLUDES(lock_) {
        MutexLock guard(lock_);
        auto it = generations_.find(owner);
        return it == generations_.end() ? 0 : it->second;
    }

    void DropPending(uint64_t owner) EXCLUDES(lock_) {
        std::deque<PendingCall> dropped;
        MutexLock guard(lock_);
        TakeLocked(owner, kAllSerials, dropped);
    }

    int PendingCount(uint64_t owner) const EXCLUDES(lock_) {
        MutexLock guard(lock_);
        int n = 0;
        for (const PendingCall& p : pending_) n += p.owner == owner;
        return n;
    }

    // Runs, one at a time, the calls of `owner` posted so far.
    void RunPending(uint64_t owner) EXCLUDES(lock_) {
        uint64_t last;
        {
            MutexLock guard(lock_);
            last = nextSerial_ - 1;
        }
        for (;;) {
            PendingCall next;
            {
                MutexLock guard(lock_);
                auto it = pending_.begin();
                while (it != pending_.end() && !(it->owner == owner && it->serial <= last)) ++it;
                if (it == pending_.end()) return;
                next = std::move(*it);
                pending_.erase(it);
                if (!RunnableLocked(next)) continue;
            }
            Guarded(next.call);
        }
    }

    // The main thread's turn: runs the calls that were waiting when it
    // began, so events posted meanwhile (paints, timers) are not held up
    // by a long backlog.
    void Drain() EXCLUDES(lock_) {
        uint64_t last;
        {
            MutexLock guard(lock_);
            wakePosted_ = false;
            last = nextSerial_ - 1;
        }
        for (;;) {
            PendingCall next;
            {
                MutexLock guard(lock_);
                if (pending_.empty()) return;
                if (pending_.front().serial > last) {
                    if (!wakePosted_) PostWakeLocked();
                    return;
                }
                next = std::move(pending_.front());
                pending_.pop_front();
                if (!RunnableLocked(next)) continue;
            }
            Guarded(next.call);
        }
    }

private:
    static constexpr uint64_t kAllSerials = std::numeric_limits<uint64_t>::max();

    bool RunnableLocked(const PendingCall& p) const REQUIRES(lock_) {
        auto it = generations_.find(p.owner);
        if (it == generations_.end()) return false;
        return p.generation == MainThreadOwner::kAnyGeneration || p.generation == it->second;
    }

    void TakeLocked(uint64_t owner, uint64_t last, std::deque<PendingCall>& out) REQUIRES(lock_) {
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->owner == owner && it->serial <= last) {
                out.push_back(std::move(*it));
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
    }

    void PostWakeLocked() REQUIRES(lock_);

    mutable Mutex lock_;
    std::deque<PendingCall> pending_ GUARDED_BY(lock_);
    std::unordered_map<uint64_t, uint64_t> generations_ GUARDED_BY(lock_);
    uint64_t nextOwner_ GUARDED_BY(lock_) = 1;
    uint64_t nextSerial_ GUARDED_BY(lock_) = 1;
    bool wakePosted_ GUARDED_BY(lock_) = false;
    Receiver* receiver_ GUARDED_BY(lock_) = nullptr;
};

QEvent::Type WakeType() {
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

// Lives on the application's thread and drains the queue when woken.
class Receiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != WakeType()) return QObject::event(e);
        Queue::Get().Drain();
        return true;
    }
};

bool Queue::Post(uint64_t owner, uint64_t generation, std::function<void()> call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    MutexLock guard(lock_);
    if (!receiver_) {
        receiver_ = new Receiver;
        receiver_->moveToThread(app->thread());
    }
    pending_.push_back(PendingCall{owner, generation, nextSerial_++, std::move(call)});
    if (!wakePosted_) PostWakeLocked();
    return true;
}

void Queue::PostWakeLocked() {
    // Posted inside the lock: the drain that follows takes it first.
    if (!receiver_) return;
    wakePosted_ = true;
    QCoreApplication::postEvent(receiver_, new QEvent(WakeType()));
}

}  // namespace

MainThreadOwner::MainThreadOwner() : id_(Queue::Get().AddOwner()) {}

MainThreadOwner::~MainThreadOwner() {
    Queue::Get().RemoveOwner(id_);
}

bool MainThreadOwner::Post(uint64_t generation, std::function<void()> call) const {
    return Queue::Get().Post(id_, generation, std::move(call));
}

void MainThreadOwner::SetGeneration(uint64_t generation) {
    Queue::Get().SetGeneration(id_, generation);
}

uint64_t MainThreadOwner::Generation() const {
    return Queue::Get().Generation(id_);
}

void MainThreadOwner::DropPending() {
    Queue::Get().DropPending(id_);
}

void MainThreadOwner::RunPending() {
    Queue::Get().RunPending(id_);
}

int MainThreadOwner::PendingCount() const {
    return Queue::Get().PendingCount(id_);
}

}  // namespace zt
