#include <gtest/gtest.h>
#include <csignal>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QObject>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LogindInhibitor.h"
#include "platform/ShutdownInhibitor.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace zt {
namespace {

// Qt's bus connection runs a thread inside libraries built without the
// thread sanitizer, whose synchronisation it cannot see; under it the tests
// that start that thread report Qt's own doings, so they run in the other
// builds only.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kBusThreadUnseen = true;
#else
constexpr bool kBusThreadUnseen = false;
#endif
#else
constexpr bool kBusThreadUnseen = false;
#endif

// Bounds every wait for a bus round trip; only a failure ever reaches it.
constexpr int kBusLimitMs = 10000;

bool SpinUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < kBusLimitMs) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

// Collects qWarning lines while alive.
class WarningLog {
public:
    WarningLog() {
        lines().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type == QtWarningMsg) lines().push_back(text);
            });
    }
    ~WarningLog() { qInstallMessageHandler(previous_); }
    static std::vector<QString>& lines() {
        static std::vector<QString> all;
        return all;
    }

private:
    QtMessageHandler previous_;
};

// A pipe whose write end is handed to the inhibitor as its lock descriptor;
// the read end tells whether any copy of the write end is still open.
class LockPipe {
public:
    LockPipe() {
        int fds[2];
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            read_ = fds[0];
            write_ = fds[1];
        }
    }
    ~LockPipe() {
        if (read_ >= 0) ::close(read_);
        CloseWriteEnd();
    }
    bool ok() const { return read_ >= 0; }
    // A copy for the reply; our own write end is closed at once, so only
    // the copies in flight and the one the inhibitor keeps hold it open.
    QDBusUnixFileDescriptor HandOut() {
        QDBusUnixFileDescriptor copy(write_);
        CloseWriteEnd();
        return copy;
    }
    // Every write end is closed: the lock is over.
    bool AtEof() const {
        char c;
        return ::read(read_, &c, 1) == 0;
    }
    // Descriptors of this process that refer to the pipe (read end included).
    int OpenEnds() const {
        struct stat st;
        if (::fstat(read_, &st) != 0) return -1;
        const std::string target = "pipe:[" + std::to_string(st.st_ino) + "]";
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            if (std::filesystem::read_symlink(entry.path(), ec).string() == target) ++n;
        }
        return n;
    }

private:
    void CloseWriteEnd() {
        if (write_ >= 0) ::close(write_);
        write_ = -1;
    }
    int read_ = -1;
    int write_ = -1;
};

// The little of logind the inhibitor talks to: Manager.Inhibit, answered
// when the test says so.
class FakeLoginManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    struct Call {
        QStringList args;
        QDBusMessage message;
    };
    std::vector<Call> calls;
    QDBusConnection bus{QString()};

    void Answer(size_t index, LockPipe& pipe) {
        bus.send(calls.at(index).message.createReply(QVariant::fromValue(pipe.HandOut())));
    }
    void Refuse(size_t index) {
        bus.send(calls.at(index).message.createErrorReply("org.freedesktop.DBus.Error.AccessDenied",
                                                          "not allowed"));
    }

public slots:
    Q_SCRIPTABLE QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who,
                                                 const QString& why, const QString& mode) {
        setDelayedReply(true);
        bus = connection();
        calls.push_back({{what, who, why, mode}, message()});
        return {};
    }
};

