#include "audio/pump/Trigger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "audio/chain/MMErrors.h"
#include "audio/pump/PumpTestSupport.h"
#include "support/ScriptedDialogs.h"

namespace zt {
namespace {

using test::PumpSink;
using test::RunUntil;

// A pull source of `total` bytes of a counting pattern. With promiseTooMuch
// it claims more data after its first buffer and then delivers nothing.
class PatternSource : public TMMDSPComponent {
public:
    using TMMDSPComponent::TMMDSPComponent;
    bool HasOutputSide() const override { return true; }

    static char PatternAt(size_t i) { return static_cast<char>((i * 7 + i / 251) & 0xff); }
    std::string Expected() const {
        std::string s(total, '\0');
        for (size_t i = 0; i < total; ++i) s[i] = PatternAt(i);
        return s;
    }

    void Started() override {
        delivered = 0;
        TMMDSPComponent::Started();
    }
    void BufferLoad(PWaveHdr buffer, bool& moreBuffers) override {
        ++loads;
        if (promiseTooMuch && loads > 1) {
            buffer->wh.dwBytesRecorded = 0;
            moreBuffers = false;
            return;
        }
        const size_t n = std::min<size_t>(buffer->wh.dwBufferLength, total - delivered);
        for (size_t i = 0; i < n; ++i) buffer->wh.lpData[i] = PatternAt(delivered + i);
        delivered += n;
        buffer->wh.dwBytesRecorded = static_cast<uint32_t>(n);
        moreBuffers = promiseTooMuch || delivered < total;
    }

    size_t total = 0;
    bool promiseTooMuch = false;
    std::atomic<int> loads{0};
    size_t delivered = 0;
};

class TriggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        trigger.SetInput(&source);
        trigger.SetOutput(&sink);
        const WAVEFORMATEX format = MakePCMFormat(16, 2, 44100);
        source.SetWaveFormat(&format);
        trigger.OnStop = [this](TMMDSPComponent*) {
            ++stops;
            if (std::this_thread::get_id() != mainThread) ++offMainEvents;
        };
        trigger.OnClose = [this](TMMDSPComponent*) { ++closes; };
        trigger.OnError = [this](TMMDSPComponent*) { ++errors; };
        trigger.OnStart = [this](TMMDSPComponent*) { ++starts; };
    }

    void RunToStop() {
        ASSERT_TRUE(RunUntil([this] { return stops.load() > 0; }));
        // A stray second stop message would be handled by now.
        QCoreApplication::processEvents();
    }

    std::string StartError() {
        try {
            trigger.Start();
        } catch (const EMMTriggerError& e) {
            return e.what();
        }
        return {};
    }

    test::ScriptedDialogs dialogs;
    PatternSource source{"Source"};
    TMMTrigger trigger{"Trigger"};
    PumpSink sink{"Sink"};
    std::atomic<int> stops{0}, closes{0}, errors{0}, starts{0}, offMainEvents{0};
    std::thread::id mainThread = std::this_thread::get_id();
};

struct PumpCase {
    size_t total;
    int32_t bufferSize;
    int buffers;
};

class TriggerPumpTest : public TriggerTest, public ::testing::WithParamInterface<PumpCase> {};

TEST_P(TriggerPumpTest, PushesEverySourceByteInOrderThenStopsOnTheMainThread) {
    const PumpCase& c = GetParam();
    source.total = c.total;
    trigger.SetBufferSize(c.bufferSize);
    trigger.Start();
    EXPECT_EQ(starts, 1);
    RunToStop();

    EXPECT_EQ(sink.Buffers(), c.buffers);
    EXPECT_EQ(sink.Bytes(), source.Expected());
    // Start loads the first buffer on the main thread; every push runs on
    // the worker.
    EXPECT_EQ(sink.BuffersOffMainThread(), c.buffers);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(offMainEvents, 0);
    EXPECT_EQ(trigger.BytesPumped(), static_cast<int64_t>(c.total));
    // The export's chain stays open after the end of the data.
    EXPECT_EQ(trigger.State(), TMMTrigger::trsOpen);
    EXPECT_FALSE(sink.IsStarted());
    EXPECT_TRUE(sink.IsOpened());
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Sources, TriggerPumpTest,
                         ::testing::Values(PumpCase{2048, 2048, 1},       // exactly one buffer
                                           PumpCase{1, 2048, 1},          // less than one
                                           PumpCase{6144, 2048, 3},       // whole buffers
                                           PumpCase{6148, 2048, 4},       // a short last one
                                           PumpCase{100000, 32, 3125}));  // the smallest size

