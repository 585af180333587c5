#include "displays/Connector.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstring>
#include <thread>

#include "app/MainWindowDisplaySetUp.h"
#include "audio/chain/MMErrors.h"
#include "audio/convert/codecs/CodecManager.h"
#include "displays/Level.h"

namespace zt {
namespace {

// A display that writes down what the connector hands it: the first
// sample of every window (the test data makes it the window's sample
// index, or its buffer's number) and the one after it, the formats it was
// told and its resets.
class ProbeDisplay : public TMMDisplayTarget {
public:
    explicit ProbeDisplay(int bytes) : bytes_(bytes) {}
    void SetPCMFormat(const WAVEFORMATEX* format) override {
        if (refuse) throw Exception("Invalid WaveFormat");
        formats.push_back(*format);
    }
    int BytesPerUpdate() const override { return bytes_; }
    void ProcessData(const void* data) override {
        int16_t first[2];
        std::memcpy(first, data, 4);
        windows.push_back(first[0]);
        seconds.push_back(first[1]);
    }
    void ResetData() override { ++resets; }

    int bytes_;
    bool refuse = false;
    std::vector<WAVEFORMATEX> formats;
    std::vector<int> windows;
    std::vector<int> seconds;
    int resets = 0;
};

// Receives what the connector passes on, and checks that the displays'
// copy was taken before.
class CheckingSink : public TMMDSPComponent {
public:
    CheckingSink(TMMConnector& connector) : TMMDSPComponent("Sink"), connector_(connector) {}
    bool HasInputSide() const override { return true; }
    void BufferReady(PWaveHdr buffer) override {
        ++buffers;
        copiedFirst = copiedFirst && connector_.DataLength() > 0;
        bytes += buffer->wh.dwBytesRecorded;
    }
    TMMConnector& connector_;
    int buffers = 0;
    uint64_t bytes = 0;
    bool copiedFirst = true;
};

// Interleaved 16-bit samples whose value is their index (mod 32768).
std::vector<int16_t> Ramp(size_t samples) {
    std::vector<int16_t> v(samples);
    for (size_t i = 0; i < samples; ++i) v[i] = static_cast<int16_t>(i % 32768);
    return v;
}

// One 4096-byte buffer of 16-bit stereo: every left sample holds the
// buffer's number `b`, every right sample its frame index, so a window's
// first frame tells where it came from.
std::vector<int16_t> Numbered(int b) {
    std::vector<int16_t> v(2048);
    for (size_t frame = 0; frame < 1024; ++frame) {
        v[2 * frame] = static_cast<int16_t>(b);
        v[2 * frame + 1] = static_cast<int16_t>(frame);
    }
    return v;
}

// Interleaved 16-bit samples numbered on from buffer `b` of a ramp (each
// buffer 2048 samples): buffer b's windows start at b * 2048 + 198 * j.
std::vector<int16_t> RampBuffer(int b) {
    std::vector<int16_t> v = Ramp(2048);
    for (int16_t& s : v) s = static_cast<int16_t>(s + b * 2048);
    return v;
}

class ConnectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        connector.SetClock([this] { return now; });
        const WAVEFORMATEX f = MakePCMFormat(16, 2, 44100);
        connector.SetWaveFormat(&f);
        connector.SetBufferSize(4096);
        connector.SetDisplay(TMMConnectorSlot::Level1, &level);
    }
    void TearDown() override {
        if (connector.Active()) connector.Stopped();
        if (connector.IsOpened()) connector.Closed();
    }

    void Start() {
        connector.Opened();
        connector.Started();
        QCoreApplication::processEvents();  // the queued arm
        ASSERT_TRUE(connector.Armed());
    }

    void Push(const std::vector<int16_t>& samples) {
        TStreamBufferHeader h{};
        h.wh.lpData = reinterpret_cast<char*>(const_cast<int16_t*>(samples.data()));
        h.wh.dwBufferLength = h.wh.dwBytesRecorded = static_cast<uint32_t>(samples.size() * 2);
        connector.BufferReady(&h);
    }

