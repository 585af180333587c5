// The export of finished segments through the real chain: an MP3 made by
// the recorder's encoder is decoded, converted by the codec manager and
// written as a WAV file, which sox then reads independently.

#include "recorder/CrowleyExport.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include <cstdlib>
#include <filesystem>

#include "audio/capture/WaveInTestSupport.h"
#include "audio/convert/FormatChooser.h"
#include "audio/convert/codecs/CodecManager.h"
#include "recorder/ExportTestSupport.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::RunUntil;

// Answers the chooser with a given format (or cancels) and counts the
// questions.
class ScriptedChooser final : public FormatChooser {
public:
    ScriptedChooser() { previous_ = SetFormatChooser(this); }
    ~ScriptedChooser() override { SetFormatChooser(previous_); }
    WaveFormatPtr Choose(const FormatChoiceRequest& request) override {
        ++asked;
        title = request.title;
        if (request.initial) initialTag = request.initial->wFormatTag;
        // What the box's own event loop may deliver while it is open.
        if (whileOpen) std::exchange(whileOpen, nullptr)();
        return answer ? CopyWaveFormat(answer.get()) : nullptr;
    }
    WaveFormatPtr answer;
    std::function<void()> whileOpen;
    int asked = 0;
    std::string title;
    uint16_t initialTag = 0;

private:
    FormatChooser* previous_ = nullptr;
};

WaveFormatPtr GsmFormat(uint32_t rate) {
    for (WaveFormatPtr& f : acm::EnumFormats(0x31))
        if (f->nSamplesPerSec == rate && f->nChannels == 1) return std::move(f);
    return nullptr;
}

TDateTime At(int day, int hour, int minute, int second) {
    return EncodeDateTime(2012, 12, day, hour, minute, second, 0);
}

class CrowleyExportTest : public ::testing::Test {
protected:
    CrowleyExportTest() {
        ::setenv("XDG_CONFIG_HOME", (config_.path()).c_str(), 1);
        mp3_ = dir_.file("0812121530a0812121540.mp3");
        test::EncodeMp3(mp3_, test::Tone(44100, 2, 1000, 3.0, 16384));
        exporter_.OnExported = [this](const std::string& path) { exported_.push_back(path); };
    }
    ~CrowleyExportTest() override { ::unsetenv("XDG_CONFIG_HOME"); }

    void StoreGsm() {
        WaveFormatPtr gsm = GsmFormat(8000);
        ASSERT_TRUE(gsm);
        TMMACM::StoreFormat(gsm.get(), CrowleyExport::kFormatKey, CrowleyExport::kFormatValue);
    }
    void ExportAndWait(const std::string& mp3, TDateTime start, TDateTime end,
                       const std::string& sigla = "RDX") {
        exporter_.ExportForCrowley(mp3, start, end, sigla);
        ASSERT_TRUE(RunUntil([&] { return !exporter_.Busy(); }, std::chrono::seconds(60)));
    }
    std::string Expected(const char* relative) const { return exeDir_.dir() + relative; }

    test::TempDir dir_, exeDir_, config_;
    test::ScriptedDialogs dialogs_;
    ScriptedChooser chooser_;
    CrowleyExport exporter_{exeDir_.dir()};
    std::string mp3_;
    std::vector<std::string> exported_;
};

TEST_F(CrowleyExportTest, StoredGsmFormatGivesAGsmFileThatStillCarriesTheTone) {
    StoreGsm();
    ExportAndWait(mp3_, At(8, 15, 30, 12), At(8, 15, 40, 12));
    const std::string wav =
        Expected("audiomedia/RDX/2012-12-08/RDX_08-12-2012 15 30 12_08-12-2012 15 40 12.wav");
    ASSERT_EQ(exported_, std::vector<std::string>{wav});
    EXPECT_EQ(chooser_.asked, 0);
    EXPECT_TRUE(dialogs_.shown.empty());

    const test::SoxInfo info = test::ReadWithSox(wav);
    EXPECT_EQ(info.encoding, "GSM");
    EXPECT_EQ(info.rate, 8000);
    EXPECT_EQ(info.channels, 1);
    // 3 s of audio, within one GSM block (40 ms) and the decoder's edges.
    EXPECT_NEAR(info.seconds, 3.0, 0.05);
    // Decoded back, the 1 kHz tone is still there (a wrong block framing
    // decodes to noise).
    EXPECT_GT(test::ToneShare(info.samples, 1, 8000, 1000.0), 0.6);
    EXPECT_LT(test::ToneShare(info.samples, 1, 8000, 1700.0), 0.05);
}

