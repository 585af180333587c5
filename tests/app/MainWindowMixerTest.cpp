// The sound card from the window: the card list and its mixer, the input
// list, the knobs and the monitor switch, on a fake ALSA card (its controls
// kept by a real ALSA control plugin) behind the real ALSA mixer back end.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QAbstractButton>
#include <QPushButton>
#include <map>
#include <memory>

#include "app/AppTestSupport.h"
#include "app/MainWindow.h"
#include "audio/capture/WaveInTestSupport.h"
#include "mixer/ui/MixerCheckBox.h"
#include "mixer/ui/MixerWheel.h"
#include "platform/Paths.h"
#include "support/AlsaFixture.h"
#include "support/Renders.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::AlsaCardVariant;
using test::CardPcm;
using test::RunUntil;

// The fake card starts with every volume at 20, every switch on and "Mic"
// as the input source (items "Line", "Mic", "CD").
constexpr long kLine = 0, kMic = 1, kCD = 2;

QStringList Items(QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

class MainWindowMixerTest : public ::testing::Test {
protected:
    explicit MainWindowMixerTest(std::vector<test::AlsaFixturePcm> pcms = {CardPcm(
                                     "zt_card", AlsaCardVariant::Full, "Fake Card")})
        : fx_(std::make_unique<test::AlsaFixture>(std::move(pcms))) {
        SetExecutableDirOverride(exeDir_.dir());
    }
    ~MainWindowMixerTest() override {
        window_.reset();
        SetExecutableDirOverride("");
    }

    // The window on a cfg.ini with these values (no automatic recording
    // unless asked) and, when given, these capture devices.
    TFrmGravar& Create(std::map<std::string, std::string> settings = {},
                       std::optional<std::vector<AlsaPcmDevice>> devices = std::nullopt) {
        settings.emplace("AutoGravar", "N");
        test::WriteSettings(exeDir_.dir(), settings);
        MainWindowServices services;
        services.watchSignals = false;
        services.captureDevices = std::move(devices);
        window_ = std::make_unique<TFrmGravar>(std::move(services));
        return *window_;
    }
    test::AlsaCardState Card(const std::string& pcm = "zt_card") { return fx_->CardState(pcm); }
    // A choice of the operator in a list of the window.
    void Choose(QComboBox* list, const QString& text) {
        const int index = list->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& shown : dialogs_.shown) texts.push_back(shown.text);
        return texts;
    }

    test::TempDir exeDir_;
    std::unique_ptr<test::AlsaFixture> fx_;
    test::ScriptedDialogs dialogs_;
    std::unique_ptr<TFrmGravar> window_;
};

TEST_F(MainWindowMixerTest, TheOperatorsChoicesReachTheCardAndNothingElse) {
    // Controle "0": the first input of the list, CD, selected at start-up.
    TFrmGravar& w = Create();
    EXPECT_EQ(Items(w.CardList()), QStringList{"Default"});
    EXPECT_EQ(Items(w.InputList()), (QStringList{"CD", "Line", "Mic"})) << "line-type order";
    EXPECT_EQ(w.InputList()->currentIndex(), 0);
    EXPECT_EQ(Card()["Input Source"], std::vector<long>{kCD});
    EXPECT_TRUE(Boxes().empty());

    Choose(w.InputList(), "Line");
    EXPECT_EQ(Card()["Input Source"], std::vector<long>{kLine});
    EXPECT_TRUE(w.RecordingInputBox().Checked());

    // The knobs follow the chosen input: its recording level and its
    // monitor level, 0..31 on this card.
    TMMMixerWheel& recording = w.RecordingKnob();
    TMMMixerWheel& monitor = w.MonitorKnob();
    ASSERT_TRUE(recording.isEnabled());
    ASSERT_TRUE(monitor.isEnabled());
    EXPECT_EQ(recording.Maximum(), 31);
    EXPECT_EQ(recording.Value(), 20);
    recording.SetValue(7);
    monitor.SetValue(30);
    test::AlsaCardState card = Card();
    EXPECT_EQ(card["Line Capture Volume"], (std::vector<long>{7, 7})) << "both channels";
    EXPECT_EQ(card["Line Playback Volume"], (std::vector<long>{30, 30}));
    EXPECT_EQ(card["CD Capture Volume"], (std::vector<long>{20, 20}));
    EXPECT_EQ(card["Master Playback Volume"], (std::vector<long>{20, 20}));

    // "Desativar retorno" mutes the input's monitor path, nothing else.
    TMMMixerCheckBox& mute = w.MonitorMute();
    ASSERT_TRUE(mute.isEnabled());
    EXPECT_FALSE(mute.Checked());
    mute.click();
    card = Card();
    EXPECT_EQ(card["Line Playback Switch"], (std::vector<long>{0, 0}));
    EXPECT_EQ(card["Line Capture Switch"], (std::vector<long>{1, 1}));
    EXPECT_EQ(card["Line Capture Volume"], (std::vector<long>{7, 7}));
    EXPECT_EQ(card["Master Playback Switch"], (std::vector<long>{1, 1}));
    EXPECT_EQ(card["Input Source"], std::vector<long>{kLine});

    // Choosing the input already selected changes nothing.
    Choose(w.InputList(), "Line");
    EXPECT_EQ(Card(), card);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowMixerTest, AnotherProgramsChangesReachTheKnobAndTheSwitch) {
    TFrmGravar& w = Create({{"Controle", "1"}});  // Line
    ASSERT_EQ(w.InputList()->currentText(), "Line");
    ASSERT_EQ(w.RecordingKnob().Value(), 20);

    // Another program (another handle on the card) moves the level and
    // mutes the monitor; the window learns it from the card's events.
    ASSERT_EQ(fx_->SetCardValue("zt_card", "Line Capture Volume", {25, 25}), 0);
    EXPECT_TRUE(RunUntil([&] { return w.RecordingKnob().Value() == 25; }));
    ASSERT_EQ(fx_->SetCardValue("zt_card", "Line Playback Switch", {0, 0}), 0);
    EXPECT_TRUE(RunUntil([&] { return w.MonitorMute().Checked(); }));
    // Nothing was written back: the card holds what the other program set.
    EXPECT_EQ(Card()["Line Capture Volume"], (std::vector<long>{25, 25}));
}

