// The recording session driven by a manual clock over the real capture
// chain: paced ALSA capture from a test PCM, the real MP3 encoder writing
// real files in a temporary recording folder. The per-buffer handler is
// called directly at chosen clock times (the real buffers arrive only while
// a test runs the event loop).

#include "recorder/RecordingSession.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/capture/WaveIn.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "audio/encode/MP3Encoder.h"
#include "audio/files/Mpg123TestDecoder.h"
#include "displays/Connector.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/EventLog.h"
#include "platform/Exceptions.h"
#include "recorder/RecorderChain.h"
#include "support/AlsaFixture.h"
#include "support/FileSystemLimits.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr double kSecond = 1.0 / 86400.0;

// What the window would show, as plain fields.
struct ViewLog : RecordingView {
    std::string tempo, dias, livre, ocupado, banner;
    int percent = -1;
    bool buttonsRecording = false;
    int captureStarts = 0, captureStops = 0;
    std::vector<bool> recordingStates;
    std::vector<std::string> alarms;

    void ShowElapsed(const std::string& t, const std::string& d) override {
        tempo = t;
        dias = d;
    }
    void ShowDiskFigures(const std::string& l, const std::string& o, int p) override {
        livre = l;
        ocupado = o;
        percent = p;
    }
    void ShowFormat(const std::string& b) override { banner = b; }
    void ShowRecordButtons(bool recording) override { buttonsRecording = recording; }
    void CaptureStarted() override { ++captureStarts; }
    void CaptureStopped() override { ++captureStops; }
    void RecordingStateChanged(bool recording) override { recordingStates.push_back(recording); }
    void ShowRecordingAlarm(const std::string& why) override { alarms.push_back(why); }
};

TDateTime At(int day, int hour, int minute, int second, int msec = 0) {
    return EncodeDateTime(2012, 12, day, hour, minute, second, msec);
}

class RecordingSessionTest : public ::testing::Test {
protected:
    RecordingSessionTest() : fx_(std::string(4 * 44100 * 4, '\0')) {
        previousClock_ = SetClock(&clock_);
        wave_.SetBackend(std::make_unique<AlsaWaveInBackend>(fx_.Devices()));
        ConfigureRecorderChain(wave_, connector_, mp3_);
        local_ = (dir_.path() / "Audio").string();
        fs::create_directory(local_);
        settings_.Formato = "4";
        settings_.Local = local_;
        settings_.MBLivres = "0";
        settings_.DiasRec = "30";
        settings_.TempoRec = "10";
        settings_.Copia = "N";
        settings_.Crowley = "N";
        session_ = std::make_unique<RecordingSession>(settings_, wave_, mp3_, view_);
        session_->SetSegmentInterval(10 * 60000);
    }
    ~RecordingSessionTest() override {
        session_.reset();
        wave_.Close();
        SetClock(previousClock_);
    }

    void StartAt(TDateTime when) {
        clock_.Set(when);
        session_->BGravarClick();
        ASSERT_TRUE(session_->IsRecording());
    }
    // Each step waits for the file work it queued (renames, copies,
    // deletions run on the session's worker), so its results can be seen.
    void StopAt(TDateTime when) {
        clock_.Set(when);
        session_->BStopClick();
        session_->WaitForFileWork();
        ASSERT_FALSE(session_->IsRecording());
    }
    void RotateAt(TDateTime when) {
        clock_.Set(when);
        struct Wait {
            RecordingSession* session;
            ~Wait() { session->WaitForFileWork(); }
        } wait{session_.get()};
        session_->TimerRecordTimer();
    }
    void BufferAt(TDateTime when) {
        clock_.Set(when);
        struct Wait {
            RecordingSession* session;
            ~Wait() { session->WaitForFileWork(); }
        } wait{session_.get()};
        session_->WaveInBufferReady();
    }
    // Lets real buffers reach the encoder for a while.
    void Capture(int ms) {
        const int64_t target = wave_.RecordedBytes() + int64_t(ms) * 44100 * 4 / 1000;
        ASSERT_TRUE(test::RunUntil([&] { return wave_.RecordedBytes() >= target; }));
    }
    std::string InLocal(const std::string& name) const { return local_ + "/" + name; }
    std::vector<std::string> LocalNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(local_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    void SetMtime(const std::string& path, TDateTime when) {
        timespec times[2];
        times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(std::floor(ToUnixSeconds(when)));
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0)) << path;
    }

    ManualClock clock_{At(8, 12, 0, 0)};
    Clock* previousClock_ = nullptr;
    test::AlsaFixture fx_;
    test::ScriptedDialogs dialogs_;
    test::TempDir dir_;
    std::string local_;
    RecorderSettings settings_;
    TMMCustomWaveIn wave_{"WaveIn"};
    TMMConnector connector_{"MMConnector1"};
    TMMMP3Encoder mp3_{"MP3"};
    ViewLog view_;
    std::unique_ptr<RecordingSession> session_;
};