TEST_F(CrowleyExportTest, FirstExportAsksOnceCancelStoresNothingAndAChoiceIsKept) {
    // A cut while the chooser is open: that segment waits its turn; the
    // chooser is not opened a second time inside the first.
    const std::string second = dir_.file("0812121540a0812121550.mp3");
    fs::copy_file(mp3_, second);
    chooser_.whileOpen = [&] {
        exporter_.ExportForCrowley(second, At(8, 15, 40, 12), At(8, 15, 50, 12), "RDX");
    };
    // Cancelled: nothing stored and nothing written; both segments wait.
    ExportAndWait(mp3_, At(8, 15, 30, 12), At(8, 15, 40, 12));
    EXPECT_EQ(chooser_.asked, 1);
    EXPECT_EQ(chooser_.title, "Escolha o formato desejado");
    EXPECT_EQ(chooser_.initialTag, 1);
    EXPECT_FALSE(TMMACM::LoadFormat(CrowleyExport::kFormatKey, CrowleyExport::kFormatValue));
    EXPECT_TRUE(exported_.empty());
    EXPECT_EQ(exporter_.Waiting(), 2u);
    EXPECT_FALSE(fs::exists(Expected("audiomedia")));

    // The next finished segment asks again; this time a format is chosen
    // and stored, and every waiting segment is exported once, in order,
    // with its own start and end.
    const std::string third = dir_.file("0812121550a0812121600.mp3");
    fs::copy_file(mp3_, third);
    chooser_.answer = GsmFormat(8000);
    ExportAndWait(third, At(8, 15, 50, 12), At(8, 16, 0, 12));
    EXPECT_EQ(chooser_.asked, 2);
    ASSERT_TRUE(TMMACM::LoadFormat(CrowleyExport::kFormatKey, CrowleyExport::kFormatValue));
    const std::string folder = Expected("audiomedia/RDX/2012-12-08/");
    EXPECT_EQ(exported_, (std::vector<std::string>{
                             folder + "RDX_08-12-2012 15 30 12_08-12-2012 15 40 12.wav",
                             folder + "RDX_08-12-2012 15 40 12_08-12-2012 15 50 12.wav",
                             folder + "RDX_08-12-2012 15 50 12_08-12-2012 16 00 12.wav"}));
    for (const std::string& wav : exported_) {
        const test::SoxInfo info = test::ReadWithSox(wav);
        EXPECT_EQ(info.encoding, "GSM") << wav;
        EXPECT_NEAR(info.seconds, 3.0, 0.05) << wav;
    }

    // Kept for later exports, also by a new exporter (a restart): no question.
    CrowleyExport restarted(exeDir_.dir());
    std::vector<std::string> again;
    restarted.OnExported = [&](const std::string& path) { again.push_back(path); };
    restarted.ExportForCrowley(mp3_, At(8, 15, 50, 12), At(8, 16, 0, 12), "RDX");
    ASSERT_TRUE(RunUntil([&] { return !restarted.Busy(); }, std::chrono::seconds(60)));
    EXPECT_EQ(chooser_.asked, 2);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(test::ReadWithSox(again[0]).encoding, "GSM");
}

TEST_F(CrowleyExportTest, SegmentsFinishingDuringAnExportWaitTheirTurn) {
    StoreGsm();
    const std::string second = dir_.file("0812121540a0812121550.mp3");
    test::EncodeMp3(second, test::Tone(44100, 2, 500, 2.0, 16384));
    exporter_.ExportForCrowley(mp3_, At(8, 23, 55, 0), At(9, 0, 5, 0), "RDX");
    exporter_.ExportForCrowley(second, At(9, 0, 5, 0), At(9, 0, 15, 0), "RDX");
    EXPECT_EQ(exporter_.Waiting(), 1u);
    ASSERT_TRUE(RunUntil([&] { return !exporter_.Busy(); }, std::chrono::seconds(60)));
    ASSERT_EQ(exported_.size(), 2u);
    // Across midnight: the start date's folder; the next one in the next day's.
    EXPECT_EQ(
        exported_[0],
        Expected("audiomedia/RDX/2012-12-08/RDX_08-12-2012 23 55 00_09-12-2012 00 05 00.wav"));
    EXPECT_EQ(
        exported_[1],
        Expected("audiomedia/RDX/2012-12-09/RDX_09-12-2012 00 05 00_09-12-2012 00 15 00.wav"));
    const test::SoxInfo first = test::ReadWithSox(exported_[0]);
    const test::SoxInfo next = test::ReadWithSox(exported_[1]);
    EXPECT_NEAR(first.seconds, 3.0, 0.05);
    EXPECT_NEAR(next.seconds, 2.0, 0.05);
    // Each file holds its own segment's tone, nothing of the other.
    EXPECT_GT(test::ToneShare(first.samples, 1, 8000, 1000.0), 0.6);
    EXPECT_GT(test::ToneShare(next.samples, 1, 8000, 500.0), 0.6);
}

TEST_F(CrowleyExportTest, MissingOrBrokenSourcesLeaveTheNextExportWorking) {
    StoreGsm();
    // A segment that was never written: nothing happens.
    exporter_.ExportForCrowley(dir_.file("missing.mp3"), At(8, 1, 0, 0), At(8, 1, 10, 0), "RDX");
    EXPECT_FALSE(exporter_.Busy());
    EXPECT_TRUE(exported_.empty());
    EXPECT_TRUE(dialogs_.shown.empty());

    // Not audio at all: the error reaches the caller, nothing is left running.
    const std::string junk = dir_.file("junk.mp3");
    test::WriteFileBytes(junk, std::string(5000, 'x'));
    EXPECT_ANY_THROW(exporter_.ExportForCrowley(junk, At(8, 2, 0, 0), At(8, 2, 10, 0), "RDX"));
    EXPECT_FALSE(exporter_.Busy());

    // A truncated recording exports what it holds, or fails cleanly.
    const std::string cut = dir_.file("cut.mp3");
    const std::string whole = test::ReadFileBytes(mp3_);
    test::WriteFileBytes(cut, whole.substr(0, whole.size() / 3));
    try {
        ExportAndWait(cut, At(8, 3, 0, 0), At(8, 3, 10, 0));
    } catch (const std::exception&) {
    }
    EXPECT_FALSE(exporter_.Busy());

    exported_.clear();
    ExportAndWait(mp3_, At(8, 15, 30, 12), At(8, 15, 40, 12));
    ASSERT_EQ(exported_.size(), 1u);
    EXPECT_NEAR(test::ReadWithSox(exported_[0]).seconds, 3.0, 0.05);
}

}  // namespace
}  // namespace zt