TEST_F(TriggerTest, OnBufferReadyRunsOnTheWorker) {
    source.total = 8192;
    trigger.SetBufferSize(2048);
    std::atomic<int> onWorker{0}, onMain{0};
    trigger.OnBufferReady = [&](TMMDSPComponent*, PWaveHdr) {
        (std::this_thread::get_id() == mainThread ? onMain : onWorker)++;
    };
    trigger.Start();
    RunToStop();
    EXPECT_EQ(onWorker, 4);
    EXPECT_EQ(onMain, 0);
}

TEST_F(TriggerTest, StartsAgainAfterTheEndOfTheDataAndAfterAClose) {
    source.total = 5000;
    trigger.SetBufferSize(2048);
    trigger.Start();
    RunToStop();
    sink.Clear();
    stops = 0;

    trigger.Start();  // still open: runs again on the same worker
    RunToStop();
    EXPECT_EQ(sink.Bytes(), source.Expected());
    EXPECT_EQ(stops, 1);

    trigger.Close();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(trigger.State(), TMMTrigger::trsClosed);
    sink.Clear();
    stops = 0;
    trigger.Start();  // opens again
    RunToStop();
    EXPECT_EQ(sink.Bytes(), source.Expected());
}

TEST_F(TriggerTest, AStopAskedForInsideAHandlerEndsTheRunAfterThatBuffer) {
    source.total = 20 * 2048;
    trigger.SetBufferSize(2048);
    std::atomic<int> pushed{0};
    trigger.OnBufferReady = [&](TMMDSPComponent* sender, PWaveHdr) {
        if (++pushed == 3) static_cast<TMMTrigger*>(sender)->Stop();
    };
    trigger.Start();
    RunToStop();
    EXPECT_EQ(sink.Buffers(), 3);
    EXPECT_EQ(sink.Bytes(), source.Expected().substr(0, 3 * 2048));
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(offMainEvents, 0);
    EXPECT_EQ(trigger.State(), TMMTrigger::trsOpen);
}

TEST_F(TriggerTest, APausedPumpPushesNothingUntilRestartedAndStopsWhilePaused) {
    source.total = 10 * 2048;
    trigger.SetBufferSize(2048);
    trigger.Pause();
    EXPECT_EQ(trigger.State(), TMMTrigger::trsOpen | TMMTrigger::trsPaused);
    trigger.Start();
    trigger.Stop();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(sink.Buffers(), 0);
    EXPECT_EQ(trigger.State(), TMMTrigger::trsOpen);

    stops = 0;
    trigger.Pause();
    trigger.Start();
    trigger.Restart();
    EXPECT_EQ(trigger.State(), TMMTrigger::trsOpen | TMMTrigger::trsStarted);
    RunToStop();
    EXPECT_EQ(sink.Bytes(), source.Expected());
}

TEST_F(TriggerTest, StartWithoutDataFailsClosesAndReportsNoStop) {
    source.total = 0;
    EXPECT_EQ(StartError(), "TriggerStart:\n\rUnable to start device");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(stops, 0);
    EXPECT_EQ(trigger.State(), TMMTrigger::trsClosed);
    EXPECT_FALSE(sink.IsOpened());
}

TEST_F(TriggerTest, StartWithoutFormatFailsBeforeOpening) {
    source.SetWaveFormat(nullptr);
    EXPECT_EQ(StartError(), "TriggerOpen:\n\rInvalid wave format");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(trigger.State(), TMMTrigger::trsClosed);
}

struct BrokenSourceCase {
    bool handled;
};
class TriggerBrokenSourceTest : public TriggerTest,
                                public ::testing::WithParamInterface<BrokenSourceCase> {};