TEST_F(MainWindowMixerTest, TheSavedInputAtStartUp) {
    struct Case {
        const char* controle;
        int index;         // in the input list afterwards
        long inputSource;  // on the card afterwards
    };
    const Case cases[] = {
        {"1", 1, kLine},
        {"2", 2, kMic},
        // None chosen: the card keeps its own choice.
        {"-1", -1, kMic},
        // Past the list (the card offers fewer inputs now): no selection,
        // the card's inputs untouched, nothing to say.
        {"7", -1, kMic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.controle);
        window_.reset();
        ASSERT_EQ(fx_->SetCardValue("zt_card", "Input Source", {kMic}), 0);
        TFrmGravar& w = Create({{"Controle", c.controle}});
        EXPECT_EQ(w.InputList()->currentIndex(), c.index);
        EXPECT_EQ(Card()["Input Source"], std::vector<long>{c.inputSource});
        EXPECT_TRUE(Boxes().empty());
    }
}

class MainWindowMixerCardsTest : public MainWindowMixerTest {
protected:
    MainWindowMixerCardsTest()
        : MainWindowMixerTest({CardPcm("zt_card", AlsaCardVariant::Full, "Fake Card"),
                               CardPcm("zt_usb", AlsaCardVariant::NoSelector, "USB Card"),
                               CardPcm("zt_omnia", AlsaCardVariant::Full, "OmniaAX")}) {}
    // The capture devices as a station's machine lists them.
    std::vector<AlsaPcmDevice> Devices() const {
        return {{"zt_card", "Fake Card"}, {"zt_usb", "USB Card"}, {"zt_omnia", "OmniaAX"}};
    }
};

TEST_F(MainWindowMixerCardsTest, ChoosingACardSwitchesTheMixerAndGravarTheRecorder) {
    TFrmGravar& w = Create({}, Devices());
    EXPECT_EQ(Items(w.CardList()), (QStringList{"Fake Card", "USB Card", "OmniaAX"}));
    EXPECT_EQ(w.Mixer().DeviceId(), 0);

    // A card without a recording selector lists its inputs by their own
    // names; they cannot be selected on the card, only their levels set.
    Choose(w.CardList(), "USB Card");
    EXPECT_EQ(w.Mixer().DeviceId(), 1);
    EXPECT_EQ(Items(w.InputList()), (QStringList{"CD", "Line", "Mic"}));
    EXPECT_EQ(w.InputList()->currentIndex(), -1);
    EXPECT_FALSE(w.RecordingInputBox().isEnabled());
    EXPECT_EQ(w.WaveIn().GetDeviceID(), 0) << "the recorder changes card when saved";
    Choose(w.InputList(), "Mic");
    ASSERT_TRUE(w.RecordingKnob().isEnabled());
    w.RecordingKnob().SetValue(3);
    EXPECT_EQ(Card("zt_usb")["Mic Capture Volume"], std::vector<long>{3});
    EXPECT_EQ(Card("zt_card")["Mic Capture Volume"], std::vector<long>{20});

    // "OmniaAX" drives its own inputs: its mixer is left alone.
    Choose(w.CardList(), "OmniaAX");
    EXPECT_EQ(w.Mixer().DeviceId(), 1);
    EXPECT_EQ(w.InputList()->currentText(), "Mic");

    w.findChild<QAbstractButton*>("BConfig")->click();
    Choose(w.CardList(), "USB Card");
    Choose(w.InputList(), "Line");
    w.findChild<QPushButton*>("BGravaConfig")->click();
    const std::string cfg = test::ReadFileBytes(exeDir_.file("cfg.ini"));
    EXPECT_NE(cfg.find("Placa=1\n"), std::string::npos) << cfg;
    EXPECT_NE(cfg.find("Controle=1\n"), std::string::npos) << cfg;
    EXPECT_EQ(w.WaveIn().GetDeviceID(), 1);
    EXPECT_EQ(w.Mixer().DeviceId(), 1);
    EXPECT_EQ(w.InputList()->currentText(), "Line");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowMixerCardsTest, ASavedCardThatIsGoneRecordsFromTheFirstWithOneWarning) {
    TFrmGravar& w = Create({{"Placa", "5"}, {"AutoGravar", "S"}}, Devices());
    ASSERT_TRUE(RunUntil([&] { return w.IsRecording(); }, std::chrono::seconds(5)));
    EXPECT_EQ(w.WaveIn().GetDeviceID(), 0);
    EXPECT_EQ(w.Mixer().DeviceId(), 0);
    EXPECT_EQ(w.CardList()->currentIndex(), 0);
    // The saved input was still applied, on the first card.
    EXPECT_EQ(Card()["Input Source"], std::vector<long>{kCD});
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Warning);
    EXPECT_NE(Boxes()[0].find("A placa de som 5 "), std::string::npos) << Boxes()[0];
}

