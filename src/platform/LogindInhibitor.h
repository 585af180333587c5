#pragma once
// A logind "block" inhibitor lock ("shutdown:sleep"). logind hands out a file
// descriptor; the lock lasts exactly as long as that descriptor is open.
//
// Threads: main thread only (the thread that owns the bus connection's
// replies). Acquire sends the Inhibit call asynchronously and returns at
// once; the reply is handled later by the event loop of that thread. A bus
// that is missing, a logind that is missing or refuses, is not an error for
// the program: one qWarning line, and Held() still reports the intent.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>

#include "platform/ShutdownInhibitor.h"

class QDBusPendingCallWatcher;

namespace zt {

class LogindInhibitor : public QObject, public ShutdownInhibitor {
    Q_OBJECT
public:
    // Talks to logind on the given bus (the system bus in the program, a
    // private bus in tests). The connection is made by the caller, at start-up,
    // so that Acquire never waits for a connection to be set up.
    explicit LogindInhibitor(QDBusConnection bus, QObject* parent = nullptr);
    ~LogindInhibitor() override;  // closes the lock if held

    LogindInhibitor(const LogindInhibitor&) = delete;
    LogindInhibitor& operator=(const LogindInhibitor&) = delete;

    void Acquire() override;
    void Release() override;
    bool Held() const override { return held_; }

    // True while the lock descriptor from logind is open (Held() and the
    // reply has arrived).
    bool LockOpen() const { return fd_ >= 0; }

    // What the Inhibit call carries.
    static constexpr const char* kWhat = "shutdown:sleep";
    static constexpr const char* kWho = "Zelta Tresona";
    static constexpr const char* kWhy = "Gravação em andamento";
    static constexpr const char* kMode = "block";

private:
    void OnReply(QDBusPendingCallWatcher* watcher, uint64_t generation);
    void CloseLock();

    QDBusConnection bus_;
    bool held_ = false;
    int fd_ = -1;
    // Counts Acquire calls that sent a request; a reply that belongs to an
    // older one (Release came in between) is closed at once.
    uint64_t generation_ = 0;
};

}  // namespace zt
