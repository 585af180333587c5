#include "platform/LogindInhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QtDebug>

#include <fcntl.h>
#include <unistd.h>

#include "platform/ErrorDisplay.h"

namespace zt {
namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kInterface = "org.freedesktop.login1.Manager";

}  // namespace

LogindInhibitor::LogindInhibitor(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

LogindInhibitor::~LogindInhibitor() {
    // Pending watchers are children of this object and die with it; their
    // replies, if any ever come, are dropped with the descriptor they carry.
    CloseLock();
}

void LogindInhibitor::Acquire() {
    if (held_) return;
    held_ = true;
    const uint64_t generation = ++generation_;
    try {
        if (!bus_.isConnected()) {
            qWarning("Shutdown inhibition unavailable: no system bus (%s)",
                     qUtf8Printable(bus_.lastError().message()));
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Inhibit");
        call << QString::fromUtf8(kWhat) << QString::fromUtf8(kWho) << QString::fromUtf8(kWhy)
             << QString::fromUtf8(kMode);
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, generation](QDBusPendingCallWatcher* w) {
                    Guarded([&] { OnReply(w, generation); });
                });
    } catch (const std::exception& e) {
        // Out of memory at worst; the recording matters more than the lock.
        qWarning("Shutdown inhibition not requested: %s", e.what());
    }
}

void LogindInhibitor::Release() {
    if (!held_) return;
    held_ = false;
    CloseLock();
}

void LogindInhibitor::OnReply(QDBusPendingCallWatcher* watcher, uint64_t generation) {
    watcher->deleteLater();
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError()) {
        qWarning("Shutdown inhibition refused: %s: %s", qUtf8Printable(reply.error().name()),
                 qUtf8Printable(reply.error().message()));
        return;
    }
    const QDBusUnixFileDescriptor lock = reply.value();
    if (!lock.isValid()) {
        qWarning("Shutdown inhibition: logind answered without a lock descriptor");
        return;
    }
    if (!held_ || generation != generation_) {
        // Released while the call was on its way: the reply's own copy of the
        // descriptor closes with it, which ends the lock at once.
        return;
    }
    // Our own copy: the reply's copy closes when the watcher goes.
    const int fd = ::fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        qWarning("Shutdown inhibition: cannot keep the lock descriptor");
        return;
    }
    CloseLock();
    fd_ = fd;
}

void LogindInhibitor::CloseLock() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

namespace {

// The socket of the system bus when its address is a plain unix path (the
// usual case, and the default without DBUS_SYSTEM_BUS_ADDRESS); "" for any
// other kind of address.
std::string SystemBusSocket() {
    QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (address.isEmpty()) address = "unix:path=/run/dbus/system_bus_socket";
    static const QByteArray prefix = "unix:path=";
    if (!address.startsWith(prefix)) return {};
    QByteArray path = address.mid(prefix.size());
    const qsizetype end = path.indexOf(',');
    if (end >= 0) path.truncate(end);
    const qsizetype next = path.indexOf(';');
    if (next >= 0) path.truncate(next);
    return path.toStdString();
}

// Where no system bus exists (a machine without one, a container): the
// intent is kept and the missing lock reported, without starting the bus
// machinery at all.
class IntentOnlyInhibitor final : public ShutdownInhibitor {
public:
    void Acquire() override {
        if (held_) return;
        held_ = true;
        qWarning("Shutdown inhibition unavailable: no system bus");
    }
    void Release() override { held_ = false; }
    bool Held() const override { return held_; }

private:
    bool held_ = false;
};

}  // namespace

std::unique_ptr<ShutdownInhibitor> MakeLogindInhibitor() {
    const std::string socket = SystemBusSocket();
    if (!socket.empty() && ::access(socket.c_str(), F_OK) != 0)
        return std::make_unique<IntentOnlyInhibitor>();
    return std::make_unique<LogindInhibitor>(QDBusConnection::systemBus());
}

}  // namespace zt