// ---- elapsed time and days ----------------------------------------------------------

TEST_F(RecordingSessionTest, ElapsedTimeCountsAcrossMidnight) {
    StartAt(At(8, 23, 59, 30));
    BufferAt(At(9, 0, 0, 30));
    EXPECT_EQ(view_.tempo, "00:01:00");
    EXPECT_EQ(view_.dias, "00");
}

TEST_F(RecordingSessionTest, DayRollsOverAtTwentyFourHours) {
    StartAt(At(8, 10, 0, 0));
    BufferAt(At(9, 9, 59, 58, 977));
    EXPECT_EQ(view_.tempo, "23:59:58");
    EXPECT_EQ(view_.dias, "00");
    // The buffer that shows 23:59:59 counts the day and keeps its read-out.
    BufferAt(At(9, 10, 0, 0, 0) - 0.5 * kSecond);
    EXPECT_EQ(view_.tempo, "23:59:59");
    EXPECT_EQ(view_.dias, "01");
    BufferAt(At(9, 10, 0, 0, 23));
    EXPECT_EQ(view_.tempo, "00:00:00");
    EXPECT_EQ(view_.dias, "01");
    EXPECT_EQ(session_->FDayCount(), 1);
}

TEST_F(RecordingSessionTest, AStallAcrossTheLastSecondStillCountsTheDay) {
    StartAt(At(8, 10, 0, 0));
    BufferAt(At(9, 9, 59, 58));
    // The main thread was held up for three seconds: no buffer saw 23:59:59.
    // The day counts and the read-out goes on from where that second would
    // have restarted it.
    BufferAt(At(9, 10, 0, 1));
    EXPECT_EQ(view_.dias, "01");
    EXPECT_EQ(view_.tempo, "00:00:02");
    BufferAt(At(9, 10, 0, 2));
    EXPECT_EQ(view_.tempo, "00:00:03");
}

TEST_F(RecordingSessionTest, CutsStallsAndClockStepsNeitherAddNorLoseADay) {
    // Ten-minute cuts across a whole day, with the main thread held up
    // across the read-out's last second.
    StartAt(At(8, 10, 0, 0));
    for (int hour = 10; hour < 34; ++hour) {
        for (int minute = 0; minute < 60; minute += 10) {
            if (hour == 10 && minute == 0) continue;
            const int day = 8 + hour / 24;
            BufferAt(At(day, hour % 24, minute, 0) - 0.01 * kSecond);
            if (hour == 33 && minute == 50) break;
            RotateAt(At(day, hour % 24, minute, 0));
        }
    }
    BufferAt(At(9, 9, 59, 57));
    EXPECT_EQ(view_.tempo, "23:59:57");
    EXPECT_EQ(view_.dias, "00");
    BufferAt(At(9, 10, 0, 3));  // held up across 23:59:59 and 00:00:00
    EXPECT_EQ(view_.dias, "01");
    EXPECT_EQ(view_.tempo, "00:00:04");

    // The clock is set back by a second (NTP, or the end of summer time):
    // recorded time still runs forward and no day is added.
    clock_.StepWallClock(-1);
    BufferAt(At(9, 10, 0, 3) + 0.5 * kSecond);
    EXPECT_EQ(view_.dias, "01");
    EXPECT_EQ(view_.tempo, "00:00:05");
    clock_.StepWallClock(-3600);
    BufferAt(At(9, 9, 0, 10));  // 6.5 s after the last buffer
    EXPECT_EQ(view_.dias, "01");
    EXPECT_EQ(view_.tempo, "00:00:12");
}

TEST_F(RecordingSessionTest, DayCounterShowsTwoDigits) {
    StartAt(At(8, 12, 0, 0));
    session_->SetDayCountForTest(100);
    BufferAt(At(8, 12, 0, 1));
    EXPECT_EQ(view_.dias, "10");
    session_->SetDayCountForTest(7);
    BufferAt(At(8, 12, 0, 2));
    EXPECT_EQ(view_.dias, "07");
}

