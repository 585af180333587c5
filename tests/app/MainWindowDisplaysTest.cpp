// The main window's live displays while it records: a signal on the left
// channel only reaches the left bar and needle and not the right ones,
// the oscilloscope and the analyser show it, stopping resets them, and the
// display button cycles the panels.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <algorithm>

#include "app/MainWindow.h"
#include "audio/capture/WaveInTestSupport.h"
#include "platform/Paths.h"
#include "platform/ShutdownInhibitor.h"
#include "support/AlsaFixture.h"
#include "support/Renders.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::RunUntil;

class DisplaysTestInhibitor final : public ShutdownInhibitor {
public:
    void Acquire() override { held = true; }
    void Release() override { held = false; }
    bool Held() const override { return held; }
    bool held = false;
};

// Five seconds of 16-bit stereo: a 441 Hz square wave near full scale on
// the left, silence on the right.
std::string LeftOnlySquare() {
    std::string bytes(5 * 44100 * 4, '\0');
    for (size_t frame = 0; frame < 5 * 44100; ++frame) {
        const int16_t left = (frame / 50) % 2 ? 30000 : -30000;
        bytes[4 * frame] = static_cast<char>(left & 0xff);
        bytes[4 * frame + 1] = static_cast<char>((left >> 8) & 0xff);
    }
    return bytes;
}

class MainWindowDisplaysTest : public ::testing::Test {
protected:
    MainWindowDisplaysTest() : fx_(LeftOnlySquare()) {
        SetExecutableDirOverride(exeDir_.dir());
        MainWindowServices services;
        services.inhibitor = std::make_unique<DisplaysTestInhibitor>();
        services.terminate = [] {};
        window_ = std::make_unique<TFrmGravar>(std::move(services));
    }
    ~MainWindowDisplaysTest() override {
        window_.reset();
        SetExecutableDirOverride("");
    }

    test::TempDir exeDir_;
    test::AlsaFixture fx_;
    test::ScriptedDialogs dialogs_;
    std::unique_ptr<TFrmGravar> window_;
};

TEST_F(MainWindowDisplaysTest, DisplaysFollowTheRecordingAndResetWhenItStops) {
    TFrmGravar& w = *window_;
    TDisplayArea& d = w.Displays();
    w.show();
    ASSERT_TRUE(RunUntil([&] { return w.IsRecording(); }, std::chrono::seconds(5)));
    ASSERT_EQ(w.MMConnector1().Display(TMMConnectorSlot::Level1), &d.MMLevel1);

    // -0.8 dB on the left: nearly every one of the 127 spots.
    ASSERT_TRUE(
        RunUntil([&] { return d.MMLevel1.DisplayedValue() > 120; }, std::chrono::seconds(10)));
    EXPECT_EQ(d.MMLevel2.DisplayedValue(), 0);
    EXPECT_GT(d.MMMeter2.DisplayedValue(), 30000) << "the left needle";
    EXPECT_EQ(d.MMMeter1.DisplayedValue(), 0) << "the right needle";
    const std::vector<int> trace = d.MMOscope2.Trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_GT(*std::max_element(trace.begin(), trace.end()), 10000);
    EXPECT_LT(*std::min_element(trace.begin(), trace.end()), -10000);
    const std::vector<TMMSpectrumBar> bars = d.MMSpectrum2.Bars();
    EXPECT_TRUE(std::any_of(bars.begin(), bars.end(), [](const auto& b) { return b.Value > 0; }));
    test::SaveRender(w.grab().toImage(), "main_window_recording");

    w.BStopClick();
    ASSERT_FALSE(w.IsRecording());
    EXPECT_EQ(d.MMLevel1.DisplayedValue(), 0);
    EXPECT_EQ(d.MMMeter2.DisplayedValue(), 0);
    const std::vector<int> flat = d.MMOscope2.Trace();
    EXPECT_TRUE(std::all_of(flat.begin(), flat.end(), [](int v) { return v == 0; }));
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(MainWindowDisplaysTest, TheDisplayButtonCyclesThePanelsAndClicksStepTheStyles) {
    TFrmGravar& w = *window_;
    TDisplayArea& d = w.Displays();
    EXPECT_EQ(d.FrontPanel(), "PSpectrum");
    QAbstractButton* button = w.findChild<QAbstractButton*>("BEqualizador");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    std::vector<std::string> fronts;
    for (int i = 0; i < 4; ++i) {
        button->click();
        fronts.push_back(d.FrontPanel());
    }
    EXPECT_EQ(fronts, (std::vector<std::string>{"POsciloscopio", "PLevel", "PVU", "PSpectrum"}));

    EXPECT_EQ(d.FOscopeStyle, 1);
    EXPECT_EQ(d.MMOscope2.Kind(), TMMOscopeKind::okConLines);
    d.MMOscope2.OnClick();
    EXPECT_EQ(d.MMOscope2.Kind(), TMMOscopeKind::okDots);
    EXPECT_EQ(d.FSpectrumStyle, 1);
    d.MMSpectrum2.OnClick();
    EXPECT_EQ(d.MMSpectrum2.Kind(), TMMSpectrumKind::skDots);
    EXPECT_EQ(d.FSpectrumStyle, 2);
}

}  // namespace
}  // namespace zt