// A desktop's default device through its sound server shows only the
// server's "Master" and "Capture" levels.
class MainWindowServerTest : public MainWindowMixerTest {
protected:
    MainWindowServerTest()
        : MainWindowMixerTest({CardPcm("zt_card", AlsaCardVariant::Server, "Sound Server")}) {}
};

TEST_F(MainWindowServerTest, TheCaptureLevelIsTheRecordingKnobAndNeverTheMonitor) {
    TFrmGravar& w = Create();
    EXPECT_EQ(Items(w.InputList()), QStringList{"Capture"});
    EXPECT_EQ(w.InputList()->currentIndex(), 0);
    ASSERT_TRUE(w.RecordingKnob().isEnabled());
    // Turning down or muting "the monitor" must never silence the
    // recording: there is no monitor path here.
    EXPECT_FALSE(w.MonitorKnob().isEnabled());
    EXPECT_FALSE(w.MonitorMute().isEnabled());
    w.RecordingKnob().SetValue(12);
    w.MonitorMute().click();
    test::AlsaCardState card = Card();
    EXPECT_EQ(card["Capture Volume"], (std::vector<long>{12, 12}));
    EXPECT_EQ(card["Capture Switch"], (std::vector<long>{1, 1}));
    EXPECT_EQ(card["Master Playback Volume"], (std::vector<long>{20, 20}));
    EXPECT_TRUE(Boxes().empty());
}

class MainWindowNoMixerTest : public MainWindowMixerTest {
protected:
    // A capture device without a mixer (its control device cannot be
    // opened).
    MainWindowNoMixerTest() : MainWindowMixerTest({test::AlsaFixturePcm{}}) {}
};

TEST_F(MainWindowNoMixerTest, AMixerThatCannotBeOpenedLeavesTheControlsOffAndRecordingOn) {
    TFrmGravar& w = Create({{"AutoGravar", "S"}, {"Controle", "1"}});
    EXPECT_EQ(Items(w.CardList()), QStringList{"Default"});
    EXPECT_EQ(w.InputList()->count(), 0);
    EXPECT_FALSE(w.RecordingKnob().isEnabled());
    EXPECT_FALSE(w.MonitorKnob().isEnabled());
    EXPECT_FALSE(w.MonitorMute().isEnabled());
    ASSERT_TRUE(RunUntil([&] { return w.IsRecording(); }, std::chrono::seconds(5)));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowMixerTest, SettingsPanelShownInsteadOfTheDisplays) {
    TFrmGravar& w = Create({{"Controle", "1"}});
    w.show();
    QWidget* status = w.findChild<QWidget*>("PEqualizadores");
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    EXPECT_FALSE(w.ConfigPanel()->isVisible());
    w.findChild<QAbstractButton*>("BConfig")->click();
    EXPECT_TRUE(w.ConfigPanel()->isVisible());
    EXPECT_FALSE(status->isVisible());
    QCoreApplication::processEvents();
    test::SaveRender(w.grab().toImage(), "main_window_settings");
    w.findChild<QPushButton*>("BVoltarConfig")->click();
    EXPECT_FALSE(w.ConfigPanel()->isVisible());
    EXPECT_TRUE(status->isVisible());
}

}  // namespace
}  // namespace zt
