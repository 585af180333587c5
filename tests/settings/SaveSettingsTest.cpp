#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "settings/ApplySettings.h"
#include "settings/RecordingTarget.h"
#include "settings/SaveSettings.h"
#include "settings/SettingsFile.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::ShownDialog;
using test::WriteFileBytes;

const char* const kSiglaMessage = "É obrigatório informar a sigla da emissora junto a Crowley";

SettingsPanelValues Panel() {
    SettingsPanelValues p;
    p.cbFormatoIndex = 8;
    p.cbPlacasIndex = 1;
    p.edLocal = "/srv/gravações";
    p.cbControleIndex = 2;
    p.cbGravar = false;
    p.cbPrioridade = true;
    p.cbCopia = true;
    p.edLocalCopia = "/mnt/copia";
    p.cbCrowley = true;
    p.edSigla = "RADIO1";
    p.diasGravar = "45";
    p.tempoGravar = "20";
    p.cbIdiomasIndex = 3;
    return p;
}

class SaveSettingsTest : public test::SettingsFixture {
protected:
    // The file as the program would have left it, with values of its own in
    // the keys the save never writes.
    void SetUp() override {
        SettingsFixture::SetUp();
        LoadSettings(settings, target);
        SettingsDocument doc = SettingsDocument::ReadFile(CfgPath());
        doc.Set("Geral", "MB Livres", "777");
        doc.Set("Geral", "LocalCopia", "/antiga/copia");
        doc.Set("System", "sVersao", "2.1.0");
        doc.Set("System", "sGuid", "8d2f-11");
        doc.WriteFile(CfgPath());
        LoadSettings(settings, target);
        target.calls.clear();
    }

    RecorderSettings settings;
};

TEST_F(SaveSettingsTest, WritesThePanelKeepsTheRestThenLoadsAndApplies) {
    SaveSettings(settings, Panel(), target);

    EXPECT_EQ(CfgText(),
              "[Gravacao]\n"
              "Formato=8\n"
              "\n\n"
              "[Geral]\n"
              "Placa=1\n"
              "Local=/srv/gravações\n"
              "AutoGravar=N\n"
              "MB Livres=777\n"
              "DiasRec=45\n"
              "TempoRec=20\n"
              "Copia=S\n"
              "LocalCopia=/mnt/copia\n"
              "Prioridade=S\n"
              "Controle=2\n"
              "Crowley=S\n"
              "SiglaCrowley=RADIO1\n"
              "\n\n"
              "[System]\n"
              "iIdioma=3\n"
              "sVersao=2.1.0\n"
              "sGuid=8d2f-11\n");
    RecorderSettings expected{"8",      "1", "/srv/gravações", "N",      "777", "45",
                              "20",     "S", "/mnt/copia",     "S",      "2",   "S",
                              "RADIO1", 3,   "2.1.0",          "8d2f-11"};
    EXPECT_EQ(settings, expected);
    const std::vector<std::string> applied = {
        "ApplyEncoderFormat 128 \"128\"", "SelectSoundCard 1",          "ChooseDevices 1 1",
        "SetSegmentInterval 1200000",     "TickPriorityCheckBox",       "RaiseOwnProcessPriority",
        "SelectRecordingInput 2",         "TickRecordingInputCheckBox",
    };
    EXPECT_EQ(target.calls, applied);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SaveSettingsTest, UntickedBackupKeepsTheFolderInTheFile) {
    SettingsPanelValues p = Panel();
    p.cbCopia = false;
    p.edLocalCopia = "/outra";
    SaveSettings(settings, p, target);
    EXPECT_EQ(settings.Copia, "N");
    EXPECT_EQ(settings.LocalCopia, "/antiga/copia");
}

TEST_F(SaveSettingsTest, StationCodeRule) {
    struct Case {
        bool cbCrowley;
        std::string edSigla;
        const char* crowley;
        const char* fileLine;  // the SiglaCrowley line as written
        const char* loaded;    // SiglaCrowley as read back
        bool message;
    };
    const Case cases[] = {
        {true, "RADIO1", "S", "SiglaCrowley=RADIO1\n", "RADIO1", false},
        {true, "   ", "N", "SiglaCrowley=\n", "", true},
        {true, "", "N", "SiglaCrowley=\n", "", true},
        {true, " \t ", "N", "SiglaCrowley=\n", "", true},
        {false, "RADIO1", "N", "SiglaCrowley=\n", "", false},
        // Written as typed; the reader drops the surrounding blanks.
        {true, " AB C ", "S", "SiglaCrowley= AB C \n", "AB C", false},
    };
    for (const auto& c : cases) {
        dialogs.shown.clear();
        SettingsPanelValues p = Panel();
        p.cbCrowley = c.cbCrowley;
        p.edSigla = c.edSigla;
        p.diasGravar = "12";
        SaveSettings(settings, p, target);
        const std::string label = "'" + c.edSigla + "' ticked=" + std::to_string(c.cbCrowley);
        EXPECT_EQ(settings.Crowley, c.crowley) << label;
        EXPECT_NE(CfgText().find(c.fileLine), std::string::npos) << label << "\n" << CfgText();
        EXPECT_EQ(settings.SiglaCrowley, c.loaded) << label;
        EXPECT_EQ(settings.DiasRec, "12") << label << ": the save goes on";
        const std::vector<ShownDialog> shown =
            c.message ? std::vector<ShownDialog>{{DialogKind::Information, kSiglaMessage}}
                      : std::vector<ShownDialog>{};
        EXPECT_EQ(dialogs.shown, shown) << label;
    }
}