TEST_F(RecordingSessionTest, ElapsedTimeContinuesAfterStopAndStart) {
    StartAt(At(8, 12, 0, 0));
    BufferAt(At(8, 12, 10, 0));
    EXPECT_EQ(view_.tempo, "00:10:00");
    StopAt(At(8, 12, 10, 0));
    // A stop while idle (the tray's "Parar" after a stop) adds nothing.
    StopAt(At(8, 12, 30, 0));
    StartAt(At(8, 13, 0, 0));
    BufferAt(At(8, 13, 0, 5));
    EXPECT_EQ(view_.tempo, "00:10:05");
    // A rotation folds the count of the last buffer and goes on from there.
    BufferAt(At(8, 13, 5, 0));
    RotateAt(At(8, 13, 5, 0));
    BufferAt(At(8, 13, 5, 1));
    EXPECT_EQ(view_.tempo, "00:15:01");
}

// ---- format banner and encoder bitrate ------------------------------------------------

TEST_F(RecordingSessionTest, FormatSettingSetsBannerAndEncoderBitrate) {
    const std::string spaces(20, ' ');
    struct Case {
        const char* formato;
        TMMBitrates bitrate;
        std::string banner;
    } cases[] = {
        {"0", TMMBitrates::br40, spaces + "MP3: 32 Kbps, Stereo"},
        {"00", TMMBitrates::br32, spaces + "MP3: 32 Kbps, Stereo"},
        {"4", TMMBitrates::br64, spaces + "MP3: 64 Kbps, Stereo"},
        {"13", TMMBitrates::br320, spaces + "MP3: 320 Kbps, Stereo"},
    };
    for (const Case& c : cases) {
        settings_.Formato = c.formato;
        session_->ApplyEncoderFormat();
        EXPECT_EQ(mp3_.Bitrate(), c.bitrate) << c.formato;
        EXPECT_EQ(view_.banner, c.banner) << c.formato;
    }
    mp3_.SetChannelMode(TMMChannelMode::cmMono);
    session_->ApplyEncoderFormat();
    EXPECT_EQ(view_.banner, spaces + "MP3: 320 Kbps, Mono");

    // A start applies the current setting before the encoder opens.
    mp3_.SetChannelMode(TMMChannelMode::cmStereo);
    settings_.Formato = "0";
    StartAt(At(8, 12, 0, 0));
    EXPECT_EQ(mp3_.Bitrate(), TMMBitrates::br40);
}

// ---- segment naming, rotation and finishing -------------------------------------------

TEST_F(RecordingSessionTest, RotationChainsFinalNamesAndTheFilesDecode) {
    StartAt(At(8, 15, 30, 12));
    EXPECT_TRUE(fs::exists(InLocal("0812121530.mp3")));
    EXPECT_TRUE(session_->TimerRecord().isActive());
    EXPECT_EQ(session_->TimerRecord().interval(), 600000);
    Capture(600);
    RotateAt(At(8, 15, 40, 12));
    EXPECT_TRUE(session_->IsRecording());
    EXPECT_EQ(session_->LastFinish().rename, SegmentRename::Renamed);
    EXPECT_DOUBLE_EQ(session_->FSegmentEndNow(), At(8, 15, 40, 12));
    EXPECT_DOUBLE_EQ(session_->FSegmentStartNow(), At(8, 15, 40, 12));
    Capture(600);
    StopAt(At(8, 15, 44, 50));

    EXPECT_EQ(LocalNames(),
              (std::vector<std::string>{"0812121530a0812121540.mp3", "0812121540a0812121544.mp3"}));
    for (const std::string& name : LocalNames()) {
        const test::DecodedMp3 decoded = test::DecodeMp3(ReadFileBytes(InLocal(name)));
        ASSERT_TRUE(decoded.ok) << name << ": " << decoded.error;
        EXPECT_EQ(decoded.rate, 44100) << name;
        EXPECT_GT(decoded.Frames(), 44100 / 2) << name;
    }
    // The capture ran through the rotation: it started once and stopped
    // once, and so did the recording as a whole.
    EXPECT_FALSE(view_.buttonsRecording);
    EXPECT_EQ(view_.captureStarts, 1);
    EXPECT_EQ(view_.captureStops, 1);
    EXPECT_EQ(view_.recordingStates, (std::vector<bool>{true, false}));
    EXPECT_FALSE(session_->TimerRecord().isActive());
}

