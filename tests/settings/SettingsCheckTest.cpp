// One value of cfg.ini that cannot be used never stops the recorder: the
// load reports it once, naming the file, key and value, and goes on with the
// key's default; the operator's file stays as it is.

#include "settings/SettingsCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/Exceptions.h"
#include "settings/ApplySettings.h"
#include "settings/RecordingTarget.h"
#include "settings/SettingsFile.h"

namespace zt {
namespace {

class SettingsCheckTest : public test::SettingsFixture {
protected:
    // Loads cfg.ini; returns the report ("" when none).
    std::string Load() {
        try {
            LoadSettings(settings, target);
        } catch (const Exception& e) {
            return e.what();
        }
        return {};
    }
    RecorderSettings settings;
};

TEST_F(SettingsCheckTest, EachBadValueIsReportedOnceAndItsDefaultUsed) {
    struct Case {
        const char* section;
        const char* key;
        std::string RecorderSettings::*field;
        const char* bad;
        const char* defaultValue;
    };
    const Case cases[] = {
        {"Gravacao", "Formato", &RecorderSettings::Formato, "abc", "4"},
        {"Gravacao", "Formato", &RecorderSettings::Formato, "14", "4"},
        {"Gravacao", "Formato", &RecorderSettings::Formato, "", "4"},
        {"Geral", "MB Livres", &RecorderSettings::MBLivres, "abc", "200"},
        {"Geral", "MB Livres", &RecorderSettings::MBLivres, "", "200"},
        {"Geral", "MB Livres", &RecorderSettings::MBLivres, "99999999999", "200"},
        {"Geral", "MB Livres", &RecorderSettings::MBLivres, "-5", "200"},
        {"Geral", "DiasRec", &RecorderSettings::DiasRec, "-1", "30"},
        {"Geral", "DiasRec", &RecorderSettings::DiasRec, "trinta", "30"},
        {"Geral", "TempoRec", &RecorderSettings::TempoRec, "-10", "10"},
        {"Geral", "TempoRec", &RecorderSettings::TempoRec, "99999999", "10"},
        {"Geral", "Placa", &RecorderSettings::Placa, "x", "0"},
        {"Geral", "Controle", &RecorderSettings::Controle, "-2", "0"},
        {"Geral", "AutoGravar", &RecorderSettings::AutoGravar, "", "S"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.bad);
        WriteDefaultSettings();
        SettingsDocument doc = SettingsDocument::ReadFile(CfgPath());
        doc.Set(c.section, c.key, c.bad);
        doc.WriteFile(CfgPath());
        const std::string before = CfgText();
        target.calls.clear();

        const std::string report = Load();
        EXPECT_NE(report.find(CfgPath()), std::string::npos) << report;
        EXPECT_NE(report.find(std::string("[") + c.section + "] " + c.key + " = \"" + c.bad +
                              "\": usado \"" + c.defaultValue + "\""),
                  std::string::npos)
            << report;
        EXPECT_EQ(settings.*c.field, c.defaultValue);
        // Every step of the apply ran, with the value in use.
        EXPECT_EQ(target.calls.back(), "TickRecordingInputCheckBox");
        EXPECT_EQ(CfgText(), before);
    }
}

TEST_F(SettingsCheckTest, AnEmptyOrHalfFileRecordsWithTheDefaults) {
    for (const char* text : {"", "[Gravacao]\nFormato=8\n", "[Geral]\nDiasRec=7\nTemp"}) {
        SCOPED_TRACE(text);
        test::WriteFileBytes(CfgPath(), text);
        const std::string report = Load();
        EXPECT_NE(report.find("AutoGravar"), std::string::npos) << report;
        const RecorderSettings defaults = DefaultSettings(tmp.dir());
        EXPECT_TRUE(FlagIsSet(settings.AutoGravar));
        EXPECT_EQ(settings.Local, defaults.Local);
        EXPECT_EQ(settings.TempoRec, "10");
        EXPECT_EQ(CfgText(), text);
    }
    // What the half file does hold is kept.
    test::WriteFileBytes(CfgPath(), "[Gravacao]\nFormato=8\n[Geral]\nDiasRec=7\n");
    Load();
    EXPECT_EQ(settings.Formato, "8");
    EXPECT_EQ(settings.DiasRec, "7");
}

TEST_F(SettingsCheckTest, ValuesAtTheEdgesAndPlainNoFlagsAreKeptWithoutAReport) {
    WriteDefaultSettings();
    SettingsDocument doc = SettingsDocument::ReadFile(CfgPath());
    doc.Set("Gravacao", "Formato", "13");
    doc.Set("Geral", "DiasRec", "0");
    doc.Set("Geral", "TempoRec", "0");
    doc.Set("Geral", "MB Livres", "2147483647");
    doc.Set("Geral", "Controle", "-1");
    doc.Set("Geral", "AutoGravar", "s");  // only "S" is yes
    doc.WriteFile(CfgPath());
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(settings.Formato, "13");
    EXPECT_EQ(settings.AutoGravar, "s");
    EXPECT_EQ(settings.MBLivres, "2147483647");
}

// A bad value and a card that is gone are told in one box, after the whole
// apply; the card alone is its own warning.
TEST_F(SettingsCheckTest, AMissingCardIsToldWithTheBadValuesOrAlone) {
    WriteDefaultSettings();
    SettingsDocument doc = SettingsDocument::ReadFile(CfgPath());
    doc.Set("Geral", "Placa", "3");
    doc.Set("Geral", "DiasRec", "trinta");
    doc.WriteFile(CfgPath());
    target.soundCards = 2;
    std::string report = Load();
    EXPECT_NE(report.find("DiasRec = \"trinta\""), std::string::npos) << report;
    EXPECT_NE(report.find("A placa de som 3 "), std::string::npos) << report;
    EXPECT_EQ(target.calls.back(), "TickRecordingInputCheckBox");

    doc.Set("Geral", "DiasRec", "30");
    doc.WriteFile(CfgPath());
    target.calls.clear();
    try {
        LoadSettings(settings, target);
        ADD_FAILURE() << "no warning";
    } catch (const ESettingsWarning& e) {
        report = e.what();
    }
    EXPECT_EQ(report.find("DiasRec"), std::string::npos) << report;
    EXPECT_NE(report.find("A placa de som 3 "), std::string::npos) << report;
    EXPECT_EQ(target.calls.back(), "TickRecordingInputCheckBox");
}

}  // namespace
}  // namespace zt