    int64_t now = 1'000'000;
    DisplayTimerService timers{DisplayTimerService::Mode::Manual};
    TMMConnector connector{"Connector", timers};
    ProbeDisplay level{396};
};

TEST_F(ConnectorTest, WindowsArePacedToTheirMomentOfAudio) {
    Start();
    Push(Ramp(2048));  // 4096 bytes at t = 1 s
    connector.DeliveryPass();
    EXPECT_EQ(level.windows, (std::vector<int>{0})) << "the window at 0 is due at once";

    // 396 bytes at 176400 bytes/s: 2244.9 us, rounded 2245.
    now += 2244;
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.size(), 1u);
    now += 1;
    connector.DeliveryPass();
    EXPECT_EQ(level.windows, (std::vector<int>{0, 198}));

    // A late round measures every window that came due, in order; the
    // last 136 bytes (a partial window) are never shown.
    now += 1'000'000;
    connector.DeliveryPass();
    EXPECT_EQ(level.windows,
              (std::vector<int>{0, 198, 396, 594, 792, 990, 1188, 1386, 1584, 1782}));
    EXPECT_EQ(connector.Delivered(TMMConnector::gLevels), 10u);
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.size(), 10u) << "the group waits for the next copy";

    Push(Ramp(2048));
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.size(), 11u);
    EXPECT_EQ(level.windows.back(), 0);
}

TEST_F(ConnectorTest, WithoutSynchronizeEveryWindowIsDueAtOnce) {
    connector.SetSynchronize(false);
    Start();
    Push(Ramp(2048));
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.size(), 10u);
}

TEST_F(ConnectorTest, ABufferLargerThanBufferSizeIsCopiedUpToIt) {
    CheckingSink sink(connector);
    connector.SetOutput(&sink);
    Start();
    Push(Ramp(4096));  // 8192 bytes
    EXPECT_EQ(connector.DataLength(), 4096u);
    EXPECT_EQ(sink.bytes, 8192u) << "the Output gets the whole buffer";
    EXPECT_TRUE(sink.copiedFirst);
    connector.SetOutput(nullptr);
}

TEST_F(ConnectorTest, DisabledItResetsTheDisplaysAndOnlyPassesBuffersOn) {
    CheckingSink sink(connector);
    connector.SetOutput(&sink);
    Start();
    Push(Ramp(2048));
    connector.DeliveryPass();
    ASSERT_EQ(level.windows.size(), 1u);

    connector.SetEnabled(false);
    EXPECT_EQ(level.resets, 1);
    EXPECT_FALSE(connector.Armed());
    EXPECT_EQ(TMMConnector::ArmedCount(), 0);
    now += 1'000'000;
    Push(Ramp(2048));
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.size(), 1u);
    EXPECT_EQ(sink.buffers, 2);

    // Enabled again while running: armed again through the queue.
    connector.SetEnabled(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(connector.Armed());
    Push(Ramp(2048));
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.size(), 2u);
    connector.SetOutput(nullptr);
}

TEST_F(ConnectorTest, SlotsFollowTheirRules) {
    ProbeDisplay other{80};
    // The same display cannot sit in both slots of a pair...
    connector.SetDisplay(TMMConnectorSlot::Level2, &level);
    EXPECT_EQ(connector.Display(TMMConnectorSlot::Level2), nullptr);
    // ...but in several spectrum slots.
    connector.SetDisplay(TMMConnectorSlot::Spectrum1, &other);
    connector.SetDisplay(TMMConnectorSlot::Spectrum2, &other);
    EXPECT_EQ(connector.Display(TMMConnectorSlot::Spectrum2), &other);
    // Assigning tells the display the format.
    ASSERT_FALSE(other.formats.empty());
    const uint32_t rate = other.formats.back().nSamplesPerSec;  // packed record: copy out
    EXPECT_EQ(rate, 44100u);

    {
        ProbeDisplay brief{80};
        connector.SetDisplay(TMMConnectorSlot::Meter1, &brief);
        EXPECT_EQ(connector.Display(TMMConnectorSlot::Meter1), &brief);
    }
    EXPECT_EQ(connector.Display(TMMConnectorSlot::Meter1), nullptr) << "no dangling slot";
    Start();
    Push(Ramp(2048));
    connector.DeliveryPass();  // would touch the destroyed display
    EXPECT_EQ(level.windows.size(), 1u);
    connector.SetDisplay(TMMConnectorSlot::Spectrum1, nullptr);
    connector.SetDisplay(TMMConnectorSlot::Spectrum2, nullptr);
}

