// The recording as a legal record, against a test sound card whose signal is
// a function of the wall clock: audio the program does not read in time is
// gone, as with a real card. Each segment is decoded by the mpg123 program
// (gapless, through the encoder's info frame) and placed on the card's time
// line to the frame, so a sample missing or repeated anywhere shows.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/capture/WaveIn.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "audio/encode/MP3Encoder.h"
#include "displays/Connector.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "recorder/RecorderChain.h"
#include "recorder/RecordingSession.h"
#include "support/AlsaFixture.h"
#include "support/ClockSignal.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;

struct QuietView : RecordingView {
    int captureStarts = 0, captureStops = 0;
    std::vector<std::string> alarms;
    void ShowElapsed(const std::string&, const std::string&) override {}
    void ShowDiskFigures(const std::string&, const std::string&, int) override {}
    void ShowFormat(const std::string&) override {}
    void ShowRecordButtons(bool) override {}
    void CaptureStarted() override { ++captureStarts; }
    void CaptureStopped() override { ++captureStops; }
    void RecordingStateChanged(bool) override {}
    void ShowRecordingAlarm(const std::string& why) override { alarms.push_back(why); }
};

TDateTime At(int minute) {
    return EncodeDateTime(2012, 12, 8, 15, minute, 12);
}

class GaplessRecordingTest : public ::testing::Test {
protected:
    GaplessRecordingTest() : fx_({test::ClockPcm("zt_capture", 44100)}) {
        previousClock_ = SetClock(&clock_);
        wave_.SetBackend(std::make_unique<AlsaWaveInBackend>(fx_.Devices()));
        ConfigureRecorderChain(wave_, connector_, mp3_);
        local_ = (dir_.path() / "Audio").string();
        fs::create_directory(local_);
        settings_.Formato = "8";  // 128 kbit/s
        settings_.Local = local_;
        settings_.MBLivres = "0";
        settings_.DiasRec = "30";
        settings_.TempoRec = "10";
        settings_.Copia = "N";
        settings_.Crowley = "N";
        session_ = std::make_unique<RecordingSession>(settings_, wave_, mp3_, view_);
    }
    ~GaplessRecordingTest() override {
        session_.reset();
        wave_.Close();
        SetClock(previousClock_);
    }

    void Capture(int ms) {
        const int64_t target = wave_.RecordedBytes() + int64_t(ms) * 44100 * 4 / 1000;
        ASSERT_TRUE(test::RunUntil([&] { return wave_.RecordedBytes() >= target; },
                                   std::chrono::milliseconds(ms + 10000)));
    }

    // The finished segments in order of their start, decoded.
    std::vector<test::DecodedMp3> DecodedSegments() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(local_)) names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        std::vector<test::DecodedMp3> decoded;
        for (const std::string& name : names) {
            decoded.push_back(test::DecodeMp3WithMpg123Program(name));
            EXPECT_TRUE(decoded.back().ok) << name << ": " << decoded.back().error;
            EXPECT_EQ(decoded.back().channels, 2) << name;
        }
        return decoded;
    }

    ManualClock clock_{At(30)};
    Clock* previousClock_ = nullptr;
    test::AlsaFixture fx_;
    test::ScriptedDialogs dialogs_;
    test::TempDir dir_;
    std::string local_;
    RecorderSettings settings_;
    TMMCustomWaveIn wave_{"WaveIn"};
    TMMConnector connector_{"MMConnector1"};
    TMMMP3Encoder mp3_{"MP3"};
    QuietView view_;
    std::unique_ptr<RecordingSession> session_;
};

TEST_F(GaplessRecordingTest, ThreeCutsInARowLoseAndRepeatNothing) {
    clock_.Set(At(30));
    session_->BGravarClick();
    ASSERT_TRUE(session_->IsRecording());
    for (int minute = 31; minute <= 33; ++minute) {
        Capture(1500);
        clock_.Set(At(minute));
        session_->TimerRecordTimer();
    }
    Capture(1500);
    clock_.Set(At(34));
    session_->BStopClick();
    session_->WaitForFileWork();
    // The capture ran through the cuts.
    EXPECT_EQ(view_.captureStarts, 1);
    EXPECT_EQ(view_.captureStops, 1);

    const std::vector<test::DecodedMp3> segments = DecodedSegments();
    ASSERT_EQ(segments.size(), 4u);
    const std::vector<int64_t> starts = fx_.StartFrames("zt_capture");
    EXPECT_EQ(starts.size(), 1u) << "the card was started once";
    ASSERT_FALSE(starts.empty());

    // The first segment begins with the card's first frame; no segment has
    // a hole or a repeat inside ...
    int64_t expected = starts[0];
    std::vector<int64_t> ends;
    for (size_t i = 0; i < segments.size(); ++i) {
        const test::ClockScan scan = test::ScanClockStream(segments[i].samples, 2, expected, 4096);
        ASSERT_TRUE(scan.located) << "segment " << i;
        EXPECT_EQ(scan.firstIndex, expected) << "segment " << i;
        EXPECT_TRUE(scan.defects.empty())
            << "segment " << i << ": " << scan.defects.size() << " defects, first of "
            << (scan.defects.empty() ? 0 : scan.defects[0].frames);
        EXPECT_EQ(scan.endIndex - scan.firstIndex, int64_t(segments[i].Frames()));
        EXPECT_GT(segments[i].Frames(), 44100u) << "segment " << i;
        expected = scan.endIndex;
        ends.push_back(scan.endIndex);
    }
    // ... and at every cut the next segment's first frame follows the last
    // frame of the one before: 0 frames missing, 0 repeated.
    for (size_t i = 0; i + 1 < segments.size(); ++i) {
        const test::ClockJoin join =
            test::CheckClockJoin(segments[i].samples, segments[i + 1].samples, 2, ends[i], 64);
        ASSERT_TRUE(join.located) << "cut " << i + 1;
        EXPECT_EQ(join.frames, 0) << "cut " << i + 1;
    }
}

