// The main window in this process (offscreen): creation in order, the
// auto-start, the closing rules, the session end, the termination signals
// and the tray menu's effect on the recording. Real capture from the test
// PCM, the real encoder, real files in a temporary program folder.

#include "app/MainWindow.h"
#include "displays/LEDLabel.h"
#include "displays/ui/DisplayView.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>

#include "app/AppTestSupport.h"
#include "app/TrayIcon.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/files/Mpg123TestDecoder.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/ShutdownInhibitor.h"
#include "priority/PriorityFakes.h"
#include "support/AlsaFixture.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"
#include "update/StartupUpdateCheck.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::FileNames;
using test::ReadFileBytes;
using test::RunUntil;

class FakeInhibitor final : public ShutdownInhibitor {
public:
    void Acquire() override {
        if (!held) ++acquired;
        held = true;
    }
    void Release() override {
        if (held) ++released;
        held = false;
    }
    bool Held() const override { return held; }
    bool held = false;
    int acquired = 0, released = 0;
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : fx_(std::string(5 * 44100 * 4, '\0')) {
        SetExecutableDirOverride(exeDir_.dir());
    }
    ~MainWindowTest() override {
        window_.reset();
        SetExecutableDirOverride("");
    }

    TFrmGravar& Create(bool watchSignals = false) {
        MainWindowServices services;
        // The priority raise reads a /proc of the test's making and calls a
        // kernel of its own, so no test raises this process for real.
        services.procRoot = procTree_.root();
        services.prioritySystem = &kernel_;
        auto inhibitor = std::make_unique<FakeInhibitor>();
        inhibitor_ = inhibitor.get();
        services.inhibitor = std::move(inhibitor);
        services.watchSignals = watchSignals;
        services.terminate = [this] { ++terminations_; };
        window_ = std::make_unique<TFrmGravar>(std::move(services));
        return *window_;
    }
    template <class W>
    W* Child(const char* name) {
        W* w = window_->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // The text an LED read-out shows.
    std::string Text(const char* label) {
        auto* view = Child<TMMDisplayView>(label);
        auto* led = dynamic_cast<TMMLEDLABEL*>(&view->Control());
        EXPECT_NE(led, nullptr) << label;
        return led ? led->Caption() : std::string();
    }
    bool Shown(const char* name) { return !Child<QWidget>(name)->isHidden(); }
    std::string Audio() const { return exeDir_.dir() + "Audio"; }
    // Waits until the running segment has received MP3 data.
    void WaitForAudio() {
        ASSERT_TRUE(RunUntil([&] {
            const std::string path = window_->Session().InProgressPath();
            std::error_code ec;
            return !path.empty() && fs::file_size(path, ec) > 2000 && !ec;
        }));
    }

    test::TempDir exeDir_;
    test::AlsaFixture fx_;
    test::ScriptedDialogs dialogs_;
    test::FakeProcTree procTree_;
    test::FakePrioritySystem kernel_;
    std::unique_ptr<TFrmGravar> window_;
    FakeInhibitor* inhibitor_ = nullptr;
    int terminations_ = 0;
};

TEST_F(MainWindowTest, FirstStartWritesDefaultsAndRecordsOneSecondLater) {
    TFrmGravar& w = Create();
    EXPECT_TRUE(fs::exists(exeDir_.file("cfg.ini")));
    EXPECT_TRUE(fs::is_directory(Audio()));
    EXPECT_EQ(w.Settings().Local, Audio());
    EXPECT_EQ(Text("LFormato"), std::string(20, ' ') + "MP3: 64 Kbps, Stereo");
    EXPECT_TRUE(Shown("BGravar"));
    EXPECT_FALSE(Shown("BStop"));
    QTimer* inicio = Child<QTimer>("TimerInicio");
    EXPECT_TRUE(inicio->isActive());
    EXPECT_TRUE(inicio->isSingleShot());
    EXPECT_EQ(inicio->interval(), 1000);
    EXPECT_EQ(w.Session().SegmentInterval(), 600000);
    EXPECT_FALSE(w.IsRecording());
    EXPECT_TRUE(dialogs_.shown.empty());

    // AutoGravar "S": the start-up timer starts the recording.
    ASSERT_TRUE(RunUntil([&] { return w.IsRecording(); }, std::chrono::seconds(5)));
    EXPECT_FALSE(inicio->isActive());
    EXPECT_FALSE(Shown("BGravar"));
    EXPECT_TRUE(Shown("BStop"));
    EXPECT_TRUE(Shown("LabelParar"));
    EXPECT_FALSE(Shown("LabelGravar"));
    EXPECT_TRUE(inhibitor_->held);
    EXPECT_TRUE(w.Session().TimerRecord().isActive());
    WaitForAudio();
    const std::vector<std::string> files = FileNames(Audio());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(test::IsProvisionalName(files[0])) << files[0];
    EXPECT_NE(Text("LLivre").find(" MB"), std::string::npos);
}

TEST_F(MainWindowTest, ClosingWhileRecordingIsRefusedByTheButtonAndFinishesFromTheTray) {
    TFrmGravar& w = Create();
    w.BGravarClick();
    ASSERT_TRUE(w.IsRecording());
    WaitForAudio();

    w.BSairClick();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Information);
    EXPECT_EQ(dialogs_.shown[0].text,
              "É necessário parar a gravação antes de finalizar o sistema!");
    EXPECT_TRUE(w.IsRecording());
    EXPECT_EQ(terminations_, 0);

