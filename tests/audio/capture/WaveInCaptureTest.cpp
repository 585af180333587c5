// Wave-in component capturing through real ALSA (the paced fixture PCM):
// the bytes of a known signal arrive intact and in order, on the right
// thread, with the events in order; Stop, Close from OnStop, the recording
// limit, a failing downstream member and the capture-thread mode.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "audio/capture/WaveIn.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "support/AlsaFixture.h"
#include "support/ScriptedDialogs.h"

namespace zt::test {
namespace {

constexpr uint32_t kSignalFrames = 44100 * 4;  // longer than any test records

class WaveInCapture : public ::testing::Test {
protected:
    WaveInCapture() : signal_(FrameCounterSignal(kSignalFrames)), fx_(signal_) {
        wave_ = std::make_unique<TMMCustomWaveIn>("WaveIn");
        wave_->SetBackend(std::make_unique<AlsaWaveInBackend>(fx_.Devices()));
        UseRecorderFormat(*wave_);
        wave_->SetOutput(&sink_);
        wave_->OnStart = [this](TMMDSPComponent*) { Log("start"); };
        wave_->OnStop = [this](TMMDSPComponent*) {
            Log("stop");
            if (closeOnStop_) wave_->Close();
        };
        wave_->OnClose = [this](TMMDSPComponent*) {
            Log("close:sinkClosed=" + std::to_string(sink_.closed));
        };
        wave_->OnError = [this](TMMDSPComponent*) { Log("error"); };
        wave_->OnBufferReady = [this](TMMDSPComponent*, PWaveHdr) {
            ++eventBuffers_;
            // The event comes before the chain sees the buffer.
            if (sink_.BufferCount() + 1 != static_cast<size_t>(eventBuffers_)) orderBroken_ = true;
        };
    }
    ~WaveInCapture() override {
        wave_.reset();  // closes before the sink and the fixture go
    }

    // The captured bytes are the signal from its first frame on.
    void ExpectSignalPrefix(const std::string& got) {
        ASSERT_LE(got.size(), signal_.size());
        EXPECT_TRUE(got == signal_.substr(0, got.size()))
            << "first frame " << (got.size() >= 4 ? FrameCounterAt(got, 0) : 0);
    }

    int Count(const std::string& entry) const {
        std::lock_guard guard(logLock_);
        return static_cast<int>(std::count(log_.begin(), log_.end(), entry));
    }

    std::string signal_;
    AlsaFixture fx_;
    RecordingSink sink_;
    std::unique_ptr<TMMCustomWaveIn> wave_;
    // OnError fires on the thread that performs the failing step, which is
    // the capture thread in cmThread mode.
    void Log(std::string entry) {
        std::lock_guard guard(logLock_);
        log_.push_back(std::move(entry));
    }
    mutable std::mutex logLock_;
    std::vector<std::string> log_;
    bool closeOnStop_ = false;
    int eventBuffers_ = 0;
    bool orderBroken_ = false;
};

TEST_F(WaveInCapture, KnownSignalArrivesOnTheMainThreadAndStopCloses) {
    closeOnStop_ = true;  // as the recorder does
    wave_->Start();
    EXPECT_TRUE(wave_->IsStarted());
    EXPECT_EQ(sink_.started, 1);
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= 12; }));

    wave_->Stop();
    // Close ran from OnStop before Stop returned: the chain is closed now.
    EXPECT_FALSE(wave_->IsStarted());
    EXPECT_EQ(wave_->DeviceState(), TMMCustomWaveIn::wisClosed);
    EXPECT_EQ(sink_.stopped, 1);
    EXPECT_EQ(sink_.closed, 1);
    EXPECT_EQ(log_, (std::vector<std::string>{"start", "stop", "close:sinkClosed=1"}));

    // A second Stop does nothing.
    wave_->Stop();
    EXPECT_EQ(Count("stop"), 1);

    const std::vector<uint32_t> sizes = sink_.Sizes();
    ASSERT_GE(sizes.size(), 12u);
    for (uint32_t s : sizes) EXPECT_EQ(s, 4096u);
    EXPECT_EQ(sink_.Bytes().size(), sizes.size() * 4096);
    ExpectSignalPrefix(sink_.Bytes());
    for (const auto& id : sink_.Threads()) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(eventBuffers_, static_cast<int>(sizes.size()));
    EXPECT_FALSE(orderBroken_);
    EXPECT_EQ(wave_->RecordedBytes(), static_cast<int64_t>(sizes.size() * 4096));

    // Nothing arrives after the stop.
    const size_t after = sink_.BufferCount();
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(sink_.BufferCount(), after);
}