TEST_F(RecordingSessionTest, LostAudioIsLoggedAndShownOnceAndRecordingGoesOn) {
    const std::string logPath = dir_.file("events.log");
    SetEventLogPath(logPath);
    // A store of 0.2 s, so that holding the main thread for 1.5 s loses audio.
    auto* backend = dynamic_cast<AlsaWaveInBackend*>(wave_.Backend());
    ASSERT_NE(backend, nullptr);
    backend->SetStoreSeconds(0.2);
    StartAt(At(8, 15, 30, 12));
    Capture(200);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Capture(600);
    ASSERT_TRUE(test::RunUntil([&] { return session_->LossesReported() > 0; }));
    Capture(600);
    SetEventLogPath("");

    EXPECT_TRUE(session_->IsRecording());
    EXPECT_EQ(session_->LossesReported(), 1);
    EXPECT_EQ(wave_.LossCount(), 1u);
    // About the time the store could not hold.
    EXPECT_GT(wave_.LostFrames(), uint64_t(44100 * 0.8));
    EXPECT_LT(wave_.LostFrames(), uint64_t(44100 * 1.6));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Error);
    EXPECT_EQ(dialogs_.shown[0].text.rfind("Perda de áudio: ", 0), 0u) << dialogs_.shown[0].text;
    EXPECT_NE(dialogs_.shown[0].text.find("ocupado"), std::string::npos);
    const std::string log = ReadFileBytes(logPath);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    EXPECT_NE(log.find(dialogs_.shown[0].text), std::string::npos) << log;
}

