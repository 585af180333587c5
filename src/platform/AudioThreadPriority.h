#pragma once
// The threads that must never miss the sound card (the capture threads)
// and the one way of raising them.
//
// The recorder raises its priority when its settings are applied, at
// start-up and after a save, while a capture thread may or may not be
// running, and capture threads come and go with every start, stop and
// device change. So a capture thread registers itself for as long as it
// runs, and whoever may raise threads installs a raiser once: every thread
// registered then is raised at once, and every thread that registers later
// is raised by itself as it starts. The raising itself belongs to the
// priority library; this registry knows only thread ids.
//
// Threads: any thread. Register and unregister run on the registering
// thread at its start and end (a lock and a system call, never on the
// per-buffer path); SetAudioThreadRaiser runs on the main thread. The
// raiser is called with the registry's lock held, so it must not call back
// into the registry.

#include <sys/types.h>

#include <functional>

namespace zt {

// Raises the thread with the Linux thread id `tid`; true when it now runs
// at the raised priority.
using AudioThreadRaiser = std::function<bool(pid_t tid)>;

// Installs `raiser` (empty: none; threads already raised stay raised)
// and runs it for every registered thread. Returns how many of them it
// raised.
int SetAudioThreadRaiser(AudioThreadRaiser raiser);

// Registers the calling thread for its lifetime in the scope (and raises it
// when a raiser is installed).
class AudioThreadRegistration {
public:
    AudioThreadRegistration();
    ~AudioThreadRegistration();
    AudioThreadRegistration(const AudioThreadRegistration&) = delete;
    AudioThreadRegistration& operator=(const AudioThreadRegistration&) = delete;

private:
    pid_t tid_;
};

// The number of threads registered now (for tests and diagnostics).
int RegisteredAudioThreadCount();

}  // namespace zt
