#include "displays/Connector.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstring>
#include <thread>

#include "audio/chain/MMErrors.h"
#include "audio/convert/codecs/CodecManager.h"

namespace zt {
namespace {

// A display that writes down what the connector hands it: the first
// sample of every window (the test data makes it the window's sample
// index), the formats it was told and its resets.
class ProbeDisplay : public TMMDisplayTarget {
public:
    explicit ProbeDisplay(int bytes) : bytes_(bytes) {}
    void SetPCMFormat(const WAVEFORMATEX* format) override {
        if (refuse) throw Exception("Invalid WaveFormat");
        formats.push_back(*format);
    }
    int BytesPerUpdate() const override { return bytes_; }
    void ProcessData(const void* data) override {
        int16_t first;
        std::memcpy(&first, data, 2);
        windows.push_back(first);
    }
    void ResetData() override { ++resets; }

    int bytes_;
    bool refuse = false;
    std::vector<WAVEFORMATEX> formats;
    std::vector<int> windows;
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

}  // namespace
}  // namespace zt
