#include "displays/FrameClock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace zt {
namespace {

void RunUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) QCoreApplication::processEvents();
}

TEST(FrameClockTest, FeedersRunBeforeThePaintsTheyAskForInTheSameTick) {
    FrameClock& clock = FrameClock::Get();
    std::vector<std::string> log;
    int owner = 0, painter = 0;
    int ticks = 0;
    clock.AddFeeder(&owner, 2, [&] {
        ++ticks;
        log.push_back("feed");
        clock.RequestPaint(&painter, [&] { log.push_back("paint"); });
        clock.RequestPaint(&painter, [&] { log.push_back("second request"); });
    });
    EXPECT_TRUE(clock.Running());
    RunUntil([&] { return ticks >= 3; });
    clock.RemoveFeeder(&owner);
    ASSERT_GE(log.size(), 6u);
    for (size_t i = 0; i + 1 < log.size(); i += 2) {
        EXPECT_EQ(log[i], "feed");
        EXPECT_EQ(log[i + 1], "paint") << "painted in the feeder's own tick, once";
    }
    EXPECT_EQ(clock.WaitingPaints(), 0);
    EXPECT_FALSE(clock.Running()) << "nobody wants ticks";
}

TEST(FrameClockTest, ACancelledPaintNeverRuns) {
    FrameClock& clock = FrameClock::Get();
    int painter = 0, other = 0;
    bool painted = false, otherPainted = false;
    clock.RequestPaint(&painter, [&] { painted = true; });
    clock.RequestPaint(&other, [&] { otherPainted = true; });
    clock.CancelPaint(&painter);
    RunUntil([&] { return otherPainted; });
    EXPECT_TRUE(otherPainted);
    EXPECT_FALSE(painted);
}

}  // namespace
}  // namespace zt
