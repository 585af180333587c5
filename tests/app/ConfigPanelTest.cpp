// The settings panel of the main window: loaded from the settings when it
// opens, nothing kept before "Gravar", every control saved and applied by
// it, the guards while recording, the controls of the platform generation,
// the format tips and the maker's label. Real widgets, a real recording
// from a paced test PCM with a fake card's mixer, a temporary program
// folder.

#include <gtest/gtest.h>

#include <QTest>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "LcfBuilder.h"
#include "app/AppTestSupport.h"
#include "app/MainWindow.h"
#include "app/skin/OutlineLabel.h"
#include "audio/capture/WaveInTestSupport.h"
#include "lang/Lcf.h"
#include "platform/Paths.h"
#include "platform/ui/FolderEdit.h"
#include "platform/ui/UpDown.h"
#include "support/AlsaFixture.h"
#include "support/Renders.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::ReadFileBytes;
using test::RunUntil;
using test::ShownDialog;

constexpr int kMinuteMs = 60000;

class ConfigPanelTest : public ::testing::Test {
protected:
    ConfigPanelTest() {
        SetExecutableDirOverride(exeDir_.dir());
        for (const char* folder : {"Outra", "Copia", "Copia2"})
            std::filesystem::create_directory(exeDir_.file(folder));
    }
    ~ConfigPanelTest() override {
        window_.reset();
        UnloadLanguage();
        SetExecutableDirOverride("");
    }

