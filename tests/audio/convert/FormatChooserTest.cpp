// The format chooser's lists, its starting point and its answer.

#include "audio/convert/FormatChooser.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>

#include "audio/convert/ui/FormatChooserDialog.h"

namespace zt {
namespace {

WAVEFORMATEX Gsm(uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = 0x31;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate * 65 / 320;
    f.nBlockAlign = 65;
    f.wBitsPerSample = 0;
    f.cbSize = 0;  // the test formats carry no codec data
    return f;
}

FormatChoiceRequest TwoCodecs() {
    FormatChoiceRequest request;
    request.title = "Escolha o formato desejado";
    FormatChoiceTag pcm{1, "PCM", {}};
    for (uint32_t rate : {8000u, 44100u}) {
        const WAVEFORMATEX f = MakePCMFormat(16, 2, rate);
        pcm.formats.push_back(CopyWaveFormat(&f));
    }
    FormatChoiceTag gsm{0x31, "GSM 6.10", {}};
    for (uint32_t rate : {8000u, 11025u}) {
        const WAVEFORMATEX f = Gsm(rate);
        gsm.formats.push_back(CopyWaveFormat(&f));
    }
    request.tags.push_back(std::move(pcm));
    request.tags.push_back(std::move(gsm));
    return request;
}

TEST(FormatChooser, AttributeLinesInTheLocalesNotation) {
    const WAVEFORMATEX gsm = Gsm(8000);
    const WAVEFORMATEX pcm = MakePCMFormat(16, 2, 44100);
    const WAVEFORMATEX pcm8 = MakePCMFormat(8, 1, 11025);
    EXPECT_EQ(FormatAttributesText(gsm, ","), "8,000 kHz, Mono, 1 KB/s");
    EXPECT_EQ(FormatAttributesText(pcm, ","), "44,100 kHz, 16 Bit, Stereo, 172 KB/s");
    EXPECT_EQ(FormatAttributesText(pcm8, "."), "11.025 kHz, 8 Bit, Mono, 10 KB/s");
}

TEST(FormatChooser, DialogStartsOnTheGivenFormatAndAnswersTheSelection) {
    const FormatChoiceRequest request = TwoCodecs();
    const WAVEFORMATEX initial = Gsm(11025);
    FormatChoiceRequest withInitial = TwoCodecs();
    withInitial.initial = &initial;

    TFormatChooserDialog dialog(withInitial);
    EXPECT_EQ(dialog.windowTitle(), "Escolha o formato desejado");
    ASSERT_EQ(dialog.FormatList()->count(), 2);
    EXPECT_EQ(dialog.FormatList()->currentText(), "GSM 6.10");
    ASSERT_EQ(dialog.AttributeList()->count(), 2);
    EXPECT_EQ(dialog.AttributeList()->currentIndex(), 1);
    WaveFormatPtr chosen = dialog.Selected();
    ASSERT_TRUE(chosen);
    EXPECT_FALSE(WaveFormatsDiffer(chosen.get(), &initial));

    // Another codec refills the attributes with its own formats.
    dialog.FormatList()->setCurrentIndex(0);
    ASSERT_EQ(dialog.AttributeList()->count(), 2);
    dialog.AttributeList()->setCurrentIndex(1);
    chosen = dialog.Selected();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->wFormatTag, 1);
    EXPECT_EQ(chosen->nSamplesPerSec, 44100u);

    // Without an initial format: the first entry; with no codecs: no OK.
    TFormatChooserDialog plain(request);
    EXPECT_EQ(plain.FormatList()->currentIndex(), 0);
    EXPECT_EQ(plain.AttributeList()->currentIndex(), 0);
    FormatChoiceRequest none;
    TFormatChooserDialog empty(none);
    EXPECT_FALSE(empty.Buttons()->button(QDialogButtonBox::Ok)->isEnabled());
    EXPECT_FALSE(empty.Selected());
}

TEST(FormatChooser, WithoutAChooserEveryQuestionIsCancelled) {
    FormatChooser* previous = SetFormatChooser(nullptr);
    const FormatChoiceRequest request = TwoCodecs();
    EXPECT_FALSE(CurrentFormatChooser().Choose(request));
    SetFormatChooser(previous);
}

}  // namespace
}  // namespace zt
