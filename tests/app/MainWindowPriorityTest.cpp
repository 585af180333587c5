// The recorder raising its own priority when its settings are applied: the
// process found by name in /proc and lowered in nice value, every capture
// thread of the window put on real-time scheduling, and a raise that fails
// reported without holding anything up. A /proc tree and a kernel of the
// test's making stand in for the real ones, so nothing is raised for real.

#include <gtest/gtest.h>
#include <sched.h>

#include <QCheckBox>
#include <algorithm>
#include <map>

#include "app/AppTestSupport.h"
#include "app/MainWindow.h"
#include "audio/capture/WaveInTestSupport.h"
#include "mixer/ui/MixerCheckBox.h"
#include "platform/AudioThreadPriority.h"
#include "platform/Paths.h"
#include "priority/PriorityFakes.h"
#include "priority/TFrmPrioridade.h"
#include "support/AlsaFixture.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

constexpr pid_t kRecorderPid = 4242;
// The fake card's input source items.
constexpr long kLine = 0, kMic = 1;

class MainWindowPriorityTest : public ::testing::Test {
protected:
    // A fake card, so that the apply's later step (the recording input)
    // leaves a trace on the card.
    MainWindowPriorityTest()
        : fx_({test::CardPcm("zt_card", test::AlsaCardVariant::Full, "Fake Card")}) {
        SetExecutableDirOverride(exeDir_.dir());
        procTree_.Add(1, "systemd");
        procTree_.Add(kRecorderPid, "ZeltaTresona");
        procTree_.Add(5000, "pipewire");
        kernel_.processes[1] = {};
        kernel_.processes[kRecorderPid] = {};
        kernel_.processes[5000] = {};
    }
    ~MainWindowPriorityTest() override {
        window_.reset();
        SetExecutableDirOverride("");
    }

    TFrmGravar& Create(const std::map<std::string, std::string>& settings) {
        std::map<std::string, std::string> all = settings;
        all["AutoGravar"] = "N";
        test::WriteSettings(exeDir_.dir(), all);
        MainWindowServices services;
        services.watchSignals = false;
        services.procRoot = procTree_.root();
        services.prioritySystem = &kernel_;
        window_ = std::make_unique<TFrmGravar>(std::move(services));
        return *window_;
    }

    // Records a moment and stops, so that a capture thread has started and
    // ended (its end orders its calls before the test reads them).
    void RecordBriefly(TFrmGravar& w) {
        w.BGravarClick();
        ASSERT_TRUE(test::RunUntil([&] { return w.IsRecording(); }));
        w.Session().BStopClick();
        w.Session().WaitForFileWork();
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& shown : dialogs_.shown) texts.push_back(shown.text);
        return texts;
    }

    bool CaptureThreadMadeRealtime() const {
        return std::any_of(
            kernel_.schedulerCalls.begin(), kernel_.schedulerCalls.end(), [](const auto& call) {
                return (call.policy & ~SCHED_RESET_ON_FORK) == SCHED_FIFO && call.priority > 0;
            });
    }

    test::TempDir exeDir_;
    test::AlsaFixture fx_;
    test::ScriptedDialogs dialogs_;
    test::FakeProcTree procTree_;
    test::FakePrioritySystem kernel_;
    std::unique_ptr<TFrmGravar> window_;
};

TEST_F(MainWindowPriorityTest, WantedPriorityRaisesTheRecorderAndItsCaptureThreads) {
    kernel_.niceLimit = {40, 40};  // this user may go down to -20
    kernel_.rtprioLimit = {20, 20};
    TFrmGravar& w = Create({{"Prioridade", "S"}});

    EXPECT_TRUE(dialogs_.shown.empty()) << ::testing::PrintToString(Texts());
    EXPECT_TRUE(w.PriorityBox()->isChecked());
    EXPECT_EQ(kernel_.processes[kRecorderPid].nice, -20);
    EXPECT_EQ(kernel_.processes[1].nice, 0);
    EXPECT_EQ(kernel_.processes[5000].nice, 0);

    // Capture threads start with each recording: each one is raised as it
    // starts, not only the one running when the settings were applied.
    RecordBriefly(w);
    ASSERT_TRUE(CaptureThreadMadeRealtime());
    const size_t afterFirst = kernel_.schedulerCalls.size();
    RecordBriefly(w);
    EXPECT_GT(kernel_.schedulerCalls.size(), afterFirst);

    // The window gone, later capture threads are left alone (the raiser
    // referred to the window's kernel).
    window_.reset();
    EXPECT_EQ(SetAudioThreadRaiser({}), 0);
}

TEST_F(MainWindowPriorityTest, PriorityNotWantedRaisesNothingAndTheBoxIsTakenOverOnlyBySaving) {
    kernel_.niceLimit = {40, 40};
    TFrmGravar& w = Create({{"Prioridade", "N"}});
    EXPECT_FALSE(w.PriorityBox()->isChecked());
    RecordBriefly(w);
    EXPECT_EQ(kernel_.processes[kRecorderPid].nice, 0);
    EXPECT_TRUE(kernel_.schedulerCalls.empty());

    // This platform can raise a priority: the click is not refused, and
    // nothing is raised before the settings are saved.
    w.PriorityBox()->click();
    EXPECT_TRUE(w.PriorityBox()->isChecked());
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(kernel_.processes[kRecorderPid].nice, 0);
}

TEST_F(MainWindowPriorityTest, ARaiseThatFailsIsReportedOnceAndTheApplyGoesOn) {
    struct Case {
        const char* name;
        bool refuseAll;
        bool recorderListed;
        const char* message;
    };
    const Case cases[] = {
        {"the kernel refuses", true, true, kPriorityChangeError},
        {"no process of the recorder's name", false, false, "List index out of bounds (-1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kernel_.refuseAll = c.refuseAll;
        kernel_.niceLimit = {40, 40};  // there is something to gain
        if (!c.recorderListed) procTree_.Remove(kRecorderPid);
        dialogs_.shown.clear();
        ASSERT_EQ(fx_.SetCardValue("zt_card", "Input Source", {kMic}), 0);
        TFrmGravar& w = Create({{"Prioridade", "S"}, {"Controle", "1"}});
        // Shown once the event loop runs, not in the middle of creation.
        EXPECT_TRUE(dialogs_.shown.empty());
        ASSERT_TRUE(test::RunUntil([&] { return !dialogs_.shown.empty(); }));
        ASSERT_EQ(dialogs_.shown.size(), 1u) << ::testing::PrintToString(Texts());
        EXPECT_EQ(dialogs_.shown[0].text, c.message);
        EXPECT_EQ(kernel_.processes[kRecorderPid].nice, 0);
        // The step after the raise ran: Controle 1 ("Line") reached the card.
        EXPECT_EQ(fx_.CardState("zt_card")["Input Source"], std::vector<long>{kLine});
        EXPECT_TRUE(w.RecordingInputBox().Checked());
        // And recording works.
        RecordBriefly(w);
        EXPECT_EQ(dialogs_.shown.size(), 1u);
        window_.reset();
    }
}

}  // namespace
}  // namespace zt
