// The language file: our builder's output read back by an independent PE
// reader and by ours, the header variants, the slots, the fallbacks to the
// built-in texts, and entries that point outside their resource.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LcfBuilder.h"
#include "lang/CodePages.h"
#include "lang/Lcf.h"
#include "lang/LcfTestSupport.h"
#include "lang/PeResources.h"
#include "platform/ResStrings.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::Bytes;
using test::Language;
using test::Le32;

constexpr int kNoDevice = 28160;    // "No wave audio recording device found"
constexpr int kCantFormat = 28087;  // "The actual device can''t record this format"

class LcfReaderTest : public ::testing::Test {
protected:
    ~LcfReaderTest() override { UnloadLanguage(); }

    std::string Write(const std::string& bytes, const std::string& name = "test.lcf") {
        const std::string path = dir_.file(name);
        test::WriteFileBytes(path, bytes);
        return path;
    }
    test::TempDir dir_;
};

TEST_F(LcfReaderTest, AnIndependentPeReaderFindsTheResourcesOurReaderReturns) {
    const std::vector<lcf::LanguageSource> languages = {
        Language(
            1046,
            "[strings]\n28160 = Nenhum dispositivo\n[TFrmGravar]\nLabelGravar-Caption = Gravar\n"),
        Language(
            1033,
            "[strings]\n28160 = No recording device\n[TFrmGravar]\nLabelGravar-Caption = Record\n"),
        Language(3082, "[strings]\n28160 = Ningún dispositivo\n"),
    };
    const std::string file = Write(lcf::BuildLanguageFile(languages, {}));
    const std::map<std::string, std::string> expected = lcf::BuildResources(languages, {});

    // pefile lists every raw-data resource by name with its bytes in hex.
    const char* script =
        "import pefile, sys\n"
        "pe = pefile.PE(sys.argv[1])\n"
        "for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:\n"
        "    if t.id != 10: continue\n"
        "    for n in t.directory.entries:\n"
        "        for l in n.directory.entries:\n"
        "            d = l.data.struct\n"
        "            print(str(n.name), pe.get_data(d.OffsetToData, d.Size).hex())\n";
    test::ChildProcess python("/usr/bin/python3", {"-c", script, file});
    ASSERT_TRUE(python.WaitForExit(std::chrono::seconds(30)));
    ASSERT_EQ(python.ExitCode(), 0) << python.Output();
    std::map<std::string, std::string> seen;
    std::istringstream lines(python.Output());
    for (std::string name, hex; lines >> name >> hex;) seen[name] = hex;

    const std::string bytes = test::ReadFileBytes(file);
    const std::optional<PeResources> ours =
        PeResources::Parse(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(ours);
    ASSERT_EQ(seen.size(), expected.size()) << python.Output();
    for (const auto& [name, content] : expected) {
        SCOPED_TRACE(name);
        std::string hex;
        for (unsigned char c : content) {
            static const char* digits = "0123456789abcdef";
            hex += digits[c >> 4];
            hex += digits[c & 15];
        }
        EXPECT_EQ(seen[name], hex);
        // Ours finds it too, whatever the case of the name asked for.
        std::u16string lower;
        for (char c : name) lower += char16_t(std::tolower(static_cast<unsigned char>(c)));
        const auto found = ours->Find(kResourceRcData, lower);
        ASSERT_TRUE(found);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(found->data()), found->size()),
                  content);
    }
}

TEST_F(LcfReaderTest, TheSlotFlagShiftsNumberedStringsBeyondTheReservedSlot) {
    lcf::BuildOptions options;
    options.reserveSlotZero = true;
    const std::string file =
        Write(lcf::BuildLanguageFile({Language(1033, "[strings]\n28160 = No recording device\n"),
                                      Language(1046, "[strings]\n28160 = Nenhum dispositivo\n")},
                                     options));
    ASSERT_EQ(LoadLanguage(file, 1046, {}, nullptr), 1);
    TLcf* lcf = CurrentLanguage();
    ASSERT_NE(lcf, nullptr);
    EXPECT_EQ(lcf->Slot, 2);
    EXPECT_EQ(lcf->Index, 1);
    EXPECT_EQ(lcf->CodePage, 1252);
    EXPECT_EQ(LoadResString(kNoDevice), "Nenhum dispositivo");
    ASSERT_EQ(LoadLanguage(file, 1033, {}, nullptr), 1);
    EXPECT_EQ(CurrentLanguage()->Slot, 1);
    EXPECT_EQ(LoadResString(kNoDevice), "No recording device");
}