TEST_F(WaveInCapture, StopLeavesTheDeviceOpenAndANewRunStartsCleanly) {
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= 4; }));
    wave_->Stop();
    EXPECT_TRUE(wave_->DeviceState() & TMMCustomWaveIn::wisOpen);
    EXPECT_EQ(wave_->QueuedCount(), 0);
    const size_t first = sink_.BufferCount();

    // Every buffer came back: all of them can be queued again.
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= first + 4; }));
    wave_->Stop();
    EXPECT_EQ(Count("start"), 2);
    EXPECT_EQ(Count("stop"), 2);
    EXPECT_EQ(Count("error"), 0);
    wave_->Close();
    EXPECT_EQ(wave_->DeviceState(), TMMCustomWaveIn::wisClosed);
}

TEST_F(WaveInCapture, SegmentRotationDropsNothingOfTheNextSession) {
    // Stop, Close from OnStop, Open and Start again at once, as the segment
    // timer does: the new session starts at the signal's first frame again
    // (each open reads the PCM from the beginning) and carries no buffer of
    // the old one.
    closeOnStop_ = true;
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= 6; }));
    wave_->Stop();
    const size_t firstBytes = sink_.Bytes().size();
    wave_->Open();
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() * 4096 >= firstBytes + 6 * 4096; }));
    wave_->Stop();
    const std::string second = sink_.Bytes().substr(firstBytes);
    ExpectSignalPrefix(second);
    EXPECT_EQ(sink_.opened, 2);
    EXPECT_EQ(sink_.closed, 2);
    EXPECT_EQ(Count("error"), 0);
}

TEST_F(WaveInCapture, MaxRecordTimeDeliversExactlyOneSecondAndStopsByItself) {
    wave_->SetTimeFormat(TMMTimeFormats::tfMillisecond);
    wave_->SetMaxRecordTime(1000);
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return Count("stop") == 1; }));
    EXPECT_FALSE(wave_->IsStarted());
    EXPECT_EQ(wave_->QueuedCount(), 0);

    const std::string bytes = sink_.Bytes();
    EXPECT_EQ(bytes.size(), 176400u);
    ExpectSignalPrefix(bytes);
    const std::vector<uint32_t> sizes = sink_.Sizes();
    ASSERT_EQ(sizes.size(), 44u);  // 43 full buffers and a shortened last one
    EXPECT_EQ(sizes.back(), 176400u - 43 * 4096);
    EXPECT_EQ(wave_->RecordedBytes(), 176400);

    // It stays stopped; a second run delivers the limit again, so every
    // buffer came back and none was queued twice.
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(Count("stop"), 1);
    EXPECT_EQ(sink_.BufferCount(), 44u);
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return Count("stop") == 2; }));
    EXPECT_EQ(sink_.Bytes().size(), 2 * 176400u);
    EXPECT_EQ(Count("error"), 0);
}

TEST_F(WaveInCapture, StopFromTheBufferHandlerIsDeferredAndFinishesTheClose) {
    // A handler that stops and closes the capture from inside a buffer: the
    // stop waits for the handler to end, the close for the stop.
    wave_->OnBufferReady = [this](TMMDSPComponent*, PWaveHdr) {
        if (++eventBuffers_ == 5) {
            wave_->Stop();
            EXPECT_TRUE(wave_->IsStarted());  // still running the handler
            wave_->Close();
            EXPECT_TRUE(wave_->DeviceState() & TMMCustomWaveIn::wisOpen);
        }
    };
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return wave_->DeviceState() == TMMCustomWaveIn::wisClosed; }));
    EXPECT_EQ(sink_.BufferCount(), 5u);
    EXPECT_EQ(Count("stop"), 1);
    EXPECT_EQ(sink_.closed, 1);
    EXPECT_EQ(Count("error"), 0);
    ExpectSignalPrefix(sink_.Bytes());
}

