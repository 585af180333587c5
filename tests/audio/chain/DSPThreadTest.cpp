// The worker thread, its registry, and the hand-off of events to the main
// thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "audio/chain/ChainTestComponents.h"
#include "audio/chain/DSPThread.h"
#include "platform/Exceptions.h"
#include "support/ScriptedDialogs.h"

namespace zt {
namespace {

using namespace std::chrono_literals;

TEST(DSPThread, CreatedSuspendedRegisteredUntilDestroyed) {
    test::PassiveNode owner("Owner");
    const size_t before = TMMDSPThread::RegisteredCount();
    std::atomic<int> runs{0};
    auto thread = std::make_unique<TMMDSPThread>(&owner, [&](TMMDSPThread& self) {
        EXPECT_EQ(TMMDSPThread::Current(), &self);
        runs++;
    });
    const TMMDSPThread* raw = thread.get();
    EXPECT_EQ(thread->Owner(), &owner);
    EXPECT_TRUE(TMMDSPThread::IsRegistered(raw));
    EXPECT_EQ(TMMDSPThread::RegisteredCount(), before + 1);
    EXPECT_FALSE(thread->IsResumed());
    EXPECT_EQ(runs.load(), 0);

    thread->Resume();
    thread->Resume();  // once only
    EXPECT_TRUE(thread->WaitFor());
    EXPECT_TRUE(thread->Finished());
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(TMMDSPThread::IsRegistered(raw));  // until destroyed
    EXPECT_EQ(TMMDSPThread::Current(), nullptr);   // the test thread is no worker

    thread.reset();
    EXPECT_FALSE(TMMDSPThread::IsRegistered(raw));
    EXPECT_EQ(TMMDSPThread::RegisteredCount(), before);

    // Never resumed: never runs, destroyed without waiting.
    auto idle = std::make_unique<TMMDSPThread>(&owner, [&](TMMDSPThread&) { runs++; });
    EXPECT_TRUE(idle->WaitFor());
    idle.reset();
    EXPECT_EQ(runs.load(), 1);
}

TEST(DSPThread, HandOffRunsOnTheMainThreadWhileTheWorkerWaits) {
    const auto mainId = std::this_thread::get_id();
    std::thread::id ranOn;
    bool eventRan = false;  // plain: only safe because the worker waits
    bool workerSawIt = false;
    TMMDSPThread thread(nullptr, [&](TMMDSPThread&) {
        RunEventOnMainThread([&] {
            ranOn = std::this_thread::get_id();
            eventRan = true;
        });
        workerSawIt = eventRan;
    });
    thread.Resume();
    ASSERT_TRUE(thread.WaitFor());  // serves the hand-off while waiting
    EXPECT_EQ(ranOn, mainId);
    EXPECT_TRUE(workerSawIt);
}

TEST(DSPThread, HandOffThroughTheEventLoop) {
    const auto mainId = std::this_thread::get_id();
    std::thread::id ranOn;
    int count = 0;
    QEventLoop loop;
    TMMDSPThread thread(nullptr, [&](TMMDSPThread&) {
        for (int i = 0; i < 3; ++i)
            RunEventOnMainThread([&] {
                ranOn = std::this_thread::get_id();
                count++;
            });
        RunEventOnMainThread([&] { loop.quit(); });
    });
    thread.Resume();
    loop.exec();
    EXPECT_TRUE(thread.WaitFor());
    EXPECT_EQ(ranOn, mainId);
    EXPECT_EQ(count, 3);
}

TEST(DSPThread, ExceptionInAHandedOffEventGoesToTheErrorDisplay) {
    test::ScriptedDialogs dialogs;
    bool workerContinued = false;
    TMMDSPThread thread(nullptr, [&](TMMDSPThread&) {
        RunEventOnMainThread([] { throw Exception("Falha ao fechar o arquivo"); });
        workerContinued = true;
        RunEventOnMainThread([] { Abort(); });  // silent abort: nothing shown
    });
    thread.Resume();
    ASSERT_TRUE(thread.WaitFor());
    EXPECT_TRUE(workerContinued);
    EXPECT_FALSE(thread.FatalException());
    EXPECT_EQ(dialogs.shown,
              (std::vector<test::ShownDialog>{{DialogKind::Error, "Falha ao fechar o arquivo"}}));
}

TEST(DSPThread, OffAWorkerTheEventRunsDirectlyAndThrowsToTheCaller) {
    // Main thread.
    EXPECT_THROW(RunEventOnMainThread([] { throw Exception("direto"); }), Exception);
    // A thread that is no TMMDSPThread.
    std::thread::id ranOn;
    bool threw = false;
    std::thread plain([&] {
        try {
            RunEventOnMainThread([&] {
                ranOn = std::this_thread::get_id();
                throw Exception("direto");
            });
        } catch (const Exception&) {
            threw = true;
        }
    });
    const auto plainId = plain.get_id();
    plain.join();
    EXPECT_EQ(ranOn, plainId);
    EXPECT_TRUE(threw);
}

TEST(DSPThread, OwnerStopsAWorkerThatKeepsHandingOff) {
    // The worker hands off continuously; the owner's stop must not deadlock
    // although the worker is inside a hand-off at any moment.
    std::atomic<int> events{0};
    auto thread = std::make_unique<TMMDSPThread>(nullptr, [&](TMMDSPThread& self) {
        while (!self.Terminated()) RunEventOnMainThread([&] { events++; });
    });
    thread->Resume();
    ASSERT_TRUE(TMMDSPThread::WaitOnMainThread([&] { return events.load() >= 5; }, 0ms));
    thread->TerminateAndWait();
    EXPECT_TRUE(thread->Finished());
    // Same through the destructor.
    auto second = std::make_unique<TMMDSPThread>(nullptr, [&](TMMDSPThread& self) {
        while (!self.Terminated()) RunEventOnMainThread([&] { events++; });
    });
    second->Resume();
    const int seen = events.load();
    ASSERT_TRUE(TMMDSPThread::WaitOnMainThread([&] { return events.load() >= seen + 5; }, 0ms));
    second.reset();
}

TEST(DSPThread, EscapedExceptionIsKeptForTheOwner) {
    TMMDSPThread thread(nullptr, [](TMMDSPThread&) { throw Exception("falhou"); });
    thread.Resume();
    ASSERT_TRUE(thread.WaitFor());
    ASSERT_TRUE(thread.FatalException());
    EXPECT_THROW(std::rethrow_exception(thread.FatalException()), Exception);
}

TEST(DSPThread, FreeOnTerminateLeavesTheRegistryOnItsOwnAndReportsErrors) {
    test::ScriptedDialogs dialogs;
    const size_t before = TMMDSPThread::RegisteredCount();
    std::atomic<bool> ran{false};
    auto* quiet = new TMMDSPThread(nullptr, [&](TMMDSPThread&) { ran = true; });
    quiet->SetFreeOnTerminate(true);
    auto* failing =
        new TMMDSPThread(nullptr, [](TMMDSPThread&) { throw Exception("Erro no processo"); });
    failing->SetFreeOnTerminate(true);
    quiet->Resume();
    failing->Resume();
    ASSERT_TRUE(TMMDSPThread::WaitOnMainThread(
        [&] { return TMMDSPThread::RegisteredCount() == before; }, 0ms));
    EXPECT_TRUE(ran.load());
    // The error reaches the display through the event loop.
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.shown,
              (std::vector<test::ShownDialog>{{DialogKind::Error, "Erro no processo"}}));
}

TEST(DSPThread, RegistryChangesFromSeveralThreads) {
    // Threads are created, resumed and destroyed on several threads at once,
    // half of them ending on their own; the workers hand off to the main
    // thread meanwhile. Meant for ThreadSanitizer.
    const size_t before = TMMDSPThread::RegisteredCount();
    constexpr int kCreators = 4, kEach = 20;
    std::atomic<int> creatorsDone{0};
    int handedOff = 0;  // main thread only
    std::atomic<int> ran{0};
    std::vector<std::thread> creators;
    for (int c = 0; c < kCreators; ++c)
        creators.emplace_back([&] {
            for (int i = 0; i < kEach; ++i) {
                auto* t = new TMMDSPThread(nullptr, [&](TMMDSPThread&) {
                    ran++;
                    RunEventOnMainThread([&] { handedOff++; });
                });
                EXPECT_TRUE(TMMDSPThread::IsRegistered(t));
                if (i % 2) {
                    t->SetFreeOnTerminate(true);
                    t->Resume();
                } else {
                    t->Resume();
                    t->WaitFor();
                    delete t;
                }
            }
            creatorsDone++;
        });
    const bool settled = TMMDSPThread::WaitOnMainThread(
        [&] {
            return creatorsDone.load() == kCreators && TMMDSPThread::RegisteredCount() == before;
        },
        0ms);
    for (auto& c : creators) c.join();
    EXPECT_TRUE(settled);
    EXPECT_EQ(ran.load(), kCreators * kEach);
    EXPECT_EQ(handedOff, kCreators * kEach);
}

}  // namespace
}  // namespace zt
