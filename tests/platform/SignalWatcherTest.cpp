#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include <signal.h>
#include <unistd.h>

#include "platform/Exceptions.h"
#include "platform/SignalWatcher.h"

namespace zt {
namespace {

// Generous limit for a delivery that should come at the next loop pass; only
// a failure ever waits for it.
constexpr int kDeliveryLimitMs = 5000;

struct Delivery {
    int signo;
    QThread* thread;
};

// Records every delivery with the thread it arrived on.
void Collect(SignalWatcher& watcher, std::vector<Delivery>& into) {
    QObject::connect(&watcher, &SignalWatcher::Received, [&into](int signo) {
        into.push_back({signo, QThread::currentThread()});
    });
}

// Runs the event loop until n deliveries arrived (false when they never do).
bool WaitForCount(const std::vector<Delivery>& got, size_t n) {
    QElapsedTimer clock;
    clock.start();
    while (got.size() < n && clock.elapsed() < kDeliveryLimitMs) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return got.size() >= n;
}

TEST(SignalWatcher, EachSignalArrivesOnTheMainThreadAfterTheHandler) {
    struct Case {
        const char* how;
        int signo;
        void (*send)(int);
    };
    const Case cases[] = {
        {"raise SIGTERM", SIGTERM, [](int s) { ::raise(s); }},
        {"kill SIGHUP", SIGHUP, [](int s) { ::kill(::getpid(), s); }},
        {"raise SIGINT", SIGINT, [](int s) { ::raise(s); }},
        // The handler runs on the sending thread; the delivery must not.
        {"SIGTERM from another thread", SIGTERM,
         [](int s) { std::thread([s] { ::raise(s); }).join(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        SignalWatcher watcher;
        std::vector<Delivery> got;
        Collect(watcher, got);
        c.send(c.signo);
        // Nothing runs inside the handler: the delivery waits for the loop.
        EXPECT_TRUE(got.empty());
        ASSERT_TRUE(WaitForCount(got, 1));
        EXPECT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].signo, c.signo);
        EXPECT_EQ(got[0].thread, qApp->thread());
    }
}

TEST(SignalWatcher, SignalsInARowAreEachDeliveredInOrder) {
    SignalWatcher watcher;
    std::vector<Delivery> got;
    Collect(watcher, got);
    ::raise(SIGTERM);
    ::raise(SIGHUP);
    ::raise(SIGTERM);
    ::kill(::getpid(), SIGINT);
    ASSERT_TRUE(WaitForCount(got, 4));
    QCoreApplication::processEvents();
    std::vector<int> numbers;
    for (const auto& d : got) numbers.push_back(d.signo);
    EXPECT_EQ(numbers, (std::vector<int>{SIGTERM, SIGHUP, SIGTERM, SIGINT}));
}

TEST(SignalWatcher, ArrivesWhileAModalDialogRunsItsOwnLoop) {
    SignalWatcher watcher;
    QDialog dialog;
    QObject::connect(&watcher, &SignalWatcher::Received, &dialog,
                     [&dialog](int signo) { dialog.done(signo); });
    QTimer::singleShot(0, &dialog, [] { ::raise(SIGHUP); });
    // Only reached when the signal never arrives.
    QTimer::singleShot(kDeliveryLimitMs, &dialog, [&dialog] { dialog.done(-1); });
    EXPECT_EQ(dialog.exec(), SIGHUP);
}

int g_customHits = 0;
extern "C" void CustomHandler(int) {
    ++g_customHits;
}

TEST(SignalWatcher, DestructionRestoresWhateverWasInstalledBefore) {
    struct Case {
        int signo;
        void (*handler)(int);
        bool caught;  // an inherited "ignore" of SIGHUP/SIGINT is kept
    };
    const Case cases[] = {
        {SIGTERM, SIG_DFL, true}, {SIGHUP, SIG_IGN, false}, {SIGINT, CustomHandler, true}};

    struct sigaction original[std::size(cases)];
    for (size_t i = 0; i < std::size(cases); ++i) {
        struct sigaction a;
        std::memset(&a, 0, sizeof a);
        a.sa_handler = cases[i].handler;
        sigemptyset(&a.sa_mask);
        ASSERT_EQ(::sigaction(cases[i].signo, &a, &original[i]), 0);
    }

    {
        SignalWatcher watcher;
        for (const auto& c : cases) {
            struct sigaction now;
            ::sigaction(c.signo, nullptr, &now);
            if (!c.caught) {
                EXPECT_EQ(now.sa_handler, c.handler) << c.signo;
                continue;
            }
            EXPECT_NE(now.sa_handler, c.handler) << c.signo;
            EXPECT_NE(now.sa_handler, SIG_DFL) << c.signo;
            EXPECT_NE(now.sa_handler, SIG_IGN) << c.signo;
        }
    }
    for (const auto& c : cases) {
        struct sigaction now;
        ::sigaction(c.signo, nullptr, &now);
        EXPECT_EQ(now.sa_handler, c.handler) << c.signo;
    }
    // The restored custom handler is the one that runs again.
    g_customHits = 0;
    ::raise(SIGINT);
    EXPECT_EQ(g_customHits, 1);

    for (size_t i = 0; i < std::size(cases); ++i) {
        ::sigaction(cases[i].signo, &original[i], nullptr);
    }
}

TEST(SignalWatcher, InheritedIgnoreOfHangUpAndInterruptIsKeptButTermIsCaught) {
    // As under nohup, or in the background of a shell without job control.
    struct sigaction ignore, before[3];
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    const int watched[] = {SIGHUP, SIGINT, SIGTERM};
    for (size_t i = 0; i < 3; ++i) ASSERT_EQ(::sigaction(watched[i], &ignore, &before[i]), 0);
    {
        SignalWatcher watcher;
        std::vector<int> received;
        QObject::connect(&watcher, &SignalWatcher::Received,
                         [&](int signo) { received.push_back(signo); });
        ::raise(SIGHUP);
        ::raise(SIGINT);
        ::raise(SIGTERM);
        QElapsedTimer waited;
        waited.start();
        while (received.empty() && waited.elapsed() < kDeliveryLimitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        // Still alive: the hang-up and the interrupt were ignored.
        EXPECT_EQ(received, std::vector<int>{SIGTERM});
    }
    for (size_t i = 0; i < 3; ++i) ::sigaction(watched[i], &before[i], nullptr);
}

TEST(SignalWatcher, OneAtATimeAndAFreshOneStartsClean) {
    {
        SignalWatcher first;
        EXPECT_THROW(SignalWatcher second, Exception);
        // The refused second one must not have undone the first one's handlers.
        std::vector<Delivery> got;
        Collect(first, got);
        ::raise(SIGTERM);
        ASSERT_TRUE(WaitForCount(got, 1));
        // A signal the first watcher never got to deliver stays with it.
        ::raise(SIGHUP);
    }
    SignalWatcher next;
    std::vector<Delivery> got;
    Collect(next, got);
    ::raise(SIGINT);
    ASSERT_TRUE(WaitForCount(got, 1));
    QCoreApplication::processEvents();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].signo, SIGINT);
}

}  // namespace
}  // namespace zt