TEST_F(ConnectorTest, ADisplayThatRefusesTheFormatIsLeftOutAndRecordingGoesOn) {
    ProbeDisplay picky{256};
    picky.refuse = true;
    connector.SetDisplay(TMMConnectorSlot::Spectrum1, &picky);
    Start();
    Push(Ramp(2048));
    connector.DeliveryPass();
    EXPECT_TRUE(picky.windows.empty());
    EXPECT_EQ(level.windows.size(), 1u);
    connector.SetDisplay(TMMConnectorSlot::Spectrum1, nullptr);
}

TEST_F(ConnectorTest, PauseShowsSilenceAtEveryTickAndStopResets) {
    Start();
    Push(Ramp(2048));
    connector.DeliveryPass();
    connector.Paused();
    EXPECT_TRUE(connector.PausedNow());
    // Buffers during the pause are not copied.
    Push(Ramp(2048));
    timers.Tick();  // 4096 bytes last 23 ms: every 25 ms tick is due
    connector.DeliveryPass();
    ASSERT_EQ(level.windows.size(), 2u);
    EXPECT_EQ(level.windows.back(), 0);
    now += 1'000'000;
    connector.DeliveryPass();
    for (size_t i = 1; i < level.windows.size(); ++i) EXPECT_EQ(level.windows[i], 0) << i;
    EXPECT_EQ(level.windows.size(), 11u);

    connector.Restarted();
    EXPECT_EQ(timers.Clients(), 0);
    connector.Stopped();
    EXPECT_EQ(level.resets, 1);
    EXPECT_EQ(connector.DataLength(), 0u);
    EXPECT_FALSE(connector.Armed());
}

TEST_F(ConnectorTest, RealTimeCannotChangeWhileOpened) {
    connector.Opened();
    try {
        connector.SetRealTime(false);
        FAIL() << "no error";
    } catch (const EMMConnectorError& e) {
        EXPECT_STREQ(e.what(), "Change to property while device was open");
    }
    EXPECT_TRUE(connector.RealTime());
    connector.Closed();
    connector.SetRealTime(false);
    EXPECT_FALSE(connector.RealTime());
}

TEST_F(ConnectorTest, SynchronousModeDeliversFromTheBufferCall) {
    connector.SetRealTime(false);
    connector.SetSynchronize(false);
    connector.Opened();
    connector.Started();
    EXPECT_FALSE(connector.Armed());
    Push(Ramp(2048));
    EXPECT_EQ(level.windows.size(), 10u);
}

