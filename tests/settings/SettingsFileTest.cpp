#include <gtest/gtest.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "settings/ApplySettings.h"
#include "settings/RecordingTarget.h"
#include "settings/SettingsFile.h"
#include "support/FileSystemLimits.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

class SettingsFileTest : public test::SettingsFixture {};

std::string DefaultFileText(const std::string& exeDir) {
    return "[Gravacao]\n"
           "Formato=4\n"
           "\n\n"
           "[Geral]\n"
           "Placa=0\n"
           "Local=" +
           exeDir +
           "Audio\n"
           "AutoGravar=S\n"
           "MB Livres=200\n"
           "DiasRec=30\n"
           "TempoRec=10\n"
           "Copia=N\n"
           "LocalCopia=\n"
           "Prioridade=N\n"
           "Controle=0\n"
           "Crowley=N\n"
           "SiglaCrowley=\n"
           "\n\n"
           "[System]\n"
           "iIdioma=-1\n"
           "sVersao=\n"
           "sGuid=\n";
}

TEST_F(SettingsFileTest, FirstStartWritesTheSixteenDefaultsThenLoadsAndAppliesThem) {
    RecorderSettings settings;
    LoadSettings(settings, target);

    EXPECT_EQ(CfgText(), DefaultFileText(tmp.dir()));
    EXPECT_FALSE(fs::exists(AtomicTempPath(CfgPath())));

    RecorderSettings expected{
        "4", "0", tmp.dir() + "Audio", "S", "200", "30", "10", "N", "", "N", "0", "N", "", -1,
        "",  ""};
    EXPECT_EQ(settings, expected);
    EXPECT_EQ(settings.Local.back(), 'o') << "no trailing separator";

    const std::vector<std::string> steps = {
        "ApplyEncoderFormat 64 \"64\"", "SelectSoundCard 0",      "ChooseDevices 0 0",
        "SetSegmentInterval 600000",    "SelectRecordingInput 0", "TickRecordingInputCheckBox",
    };
    EXPECT_EQ(target.calls, steps);
}

TEST_F(SettingsFileTest, ProgramUsesTheExecutableFolder) {
    EXPECT_EQ(SettingsFilePath(), tmp.dir() + "cfg.ini");
    SetExecutableDirOverride("");
    EXPECT_EQ(SettingsFilePath(), ExecutableDir() + "cfg.ini");
    EXPECT_EQ(DefaultRecordingFolder(), ExecutableDir() + "Audio");
}

TEST_F(SettingsFileTest, HandWrittenFileIsReadWithoutRegardToCaseAndRewrittenInPlace) {
    WriteFileBytes(CfgPath(),
                   "; written by hand\r\n"
                   "[GERAL]\r\n"
                   "placa = 2\r\n"
                   "mb livres=500\r\n"
                   "LOCAL=/srv/gravações\r\n"
                   "outra=mantida\r\n"
                   "[gravacao]\r\n"
                   "FORMATO=7\r\n"
                   "[system]\r\n"
                   "IIDIOMA=1\r\n");
    const RecorderSettings s = ReadSettingsFile();
    EXPECT_EQ(s.Formato, "7");
    EXPECT_EQ(s.Placa, "2");
    EXPECT_EQ(s.MBLivres, "500");
    EXPECT_EQ(s.Local, "/srv/gravações");
    EXPECT_EQ(s.iIdioma, 1);
    // Missing keys read as empty text; the file is not completed with defaults.
    EXPECT_EQ(s.TempoRec, "");
    EXPECT_EQ(s.AutoGravar, "");

    SettingsDocument doc = SettingsDocument::ReadFile(CfgPath());
    doc.Set("Geral", "Placa", "3");
    doc.Set("Geral", "TempoRec", "15");
    doc.WriteFile(CfgPath());
    EXPECT_EQ(CfgText(),
              "; written by hand\n\n\n"
              "[GERAL]\n"
              "placa=3\n"
              "mb livres=500\n"
              "LOCAL=/srv/gravações\n"
              "outra=mantida\n"
              "TempoRec=15\n"
              "\n\n"
              "[gravacao]\n"
              "FORMATO=7\n"
              "\n\n"
              "[system]\n"
              "IIDIOMA=1\n");
}

