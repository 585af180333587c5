// The one queue from other threads to the main thread: order, generations,
// dropping, running an owner's calls at once, and errors.
#include "platform/MainThreadQueue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Exceptions.h"
#include "support/ScriptedDialogs.h"

namespace zt {
namespace {

// Runs the event loop until done() or two seconds have passed.
template <class Done>
bool ServeUntil(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void Serve() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

TEST(MainThreadQueueTest, CallsFromManyThreadsRunOnTheMainThreadEachThreadInOrder) {
    MainThreadOwner owner;
    constexpr int kThreads = 4, kCalls = 500;
    // Written by the posting threads before they post, read by the calls:
    // under ThreadSanitizer this also checks that delivery is ordered after
    // the post.
    std::vector<std::vector<int>> payload(kThreads, std::vector<int>(kCalls));
    std::vector<std::vector<int>> seen(kThreads);
    bool offMainThread = false;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                payload[t][i] = t * 100000 + i;
                owner.Post([&, t, i] {
                    if (QThread::currentThread() != QCoreApplication::instance()->thread())
                        offMainThread = true;
                    seen[t].push_back(payload[t][i]);
                });
            }
        });
    }
    for (auto& p : posters) p.join();
    ASSERT_TRUE(ServeUntil([&] {
        size_t n = 0;
        for (auto& s : seen) n += s.size();
        return n == size_t{kThreads} * kCalls;
    }));
    EXPECT_FALSE(offMainThread);
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kCalls; ++i) ASSERT_EQ(seen[t][i], t * 100000 + i);
    EXPECT_EQ(owner.PendingCount(), 0);
}

TEST(MainThreadQueueTest, CallsOfAnotherGenerationAreDroppedAndAnyGenerationRuns) {
    MainThreadOwner owner;
    owner.SetGeneration(7);
    std::vector<int> ran;
    std::thread([&] {
        owner.Post(7, [&] { ran.push_back(1); });
        owner.Post(6, [&] { ran.push_back(2); });  // late news of an earlier session
        owner.Post(MainThreadOwner::kAnyGeneration, [&] { ran.push_back(3); });
        owner.Post(7, [&] { ran.push_back(4); });
    }).join();
    // The session ends before the main thread gets to the calls: calls of
    // session 7 are void from now on.
    owner.SetGeneration(8);
    owner.Post(8, [&] { ran.push_back(5); });
    Serve();
    EXPECT_EQ(ran, (std::vector<int>{3, 5}));
    EXPECT_EQ(owner.Generation(), 8u);
}

TEST(MainThreadQueueTest, DroppedAndDestroyedOwnersCallsNeverRun) {
    std::vector<int> ran;
    MainThreadOwner kept;
    auto doomed = std::make_unique<MainThreadOwner>();
    kept.Post([&] { ran.push_back(1); });
    doomed->Post([&] { ran.push_back(2); });
    kept.DropPending();
    kept.Post([&] { ran.push_back(3); });
    doomed.reset();
    Serve();
    EXPECT_EQ(ran, (std::vector<int>{3}));
}

TEST(MainThreadQueueTest, RunPendingRunsOnlyThatOwnersCallsAtOnceInOrder) {
    MainThreadOwner mine, other;
    std::vector<int> ran;
    other.Post([&] { ran.push_back(10); });
    mine.Post([&] { ran.push_back(1); });
    other.Post([&] { ran.push_back(11); });
    mine.Post([&] {
        ran.push_back(2);
        // Posted while running: waits for the event loop, not this flush.
        mine.Post([&] { ran.push_back(3); });
    });
    mine.RunPending();
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(other.PendingCount(), 2);
    Serve();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 10, 11, 3}));
}

TEST(MainThreadQueueTest, AFailingCallIsShownAndTheNextOnesStillRun) {
    test::ScriptedDialogs dialogs;
    MainThreadOwner owner;
    int after = 0;
    owner.Post([] { throw Exception("Unable to write file"); });
    owner.Post([&] { ++after; });
    Serve();
    EXPECT_EQ(after, 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Unable to write file");
}

}  // namespace
}  // namespace zt