    // The session end is refused while recording, with the window shown.
    w.hide();
    EXPECT_FALSE(w.MayEndSession(true));
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(dialogs_.shown.size(), 2u);
    EXPECT_EQ(dialogs_.shown[1].text, "É necessário parar a gravação antes de desligar o Windows!");
    EXPECT_TRUE(w.IsRecording());

    w.Tray().Fechar1Click();
    EXPECT_FALSE(w.IsRecording());
    EXPECT_EQ(terminations_, 1);
    EXPECT_FALSE(inhibitor_->held);
    const std::vector<std::string> files = FileNames(Audio());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(test::IsFinalName(files[0])) << files[0];
    const test::DecodedMp3 decoded = test::DecodeMp3(ReadFileBytes(Audio() + "/" + files[0]));
    EXPECT_TRUE(decoded.ok) << decoded.error;
}

TEST_F(MainWindowTest, IdleWindowClosesAndLetsTheSessionEnd) {
    test::WriteSettings(exeDir_.dir(), {{"AutoGravar", "N"}});
    TFrmGravar& w = Create();
    w.TimerInicioTimer();
    EXPECT_FALSE(w.IsRecording());
    EXPECT_TRUE(w.MayEndSession(true));
    w.BSairClick();
    EXPECT_EQ(terminations_, 1);
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_TRUE(FileNames(Audio()).empty());
}

TEST_F(MainWindowTest, TrayMenuStatesChangeOnlyThroughItsOwnItems) {
    test::WriteSettings(exeDir_.dir(), {{"AutoGravar", "N"}});
    TFrmGravar& w = Create();
    TTrayIcon& tray = w.Tray();
    EXPECT_FALSE(tray.Gravar1()->isEnabled());
    EXPECT_TRUE(tray.Parar1()->isEnabled());

    // "Parar" on an idle recorder finds nothing to finish.
    w.Parar1Click();
    EXPECT_TRUE(tray.Gravar1()->isEnabled());
    EXPECT_FALSE(tray.Parar1()->isEnabled());
    EXPECT_TRUE(FileNames(Audio()).empty());

    w.Gravar1Click();
    EXPECT_TRUE(w.IsRecording());
    EXPECT_FALSE(tray.Gravar1()->isEnabled());
    EXPECT_TRUE(tray.Parar1()->isEnabled());

    // A stop and a start from the window leave the menu alone.
    w.BStopClick();
    EXPECT_FALSE(w.IsRecording());
    w.BGravarClick();
    EXPECT_TRUE(w.IsRecording());
    EXPECT_FALSE(tray.Gravar1()->isEnabled());
    EXPECT_TRUE(tray.Parar1()->isEnabled());

    // The tray animates while recording and shows the idle frame after a stop.
    EXPECT_TRUE(tray.TimerIcone()->isActive());
    w.BStopClick();
    EXPECT_FALSE(tray.TimerIcone()->isActive());
    EXPECT_EQ(inhibitor_->acquired, 2);
    EXPECT_EQ(inhibitor_->released, 2);
}