TEST_F(LcfReaderTest, CodePagesComeFromTheSecondHeaderWhenItHasThem) {
    lcf::BuildOptions options;
    options.codePagesInHeader = true;
    const std::string file = Write(lcf::BuildLanguageFile(
        {Language(1046, ""), Language(1033, "codepage = 1251\n[strings]\n28160 = Привет\n")},
        options));
    ASSERT_EQ(LoadLanguage(file, 1033, {}, nullptr), 1);
    EXPECT_FALSE(CurrentLanguage()->CodePagesFromLocale);
    EXPECT_EQ(CurrentLanguage()->CodePage, 1251) << "not the locale's 1252";
    // Texts stay Unicode; where 8-bit text is needed it is in that code page.
    EXPECT_EQ(LoadResString(kNoDevice), "Привет");
    EXPECT_EQ(WideToAnsi(u"Привет", CurrentLanguage()->CodePage), "\xCF\xF0\xE8\xE2\xE5\xF2");
}

TEST_F(LcfReaderTest, AnAbsentLanguageIsListedAroundAndLeavesNoLanguage) {
    const std::string file = Write(
        lcf::BuildLanguageFile({Language(1033, "[strings]\n28160 = x\n"), Language(1049, "")}, {}));
    std::vector<int32_t> listed;
    const int result = LoadLanguage(
        file, 1046,
        [&](int32_t lcid, void* data) {
            EXPECT_EQ(data, &listed);
            listed.push_back(lcid);
            return 1;
        },
        &listed);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(listed, (std::vector<int32_t>{1033, 1049}));
    EXPECT_EQ(CurrentLanguage(), nullptr);
    EXPECT_EQ(LoadResString(kNoDevice), BuiltInResString(kNoDevice));

    // A listing that answers 0 stops there.
    listed.clear();
    LoadLanguage(
        file, 1046,
        [&](int32_t lcid, void*) {
            listed.push_back(lcid);
            return 0;
        },
        nullptr);
    EXPECT_EQ(listed, (std::vector<int32_t>{1033}));
}

TEST_F(LcfReaderTest, EmptyTranslationsAreTextsAndMissingOnesFallBackToTheBuiltIn) {
    const std::string file = Write(
        lcf::BuildLanguageFile({Language(1046, "[strings]\n28160 = \"\"\n28087 = Não grava\n"),
                                Language(1033, "[strings]\n28087 = Cannot record\n")},
                               {}));
    ASSERT_EQ(LoadLanguage(file, 1046, {}, nullptr), 1);
    EXPECT_EQ(LoadResString(kNoDevice), "") << "length 0 is an empty translation";
    EXPECT_EQ(LoadResString(kCantFormat), "Não grava");
    ASSERT_EQ(LoadLanguage(file, 1033, {}, nullptr), 1);
    EXPECT_EQ(LoadResString(kNoDevice), BuiltInResString(kNoDevice)) << "negative length";
    // Ending the language restores the built-in texts.
    UnloadLanguage();
    EXPECT_EQ(LoadResString(kCantFormat), BuiltInResString(kCantFormat));
}

TEST_F(LcfReaderTest, WhatIsNotALanguageFileGivesMinusOne) {
    const std::string header = "LCHEADER" + Le32({0, 1, 1046});
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"not a module", "plain text, not a module"},
        {"no header", lcf::BuildResourceModule({{"28160", Le32({0, -1})}})},
        {"header bytes wrong",
         lcf::BuildResourceModule({{"LCHEADER", "LCHEADEX" + Le32({0, 1, 1046})}})},
        {"header too short", lcf::BuildResourceModule({{"LCHEADER", "LCHEADER" + Le32({0})}})},
        {"module cut short", lcf::BuildResourceModule({{"LCHEADER", header}}).substr(0, 0x210)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int listed = 0;
        EXPECT_EQ(LoadLanguage(
                      Write(c.bytes), 1046, [&](int32_t, void*) { return ++listed; }, nullptr),
                  -1);
        EXPECT_EQ(listed, 0);
        EXPECT_EQ(CurrentLanguage(), nullptr);
    }
    EXPECT_EQ(LoadLanguage(dir_.file("missing.lcf"), 1046, {}, nullptr), -1);
    // The second header name is found too.
    EXPECT_EQ(LoadLanguage(Write(lcf::BuildResourceModule({{"lcheade2", header + Le32({1252})}})),
                           1046, {}, nullptr),
              1);
}

