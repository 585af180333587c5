#include "displays/DisplayTimerService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zt {
namespace {

using Service = DisplayTimerService;

TEST(DisplayTimerServiceTest, ClientsFireWhenTheirIntervalIsReached) {
    Service timers(Service::Mode::Manual);
    int fast = 0, slow = 0;
    const auto a = timers.Register(10, [&] { ++fast; });  // raised to 25
    const auto b = timers.Register(60, [&] { ++slow; });
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_EQ(timers.IntervalOf(a), 25);
    EXPECT_EQ(timers.IntervalOf(b), 60);

    for (int i = 0; i < 6; ++i) timers.Tick();
    EXPECT_EQ(fast, 6);
    // 25 ms steps: 75 ms reaches 60, then counting starts again from 0.
    EXPECT_EQ(slow, 2);
    EXPECT_EQ(timers.ElapsedOf(b), 0);
    timers.Tick();
    EXPECT_EQ(timers.ElapsedOf(b), 25);
}

TEST(DisplayTimerServiceTest, SuspendIsCountedAndClearsTheElapsedTime) {
    Service timers(Service::Mode::Manual);
    int calls = 0;
    const auto id = timers.Register(50, [&] { ++calls; });
    timers.Tick();
    EXPECT_EQ(timers.ElapsedOf(id), 25);
    timers.Suspend(id);
    timers.Suspend(id);
    EXPECT_EQ(timers.ElapsedOf(id), 0);
    timers.Tick();
    timers.Resume(id);
    timers.Tick();
    EXPECT_EQ(calls, 0) << "still suspended once";
    timers.Resume(id);
    timers.Resume(id);  // never below zero
    EXPECT_EQ(timers.SuspendCountOf(id), 0);
    timers.Tick();
    timers.Tick();
    EXPECT_EQ(calls, 1);
    timers.Suspend(id);
    EXPECT_EQ(timers.SuspendCountOf(id), 1) << "one resume too many must not bank a suspend";
}

TEST(DisplayTimerServiceTest, TheThreadRunsWhileClientsExistAndUnregisterWaitsForTheCallback) {
    Service timers;
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    const auto id = timers.Register(25, [&] {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ++calls;
        inside = false;
    });
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(timers.Ticking());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (calls < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(calls.load(), 3);
    timers.Unregister(id);
    EXPECT_FALSE(inside.load());
    const int after = calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(calls.load(), after);
    EXPECT_FALSE(timers.Ticking());
    EXPECT_EQ(timers.Clients(), 0);

    // A new client starts the thread again.
    std::atomic<int> again{0};
    const auto next = timers.Register(25, [&] { ++again; });
    while (again == 0 && std::chrono::steady_clock::now() < deadline + std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(again.load(), 0);
    timers.Unregister(next);
}

TEST(DisplayTimerServiceTest, NoThreadMeansNoClient) {
    Service timers;
    timers.FailNextStartForTest();
    EXPECT_EQ(timers.Register(25, [] {}), 0u);
    EXPECT_EQ(timers.Clients(), 0);
    const auto id = timers.Register(25, [] {});
    EXPECT_NE(id, 0u);
    timers.Unregister(id);
}

}  // namespace
}  // namespace zt