TEST_F(ConnectorTest, ManualTriggerFromAnotherThreadIsPostedOnce) {
    connector.SetAutoTrigger(false);
    connector.SetSynchronize(false);
    Start();
    EXPECT_EQ(TMMConnector::ArmedCount(), 0) << "not part of the refresh loop";
    Push(Ramp(2048));
    std::thread([this] {
        connector.Trigger();
        connector.Trigger();  // one is pending already
    }).join();
    EXPECT_TRUE(level.windows.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(level.windows.size(), 10u);
    EXPECT_EQ(connector.Delivered(TMMConnector::gLevels), 10u);
    // On the main thread it delivers at once.
    Push(Ramp(2048));
    connector.Trigger();
    EXPECT_EQ(level.windows.size(), 20u);
}

TEST_F(ConnectorTest, OscilloscopeWindowsStartAtTheTriggerCrossing) {
    ProbeDisplay scope{400};
    connector.SetDisplay(TMMConnectorSlot::Oscope1, &scope);
    connector.SetTriggerMode(TMMTriggerMode::tmUpFlank);
    connector.SetTriggerLevel(50);
    connector.SetSynchronize(false);
    Start();
    // Left channel below half scale until frame 300, then above.
    std::vector<int16_t> pcm(2048, 0);
    for (size_t frame = 0; frame < 1024; ++frame) pcm[2 * frame] = frame < 300 ? -100 : 20000;
    pcm[2 * 300 + 1] = 4242;  // marks the crossing frame's right sample
    Push(pcm);
    connector.DeliveryPass();
    ASSERT_FALSE(scope.windows.empty());
    EXPECT_EQ(scope.windows.front(), 20000) << "the first window starts at the crossing";
    connector.SetDisplay(TMMConnectorSlot::Oscope1, nullptr);
}

TEST_F(ConnectorTest, ANonPcmInputIsConvertedForTheDisplays) {
    const WAVEFORMATEX alaw = [] {
        WAVEFORMATEX f = MakePCMFormat(8, 1, 8000);
        f.wFormatTag = 6;
        return f;
    }();
    connector.SetWaveFormat(&alaw);
    connector.SetBufferSize(1000);
    connector.SetSynchronize(false);
    level.bytes_ = 200;
    Start();
    ASSERT_TRUE(connector.Converting());
    EXPECT_EQ(connector.DisplayFormat()->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(connector.DisplayFormat()->wBitsPerSample, 16);
    EXPECT_EQ(level.formats.back().wBitsPerSample, 16);

    std::vector<uint8_t> coded(1000, 0xD5);  // A-law for a small positive value
    TStreamBufferHeader h{};
    h.wh.lpData = reinterpret_cast<char*>(coded.data());
    h.wh.dwBufferLength = h.wh.dwBytesRecorded = 1000;
    connector.BufferReady(&h);
    EXPECT_EQ(connector.DataLength(), 2000u);
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.size(), 10u);
    EXPECT_EQ(level.windows.front(), 8) << "0xD5 decodes to +8";
    // Converted buffers that come back to back are all held, too.
    connector.BufferReady(&h);
    connector.BufferReady(&h);
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.size(), 30u);

    // Without AutoConvert the displays get nothing, buffers still pass.
    connector.Stopped();
    connector.SetAutoConvert(false);
    connector.Started();
    EXPECT_FALSE(connector.Active());
    EXPECT_FALSE(connector.Converting());
}

TEST_F(ConnectorTest, TheRefreshLoopRunsWhileArmedAndAnArmCountsOnce) {
    int passes = 0;
    connector.OnTrigger = [&](TMMConnector*) { ++passes; };
    EXPECT_EQ(TMMConnector::RefreshIntervalMs(), 16);
    Start();
    // A stop and a start inside one handler: the earlier arm is still
    // queued when the new one comes.
    connector.Stopped();
    connector.Started();
    connector.Stopped();
    connector.Started();
    QCoreApplication::processEvents();
    EXPECT_EQ(TMMConnector::ArmedCount(), 1);

    QElapsedTimer clock;
    clock.start();
    while (passes < 5 && clock.elapsed() < 10000) QCoreApplication::processEvents();
    EXPECT_GE(passes, 5);

    connector.Stopped();
    EXPECT_EQ(TMMConnector::ArmedCount(), 0);
    const int after = passes;
    clock.restart();
    while (clock.elapsed() < 50) QCoreApplication::processEvents();
    EXPECT_EQ(passes, after) << "no rounds without an armed connector";

    connector.SetSpeed(4999);
    EXPECT_EQ(TMMConnector::RefreshIntervalMs(), 32);
    connector.SetSpeed(-7);
    EXPECT_EQ(connector.Speed(), 1);
    EXPECT_EQ(TMMConnector::RefreshIntervalMs(), 960);
    connector.SetSpeed(TMMConnector::kMaxSpeed);
}

// ---- buffers that come in bursts ---------------------------------------------------------

