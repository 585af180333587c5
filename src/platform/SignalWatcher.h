#pragma once
// Turns the termination signals (SIGTERM, SIGINT, SIGHUP) into a Qt signal
// on the main thread, so that a request to end the program finishes the
// segment in progress the way closing the window does.
//
// Threads: construct, destroy and connect on one thread (the main thread);
// Received is emitted on that thread from its event loop, nested loops of
// modal dialogs included. The POSIX handler may run on any thread: it only
// saves errno, write()s one byte into a process-wide non-blocking pipe and
// restores errno, which is async-signal-safe. The pipe is created once and
// kept open for the life of the process, so a handler that is still running
// on another thread while a watcher is being destroyed never writes into a
// descriptor that has been closed and reused. At most one watcher is alive at
// a time; constructing a second one throws zt::Exception.

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace zt {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Catches SIGTERM, SIGINT and SIGHUP for the whole process (one live
    // instance at a time); the destructor restores the previous handlers.
    // SIGINT and SIGHUP that the process inherited as ignored (nohup, a
    // background job) stay ignored.
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

signals:
    // Delivered on the thread that created the watcher (the main thread),
    // through its event loop, never inside the signal handler.
    void Received(int signalNumber);

private:
    void ReadPipe();

    QSocketNotifier* notifier_ = nullptr;
    struct SavedActions;
    std::unique_ptr<SavedActions> saved_;
};

}  // namespace zt