TEST_F(MainWindowTest, SettingsErrorsAtStartUpAreShownAndStartUpGoesOn) {
    struct Case {
        const char* key;
        const char* value;
        DialogKind kind;
        std::string text;
    } cases[] = {
        // One warning box naming the file, the key and the value; the
        // default is used and the rest of creation runs.
        {"TempoRec", "dez", DialogKind::Warning, "[Geral] TempoRec = \"dez\": usado \"10\""},
        {"DiasRec", "trinta", DialogKind::Warning, "[Geral] DiasRec = \"trinta\": usado \"30\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        dialogs_.shown.clear();
        // An old recording, so the retention pass converts DiasRec.
        fs::create_directories(Audio());
        test::WriteFileBytes(Audio() + "/0101101000a0101101010.mp3", "old");
        test::WriteSettings(exeDir_.dir(), {{c.key, c.value}, {"AutoGravar", "N"}});
        Create();
        // The box comes from the event loop; the retention pass runs on the
        // session's file worker.
        ASSERT_TRUE(RunUntil([&] { return !dialogs_.shown.empty(); }, std::chrono::seconds(5)));
        window_->Session().WaitForFileWork();
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_EQ(dialogs_.shown[0].kind, c.kind);
        EXPECT_NE(dialogs_.shown[0].text.find(c.text), std::string::npos) << dialogs_.shown[0].text;
        EXPECT_NE(dialogs_.shown[0].text.find(exeDir_.file("cfg.ini")), std::string::npos);
        EXPECT_EQ(Text("LFormato"), std::string(20, ' ') + "MP3: 64 Kbps, Stereo");
        EXPECT_TRUE(Shown("BGravar"));
        EXPECT_TRUE(Child<QTimer>("TimerInicio")->isActive());
        window_.reset();
    }
}

// Dialogs that keep a box open for a while in its own event loop, as a
// modal box waiting for the operator does.
class WaitingDialogs final : public Dialogs {
public:
    explicit WaitingDialogs(std::function<bool()> done) : done_(std::move(done)) {
        previous_ = SetDialogs(this);
    }
    ~WaitingDialogs() override { SetDialogs(previous_); }
    void Information(const std::string& text) override { Wait(text); }
    void Warning(const std::string& text) override { Wait(text); }
    void Error(const std::string& text) override { Wait(text); }
    bool Question(const std::string& text) override {
        Wait(text);
        return false;
    }
    std::optional<std::string> ChooseFolder(const std::string& start) override {
        Wait(start);
        return std::nullopt;
    }
    std::vector<std::string> shown;
    bool doneWhileOpen = false;

private:
    void Wait(const std::string& text) {
        shown.push_back(text);
        QElapsedTimer open;
        open.start();
        while (open.elapsed() < 4000 && !done_())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        doneWhileOpen = doneWhileOpen || done_();
    }
    std::function<bool()> done_;
    Dialogs* previous_ = nullptr;
};

TEST_F(MainWindowTest, NoBoxHoldsUpTheAutomaticRecording) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> settings;
        size_t boxes;
    };
    const Case cases[] = {
        // No process of the recorder's name to raise: the error is shown
        // and the rest of the apply and the start go on.
        {"priority wanted but not to be had", {{"Prioridade", "S"}}, 1},
        {"a settings error waits for the operator", {{"TempoRec", "dez"}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> settings = c.settings;
        settings["AutoGravar"] = "S";
        test::WriteSettings(exeDir_.dir(), settings);
        WaitingDialogs boxes([&] { return window_ && window_->IsRecording(); });
        QElapsedTimer launched;
        launched.start();
        TFrmGravar& w = Create();
        ASSERT_TRUE(RunUntil([&] { return w.IsRecording(); }, std::chrono::seconds(5)));
        EXPECT_LT(launched.elapsed(), 2500);
        EXPECT_EQ(boxes.shown.size(), c.boxes);
        if (c.boxes > 0) {
            EXPECT_TRUE(boxes.doneWhileOpen) << "recording began while the box was open";
        }
        w.Session().BStopClick();
        w.Session().WaitForFileWork();
        window_.reset();
        fs::remove_all(Audio());
    }
}

TEST_F(MainWindowTest, ASegmentLeftByAPowerCutIsFinishedAtStartUp) {
    test::WriteSettings(exeDir_.dir(), {{"AutoGravar", "N"}});
    fs::create_directories(Audio());
    const std::string orphan = Audio() + "/0812121530.mp3";
    test::WriteFileBytes(orphan, "what was recorded before the power went");
    const time_t modified = time(nullptr) - 60;
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, orphan.c_str(), times, 0));
    TFrmGravar& w = Create();
    w.Session().WaitForFileWork();
    const std::string end = SegmentStamp(FromUnixSeconds(double(modified)));
    EXPECT_EQ(FileNames(Audio()), std::vector<std::string>{"0812121530a" + end + ".mp3"});
}