TEST_F(SettingsFileTest, LanguageIndexThatIsNotANumberLoadsAsMinusOne) {
    struct Case {
        const char* line;
        int expected;
    };
    const Case cases[] = {
        {"iIdioma=abc", -1},   {"iIdioma=", -1},   {"", -1},           {"iIdioma=2", 2},
        {"iIdioma=12abc", -1}, {"iIdioma= 3 ", 3}, {"iIdioma=-1", -1},
    };
    for (const auto& c : cases) {
        WriteFileBytes(CfgPath(), std::string("[System]\n") + c.line + "\n");
        EXPECT_EQ(ReadSettingsFile().iIdioma, c.expected) << c.line;
    }
}

TEST_F(SettingsFileTest, AccentedValuesSurviveARoundTripAsUtf8) {
    const std::string folder = "/home/joão/Gravações Ção";
    SettingsDocument doc = SettingsDocument::Defaults(tmp.dir());
    doc.Set("Geral", "LocalCopia", folder);
    doc.WriteFile(CfgPath());
    EXPECT_NE(CfgText().find("LocalCopia=/home/jo\xC3\xA3o/Grava\xC3\xA7\xC3\xB5"
                             "es"),
              std::string::npos);
    EXPECT_EQ(ReadSettingsFile().LocalCopia, folder);
}

TEST_F(SettingsFileTest, ValueWithALineBreakIsRefusedInsteadOfForgingKeys) {
    SettingsDocument doc = SettingsDocument::Defaults(tmp.dir());
    for (const std::string& v :
         {std::string("a\nCrowley=S"), std::string("a\rb"), std::string("a\0b", 3)}) {
        EXPECT_THROW(doc.Set("Geral", "Local", v), Exception);
    }
    EXPECT_EQ(doc.Get("Geral", "Local"), tmp.dir() + "Audio");
}

TEST_F(SettingsFileTest, UnreadableSettingsFileRaisesAClearErrorAndAppliesNothing) {
    fs::create_directory(CfgPath());
    RecorderSettings settings;
    settings.Formato = "9";
    try {
        LoadSettings(settings, target);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find(CfgPath()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos) << e.what();
    }
    EXPECT_EQ(settings.Formato, "9");
    EXPECT_TRUE(target.calls.empty());
}

TEST_F(SettingsFileTest, SettingsFileThatCannotBeCreatedRaisesAClearError) {
    // The executable "folder" is a regular file: nothing can be created in it.
    WriteFileBytes(tmp.file("notadir"), "x");
    RecorderSettings settings;
    try {
        LoadSettings(settings, target, tmp.file("notadir") + "/");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Not a directory"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(target.calls.empty());
}

// The failures a power cut or a full disk produce in the middle of a write:
// cfg.ini must stay whole and the half-written copy must not linger.
TEST_F(SettingsFileTest, FailedWriteLeavesTheOldFileIntact) {
    const std::string old = "[Geral]\nPlaca=1\nLocalCopia=/backup\n";
    SettingsDocument doc = SettingsDocument::Defaults(tmp.dir());

    {  // The temporary name is taken by a folder: the write cannot even start.
        WriteFileBytes(CfgPath(), old);
        fs::create_directory(AtomicTempPath(CfgPath()));
        EXPECT_THROW(doc.WriteFile(CfgPath()), Exception);
        EXPECT_EQ(CfgText(), old);
        fs::remove(AtomicTempPath(CfgPath()));
    }
    {  // The disk fills up part-way: the file size limit stops the write.
        WriteFileBytes(CfgPath(), old);
        std::string message;
        {
            test::FileSizeLimit limit(64);
            ASSERT_TRUE(limit.Active());
            try {
                doc.WriteFile(CfgPath());
            } catch (const Exception& e) {
                message = e.what();
            }
        }
        EXPECT_NE(message.find("write"), std::string::npos) << message;
        EXPECT_EQ(CfgText(), old);
        EXPECT_FALSE(fs::exists(AtomicTempPath(CfgPath())));
    }
    {  // A stale temporary file from an earlier crash is simply replaced.
        WriteFileBytes(AtomicTempPath(CfgPath()), "half a fi");
        doc.WriteFile(CfgPath());
        EXPECT_EQ(CfgText(), DefaultFileText(tmp.dir()));
        EXPECT_FALSE(fs::exists(AtomicTempPath(CfgPath())));
    }
}

TEST_F(SettingsFileTest, ReplacingKeepsThePermissionsOfTheOldFile) {
    WriteFileBytes(CfgPath(), "[Geral]\n");
    fs::permissions(CfgPath(), fs::perms::owner_read | fs::perms::owner_write);
    WriteDefaultSettings();
    EXPECT_EQ(fs::status(CfgPath()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(CfgText(), DefaultFileText(tmp.dir()));
}

}  // namespace
}  // namespace zt