TEST_F(RecordingSessionTest, HoldingTheMainThreadForSecondsLosesNoAudio) {
    auto* backend = dynamic_cast<AlsaWaveInBackend*>(wave_.Backend());
    ASSERT_NE(backend, nullptr);
    StartAt(At(8, 15, 30, 12));
    Capture(200);
    // The window is busy for 5 s: no buffer is handed back meanwhile.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    Capture(5500);

    // Everything the device delivered reached the chain, in order.
    WaveInPosition position;
    ASSERT_EQ(backend->GetPosition(wave_.Handle(), position), kWaveInOk);
    const int64_t read = int64_t(position.value) * 4;
    EXPECT_LE(read - wave_.RecordedBytes(), int64_t(20 * kRecorderBufferSize));
    EXPECT_GT(backend->StoreFigures(wave_.Handle()).peakBacklogFrames, uint64_t(4.5 * 44100));
    EXPECT_EQ(backend->StoreFigures(wave_.Handle()).lostFrames, 0u);
    EXPECT_EQ(wave_.LostFrames(), 0u);
    EXPECT_EQ(session_->LossesReported(), 0);
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(RecordingSessionTest, SlowFileWorkNeverHoldsUpTheBuffers) {
    const std::string backup = (dir_.path() / "Backup").string();
    fs::create_directory(backup);
    settings_.Copia = "S";
    settings_.LocalCopia = backup;
    // A drive that takes seconds for each piece of file work.
    std::atomic<int> slowJobs{0};
    session_->SetFileWorkHookForTest([&](RecordingSession::FileWork) {
        ++slowJobs;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    });
    StartAt(At(8, 15, 30, 12));
    Capture(200);
    clock_.Set(At(8, 15, 40, 12));
    session_->TimerRecordTimer();
    session_->PurgeOldRecordings();
    ASSERT_EQ(session_->FileWorkPending(), 2);
    // Buffers keep arriving and the cut has happened while the copy and the
    // retention pass are still busy.
    Capture(1000);
    EXPECT_GE(session_->FileWorkPending(), 1);
    EXPECT_EQ(session_->InProgressPath(), InLocal("0812121540.mp3"));

    session_->WaitForFileWork();
    EXPECT_EQ(slowJobs.load(), 2);
    EXPECT_EQ(session_->LastFinish().rename, SegmentRename::Renamed);
    EXPECT_EQ(session_->LastFinish().copy, SegmentCopy::Copied);
    EXPECT_TRUE(fs::exists(backup + "/0812121530a0812121540.mp3"));
    EXPECT_EQ(session_->RetentionPasses(), 1);
    EXPECT_EQ(wave_.LostFrames(), 0u);
    EXPECT_TRUE(session_->IsRecording());
}

TEST_F(RecordingSessionTest, SegmentsLeftProvisionalByAPowerCutAreFinishedAtStartUp) {
    const std::string backup = (dir_.path() / "Backup").string();
    fs::create_directory(backup);
    settings_.Copia = "S";
    settings_.LocalCopia = backup;
    settings_.Crowley = "S";
    struct Exported {
        std::string path;
        TDateTime start, end;
    };
    std::vector<Exported> exported;
    session_->SetExportHook([&](const std::string& path, TDateTime start, TDateTime end) {
        exported.push_back({path, start, end});
    });
    struct Orphan {
        const char* name;
        std::string bytes;
        TDateTime modified;
    };
    const Orphan orphans[] = {
        {"0712122350.mp3", "audio of the night", At(8, 0, 3, 41)},
        {"0812121530-2.mp3", "audio after a restart", At(8, 15, 34, 50)},
        {"0812121600.mp3", "", At(8, 16, 0, 5)},  // nothing recorded
    };
    for (const Orphan& o : orphans) {
        WriteFileBytes(InLocal(o.name), o.bytes);
        SetMtime(InLocal(o.name), o.modified);
    }
    // Not provisional segments of this program: left alone.
    WriteFileBytes(InLocal("0712122340a0712122350.mp3"), "finished");
    WriteFileBytes(InLocal("notes.mp3"), "x");
    WriteFileBytes(InLocal("3212121530.mp3"), "no such date");

    session_->FinishOrphanSegments();
    session_->WaitForFileWork();

    EXPECT_EQ(LocalNames(), (std::vector<std::string>{
                                "0712122340a0712122350.mp3", "0712122350a0812120003.mp3",
                                "0812121530a0812121534-2.mp3", "3212121530.mp3", "notes.mp3"}));
    EXPECT_EQ(ReadFileBytes(backup + "/0712122350a0812120003.mp3"), "audio of the night");
    EXPECT_EQ(ReadFileBytes(backup + "/0812121530a0812121534-2.mp3"), "audio after a restart");
    ASSERT_EQ(exported.size(), 2u);
    EXPECT_EQ(exported[0].path, InLocal("0712122350a0812120003.mp3"));
    EXPECT_DOUBLE_EQ(exported[0].start, EncodeDateTime(2012, 12, 7, 23, 50, 0));
    EXPECT_NEAR(exported[0].end, At(8, 0, 3, 41), 1e-6);
    EXPECT_EQ(exported[1].path, InLocal("0812121530a0812121534-2.mp3"));
    ASSERT_EQ(session_->LastOrphans().size(), 3u);
    EXPECT_EQ(session_->LastOrphans()[2].rename, SegmentRename::Empty);

    // The segment being written is never taken for an orphan.
    StartAt(At(8, 17, 0, 0));
    session_->FinishOrphanSegments();
    session_->WaitForFileWork();
    EXPECT_TRUE(session_->LastOrphans().empty());
    EXPECT_TRUE(fs::exists(InLocal("0812121700.mp3")));
}

TEST_F(RecordingSessionTest, AFullDriveEndsTheSegmentOnceAndRecordingResumesWhenThereIsRoom) {
    test::TinyTmpfs tmpfs((dir_.path() / "small").string(), "512k");
    if (!tmpfs.Mounted()) GTEST_SKIP() << tmpfs.Error();
    settings_.Local = tmpfs.Path();
    // Nothing the guard could delete fills the drive but for a few seconds
    // of audio.
    const std::string filler = tmpfs.Path() + "/filler.bin";
    WriteFileBytes(filler, std::string(470 * 1024, 'x'));
    StartAt(At(8, 15, 30, 12));
    ASSERT_TRUE(
        test::RunUntil([&] { return session_->WaitingForSpace(); }, std::chrono::seconds(30)));
    ASSERT_TRUE(test::RunUntil([&] { return !dialogs_.shown.empty(); }));
    EXPECT_TRUE(session_->IsRecording()) << "the capture runs on";
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_NE(dialogs_.shown[0].text.find(tmpfs.Path() + "/0812121530.mp3"), std::string::npos)
        << dialogs_.shown[0].text;
    EXPECT_NE(dialogs_.shown[0].text.find(std::strerror(ENOSPC)), std::string::npos);
    // The segment is finished with what it holds, and it decodes.
    session_->WaitForFileWork();
    EXPECT_EQ(session_->LastFinish().rename, SegmentRename::Renamed);
    const test::DecodedMp3 first = test::DecodeMp3(ReadFileBytes(session_->LastFinish().finalPath));
    EXPECT_TRUE(first.ok) << first.error;
    EXPECT_GT(first.Frames(), 44100u);

    // Room again: within the retry's 5 s a new segment records.
    clock_.Set(At(8, 15, 36, 0));
    fs::remove(filler);
    ASSERT_TRUE(
        test::RunUntil([&] { return !session_->WaitingForSpace(); }, std::chrono::seconds(8)));
    EXPECT_TRUE(mp3_.IsStreamOpen());
    EXPECT_EQ(mp3_.FileName(), tmpfs.Path() + "/0812121536.mp3");
    Capture(1000);
    EXPECT_EQ(dialogs_.shown.size(), 1u);
    StopAt(At(8, 15, 37, 0));
    for (const auto& e : fs::directory_iterator(tmpfs.Path()))
        EXPECT_GT(fs::file_size(e.path()), 0u) << e.path();
    EXPECT_TRUE(fs::exists(tmpfs.Path() + "/0812121536a0812121537.mp3"));
}

TEST_F(RecordingSessionTest, RotationAcrossMidnightUsesTheNewDate) {
    StartAt(At(8, 23, 50, 0));
    RotateAt(At(9, 0, 0, 0));
    EXPECT_TRUE(fs::exists(InLocal("0812122350a0912120000.mp3")));
    EXPECT_TRUE(fs::exists(InLocal("0912120000.mp3")));
}

TEST_F(RecordingSessionTest, StopAndStartWithinOneMinuteNeverOverwrite) {
    StartAt(At(8, 15, 30, 5));
    StopAt(At(8, 15, 30, 20));
    EXPECT_TRUE(fs::exists(InLocal("0812121530a0812121530.mp3")));

    // Same provisional name again: the first one was renamed already.
    StartAt(At(8, 15, 30, 30));
    EXPECT_EQ(session_->InProgressPath(), InLocal("0812121530.mp3"));
    Capture(300);
    StopAt(At(8, 15, 30, 50));
    // Its final name is taken: it gets the next free suffix.
    EXPECT_EQ(session_->LastFinish().rename, SegmentRename::Renamed);
    EXPECT_EQ(session_->LastFinish().finalPath, InLocal("0812121530a0812121530-2.mp3"));
    EXPECT_FALSE(ReadFileBytes(InLocal("0812121530a0812121530-2.mp3")).empty());

    // A third start in that minute: the plain provisional name is free again.
    StartAt(At(8, 15, 30, 55));
    EXPECT_EQ(session_->InProgressPath(), InLocal("0812121530.mp3"));
    StopAt(At(8, 15, 31, 10));
    EXPECT_TRUE(fs::exists(InLocal("0812121530a0812121531.mp3")));
}

TEST_F(RecordingSessionTest, FinishingFailuresAreShownOnceWithThePathAndTheReason) {
    struct Case {
        const char* name;
        std::function<void()> breakIt;          // while the segment records
        std::function<std::string()> expected;  // in the message, besides the reason
        const char* reason;
    };
    const std::string backup = (dir_.path() / "Backup").string();
    const std::vector<Case> cases = {
        {"backup folder missing",
         [&] {
             settings_.Copia = "S";
             settings_.LocalCopia = backup;
         },
         [&] { return backup + "/0812121530a0812121531.mp3"; }, "No such file or directory"},
        {"file in progress deleted", [&] { fs::remove(session_->InProgressPath()); },
         [&] { return InLocal("0812121530.mp3"); }, "não existe mais"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(local_);
        fs::create_directory(local_);
        dialogs_.shown.clear();
        StartAt(At(8, 15, 30, 12));
        Capture(200);
        c.breakIt();
        StopAt(At(8, 15, 31, 0));
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Error);
        EXPECT_NE(dialogs_.shown[0].text.find(c.expected()), std::string::npos)
            << dialogs_.shown[0].text;
        EXPECT_NE(dialogs_.shown[0].text.find(c.reason), std::string::npos)
            << dialogs_.shown[0].text;
        settings_.Copia = "N";
    }
}

TEST_F(RecordingSessionTest, ChangingTheFolderWhileRecordingFinishesTheSegmentWhereItIs) {
    const std::string other = (dir_.path() / "Other").string();
    fs::create_directory(other);
    StartAt(At(8, 15, 30, 12));
    settings_.Local = other;
    RotateAt(At(8, 15, 40, 12));
    EXPECT_TRUE(fs::exists(InLocal("0812121530a0812121540.mp3")));
    EXPECT_TRUE(fs::exists(other + "/0812121540.mp3"));
    EXPECT_EQ(session_->InProgressPath(), other + "/0812121540.mp3");
}

TEST_F(RecordingSessionTest, BackupCopyAndExportFollowTheirFlags) {
    const std::string backup = (dir_.path() / "Backup").string();
    fs::create_directory(backup);
    settings_.LocalCopia = backup;
    std::vector<std::string> exported;
    session_->SetExportHook(
        [&](const std::string& path, TDateTime, TDateTime) { exported.push_back(path); });

    // Copy and export off.
    StartAt(At(8, 15, 30, 12));
    StopAt(At(8, 15, 34, 50));
    EXPECT_TRUE(fs::exists(InLocal("0812121530a0812121534.mp3")));
    EXPECT_TRUE(fs::is_empty(backup));
    EXPECT_TRUE(exported.empty());

    // Copy and export on.
    settings_.Copia = "S";
    settings_.Crowley = "S";
    StartAt(At(8, 15, 35, 0));
    Capture(300);
    RotateAt(At(8, 15, 45, 0));
    const std::string final1 = InLocal("0812121535a0812121545.mp3");
    EXPECT_EQ(ReadFileBytes(backup + "/0812121535a0812121545.mp3"), ReadFileBytes(final1));
    EXPECT_EQ(exported, std::vector<std::string>{final1});

    // A final name taken by an older file: the segment is copied and
    // exported under the next free one; the older file stays as it was.
    WriteFileBytes(InLocal("0812121545a0812121550.mp3"), "an older file of that name");
    StopAt(At(8, 15, 50, 0));
    const std::string final2 = InLocal("0812121545a0812121550-2.mp3");
    EXPECT_EQ(session_->LastFinish().finalPath, final2);
    EXPECT_EQ(ReadFileBytes(backup + "/0812121545a0812121550-2.mp3"), ReadFileBytes(final2));
    EXPECT_FALSE(fs::exists(backup + "/0812121545a0812121550.mp3"));
    EXPECT_EQ(exported, (std::vector<std::string>{final1, final2}));
    EXPECT_EQ(ReadFileBytes(InLocal("0812121545a0812121550.mp3")), "an older file of that name");
}

TEST_F(RecordingSessionTest, FailedOpensAreRetriedEveryFiveSecondsUnderTheAlarm) {
    settings_.Local = (dir_.path() / "missing").string();
    clock_.Set(At(8, 15, 30, 12));
    EXPECT_THROW(session_->BGravarClick(), Exception);
    EXPECT_FALSE(session_->IsRecording());
    EXPECT_TRUE(session_->WaitingForCapture());
    EXPECT_TRUE(view_.buttonsRecording);
    EXPECT_EQ(session_->CaptureRetry().interval(), 5000);
    EXPECT_TRUE(session_->CaptureRetry().isActive());
    EXPECT_FALSE(session_->TimerRecord().isActive());
    EXPECT_EQ(view_.recordingStates, (std::vector<bool>{true}));
    ASSERT_FALSE(view_.alarms.empty());
    EXPECT_NE(view_.alarms.back().find(settings_.Local), std::string::npos) << view_.alarms.back();

    // Still missing: the retry neither throws nor records; a cut meanwhile
    // has nothing to do.
    clock_.Set(At(8, 15, 30, 17));
    session_->CaptureRetryTimer();
    RotateAt(At(8, 15, 30, 20));
    EXPECT_FALSE(session_->IsRecording());

    // The folder appears: the next retry records, the alarm ends.
    fs::create_directory(settings_.Local);
    clock_.Set(At(8, 15, 31, 22));
    session_->CaptureRetryTimer();
    EXPECT_TRUE(session_->IsRecording());
    EXPECT_FALSE(session_->WaitingForCapture());
    EXPECT_FALSE(session_->CaptureRetry().isActive());
    EXPECT_TRUE(session_->TimerRecord().isActive());
    EXPECT_EQ(view_.alarms.back(), "");
    EXPECT_EQ(view_.recordingStates, (std::vector<bool>{true}));

    // The folder goes away: the tick still finishes the old segment, reports
    // the failed open and waits again.
    const std::string old = settings_.Local;
    settings_.Local = (dir_.path() / "gone").string();
    EXPECT_THROW(RotateAt(At(8, 15, 50, 12)), Exception);
    session_->WaitForFileWork();
    EXPECT_TRUE(fs::exists(old + "/0812121531a0812121550.mp3"));
    EXPECT_FALSE(session_->IsRecording());
    EXPECT_TRUE(session_->WaitingForCapture());
    EXPECT_NE(view_.alarms.back(), "");

    // The stop ends the wait.
    StopAt(At(8, 15, 51, 0));
    EXPECT_FALSE(session_->CaptureRetry().isActive());
    EXPECT_FALSE(view_.buttonsRecording);
    EXPECT_EQ(view_.alarms.back(), "");
    EXPECT_EQ(view_.recordingStates, (std::vector<bool>{true, false}));
}

TEST_F(RecordingSessionTest, ZeroSegmentLengthNeverRotates) {
    session_->SetSegmentInterval(0);
    StartAt(At(8, 15, 30, 12));
    EXPECT_FALSE(session_->TimerRecord().isActive());
    // Setting a length while idle takes effect at the next start.
    StopAt(At(8, 15, 31, 0));
    session_->SetSegmentInterval(60000);
    StartAt(At(8, 15, 32, 0));
    EXPECT_TRUE(session_->TimerRecord().isActive());
    EXPECT_EQ(session_->TimerRecord().interval(), 60000);
}

TEST_F(RecordingSessionTest, StartWhileRecordingChangesNothing) {
    StartAt(At(8, 15, 30, 12));
    BufferAt(At(8, 15, 31, 12));
    clock_.Set(At(8, 15, 32, 0));
    session_->BGravarClick();
    BufferAt(At(8, 15, 32, 12));
    EXPECT_EQ(view_.tempo, "00:02:00");
    EXPECT_EQ(session_->InProgressPath(), InLocal("0812121530.mp3"));
}

// ---- disk figures, guard and retention triggers ----------------------------------------

TEST_F(RecordingSessionTest, BuffersShowTheDiskFiguresOfTheRecordingFolder) {
    BufferAt(At(8, 12, 0, 0));
    EXPECT_EQ(view_.percent, -1) << "no disk figures while idle";
    StartAt(At(8, 12, 0, 0));
    BufferAt(At(8, 12, 0, 1));
    ASSERT_TRUE(session_->Disk().has_value());
    const DiskFigures disk = *session_->Disk();
    EXPECT_EQ(view_.livre, std::to_string(disk.freeMB) + " MB");
    EXPECT_EQ(view_.ocupado, std::to_string(disk.UsedMB()) + " MB");
    EXPECT_GE(view_.percent, 0);
    EXPECT_LE(view_.percent, 100);
}

TEST_F(RecordingSessionTest, GuardDeletesTheOldestRecordingOnePerBuffer) {
    WriteFileBytes(InLocal("0112121000a0112121010.mp3"), "newer");
    WriteFileBytes(InLocal("2811121000a2811121010.mp3"), "older");
    SetMtime(InLocal("0112121000a0112121010.mp3"), At(1, 10, 10, 0));
    SetMtime(InLocal("2811121000a2811121010.mp3"), EncodeDateTime(2012, 11, 28, 10, 10, 0, 0));
    StartAt(At(8, 12, 0, 0));
    settings_.MBLivres = "2147483647";  // never enough: the guard acts on every buffer

    BufferAt(At(8, 12, 0, 1));
    EXPECT_EQ(session_->LastGuardDeletion(), InLocal("2811121000a2811121010.mp3"));
    EXPECT_TRUE(fs::exists(InLocal("0112121000a0112121010.mp3")));
    BufferAt(At(8, 12, 0, 2));
    EXPECT_EQ(session_->LastGuardDeletion(), InLocal("0112121000a0112121010.mp3"));
    // Only the segment in progress is left, and it stays.
    BufferAt(At(8, 12, 0, 3));
    EXPECT_EQ(session_->LastGuardDeletion(), "");
    EXPECT_EQ(LocalNames(), std::vector<std::string>{"0812121200.mp3"});

    settings_.MBLivres = "200 MB";
    EXPECT_THROW(BufferAt(At(8, 12, 0, 4)), EConvertError);
}

TEST_F(RecordingSessionTest, NightlyRetentionRunsDuringTheLastSecondOfTheDay) {
    settings_.DiasRec = "30";
    const std::string old = InLocal("0711121000a0711121010.mp3");
    WriteFileBytes(old, "old");
    SetMtime(old, EncodeDateTime(2012, 11, 7, 10, 10, 0, 0));
    StartAt(At(8, 23, 50, 0));
    BufferAt(At(8, 23, 59, 58, 990));
    EXPECT_TRUE(fs::exists(old));
    BufferAt(At(8, 23, 59, 59, 10));
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(InLocal("0812122350.mp3")));

    // DiasRec "0" deletes everything but the segment being written.
    WriteFileBytes(InLocal("other.mp3"), "x");
    SetMtime(InLocal("other.mp3"), At(8, 23, 0, 0));
    settings_.DiasRec = "0";
    session_->PurgeOldRecordings();
    session_->WaitForFileWork();
    EXPECT_EQ(LocalNames(), std::vector<std::string>{"0812122350.mp3"});

    EXPECT_EQ(session_->TimerMataArquivos().interval(), 86400000);
    EXPECT_TRUE(session_->TimerMataArquivos().isActive());
    // A malformed value ends the pass on the worker and is shown; the next
    // pass runs again.
    settings_.DiasRec = "trinta";
    const int passes = session_->RetentionPasses();
    session_->TimerMataArquivosTimer();
    session_->WaitForFileWork();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Error);
    EXPECT_NE(dialogs_.shown[0].text.find("trinta"), std::string::npos) << dialogs_.shown[0].text;
    settings_.DiasRec = "30";
    session_->TimerMataArquivosTimer();
    session_->WaitForFileWork();
    EXPECT_EQ(session_->RetentionPasses(), passes + 2);
}

}  // namespace
}  // namespace zt