// The capture reads 50 ms periods, so two or three buffers come back to
// back between two rounds. A short full-scale click in any one of them
// lights the bar meter's peak: at the next pass without Synchronize, and
// with it at the first round (one every 16 ms) after the click's moment:
// it sits in the window from frame 495, 11.2 ms into its buffer, and each
// buffer starts 23.2 ms after the one before (34.4 ms, 57.7 ms).
TEST_F(ConnectorTest, AClickInAnyBufferOfABurstLightsTheMeterPeak) {
    struct Case {
        const char* name;
        int clickBuffer;
        bool synchronize;
        int firstLitRound;  // 0: the pass right after the burst
    };
    const Case cases[] = {
        {"first, unpaced", 0, false, 0}, {"middle, unpaced", 1, false, 0},
        {"last, unpaced", 2, false, 0},  {"first, paced", 0, true, 1},
        {"middle, paced", 1, true, 3},   {"last, paced", 2, true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMMLevel meter(254, 24, timers);
        SetUpMainWindowLevel(meter, TMMChannel::chLeft);
        connector.SetDisplay(TMMConnectorSlot::Level2, &meter);
        connector.SetSynchronize(c.synchronize);
        Start();
        for (int b = 0; b < 3; ++b) {
            std::vector<int16_t> pcm(2048, 0);
            if (b == c.clickBuffer)
                for (size_t frame = 500; frame < 504; ++frame) pcm[2 * frame] = 32767;
            Push(pcm);
        }
        for (int round = 0; round <= 5; ++round) {
            if (round > 0) now += 16'000;
            connector.DeliveryPass();
            EXPECT_EQ(meter.PeakValue() == meter.Spots(), round >= c.firstLitRound) << round;
        }
        EXPECT_EQ(meter.Spots(), 127);
        EXPECT_EQ(connector.Delivered(TMMConnector::gLevels), 30u) << "every window measured";
        connector.Stopped();
        connector.Closed();
        connector.SetDisplay(TMMConnectorSlot::Level2, nullptr);
    }
}

// Paced, the buffers of a burst play one after another from the moment
// the first came: the older ones first, each window at its moment. A
// buffer that comes while others still play queues behind them.
TEST_F(ConnectorTest, PacedBuffersOfABurstPlayOneAfterAnother) {
    Start();
    const int64_t t = now;
    for (int b = 0; b < 3; ++b) Push(RampBuffer(b));
    connector.DeliveryPass();
    EXPECT_EQ(level.windows, (std::vector<int>{0}));

    // The first buffer's windows up to its last (3564 bytes in: 20204 us);
    // the second starts when the first has played, 4096 bytes = 23220 us.
    now = t + 23'219;
    connector.DeliveryPass();
    ASSERT_EQ(level.windows.size(), 10u);
    EXPECT_EQ(level.windows.back(), 1782);
    now = t + 23'220;
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.back(), 2048);

    // A fourth buffer at 30 ms waits for the third to end at 69660 us.
    now = t + 30'000;
    Push(RampBuffer(3));
    connector.DeliveryPass();
    now = t + 69'659;
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.back(), 2 * 2048 + 1782);
    now = t + 69'660;
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.back(), 3 * 2048);

    // In the end every window of every buffer, in order.
    now = t + 1'000'000;
    connector.DeliveryPass();
    std::vector<int> expected;
    for (int b = 0; b < 4; ++b)
        for (int j = 0; j < 10; ++j) expected.push_back(b * 2048 + j * 198);
    EXPECT_EQ(level.windows, expected);
    EXPECT_EQ(connector.Delivered(TMMConnector::gLevels), 40u);
    EXPECT_EQ(connector.DisplayDrops(), 0u);
}

// A backlog longer than the lag bound (ten buffers, 232 ms, at once)
// pulls the schedule forward: the newest buffer starts 150 ms after it
// came, and the older windows that this makes overdue are measured at
// once, in order, rather than skipped.
TEST_F(ConnectorTest, ABacklogIsCaughtUpWithinTheLagBound) {
    Start();
    const int64_t t = now;
    for (int b = 0; b < 10; ++b) Push(RampBuffer(b));
    connector.DeliveryPass();
    // Buffer 9 due at t + 150000; buffer 2 (28672 bytes = 162540 us
    // earlier) at t - 12540, so its windows 0..5 are due, window 6 at
    // t + 930 is not: 26 windows.
    ASSERT_EQ(level.windows.size(), 26u);
    EXPECT_EQ(level.windows.front(), 0);
    EXPECT_EQ(level.windows.back(), 2 * 2048 + 5 * 198);

    now = t + 149'999;
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.back(), 8 * 2048 + 1782);
    now = t + 150'000;
    connector.DeliveryPass();
    EXPECT_EQ(level.windows.back(), 9 * 2048);
    EXPECT_EQ(level.windows.size(), 91u);
    EXPECT_EQ(connector.DisplayDrops(), 0u);
}