TEST_F(WaveInCapture, FailingDownstreamMemberClosesTheCaptureAndShowsTheErrorOnce) {
    ScriptedDialogs dialogs;
    sink_.ThrowAt(3);
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return wave_->DeviceState() == TMMCustomWaveIn::wisClosed; }));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, DialogKind::Error);
    EXPECT_EQ(dialogs.shown[0].text, "sink refused the data");
    EXPECT_EQ(Count("error"), 1);
    EXPECT_EQ(Count("stop"), 1);
    EXPECT_EQ(sink_.closed, 1);
    EXPECT_FALSE(wave_->IsStarted());
    EXPECT_EQ(sink_.BufferCount(), 3u);

    // Nothing more is shown or delivered later.
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(sink_.BufferCount(), 3u);
}

TEST_F(WaveInCapture, PauseAndRestart) {
    wave_->OnPause = [this](TMMDSPComponent*) { Log("pause"); };
    wave_->OnRestart = [this](TMMDSPComponent*) { Log("restart"); };
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= 3; }));
    wave_->Pause();
    EXPECT_TRUE(wave_->IsPaused());
    EXPECT_TRUE(sink_.IsPaused());
    wave_->Restart();
    EXPECT_FALSE(wave_->IsPaused());
    const size_t before = sink_.BufferCount();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= before + 3; }));
    wave_->Stop();
    EXPECT_EQ(log_, (std::vector<std::string>{"start", "pause", "restart", "stop"}));
}

TEST_F(WaveInCapture, CaptureThreadModeRecordsTheSignalOnItsOwnThread) {
    wave_->SetCallBackMode(TMMCBMode::cmThread);
    closeOnStop_ = true;
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= 12; }));
    wave_->Stop();
    EXPECT_EQ(wave_->DeviceState(), TMMCustomWaveIn::wisClosed);
    EXPECT_EQ(sink_.closed, 1);
    EXPECT_EQ(log_, (std::vector<std::string>{"start", "stop", "close:sinkClosed=1"}));

    const std::vector<uint32_t> sizes = sink_.Sizes();
    for (uint32_t s : sizes) EXPECT_EQ(s, 4096u);
    ExpectSignalPrefix(sink_.Bytes());
    const auto threads = sink_.Threads();
    ASSERT_FALSE(threads.empty());
    for (const auto& id : threads) {
        EXPECT_NE(id, std::this_thread::get_id());
        EXPECT_EQ(id, threads.front());
    }
}

TEST_F(WaveInCapture, CaptureThreadModeHonoursTheRecordingLimit) {
    wave_->SetCallBackMode(TMMCBMode::cmThread);
    wave_->SetTimeFormat(TMMTimeFormats::tfMillisecond);
    wave_->SetMaxRecordTime(1000);
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return Count("stop") == 1; }));
    EXPECT_EQ(sink_.Bytes().size(), 176400u);
    ExpectSignalPrefix(sink_.Bytes());
    wave_->Close();
    EXPECT_EQ(Count("error"), 0);
}

TEST_F(WaveInCapture, CaptureThreadFailureClosesOnTheMainThread) {
    ScriptedDialogs dialogs;
    wave_->SetCallBackMode(TMMCBMode::cmThread);
    sink_.ThrowAt(2);
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return wave_->DeviceState() == TMMCustomWaveIn::wisClosed; }));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "sink refused the data");
    EXPECT_EQ(Count("stop"), 1);
    EXPECT_EQ(sink_.closed, 1);
    EXPECT_EQ(sink_.BufferCount(), 2u);
}

TEST_F(WaveInCapture, DestroyingWhileRecordingClosesSilently) {
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= 2; }));
    wave_.reset();
    EXPECT_EQ(sink_.stopped, 1);
    EXPECT_EQ(sink_.closed, 1);
    EXPECT_EQ(log_, std::vector<std::string>{"start"});  // no OnStop, no OnClose
    // Nothing queued for the destroyed component runs later.
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace
}  // namespace zt::test
