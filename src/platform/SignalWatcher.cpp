#include "platform/SignalWatcher.h"

#include <QPointer>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "platform/ErrorDisplay.h"
#include "platform/Exceptions.h"

namespace zt {
namespace {

constexpr int kWatchedSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The self-pipe, created on first use and never closed (see the header).
int g_pipe[2] = {-1, -1};
std::once_flag g_pipeOnce;
// Write end as the handler sees it; -1 while no watcher is alive, so a
// signal that slips in between restoring the handlers and the next watcher
// is not queued for a watcher that never asked for it.
std::atomic<int> g_writeFd{-1};
std::atomic<bool> g_alive{false};

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free fd");

extern "C" void OnTerminationSignal(int signo) {
    const int savedErrno = errno;
    const int fd = g_writeFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signo);
        // A full pipe drops the byte: thousands of signals are already
        // queued then, and each of them asks for the same thing.
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

void CreatePipe() {
    if (::pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
    }
}

void DrainPipe() {
    unsigned char buf[256];
    while (::read(g_pipe[0], buf, sizeof buf) > 0) {
    }
}

}  // namespace

struct SignalWatcher::SavedActions {
    struct sigaction previous[std::size(kWatchedSignals)];
};

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    bool expected = false;
    if (!g_alive.compare_exchange_strong(expected, true)) {
        throw Exception("SignalWatcher: another watcher is already alive");
    }
    std::call_once(g_pipeOnce, CreatePipe);
    if (g_pipe[0] < 0) {
        const int err = errno;
        g_alive = false;
        throw Exception(std::string("SignalWatcher: pipe2:\n") + std::strerror(err));
    }
    // Bytes of signals caught by an earlier watcher belong to it.
    DrainPipe();

    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this,
            [this] { Guarded([this] { ReadPipe(); }); });

    saved_ = std::make_unique<SavedActions>();
    g_writeFd.store(g_pipe[1]);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Slow system calls of other threads (ALSA reads, file writes) resume
    // instead of failing with EINTR.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kWatchedSignals); ++i) {
        ::sigaction(kWatchedSignals[i], nullptr, &saved_->previous[i]);
        // Started under nohup (SIGHUP) or in the background of a shell
        // without job control (SIGINT), the program was asked to ignore
        // them: that wish is kept. SIGTERM, the system's request to end,
        // is always caught so that the segment is finished.
        if (kWatchedSignals[i] != SIGTERM && saved_->previous[i].sa_handler == SIG_IGN &&
            !(saved_->previous[i].sa_flags & SA_SIGINFO))
            continue;
        ::sigaction(kWatchedSignals[i], &action, nullptr);
    }
}

SignalWatcher::~SignalWatcher() {
    for (size_t i = 0; i < std::size(kWatchedSignals); ++i) {
        ::sigaction(kWatchedSignals[i], &saved_->previous[i], nullptr);
    }
    g_writeFd.store(-1);
    delete notifier_;
    notifier_ = nullptr;
    g_alive.store(false);
}

void SignalWatcher::ReadPipe() {
    std::vector<unsigned char> caught;
    unsigned char buf[64];
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], buf, sizeof buf);
        if (n > 0) {
            caught.insert(caught.end(), buf, buf + n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // empty (EAGAIN) or, impossibly, closed
        }
    }
    // A receiver may destroy the watcher (closing the window ends the
    // program); stop delivering then.
    QPointer<SignalWatcher> self(this);
    for (unsigned char signo : caught) {
        if (!self) return;
        Guarded([&] { emit Received(signo); });
    }
}

}  // namespace zt