// When no pass runs while more buffers come than the area holds, the
// displays lose the oldest ones and go on with the rest, in order; the
// Output still receives every buffer.
TEST_F(ConnectorTest, AFullAreaDropsTheOldestBuffersForTheDisplaysOnly) {
    CheckingSink sink(connector);
    connector.SetOutput(&sink);
    connector.SetSynchronize(false);
    Start();
    const int held = static_cast<int>(connector.AreaBuffers());
    ASSERT_GT(held, 0);
    for (int b = 0; b < held + 3; ++b) Push(Numbered(b));
    EXPECT_EQ(sink.buffers, held + 3);
    EXPECT_EQ(connector.DisplayDrops(), 3u);

    connector.DeliveryPass();
    ASSERT_EQ(level.windows.size(), size_t(held) * 10);
    for (size_t k = 0; k < level.windows.size(); ++k) {
        ASSERT_EQ(level.windows[k], 3 + int(k / 10)) << k;
        ASSERT_EQ(level.seconds[k], int(k % 10) * 99) << k;
    }
    connector.SetOutput(nullptr);
}

// Ten seconds of capture as the ALSA back end hands it over (each buffer
// at the end of the 50 ms period that completes it), with rounds every
// frame and at the slowest Speed: every window of every buffer reaches the
// displays exactly once and in order, and at every frame the displays
// trail the input by no more than the lag bound.
TEST_F(ConnectorTest, EveryWindowOfACaptureInPeriodsIsMeasuredOnceInOrder) {
    struct Case {
        const char* name;
        int64_t roundUs;
    };
    const Case cases[] = {{"every frame", 16'000}, {"slowest Speed", 960'000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        level.windows.clear();
        level.seconds.clear();
        Start();
        constexpr int kBuffers = 430;
        const int64_t t = now;
        int pushed = 0;
        int64_t nextRound = t + 7'000;
        for (int period = 1; pushed < kBuffers; ++period) {
            const int64_t periodEnd = t + period * 50'000;
            while (nextRound < periodEnd) {
                now = nextRound;
                connector.DeliveryPass();
                nextRound += c.roundUs;
                // Not shown yet: at most what is due in the next 150 ms
                // and a buffer (10 windows per 23.2 ms).
                if (c.roundUs == 16'000) {
                    EXPECT_LE(pushed * 10 - int(level.windows.size()), 77) << now - t;
                }
            }
            now = periodEnd;
            while (pushed < kBuffers && (pushed + 1) * 1024 <= period * 2205)
                Push(Numbered(pushed++));
        }
        now += 2'000'000;
        connector.DeliveryPass();
        ASSERT_EQ(level.windows.size(), size_t(kBuffers) * 10);
        for (size_t k = 0; k < level.windows.size(); ++k) {
            ASSERT_EQ(level.windows[k], int(k / 10)) << k;
            ASSERT_EQ(level.seconds[k], int(k % 10) * 99) << k;
        }
        EXPECT_EQ(connector.DisplayDrops(), 0u);
        connector.Stopped();
        connector.Closed();
    }
}

// Disabling drops what was held: when enabled again, the displays start
// with new audio, not with what came before they were reset.
TEST_F(ConnectorTest, ABurstHeldWhenDisabledIsNotShownLater) {
    connector.SetSynchronize(false);
    Start();
    for (int b = 0; b < 3; ++b) Push(Numbered(b));
    connector.SetEnabled(false);
    connector.SetEnabled(true);
    QCoreApplication::processEvents();
    Push(Numbered(7));
    connector.DeliveryPass();
    ASSERT_EQ(level.windows.size(), 10u);
    EXPECT_EQ(level.windows.front(), 7);
}

}  // namespace
}  // namespace zt