TEST_F(GaplessRecordingTest, HoldingTheMainThreadFiveSecondsLosesNothing) {
    clock_.Set(At(30));
    session_->BGravarClick();
    ASSERT_TRUE(session_->IsRecording());
    Capture(500);
    // The window is busy: nothing is handed back to the card for 5 s.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    // The held 5 s arrive from the capture's store, then 3 s more.
    Capture(8000);
    clock_.Set(At(31));
    session_->BStopClick();
    session_->WaitForFileWork();

    const std::vector<test::DecodedMp3> segments = DecodedSegments();
    ASSERT_EQ(segments.size(), 1u);
    const std::vector<int64_t> starts = fx_.StartFrames("zt_capture");
    ASSERT_EQ(starts.size(), 1u);
    const test::ClockScan scan = test::ScanClockStream(segments[0].samples, 2, starts[0], 4096);
    ASSERT_TRUE(scan.located);
    EXPECT_EQ(scan.firstIndex, starts[0]);
    EXPECT_TRUE(scan.defects.empty())
        << scan.defects.size() << " defects, first of "
        << (scan.defects.empty() ? 0 : scan.defects[0].frames) << " frames";
    EXPECT_GT(segments[0].Frames(), uint64_t(8 * 44100));
    EXPECT_EQ(scan.endIndex - scan.firstIndex, int64_t(segments[0].Frames()));
    EXPECT_EQ(wave_.LostFrames(), 0u);
    EXPECT_EQ(session_->LossesReported(), 0);
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(GaplessRecordingTest, AnUnpluggedCardIsReportedOnceItsSegmentFinishedAndRecordingResumes) {
    int errors = 0;
    wave_.OnError = [&](TMMDSPComponent*) { ++errors; };
    clock_.Set(At(30));
    session_->BGravarClick();
    ASSERT_TRUE(session_->IsRecording());
    Capture(1500);
    fx_.Unplug("zt_capture");
    ASSERT_TRUE(test::RunUntil([&] { return !session_->IsRecording(); }, std::chrono::seconds(10)));
    ASSERT_TRUE(
        test::RunUntil([&] { return session_->WaitingForCapture() && !view_.alarms.empty(); },
                       std::chrono::seconds(5)));
    EXPECT_EQ(errors, 1);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Error);
    EXPECT_NE(dialogs_.shown[0].text.find("WaveInRecord"), std::string::npos)
        << dialogs_.shown[0].text;
    EXPECT_NE(dialogs_.shown[0].text.find("No such device"), std::string::npos)
        << dialogs_.shown[0].text;
    EXPECT_NE(view_.alarms.back().find("No such device"), std::string::npos) << view_.alarms.back();
    EXPECT_EQ(view_.captureStops, 1);
    EXPECT_FALSE(wave_.IsOpened());

    // The segment that was running is finished at once with what it holds.
    session_->WaitForFileWork();
    EXPECT_EQ(session_->LastFinish().rename, SegmentRename::Renamed);
    std::vector<test::DecodedMp3> segments = DecodedSegments();
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_GT(segments[0].Frames(), 44100u);
    const test::ClockScan before =
        test::ScanClockStream(segments[0].samples, 2, fx_.StartFrames("zt_capture").at(0), 4096);
    ASSERT_TRUE(before.located);
    EXPECT_TRUE(before.defects.empty());

    // Still out: the retries find nothing and say nothing more.
    clock_.Set(At(31));
    session_->CaptureRetryTimer();
    session_->CaptureRetryTimer();
    EXPECT_FALSE(session_->IsRecording());
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(dialogs_.shown.size(), 1u);
    // The alarm tells the device's own reason, not a refused format.
    EXPECT_EQ(view_.alarms.back().find("format"), std::string::npos) << view_.alarms.back();
    EXPECT_NE(view_.alarms.back().find("WaveInOpen: No such device"), std::string::npos)
        << view_.alarms.back();

    // Put back, the next retry records a new segment.
    fx_.Replug("zt_capture");
    clock_.Set(At(32));
    session_->CaptureRetryTimer();
    EXPECT_TRUE(session_->IsRecording());
    EXPECT_EQ(view_.alarms.back(), "");
    Capture(1000);
    clock_.Set(At(33));
    session_->BStopClick();
    session_->WaitForFileWork();
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(dialogs_.shown.size(), 1u);
    segments = DecodedSegments();
    ASSERT_EQ(segments.size(), 2u);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(local_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"0812121530a0812121530.mp3", "0812121532a0812121533.mp3"}));
}

}  // namespace
}  // namespace zt