// A private message bus with the fake logind on it, for the whole suite.
class PrivateBus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (kBusThreadUnseen) return;
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) return;
        daemon_ = new test::ChildProcess(daemon.toStdString(),
                                         {"--session", "--nofork", "--print-address"});
        if (!daemon_->Started()) return;
        // The daemon prints its address on the first line once it listens.
        QElapsedTimer clock;
        clock.start();
        std::string output;
        while ((output = daemon_->Output()).find('\n') == std::string::npos &&
               clock.elapsed() < kBusLimitMs && daemon_->Running())
            QThread::msleep(5);
        address_ = QString::fromStdString(output.substr(0, output.find('\n'))).trimmed();
    }
    static void TearDownTestSuite() {
        if (daemon_) {
            daemon_->Signal(SIGTERM);
            daemon_->WaitForExit(std::chrono::milliseconds(kBusLimitMs));
            delete daemon_;
            daemon_ = nullptr;
        }
    }

    void SetUp() override {
        if (kBusThreadUnseen) GTEST_SKIP() << "bus thread not visible to the thread sanitizer";
        if (address_.isEmpty()) GTEST_SKIP() << "dbus-daemon is not available";
        const QString id = QString::number(++connections_);
        serviceBus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, "logind-" + id));
        clientBus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, "client-" + id));
        ASSERT_TRUE(serviceBus_->isConnected());
        ASSERT_TRUE(clientBus_->isConnected());
        ASSERT_TRUE(clientBus_->connectionCapabilities() &
                    QDBusConnection::UnixFileDescriptorPassing);
    }
    void TearDown() override {
        if (serviceBus_) {
            serviceBus_->unregisterObject("/org/freedesktop/login1");
            serviceBus_->unregisterService("org.freedesktop.login1");
            QDBusConnection::disconnectFromBus(serviceBus_->name());
        }
        if (clientBus_) QDBusConnection::disconnectFromBus(clientBus_->name());
    }

    void StartLogind() {
        ASSERT_TRUE(serviceBus_->registerObject("/org/freedesktop/login1", &logind_,
                                                QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(serviceBus_->registerService("org.freedesktop.login1"));
    }

    static test::ChildProcess* daemon_;
    static QString address_;
    static int connections_;
    std::unique_ptr<QDBusConnection> serviceBus_;
    std::unique_ptr<QDBusConnection> clientBus_;
    FakeLoginManager logind_;
};
test::ChildProcess* PrivateBus::daemon_ = nullptr;
QString PrivateBus::address_;
int PrivateBus::connections_ = 0;

TEST_F(PrivateBus, HeldLockKeepsTheDescriptorOpenAndReleaseClosesIt) {
    StartLogind();
    LogindInhibitor inhibitor(*clientBus_);
    EXPECT_FALSE(inhibitor.Held());
    inhibitor.Acquire();
    inhibitor.Acquire();  // already held: no second request
    EXPECT_TRUE(inhibitor.Held());
    ASSERT_TRUE(SpinUntil([&] { return logind_.calls.size() == 1; }));
    EXPECT_EQ(logind_.calls[0].args,
              (QStringList{"shutdown:sleep", "Zelta Tresona",
                           QString::fromUtf8("Gravação em andamento"), "block"}));

    LockPipe lock;
    ASSERT_TRUE(lock.ok());
    logind_.Answer(0, lock);
    ASSERT_TRUE(SpinUntil([&] { return inhibitor.LockOpen(); }));
    // Once the copies in flight are gone, the inhibitor's is the one left.
    ASSERT_TRUE(SpinUntil([&] { return lock.OpenEnds() == 2; }));
    EXPECT_FALSE(lock.AtEof());
    EXPECT_TRUE(inhibitor.Held());

    inhibitor.Release();
    inhibitor.Release();
    EXPECT_FALSE(inhibitor.Held());
    EXPECT_FALSE(inhibitor.LockOpen());
    EXPECT_TRUE(lock.AtEof());
    EXPECT_EQ(lock.OpenEnds(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(logind_.calls.size(), 1u);
}

TEST_F(PrivateBus, ReplyAfterReleaseIsClosedAndOnlyTheLatestAcquireKeepsItsLock) {
    StartLogind();
    LogindInhibitor inhibitor(*clientBus_);
    inhibitor.Acquire();
    ASSERT_TRUE(SpinUntil([&] { return logind_.calls.size() == 1; }));
    inhibitor.Release();
    inhibitor.Acquire();
    ASSERT_TRUE(SpinUntil([&] { return logind_.calls.size() == 2; }));
    EXPECT_TRUE(inhibitor.Held());

    LockPipe stale, current;
    ASSERT_TRUE(stale.ok() && current.ok());
    logind_.Answer(0, stale);
    ASSERT_TRUE(SpinUntil([&] { return stale.AtEof(); }));
    EXPECT_FALSE(inhibitor.LockOpen());

    logind_.Answer(1, current);
    ASSERT_TRUE(SpinUntil([&] { return inhibitor.LockOpen(); }));
    ASSERT_TRUE(SpinUntil([&] { return current.OpenEnds() == 2; }));
    EXPECT_FALSE(current.AtEof());

    // Released with nothing pending on the way: the reply to a new request
    // that is released before it comes is closed too.
    inhibitor.Release();
    EXPECT_TRUE(current.AtEof());
    inhibitor.Acquire();
    ASSERT_TRUE(SpinUntil([&] { return logind_.calls.size() == 3; }));
    inhibitor.Release();
    LockPipe late;
    logind_.Answer(2, late);
    ASSERT_TRUE(SpinUntil([&] { return late.AtEof(); }));
    EXPECT_FALSE(inhibitor.Held());
    EXPECT_FALSE(inhibitor.LockOpen());
}

TEST_F(PrivateBus, DestroyingTheInhibitorEndsTheLock) {
    StartLogind();
    LockPipe lock;
    {
        LogindInhibitor inhibitor(*clientBus_);
        inhibitor.Acquire();
        ASSERT_TRUE(SpinUntil([&] { return logind_.calls.size() == 1; }));
        logind_.Answer(0, lock);
        ASSERT_TRUE(SpinUntil([&] { return inhibitor.LockOpen(); }));
    }
    ASSERT_TRUE(SpinUntil([&] { return lock.AtEof(); }));
}

TEST_F(PrivateBus, RefusalOrMissingLogindIsOneWarningAndTheIntentStays) {
    // In this order: once started, the fake stays on the bus.
    struct Case {
        const char* what;
        bool logindRuns;
    };
    for (const Case& c : {Case{"no logind on the bus", false}, Case{"logind refuses", true}}) {
        SCOPED_TRACE(c.what);
        if (c.logindRuns) StartLogind();
        WarningLog log;
        LogindInhibitor inhibitor(*clientBus_);
        inhibitor.Acquire();
        if (c.logindRuns) {
            ASSERT_TRUE(SpinUntil([&] { return logind_.calls.size() == 1; }));
            logind_.Refuse(0);
        }
        ASSERT_TRUE(SpinUntil([&] { return !WarningLog::lines().empty(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(WarningLog::lines().size(), 1u);
        EXPECT_TRUE(inhibitor.Held());
        EXPECT_FALSE(inhibitor.LockOpen());
        inhibitor.Release();
        EXPECT_FALSE(inhibitor.Held());
    }
}

TEST(ShutdownInhibitor, WithoutASystemBusAcquireAndReleaseOnlyFollowTheIntent) {
    test::TempDir dir;
    const QByteArray missing = ("unix:path=" + dir.file("no-bus-here")).c_str();
    const QByteArray saved = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", missing);

    // The program's factory does not even start the bus machinery then.
    std::unique_ptr<ShutdownInhibitor> fromFactory = MakeLogindInhibitor();
    EXPECT_EQ(dynamic_cast<LogindInhibitor*>(fromFactory.get()), nullptr);
    std::vector<ShutdownInhibitor*> inhibitors{fromFactory.get()};
    std::unique_ptr<LogindInhibitor> onMissingBus;
    if (!kBusThreadUnseen) {
        onMissingBus = std::make_unique<LogindInhibitor>(
            QDBusConnection::connectToBus(QString(missing), "missing-bus"));
        inhibitors.push_back(onMissingBus.get());
    }
    for (ShutdownInhibitor* inhibitor : inhibitors) {
        WarningLog log;
        EXPECT_FALSE(inhibitor->Held());
        EXPECT_NO_THROW(inhibitor->Acquire());
        EXPECT_TRUE(inhibitor->Held());
        EXPECT_EQ(WarningLog::lines().size(), 1u);
        QCoreApplication::processEvents();
        EXPECT_TRUE(inhibitor->Held());
        EXPECT_NO_THROW(inhibitor->Release());
        EXPECT_FALSE(inhibitor->Held());
        EXPECT_NO_THROW(inhibitor->Acquire());
        EXPECT_TRUE(inhibitor->Held());
        EXPECT_NO_THROW(inhibitor->Release());
        EXPECT_FALSE(inhibitor->Held());
    }
    onMissingBus.reset();
    if (!kBusThreadUnseen) QDBusConnection::disconnectFromBus("missing-bus");
    if (saved.isNull()) {
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    } else {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", saved);
    }
}

}  // namespace
}  // namespace zt

#include "ShutdownInhibitorTest.moc"