TEST_F(SaveSettingsTest, StationCodeMessageComesFromTheTranslatedLabel) {
    SettingsPanelValues p = Panel();
    p.edSigla = " ";
    SettingsSaveTexts texts;
    texts.obrigatorioInformarSiglaEmissoraCrowley = "Station code required";
    SaveSettings(settings, p, target, texts);
    const std::vector<ShownDialog> shown = {{DialogKind::Information, "Station code required"}};
    EXPECT_EQ(dialogs.shown, shown);
}

TEST_F(SaveSettingsTest, NothingSelectedIsWrittenAsMinusOne) {
    SettingsPanelValues p = Panel();
    p.cbFormatoIndex = -1;
    p.cbPlacasIndex = -1;
    p.cbControleIndex = -1;
    p.cbIdiomasIndex = -1;
    // No format is no usable format: the file says -1, the load that
    // follows reports it and uses the default.
    EXPECT_THROW(SaveSettings(settings, p, target), Exception);
    EXPECT_EQ(settings.Formato, "4");
    const std::string text = CfgText();
    for (const char* line : {"Formato=-1\n", "Placa=-1\n", "Controle=-1\n", "iIdioma=-1\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(settings.iIdioma, -1);
    EXPECT_EQ(settings.Controle, "-1");
    // "-1" means no input chosen: no selection, the check box still ticked.
    EXPECT_EQ(target.calls.back(), "TickRecordingInputCheckBox");
    EXPECT_EQ(std::count(target.calls.begin(), target.calls.end(), "SelectRecordingInput -1"), 0);
}

TEST_F(SaveSettingsTest, SaveWhileRecordingKeepsTheRunningSegmentLength) {
    target.recording = true;
    SaveSettings(settings, Panel(), target);
    EXPECT_EQ(settings.TempoRec, "20");
    EXPECT_EQ(std::count(target.calls.begin(), target.calls.end(), "SetSegmentInterval 1200000"),
              0);

    // The next load with recording stopped takes the new length over.
    target.recording = false;
    target.calls.clear();
    LoadSettings(settings, target);
    EXPECT_EQ(std::count(target.calls.begin(), target.calls.end(), "SetSegmentInterval 1200000"),
              1);
}

TEST_F(SaveSettingsTest, DeletedFileIsRebuiltFromTheDefaultsBeforeSaving) {
    fs::remove(CfgPath());
    SaveSettings(settings, Panel(), target);
    EXPECT_EQ(settings.MBLivres, "200");
    EXPECT_EQ(settings.sGuid, "");
    EXPECT_EQ(settings.Formato, "8");
}

TEST_F(SaveSettingsTest, FailedWriteLeavesFileAndMemoryAsTheyWere) {
    const std::string before = CfgText();
    const RecorderSettings inMemory = settings;
    fs::create_directory(AtomicTempPath(CfgPath()));
    try {
        SaveSettings(settings, Panel(), target);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find(AtomicTempPath(CfgPath())), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(CfgText(), before);
    EXPECT_EQ(settings, inMemory);
    EXPECT_TRUE(target.calls.empty());
}

TEST_F(SaveSettingsTest, MalformedNumberIsSavedAndTheLoadUsesTheDefault) {
    SettingsPanelValues p = Panel();
    p.tempoGravar = "dez";
    try {
        SaveSettings(settings, p, target);
        ADD_FAILURE() << "the malformed value was not reported";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("TempoRec = \"dez\""), std::string::npos) << e.what();
    }
    EXPECT_EQ(settings.TempoRec, "10");
    EXPECT_NE(CfgText().find("TempoRec=dez\n"), std::string::npos);
    EXPECT_EQ(std::count(target.calls.begin(), target.calls.end(), "SetSegmentInterval 600000"), 1);
    EXPECT_EQ(target.calls.back(), "TickRecordingInputCheckBox");
}

}  // namespace
}  // namespace zt