TEST_F(MainWindowTest, AFailedStartIsShownOnceThenRetriedUnderTheAlarm) {
    const std::string missing = exeDir_.dir() + "Gravacoes";
    test::WriteSettings(exeDir_.dir(), {{"Local", missing}});
    TFrmGravar& w = Create();
    ASSERT_TRUE(RunUntil([&] { return !dialogs_.shown.empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Error);
    EXPECT_FALSE(w.IsRecording());
    // Recording is still what the operator wants: the stop button, the
    // shutdown lock, and the alarm saying why nothing is recorded.
    EXPECT_TRUE(Shown("BStop"));
    EXPECT_TRUE(inhibitor_->held);
    EXPECT_TRUE(Shown("LAlarme"));
    const std::string alarm = Child<QLabel>("LAlarme")->text().toStdString();
    EXPECT_NE(alarm.find(missing), std::string::npos) << alarm;
    EXPECT_TRUE(w.Tray().AlarmShown());
    EXPECT_NE(w.Tray().Tray()->toolTip().toStdString().find(missing), std::string::npos);
    EXPECT_TRUE(w.Session().CaptureRetry().isActive());
    // Retries that fail show nothing more.
    w.Session().CaptureRetryTimer();
    w.Session().CaptureRetryTimer();
    EXPECT_EQ(dialogs_.shown.size(), 1u);
    // The folder is back (a drive mounted again): the next retry records.
    fs::create_directory(missing);
    w.Session().CaptureRetry().setInterval(1);
    ASSERT_TRUE(RunUntil([&] { return w.IsRecording(); }));
    EXPECT_FALSE(Shown("LAlarme"));
    EXPECT_FALSE(w.Tray().AlarmShown());
    EXPECT_TRUE(inhibitor_->held);
    EXPECT_EQ(inhibitor_->acquired, 1) << "the lock is kept through the wait";
    EXPECT_EQ(dialogs_.shown.size(), 1u);
}

TEST_F(MainWindowTest, AnErrorInTheBufferHandlerStopsTheCaptureAndIsShown) {
    test::WriteSettings(exeDir_.dir(), {{"AutoGravar", "N"}});
    TFrmGravar& w = Create();
    // A value the file could not give (its check replaces it): one that
    // only fails where the handler converts it.
    w.Settings().MBLivres = "duzentos";
    w.BGravarClick();
    ASSERT_TRUE(RunUntil([&] { return !w.IsRecording(); }));
    ASSERT_FALSE(dialogs_.shown.empty());
    EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Error);
    EXPECT_EQ(dialogs_.shown[0].text, "'duzentos' is not a valid integer value");
    ASSERT_TRUE(RunUntil([&] { return w.Session().WaitingForCapture() && Shown("LAlarme"); }));
    EXPECT_TRUE(Shown("BStop"));
    EXPECT_TRUE(w.Session().CaptureRetry().isActive());
    // What was recorded before the failure is a finished segment.
    w.Session().WaitForFileWork();
    for (const std::string& name : FileNames(Audio())) EXPECT_TRUE(test::IsFinalName(name)) << name;
    // Mended, the recorder records again at the next retry.
    w.Settings().MBLivres = "0";
    w.Session().CaptureRetryTimer();
    EXPECT_TRUE(w.IsRecording());
    EXPECT_FALSE(Shown("LAlarme"));
}

TEST_F(MainWindowTest, TerminationSignalFinishesTheRunningSegment) {
    for (int signalNumber : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        terminations_ = 0;
        TFrmGravar& w = Create(/*watchSignals=*/true);
        w.BGravarClick();
        WaitForAudio();
        const std::string provisional = w.Session().InProgressPath();
        ASSERT_EQ(0, ::raise(signalNumber));
        ASSERT_TRUE(RunUntil([&] { return terminations_ > 0; }));
        EXPECT_FALSE(w.IsRecording());
        EXPECT_FALSE(fs::exists(provisional));
        const std::string final = w.Session().LastFinish().finalPath;
        EXPECT_TRUE(test::IsFinalName(fs::path(final).filename())) << final;
        const test::DecodedMp3 decoded = test::DecodeMp3(ReadFileBytes(final));
        EXPECT_TRUE(decoded.ok) << decoded.error;
        window_.reset();
        // The next round starts within the same minute: leave its names free.
        fs::remove_all(Audio());
    }
}

TEST_F(MainWindowTest, ShowingTheWindowRefreshesTheDiskFigures) {
    test::WriteSettings(exeDir_.dir(), {{"AutoGravar", "N"}});
    TFrmGravar& w = Create();
    EXPECT_EQ(Text("LLivre"), "0 MB") << "the form's text until measured";
    w.show();
    EXPECT_NE(Text("LLivre"), "0 MB");
    EXPECT_NE(Text("LLivre").find(" MB"), std::string::npos);
    EXPECT_NE(Text("LOcupado").find(" MB"), std::string::npos);

    // Without a notification area, hiding minimises so the window can
    // still be brought back; the tray's toggle restores it.
    ASSERT_FALSE(w.Tray().Shown());
    w.BOcultarClick();
    EXPECT_FALSE(w.isHidden());
    EXPECT_TRUE(w.isMinimized());
    w.Tray().TrayCallback(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, TheStartUpCheckAsksOnlyForAReplyThatNamesAnUpdate) {
    struct Case {
        const char* reply;
        bool asks;
    };
    const Case cases[] = {{"nada", false}, {"Erro", false}, {"sempermissao", false},
                          {"   ", false},  {" NADA", true}, {"a2012.06.01.3.zip", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.reply + "\"");
        test::TestHttpServer service;
        service.SetDefault({test::TestHttpServer::WaitRequest(),
                            test::TestHttpServer::Send(test::HttpReply("200 OK", "", c.reply))});
        ::setenv("ZT_UPDATE_BASE_URL", service.Url("/").c_str(), 1);
        dialogs_.shown.clear();
        // No: the question is all this test looks at.
        if (c.asks) dialogs_.answers.push_back(false);
        TFrmGravar& w = Create();
        ::unsetenv("ZT_UPDATE_BASE_URL");
        ASSERT_NE(w.UpdateCheck(), nullptr);
        ASSERT_TRUE(RunUntil([&] { return w.UpdateCheck()->Finished(); }));
        std::vector<test::ShownDialog> expected;
        if (c.asks)
            expected.push_back({DialogKind::Question,
                                "Há uma nova atualização disponível. Deseja atualizar agora?"});
        EXPECT_EQ(dialogs_.shown, expected);
        window_.reset();
    }
}

}  // namespace
}  // namespace zt