TEST_F(LcfReaderTest, EntriesPointingOutsideTheirResourceAreNeverRead) {
    const std::string header = "LCHEADER" + Le32({0, 2, 1046, 1033});
    const std::string text = test::Utf16Le(u"ok");
    const std::map<std::string, std::string> resources = {
        {"LCHEADER", header},
        // Slot 0 runs past the end; slot 1 is whole.
        {"28160", Le32({16, 4000, 16, int64_t(text.size())}) + text},
        // A huge offset, a negative offset.
        {"28087", Le32({0x7FFFFFF0, 2, -8, 2})},
        // Fewer slots than languages.
        {"28162", Le32({8, 0})},
    };
    const std::string file = Write(lcf::BuildResourceModule(resources));
    ASSERT_EQ(LoadLanguage(file, 1046, {}, nullptr), 1);
    EXPECT_EQ(LoadResString(28160), BuiltInResString(28160));
    EXPECT_EQ(LoadResString(28087), BuiltInResString(28087));
    EXPECT_EQ(LoadResString(28162), "");
    ASSERT_EQ(LoadLanguage(file, 1033, {}, nullptr), 1);
    EXPECT_EQ(LoadResString(28160), "ok");
    EXPECT_EQ(LoadResString(28087), BuiltInResString(28087));
    EXPECT_EQ(LoadResString(28162), BuiltInResString(28162));
}

TEST_F(LcfReaderTest, NumberedStringsCanBeLookedUpWhileTheLanguageChanges) {
    // The export pump and the capture thread look messages up while the
    // operator may switch languages on the main thread.
    const std::string file =
        Write(lcf::BuildLanguageFile({Language(1046, "[strings]\n28160 = Nenhum dispositivo\n"),
                                      Language(1033, "[strings]\n28160 = No recording device\n")},
                                     {}));
    const std::set<std::string> allowed = {"Nenhum dispositivo", "No recording device",
                                           BuiltInResString(kNoDevice)};
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0}, lookups{0};
    std::thread worker([&] {
        while (!stop.load()) {
            if (!allowed.count(LoadResString(kNoDevice))) ++wrong;
            ++lookups;
        }
    });
    for (int i = 0; i < 200; ++i) {
        LoadLanguage(file, i % 2 ? 1033 : 1046, {}, nullptr);
        if (i % 7 == 0) UnloadLanguage();
    }
    while (lookups.load() < 1000) std::this_thread::yield();
    stop.store(true);
    worker.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(LocaleAnsiCodePageTest, KnownIdentifiersHaveTheirCodePage) {
    const std::map<int32_t, int32_t> cases = {{1046, 1252}, {1033, 1252}, {3082, 1252},
                                              {1049, 1251}, {1029, 1250}, {1041, 932},
                                              {1081, 0},    {12345, 0}};
    for (const auto& [lcid, page] : cases) EXPECT_EQ(LocaleAnsiCodePage(lcid), page) << lcid;
}

TEST(WideToAnsiTest, NeverLongerThanTheTextAndUnmappedCharactersBecomeQuestionMarks) {
    EXPECT_EQ(WideToAnsi(u"", 1252), "");
    EXPECT_EQ(WideToAnsi(u"Gravação", 1252), "Grava\xE7\xE3o");
    EXPECT_EQ(WideToAnsi(u"Gravação Привет", 1252), "Grava\xE7\xE3o ??????");
    // Japanese takes two bytes a character: cut at the text's length, at a
    // whole character.
    const std::string japanese = WideToAnsi(u"日本語", 932);
    EXPECT_EQ(japanese.size(), 2u);
    EXPECT_EQ(japanese, "\x93\xFA");
}

}  // namespace
}  // namespace zt
