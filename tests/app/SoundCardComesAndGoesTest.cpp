// The window with a sound card that comes and goes, as a USB card does: not
// there when the program starts (slower than the desktop at boot), plugged
// in later, pulled out while recording and put back. Each incident is shown
// once, the window and the tray say why nothing is recorded meanwhile, and
// recording resumes on its own within the 5 s retry of the card's return.
// The card is the clock test PCM behind ALSA's "default", found by the
// program's own device probe.

#include <gtest/gtest.h>

#include <QLabel>
#include <QSystemTrayIcon>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "app/AppTestSupport.h"
#include "app/MainWindow.h"
#include "app/TrayIcon.h"
#include "audio/capture/WaveInTestSupport.h"
#include "platform/Paths.h"
#include "support/AlsaFixture.h"
#include "support/ClockSignal.h"
#include "support/Renders.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::RunUntil;

// A retry every 5 s, and slack for a loaded machine.
constexpr auto kResumeWithin = std::chrono::milliseconds(RecordingSession::kCaptureRetryMs + 3000);

class SoundCardComesAndGoesTest : public ::testing::Test {
protected:
    SoundCardComesAndGoesTest() : fx_({test::ClockPcm("zt_capture", 44100)}) {
        SetExecutableDirOverride(exeDir_.dir());
    }
    ~SoundCardComesAndGoesTest() override {
        window_.reset();
        SetExecutableDirOverride("");
    }

    TFrmGravar& Create() {
        MainWindowServices services;
        services.watchSignals = false;
        services.terminate = [] {};
        window_ = std::make_unique<TFrmGravar>(std::move(services));
        return *window_;
    }
    bool Shown(const char* name) {
        auto* widget = window_->findChild<QWidget*>(name);
        return widget && !widget->isHidden();
    }
    std::string AlarmText() {
        auto* label = window_->findChild<QLabel*>("LAlarme");
        return label ? label->text().toStdString() : std::string();
    }
    std::string Audio() const { return exeDir_.dir() + "Audio"; }
    void WaitForAudio() {
        ASSERT_TRUE(RunUntil([&] {
            const std::string path = window_->Session().InProgressPath();
            std::error_code ec;
            return !path.empty() && fs::file_size(path, ec) > 4000 && !ec;
        }));
    }

    test::TempDir exeDir_;
    test::AlsaFixture fx_;
    test::ScriptedDialogs dialogs_;
    std::unique_ptr<TFrmGravar> window_;
};

TEST_F(SoundCardComesAndGoesTest, ACardLateAtStartUpAndOneUnpluggedWhileRecordingBothResume) {
    fx_.Unplug("zt_capture");
    TFrmGravar& w = Create();
    EXPECT_EQ(w.WaveIn().NumDevs(), 0);

    // The automatic start finds no card: one box, then the alarm.
    ASSERT_TRUE(RunUntil([&] { return !dialogs_.shown.empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Error);
    EXPECT_FALSE(w.IsRecording());
    EXPECT_TRUE(Shown("BStop")) << "recording is still wanted";
    EXPECT_TRUE(Shown("LAlarme"));
    EXPECT_NE(AlarmText().find(dialogs_.shown[0].text), std::string::npos) << AlarmText();
    EXPECT_TRUE(w.Tray().AlarmShown());
    EXPECT_NE(w.Tray().Tray()->toolTip().toStdString().find("Não está gravando"),
              std::string::npos);
    w.show();
    test::SaveRender(w.grab().toImage(), "main_window_no_card");

    // Plugged in: the next retry finds it in the list and records.
    fx_.Replug("zt_capture");
    ASSERT_TRUE(RunUntil([&] { return w.IsRecording(); }, kResumeWithin));
    EXPECT_EQ(w.WaveIn().NumDevs(), 1);
    EXPECT_FALSE(Shown("LAlarme"));
    EXPECT_FALSE(w.Tray().AlarmShown());
    EXPECT_EQ(dialogs_.shown.size(), 1u);
    WaitForAudio();

    // Pulled out while recording: a new incident, shown once; the segment
    // that was running is finished with what it holds.
    fx_.Unplug("zt_capture");
    ASSERT_TRUE(
        RunUntil([&] { return !w.IsRecording() && Shown("LAlarme"); }, std::chrono::seconds(10)));
    ASSERT_TRUE(RunUntil([&] { return dialogs_.shown.size() == 2; }));
    EXPECT_NE(dialogs_.shown[1].text.find("No such device"), std::string::npos)
        << dialogs_.shown[1].text;
    EXPECT_NE(AlarmText().find("No such device"), std::string::npos) << AlarmText();
    w.Session().WaitForFileWork();
    std::vector<std::string> names = test::FileNames(Audio());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(test::IsFinalName(names[0])) << names[0];

    // Put back: recording resumes in a new segment, with no further box.
    fx_.Replug("zt_capture");
    ASSERT_TRUE(RunUntil([&] { return w.IsRecording(); }, kResumeWithin));
    EXPECT_FALSE(Shown("LAlarme"));
    WaitForAudio();
    w.Session().BStopClick();
    w.Session().WaitForFileWork();
    EXPECT_EQ(dialogs_.shown.size(), 2u);

    names = test::FileNames(Audio());
    ASSERT_EQ(names.size(), 2u);
    for (const std::string& name : names) {
        EXPECT_TRUE(test::IsFinalName(name)) << name;
        const test::DecodedMp3 decoded = test::DecodeMp3WithMpg123Program(Audio() + "/" + name);
        EXPECT_TRUE(decoded.ok) << name << ": " << decoded.error;
        EXPECT_GT(decoded.Frames(), 0u) << name;
    }
}

}  // namespace
}  // namespace zt