    // The window, shown, on a cfg.ini with these values; it never starts
    // recording by itself.
    TFrmGravar& Create(std::map<std::string, std::string> settings = {},
                       MainWindowServices services = {}) {
        settings.emplace("AutoGravar", "N");
        test::WriteSettings(exeDir_.dir(), settings);
        services.watchSignals = false;
        services.terminate = [] {};
        window_ = std::make_unique<TFrmGravar>(std::move(services));
        Child<QTimer>("TimerInicio")->stop();
        window_->show();
        return *window_;
    }
    template <class W>
    W* Child(const char* name) {
        W* w = window_->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* button) { Child<QAbstractButton>(button)->click(); }
    void Choose(const char* list, int index) {
        auto* combo = Child<QComboBox>(list);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    void Type(const char* edit, const char* text) { Child<QLineEdit>(edit)->setText(text); }
    void TypeFolder(const char* edit, const std::string& text) {
        Child<TFolderEdit>(edit)->Edit()->setText(QString::fromStdString(text));
    }
    std::string Text(const char* edit) { return Child<QLineEdit>(edit)->text().toStdString(); }
    std::string Folder(const char* edit) { return Child<TFolderEdit>(edit)->Text(); }
    bool Ticked(const char* box) { return Child<QCheckBox>(box)->isChecked(); }
    bool Editable(const char* widget) { return Child<QWidget>(widget)->isEnabled(); }

    std::string Cfg() const { return ReadFileBytes(exeDir_.file("cfg.ini")); }
    // The value of a key of cfg.ini; "<missing>" when it has none.
    std::string CfgValue(const std::string& key) const {
        std::istringstream in(Cfg());
        for (std::string line; std::getline(in, line);)
            if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
        return "<missing>";
    }
    void StartRecording() {
        window_->BGravarClick();
        ASSERT_TRUE(RunUntil([&] { return window_->IsRecording(); }, std::chrono::seconds(5)));
    }
    ShownDialog MustStop() const {
        return {DialogKind::Information, kTextNecessarioPararGravacaoEfetuarAlteracoes};
    }

    test::TempDir exeDir_;
    test::AlsaFixture fx_{std::vector<test::AlsaFixturePcm>{
        test::CardPcm("zt_card", test::AlsaCardVariant::Full, "Fake Card")}};
    test::ScriptedDialogs dialogs_;
    std::unique_ptr<TFrmGravar> window_;
};

TEST_F(ConfigPanelTest, VoltarKeepsNothingOfWhatWasChanged) {
    TFrmGravar& w = Create({{"Formato", "4"}});
    const std::string saved = Cfg();
    QWidget* status = Child<QWidget>("PEqualizadores");

    Click("BConfig");
    ASSERT_TRUE(w.ConfigPanel()->isVisible());
    EXPECT_FALSE(status->isVisible());
    EXPECT_EQ(Child<QComboBox>("CBFormato")->currentIndex(), 4);
    Choose("CBFormato", 9);
    Type("DiasGravar", "90");
    Type("TempoGravar", "25");
    Click("CBGravar");
    Click("CBCopia");
    TypeFolder("EdLocal", exeDir_.file("Outra"));

    Click("BVoltarConfig");
    EXPECT_FALSE(w.ConfigPanel()->isVisible());
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(Cfg(), saved);
    EXPECT_EQ(w.Settings().Formato, "4");
    EXPECT_EQ(w.Settings().Local, exeDir_.file("Audio"));
    EXPECT_EQ(w.Session().SegmentInterval(), 10 * kMinuteMs);

    // Opened again, the panel shows what is saved.
    Click("BConfig");
    EXPECT_EQ(Child<QComboBox>("CBFormato")->currentIndex(), 4);
    EXPECT_EQ(Text("DiasGravar"), "30");
    EXPECT_EQ(Text("TempoGravar"), "10");
    EXPECT_FALSE(Ticked("CBGravar"));
    EXPECT_FALSE(Ticked("CBCopia"));
    EXPECT_EQ(Folder("EdLocal"), exeDir_.file("Audio"));
    // "Configurações" once more closes it, like "Voltar".
    Click("BConfig");
    EXPECT_FALSE(w.ConfigPanel()->isVisible());
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(Cfg(), saved);
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(ConfigPanelTest, OpeningLoadsTheControlsFromTheSettings) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> settings;
        const char* formatoInMemory;  // replaces the loaded value when set
        int formato;
        bool autoGravar, copia, crowley;
        const char* localCopia;
        const char* sigla;
    };
    const Case cases[] = {
        {"all on",
         {{"Formato", "13"},
          {"AutoGravar", "S"},
          {"DiasRec", "45"},
          {"TempoRec", "15"},
          {"Copia", "S"},
          {"LocalCopia", "/mnt/copia"},
          {"Crowley", "S"},
          {"SiglaCrowley", "RBX"}},
         nullptr,
         13,
         true,
         true,
         true,
         "/mnt/copia",
         "RBX"},
        // Only "S" means yes; an unticked backup still shows its folder,
        // greyed.
        {"all off",
         {{"Formato", "0"},
          {"AutoGravar", "s"},
          {"DiasRec", "45"},
          {"TempoRec", "15"},
          {"Copia", "N"},
          {"LocalCopia", "/mnt/copia"},
          {"Crowley", "Sim"},
          {"SiglaCrowley", "RBX"}},
         nullptr,
         0,
         false,
         false,
         false,
         "/mnt/copia",
         "RBX"},
        // A format that is no number selects none; the panel still opens.
        {"format not a number",
         {{"DiasRec", "45"}, {"TempoRec", "15"}},
         "x7",
         -1,
         false,
         false,
         false,
         "",
         ""},
        {"format past the list",
         {{"DiasRec", "45"}, {"TempoRec", "15"}},
         "14",
         -1,
         false,
         false,
         false,
         "",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window_.reset();
        TFrmGravar& w = Create(c.settings);
        if (c.formatoInMemory) w.Settings().Formato = c.formatoInMemory;
        // The lists the panel does not reload keep what the operator left.
        Child<QCheckBox>("CBPrioridade")->setChecked(true);
        Choose("CBControle", 2);

        Click("BConfig");
        ASSERT_TRUE(w.ConfigPanel()->isVisible());
        EXPECT_EQ(Child<QComboBox>("CBFormato")->currentIndex(), c.formato);
        EXPECT_EQ(Ticked("CBGravar"), c.autoGravar);
        EXPECT_EQ(Text("DiasGravar"), "45");
        EXPECT_EQ(Text("TempoGravar"), "15");
        EXPECT_EQ(Folder("EdLocal"), exeDir_.file("Audio"));
        EXPECT_EQ(Ticked("CBCopia"), c.copia);
        EXPECT_EQ(Editable("EdLocalCopia"), c.copia);
        EXPECT_EQ(Folder("EdLocalCopia"), c.localCopia);
        EXPECT_EQ(Ticked("CBCrowley"), c.crowley);
        EXPECT_EQ(Text("EdSigla"), c.sigla);
        EXPECT_TRUE(Editable("EdSigla"));
        EXPECT_TRUE(Ticked("CBPrioridade"));
        EXPECT_EQ(w.InputList()->currentIndex(), 2);
        EXPECT_TRUE(dialogs_.shown.empty());
    }
}

TEST_F(ConfigPanelTest, TheBackupFolderIsEditableExactlyWhileTheBackupIsTicked) {
    Create({{"Copia", "N"}, {"LocalCopia", "/mnt/copia"}});
    Click("BConfig");
    EXPECT_FALSE(Editable("EdLocalCopia"));
    Click("CBCopia");
    EXPECT_TRUE(Editable("EdLocalCopia"));
    // The export's box leaves the backup folder to the backup's box.
    Click("CBCrowley");
    EXPECT_TRUE(Editable("EdLocalCopia"));
    EXPECT_TRUE(Editable("EdSigla"));
    Click("CBCopia");
    EXPECT_FALSE(Editable("EdLocalCopia"));
    Click("CBCrowley");
    EXPECT_FALSE(Editable("EdLocalCopia"));
    EXPECT_TRUE(Editable("EdSigla"));
}

TEST_F(ConfigPanelTest, GravarWritesEveryControlAndApplies) {
    struct Case {
        const char* name;
        int formato;
        const char* dias;
        const char* tempo;
        bool autoGravar, prioridade, copia, crowley;
        const char* sigla;
        // cfg.ini afterwards.
        const char* copiaSaved;
        const char* localCopiaSaved;
        const char* crowleySaved;
        const char* siglaSaved;
        bool codeMissingMessage;
    };
    const Case cases[] = {
        {"all on", 9, "60", "15", true, true, true, true, "RBX", "S", "/mnt/nova", "S", "RBX",
         false},
        // An unticked backup keeps its old folder in the file; an export
        // without a station code is refused with a word, the rest saved.
        {"all off, blank code", 0, "7", "30", false, false, false, true, "  ", "N", "/mnt/velha",
         "N", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window_.reset();
        dialogs_.shown.clear();
        TFrmGravar& w = Create({{"LocalCopia", "/mnt/velha"}});
        Click("BConfig");
        Choose("CBFormato", c.formato);
        Type("DiasGravar", c.dias);
        Type("TempoGravar", c.tempo);
        Child<QCheckBox>("CBGravar")->setChecked(c.autoGravar);
        Child<QCheckBox>("CBPrioridade")->setChecked(c.prioridade);
        if (Ticked("CBCopia") != c.copia) Click("CBCopia");
        TypeFolder("EdLocalCopia", "/mnt/nova");
        if (Ticked("CBCrowley") != c.crowley) Click("CBCrowley");
        Type("EdSigla", c.sigla);
        TypeFolder("EdLocal", exeDir_.file("Outra"));
        Choose("CBControle", 1);

        Click("BGravaConfig");
        EXPECT_EQ(CfgValue("Formato"), std::to_string(c.formato));
        EXPECT_EQ(CfgValue("DiasRec"), c.dias);
        EXPECT_EQ(CfgValue("TempoRec"), c.tempo);
        EXPECT_EQ(CfgValue("AutoGravar"), c.autoGravar ? "S" : "N");
        EXPECT_EQ(CfgValue("Prioridade"), c.prioridade ? "S" : "N");
        EXPECT_EQ(CfgValue("Local"), exeDir_.file("Outra"));
        EXPECT_EQ(CfgValue("Controle"), "1");
        EXPECT_EQ(CfgValue("Placa"), "0");
        EXPECT_EQ(CfgValue("iIdioma"), "-1");
        EXPECT_EQ(CfgValue("Copia"), c.copiaSaved);
        EXPECT_EQ(CfgValue("LocalCopia"), c.localCopiaSaved);
        EXPECT_EQ(CfgValue("Crowley"), c.crowleySaved);
        EXPECT_EQ(CfgValue("SiglaCrowley"), c.siglaSaved);
        if (c.codeMissingMessage) {
            EXPECT_EQ(dialogs_.shown,
                      (std::vector<ShownDialog>{{DialogKind::Information,
                                                 kTextObrigatorioInformarSiglaEmissoraCrowley}}));
        } else {
            EXPECT_TRUE(dialogs_.shown.empty());
        }
        // Loaded and applied: the running recorder follows the file.
        EXPECT_EQ(w.Settings().Formato, std::to_string(c.formato));
        EXPECT_EQ(w.Settings().Local, exeDir_.file("Outra"));
        EXPECT_EQ(w.Session().SegmentInterval(), std::stoi(c.tempo) * kMinuteMs);
        // The panel stays open on what was saved.
        EXPECT_TRUE(w.ConfigPanel()->isVisible());
        EXPECT_EQ(Child<QComboBox>("CBFormato")->currentIndex(), c.formato);
    }
}

TEST_F(ConfigPanelTest, WhileRecordingTheSegmentLengthAndTheFolderBrowseAreRefused) {
    TFrmGravar& w = Create({{"LocalCopia", exeDir_.file("Copia")}, {"Copia", "S"}});
    Click("BConfig");
    StartRecording();

    TUpDown* length = Child<TUpDown>("UpDown2");
    length->UpButton()->click();
    length->DownButton()->click();
    EXPECT_EQ(Text("TempoGravar"), "10");
    EXPECT_EQ(dialogs_.shown, (std::vector<ShownDialog>{MustStop(), MustStop()}));
    // The days and the backup folder are no part of the running segment.
    Child<TUpDown>("UpDown1")->UpButton()->click();
    EXPECT_EQ(Text("DiasGravar"), "31");
    dialogs_.folders.push_back(exeDir_.file("Copia2"));
    Child<TFolderEdit>("EdLocalCopia")->BrowseButton()->click();
    EXPECT_EQ(Folder("EdLocalCopia"), exeDir_.file("Copia2"));
    EXPECT_EQ(dialogs_.folderStarts, std::vector<std::string>{exeDir_.file("Copia")});

    Child<TFolderEdit>("EdLocal")->BrowseButton()->click();
    EXPECT_EQ(dialogs_.folderStarts.size(), 1u) << "no folder asked for the recordings";
    EXPECT_EQ(dialogs_.shown.size(), 3u);
    EXPECT_EQ(dialogs_.shown.back(), MustStop());
    EXPECT_EQ(Folder("EdLocal"), exeDir_.file("Audio"));

    // Typing is not refused, and "Gravar" keeps what was typed; the new
    // segment length waits for a stopped recorder.
    TypeFolder("EdLocal", exeDir_.file("Outra"));
    Type("TempoGravar", "20");
    Click("BGravaConfig");
    EXPECT_EQ(CfgValue("Local"), exeDir_.file("Outra"));
    EXPECT_EQ(CfgValue("TempoRec"), "20");
    EXPECT_EQ(CfgValue("LocalCopia"), exeDir_.file("Copia2"));
    EXPECT_EQ(w.Settings().Local, exeDir_.file("Outra"));
    EXPECT_EQ(w.Session().SegmentInterval(), 10 * kMinuteMs);
    EXPECT_TRUE(w.IsRecording());
    EXPECT_EQ(dialogs_.shown.size(), 3u);
}

TEST_F(ConfigPanelTest, WhileStoppedTheArrowsStepAndTheBrowseAsksForAFolder) {
    TFrmGravar& w = Create();
    Click("BConfig");
    TUpDown* length = Child<TUpDown>("UpDown2");
    struct Step {
        const char* typed;
        QToolButton* arrow;
        const char* shown;
    };
    // Within 10..60; a number typed outside counts as the nearest limit, a
    // text that is no number as the last position.
    const Step steps[] = {
        {"10", length->UpButton(), "11"},  {"10", length->DownButton(), "10"},
        {"60", length->UpButton(), "60"},  {"99", length->DownButton(), "59"},
        {"dez", length->UpButton(), "60"}, {" 25 ", length->UpButton(), "26"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.typed);
        Type("TempoGravar", s.typed);
        s.arrow->click();
        EXPECT_EQ(Text("TempoGravar"), s.shown);
    }
    EXPECT_TRUE(dialogs_.shown.empty());

    TFolderEdit* local = Child<TFolderEdit>("EdLocal");
    dialogs_.folders = {std::nullopt, exeDir_.file("Outra")};
    local->BrowseButton()->click();
    EXPECT_EQ(Folder("EdLocal"), exeDir_.file("Audio")) << "cancelled";
    local->BrowseButton()->click();
    EXPECT_EQ(Folder("EdLocal"), exeDir_.file("Outra"));
    EXPECT_EQ(dialogs_.folderStarts,
              (std::vector<std::string>{exeDir_.file("Audio"), exeDir_.file("Audio")}));

    Click("BGravaConfig");
    EXPECT_EQ(CfgValue("Local"), exeDir_.file("Outra"));
    EXPECT_EQ(CfgValue("TempoRec"), "26");
    EXPECT_EQ(w.Session().SegmentInterval(), 26 * kMinuteMs);
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(ConfigPanelTest, ALanguageTriedThenVoltarBringsTheStoredOneBack) {
    auto source = [](int32_t lcid, const char* record, const char* back) {
        return lcf::ParseSource("language = " + std::to_string(lcid) +
                                    "\n[TFrmGravar]\nLabelGravar-Caption = " + record +
                                    "\nBVoltarConfig-Caption = " + back + "\n",
                                "test");
    };
    test::WriteFileBytes(
        exeDir_.file("ZeltaTresona.lcf"),
        lcf::BuildLanguageFile({source(1046, "Gravar", "Voltar"), source(1033, "Record", "Back")},
                               {}));
    TFrmGravar& w = Create({{"iIdioma", "0"}});
    const std::string saved = Cfg();
    TOutlineLabel* record = Child<TOutlineLabel>("LabelGravar");
    ASSERT_EQ(record->Caption(), "Gravar");

    Click("BConfig");
    Choose("CBIdiomas", 1);
    EXPECT_EQ(record->Caption(), "Record") << "tried at once";
    Click("BVoltarConfig");
    EXPECT_EQ(record->Caption(), "Gravar");
    EXPECT_EQ(Child<QPushButton>("BVoltarConfig")->text(), "Voltar");
    EXPECT_EQ(w.LanguageList()->currentIndex(), 0);
    EXPECT_EQ(w.Settings().iIdioma, 0);
    EXPECT_EQ(Cfg(), saved);

    // Saved, it stays.
    Click("BConfig");
    Choose("CBIdiomas", 1);
    Click("BGravaConfig");
    Click("BVoltarConfig");
    EXPECT_EQ(record->Caption(), "Record");
    EXPECT_EQ(CfgValue("iIdioma"), "1");
}

TEST_F(ConfigPanelTest, ThePlatformGenerationDecidesTheCardControlsAndTheGroupsMoveToFit) {
    struct Case {
        std::optional<bool> productInfoApi;
        bool cardControls;
        int geralHeight, copiaTop, crowleyTop, idiomaTop, atualizacoesTop, contentHeight;
    };
    const Case cases[] = {
        {std::nullopt, true, 204, 380, 454, 524, 584, 620},  // this platform's own answer
        {false, true, 204, 380, 454, 524, 584, 620},
        {true, false, 82, 260, 334, 404, 464, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.productInfoApi ? (*c.productInfoApi ? "true" : "false") : "platform");
        window_.reset();
        MainWindowServices services;
        services.productInfoApi = c.productInfoApi;
        TFrmGravar& w = Create({}, std::move(services));
        Click("BConfig");
        auto* scroll = Child<QScrollArea>("FundoConfig");
        QScrollBar* bar = scroll->verticalScrollBar();
        bar->setValue(bar->maximum());
        // Shown again (from the tray, say): laid out anew, at the top.
        w.hide();
        w.show();
        ASSERT_TRUE(w.ConfigPanel()->isVisible());
        EXPECT_EQ(bar->value(), 0);

        EXPECT_EQ(Child<QWidget>("PControles")->isVisible(), c.cardControls);
        // "Definir Controles" is reachable either way: among the card
        // controls, or in their place.
        QWidget* definir = Child<QWidget>("BDefinirControles");
        EXPECT_TRUE(definir->isVisible());
        EXPECT_EQ(definir->parentWidget()->objectName(),
                  c.cardControls ? "PControles" : "GroupBoxGeral");
        EXPECT_EQ(Child<QWidget>("GroupBoxGeral")->height(), c.geralHeight);
        EXPECT_EQ(Child<QWidget>("GroupBoxCopiaSeguranca")->y(), c.copiaTop);
        EXPECT_EQ(Child<QWidget>("GroupBoxCrowley")->y(), c.crowleyTop);
        EXPECT_EQ(Child<QWidget>("GrupoIdioma")->y(), c.idiomaTop);
        EXPECT_EQ(Child<QWidget>("btnVerificarAtualizacoes")->y(), c.atualizacoesTop);
        EXPECT_EQ(scroll->widget()->height(), c.contentHeight);
        EXPECT_EQ(bar->maximum(), c.contentHeight - scroll->viewport()->height());
        EXPECT_EQ(bar->singleStep(), 5);
        EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << "vertical scrolling only";
        EXPECT_EQ(scroll->size(), QSize(267, 160));
        EXPECT_EQ(w.ConfigPanel()->size(), QSize(266, 217));

        // Nothing shown overlaps, and everything lies inside what holds it:
        // the groups in the scrolled content, each control in its group,
        // the panel's own parts in the panel.
        auto shownChildren = [](QWidget* parent) {
            std::vector<QWidget*> shown;
            for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (child->isVisibleTo(parent) && !child->geometry().isEmpty())
                    shown.push_back(child);
            return shown;
        };
        auto checkLayout = [&](QWidget* parent) {
            const std::vector<QWidget*> shown = shownChildren(parent);
            for (QWidget* a : shown) {
                EXPECT_TRUE(parent->rect().contains(a->geometry()))
                    << a->objectName().toStdString() << " outside "
                    << parent->objectName().toStdString();
                for (QWidget* b : shown) {
                    if (a == b) continue;
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << a->objectName().toStdString() << " / " << b->objectName().toStdString();
                }
            }
        };
        checkLayout(scroll->widget());
        for (QWidget* group : shownChildren(scroll->widget())) checkLayout(group);
        for (QWidget* part : {Child<QWidget>("LabelConfiguracoes"), Child<QWidget>("BGravaConfig"),
                              Child<QWidget>("BVoltarConfig")})
            EXPECT_TRUE(w.ConfigPanel()->rect().contains(part->geometry()));
        EXPECT_FALSE(Child<QWidget>("BGravaConfig")->geometry().intersects(scroll->geometry()));
    }
}

TEST_F(ConfigPanelTest, EveryCaptionFitsInEveryLanguage) {
    std::filesystem::copy_file(ZT_LANGUAGE_FILE, exeDir_.file("ZeltaTresona.lcf"));
    TFrmGravar& w = Create();
    Click("BConfig");
    Click("SpeedButton1");
    QComboBox* languages = w.LanguageList();
    ASSERT_EQ(languages->count(), 3);
    for (int language = 0; language < languages->count(); ++language) {
        SCOPED_TRACE(languages->itemText(language).toStdString());
        Choose("CBIdiomas", language);
        QCoreApplication::processEvents();
        for (QWidget* panel : {w.ConfigPanel(), w.FormatsPanel()}) {
            for (QWidget* part : panel->findChildren<QWidget*>()) {
                if (!qobject_cast<QLabel*>(part) && !qobject_cast<QAbstractButton*>(part)) continue;
                if (part->objectName().isEmpty() || part->isHidden()) continue;
                EXPECT_GE(part->width(), part->sizeHint().width())
                    << part->objectName().toStdString() << ": "
                    << (qobject_cast<QLabel*>(part) ? qobject_cast<QLabel*>(part)->text()
                                                    : qobject_cast<QAbstractButton*>(part)->text())
                           .toStdString();
            }
        }
    }
}

TEST_F(ConfigPanelTest, TheFormatListAndTheFormatTips) {
    TFrmGravar& w = Create();
    const QStringList rates = {"MP3:  32 kbps", "MP3:  40 kbps", "MP3:  48 kbps", "MP3:  56 kbps",
                               "MP3:  64 kbps", "MP3:  80 kbps", "MP3:  96 kbps", "MP3: 112 kbps",
                               "MP3: 128 kbps", "MP3: 160 kbps", "MP3: 192 kbps", "MP3: 224 kbps",
                               "MP3: 256 kbps", "MP3: 320 kbps"};
    auto* formats = Child<QComboBox>("CBFormato");
    QStringList items;
    for (int i = 0; i < formats->count(); ++i) items << formats->itemText(i);
    EXPECT_EQ(items, rates);

    QWidget* tips = w.FormatsPanel();
    EXPECT_FALSE(tips->isVisible());
    Click("BConfig");
    Click("SpeedButton1");
    EXPECT_TRUE(tips->isVisible());
    EXPECT_EQ(tips->pos(), w.ConfigPanel()->pos());
    EXPECT_EQ(tips->size(), QSize(269, 216));
    auto* list = Child<QTreeWidget>("TVFormatos");
    const QStringList entries = {
        "  MP3:  32 Kbps  -  10 GB / Mês", "  MP3:  40 Kbps  -  13 GB / Mês",
        "  MP3:  48 Kbps  -  15 GB / Mês", "  MP3:  56 Kbps  -  17 GB / Mês",
        "  MP3:  64 Kbps  -  20 GB / Mês", "  MP3:  80 Kbps  -  25 GB / Mês",
        "  MP3:  96 Kbps  -  30 GB / Mês", "  MP3: 112 Kbps  -  35 GB / Mês",
        "  MP3: 128 Kbps  -  40 GB / Mês", "  MP3: 160 Kbps  -  50 GB / Mês",
        "  MP3: 192 Kbps  -  60 GB / Mês", "  MP3: 224 Kbps  -  75 GB / Mês",
        "  MP3: 256 Kbps  -  85 GB / Mês", "  MP3: 320 Kbps  -  95 GB / Mês"};
    QStringList shown;
    for (int i = 0; i < list->topLevelItemCount(); ++i) shown << list->topLevelItem(i)->text(0);
    EXPECT_EQ(shown, entries);
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_TRUE(list->isHeaderHidden());
    QCoreApplication::processEvents();
    test::SaveRender(tips->grab().toImage(), "config_formats");

    Click("BVoltarFormatos");
    EXPECT_FALSE(tips->isVisible());
    EXPECT_TRUE(w.ConfigPanel()->isVisible());

    // Leaving the settings closes the tips with them, and they stay closed
    // when the settings open again.
    Click("SpeedButton1");
    Click("BVoltarConfig");
    EXPECT_FALSE(tips->isVisible());
    Click("BConfig");
    EXPECT_FALSE(tips->isVisible());
}

TEST_F(ConfigPanelTest, TheMakersLabelOpensTheMakersSite) {
    for (const bool opens : {true, false}) {
        SCOPED_TRACE(opens);
        window_.reset();
        dialogs_.shown.clear();
        std::vector<QUrl> opened;
        MainWindowServices services;
        services.openUrl = [&](const QUrl& url) {
            opened.push_back(url);
            return opens;
        };
        Create({}, std::move(services));
        // A click on the maker's label on the face.
        QTest::mouseClick(Child<QWidget>("MMLabel2"), Qt::LeftButton);
        EXPECT_EQ(opened, std::vector<QUrl>{QUrl(QString::fromUtf8(kMakerWebAddress))});
        if (opens) {
            EXPECT_TRUE(dialogs_.shown.empty());
        } else {
            ASSERT_EQ(dialogs_.shown.size(), 1u);
            EXPECT_EQ(dialogs_.shown[0].kind, DialogKind::Error);
            EXPECT_EQ(dialogs_.shown[0].text,
                      "Não foi possível abrir o endereço https://www.zeltatresona.com.br/ no "
                      "navegador.");
        }
    }
}

TEST_F(ConfigPanelTest, ThePanelIsBlackWithLightText) {
    TFrmGravar& w = Create({{"Copia", "S"}, {"LocalCopia", "/mnt/copia"}});
    Click("BConfig");
    QWidget* panel = w.ConfigPanel();
    auto* scroll = Child<QScrollArea>("FundoConfig");
    QCoreApplication::processEvents();
    const QImage top = panel->grab().toImage();
    test::SaveRender(top, "config_panel");
    // Every group at once, as the scroll box moves over them, on the
    // panel's black.
    QWidget* content = scroll->widget();
    QImage all(content->size(), QImage::Format_ARGB32);
    all.fill(Qt::black);
    {
        QPainter painter(&all);
        content->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    test::SaveRender(all, "config_panel_content");
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    test::SaveRender(panel->grab().toImage(), "config_panel_bottom");
    // At twice the pixels, as on a screen at 200 %.
    QImage doubled(panel->size() * 2, QImage::Format_ARGB32);
    doubled.setDevicePixelRatio(2);
    doubled.fill(Qt::magenta);
    {
        QPainter painter(&doubled);
        panel->render(&painter);
    }
    test::SaveRender(doubled, "config_panel@2x");

    // Black around the parts; the title's light pixels on it.
    EXPECT_EQ(top.pixelColor(top.width() - 2, top.height() - 2), QColor(Qt::black));
    EXPECT_EQ(top.pixelColor(2, 30), QColor(Qt::black));
    auto* title = Child<QLabel>("LabelConfiguracoes");
    int light = 0;
    for (int y = title->y(); y < title->y() + title->height(); ++y)
        for (int x = title->x(); x < title->x() + title->width(); ++x)
            if (top.pixelColor(x, y).lightness() > 180) ++light;
    EXPECT_GT(light, 20);
    EXPECT_EQ(doubled.pixelColor(doubled.width() - 3, doubled.height() - 3), QColor(Qt::black));
}

}  // namespace
}  // namespace zt
