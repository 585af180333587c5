// The registry of the threads that must never miss the sound card: threads
// registered before a raiser exists are raised when it is installed, later
// ones as they start, and a thread that ended is never raised.

#include "platform/AudioThreadPriority.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace zt {
namespace {

// A thread that registers, reports its id and stays until released.
class RegisteredThread {
public:
    RegisteredThread() {
        thread_ = std::thread([this] {
            AudioThreadRegistration registration;
            std::unique_lock lock(mutex_);
            tid_ = gettid();
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
        });
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return tid_ != 0; });
    }
    ~RegisteredThread() { Release(); }
    void Release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    pid_t tid() {
        std::lock_guard lock(mutex_);
        return tid_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    pid_t tid_ = 0;
    bool released_ = false;
    std::thread thread_;
};

TEST(AudioThreadPriorityTest, RaisesRunningThreadsAtOnceAndLaterOnesAsTheyStart) {
    // The raiser runs under the registry's lock, on whichever thread
    // installs it or registers; the set is read once those threads ended.
    std::mutex raisedLock;
    std::set<pid_t> raised;
    auto raiser = [&](pid_t tid) {
        std::lock_guard lock(raisedLock);
        raised.insert(tid);
        return tid % 2 == 0;  // the kernel may refuse some
    };

    RegisteredThread before;
    auto ended = std::make_unique<RegisteredThread>();
    const pid_t endedTid = ended->tid();
    ended.reset();
    EXPECT_EQ(RegisteredAudioThreadCount(), 1);

    const int raisedNow = SetAudioThreadRaiser(raiser);
    EXPECT_EQ(raisedNow, before.tid() % 2 == 0 ? 1 : 0) << "the raiser's answer is counted";
    {
        std::lock_guard lock(raisedLock);
        EXPECT_EQ(raised, std::set<pid_t>{before.tid()}) << "only the running thread";
    }

    RegisteredThread later;
    {
        std::lock_guard lock(raisedLock);
        EXPECT_TRUE(raised.count(later.tid())) << "a thread starting later raises itself";
        EXPECT_FALSE(raised.count(endedTid));
    }

    // Without a raiser, a new thread is left alone.
    SetAudioThreadRaiser({});
    RegisteredThread unraised;
    {
        std::lock_guard lock(raisedLock);
        EXPECT_FALSE(raised.count(unraised.tid()));
    }
    EXPECT_EQ(RegisteredAudioThreadCount(), 3);
}

}  // namespace
}  // namespace zt