TEST_P(TriggerBrokenSourceTest, AnEmptyBufferAfterAPromiseEndsTheRun) {
    source.total = 100000;
    source.promiseTooMuch = true;
    trigger.SetBufferSize(2048);
    std::atomic<int> errorEx{0};
    trigger.OnErrorEx = [&](TMMDSPComponent*, bool& handled) {
        ++errorEx;
        handled = GetParam().handled;
    };
    trigger.Start();
    if (GetParam().handled) {
        // Handled: the round ends as if the data had ended.
        RunToStop();
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(trigger.State(), TMMTrigger::trsOpen);
    } else {
        // Not handled: the worker ends; the main thread closes the pump and
        // shows the error there.
        ASSERT_TRUE(RunUntil([this] { return closes.load() > 0 && !dialogs.shown.empty(); }));
        EXPECT_EQ(
            dialogs.shown,
            (std::vector<test::ShownDialog>{{DialogKind::Error, "Error filling wave buffer"}}));
        EXPECT_EQ(trigger.State(), TMMTrigger::trsClosed);
        EXPECT_FALSE(sink.IsOpened());
    }
    EXPECT_EQ(sink.Buffers(), 1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(errorEx, 1);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(offMainEvents, 0);
}

INSTANTIATE_TEST_SUITE_P(Handling, TriggerBrokenSourceTest,
                         ::testing::Values(BrokenSourceCase{false}, BrokenSourceCase{true}));

TEST_F(TriggerTest, PropertiesKeepTheirBounds) {
    EXPECT_EQ(trigger.GetBufferSize(), 2048);
    EXPECT_EQ(trigger.GetTimeFormat(), TMMTimeFormats::tfByte);
    trigger.SetInterval(-5);
    EXPECT_EQ(trigger.GetInterval(), 0);
    trigger.SetInterval(7);
    EXPECT_EQ(trigger.GetInterval(), 7);
    trigger.SetBufferSize(10);
    EXPECT_EQ(trigger.GetBufferSize(), TMMTrigger::kMinBufferSize);
    trigger.SetTimeFormat(TMMTimeFormats::tfSample);
    EXPECT_EQ(trigger.GetTimeFormat(), TMMTimeFormats::tfSample);
}

TEST_F(TriggerTest, BufferSizeCannotChangeWhileOpen) {
    trigger.SetBufferSize(4096);
    trigger.Open();
    try {
        trigger.SetBufferSize(8192);
        FAIL() << "no error";
    } catch (const EMMTriggerError& e) {
        EXPECT_STREQ(e.what(), "Change to property while device was open");
    }
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(trigger.GetBufferSize(), 4096);
    trigger.SetBufferSize(4096);  // the same value is no change
    EXPECT_EQ(trigger.State(), TMMTrigger::trsOpen);
}

TEST_F(TriggerTest, OpenGivesTheSegmentThePumpsBufferSizeAndANewFormatClosesThePump) {
    trigger.SetBufferSize(32768);
    trigger.Open();
    EXPECT_TRUE(source.IsOpened());
    EXPECT_TRUE(sink.IsOpened());
    EXPECT_EQ(source.GetBufferSize(), 32768);
    EXPECT_EQ(sink.GetBufferSize(), 32768);

    const WAVEFORMATEX mono = MakePCMFormat(16, 1, 22050);
    source.SetWaveFormat(&mono);
    EXPECT_EQ(trigger.State(), TMMTrigger::trsClosed);
    EXPECT_EQ(closes, 1);
    ASSERT_NE(sink.GetWaveFormat(), nullptr);
    EXPECT_EQ(sink.GetWaveFormat()->nChannels, 1);
}

TEST_F(TriggerTest, ChainNotificationsDriveThePump) {
    // A pump inside another driver's segment follows that driver.
    source.total = 4096;
    trigger.Opened();
    EXPECT_EQ(trigger.State(), TMMTrigger::trsOpen);
    trigger.Started();
    RunToStop();
    EXPECT_EQ(sink.Bytes(), source.Expected());
    trigger.Closed();
    EXPECT_EQ(trigger.State(), TMMTrigger::trsClosed);
}

TEST_F(TriggerTest, DestroyingARunningPumpEndsItsWorkerWithoutEvents) {
    auto pump = std::make_unique<TMMTrigger>("Other");
    PatternSource other{"OtherSource"};
    other.total = 1 << 22;
    pump->SetInput(&other);
    const WAVEFORMATEX format = MakePCMFormat(16, 2, 44100);
    other.SetWaveFormat(&format);
    int events = 0;
    pump->OnStop = pump->OnClose = [&](TMMDSPComponent*) { ++events; };
    pump->Start();
    pump.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(events, 0);
    EXPECT_FALSE(other.IsOpened());
}

}  // namespace
}  // namespace zt
