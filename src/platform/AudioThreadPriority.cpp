#include "platform/AudioThreadPriority.h"

#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/ThreadAnnotations.h"

namespace zt {

namespace {

struct Registry {
    Mutex lock;
    std::vector<pid_t> threads GUARDED_BY(lock);
    AudioThreadRaiser raiser GUARDED_BY(lock);
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

int SetAudioThreadRaiser(AudioThreadRaiser raiser) {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.lock);
    registry.raiser = std::move(raiser);
    int raised = 0;
    if (registry.raiser)
        for (pid_t tid : registry.threads)
            if (registry.raiser(tid)) ++raised;
    return raised;
}

AudioThreadRegistration::AudioThreadRegistration() : tid_(gettid()) {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.lock);
    registry.threads.push_back(tid_);
    if (registry.raiser) registry.raiser(tid_);
}

AudioThreadRegistration::~AudioThreadRegistration() {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.lock);
    auto it = std::find(registry.threads.begin(), registry.threads.end(), tid_);
    if (it != registry.threads.end()) registry.threads.erase(it);
}

int RegisteredAudioThreadCount() {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.lock);
    return int(registry.threads.size());
}

}  // namespace zt
