#include "displays/Spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include "app/MainWindowDisplaySetUp.h"
#include "displays/DisplayErrors.h"
#include "support/Renders.h"

namespace zt {
namespace {

constexpr int kW = 273, kH = 86;
const QRgb kBlack = ToQRgb(clBlack), kLime = ToQRgb(clLime), kYellow = ToQRgb(clYellow),
           kRed = ToQRgb(clRed);

// PCM bytes of `frames` frames of a cosine (both channels alike); the
// phase runs on from `start`.
std::vector<uint8_t> Tone(int frames, double hz, double rate, double amplitude, int bits = 16,
                          int channels = 2, int start = 0) {
    std::vector<uint8_t> out;
    for (int i = 0; i < frames; ++i) {
        const double v = amplitude * std::cos(2.0 * std::numbers::pi * hz * (start + i) / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                out.push_back(uint8_t(std::clamp(std::lround(v / 256.0) + 128, 0L, 255L)));
            } else {
                const auto s = int16_t(std::clamp(std::lround(v), -32768L, 32767L));
                out.push_back(uint8_t(uint16_t(s) & 0xFF));
                out.push_back(uint8_t(uint16_t(s) >> 8));
            }
        }
    }
    return out;
}

class SpectrumTest : public ::testing::Test {
protected:
    SpectrumTest() : spectrum(kW, kH, timers) { SetUpMainWindowSpectrum(spectrum); }

    int Frames() const {
        return spectrum.BytesPerUpdate() / ((spectrum.BitLength() == TMMBits::b8Bit ? 1 : 2) *
                                            (spectrum.Mode() == TMMMode::mMono ? 1 : 2));
    }
    // One update of a cosine at bin `bin` of the current length and rate.
    void FeedBin(int bin, double amplitude) {
        const double hz = double(bin) * spectrum.SampleRate() / spectrum.FFTLength();
        FeedTone(hz, amplitude);
    }
    void FeedTone(double hz, double amplitude) {
        const int bits = spectrum.BitLength() == TMMBits::b8Bit ? 8 : 16;
        const int channels = spectrum.Mode() == TMMMode::mMono ? 1 : 2;
        const auto data = Tone(Frames(), hz, spectrum.SampleRate(), amplitude, bits, channels);
        ASSERT_EQ(int(data.size()), spectrum.BytesPerUpdate());
        spectrum.ProcessData(data.data());
    }
    void FeedSilence(int times = 1) {
        const std::vector<uint8_t> zero(size_t(spectrum.BytesPerUpdate()),
                                        spectrum.BitLength() == TMMBits::b8Bit ? 128 : 0);
        for (int i = 0; i < times; ++i) spectrum.ProcessData(zero.data());
    }
    int HighestBar() const {
        const auto bars = spectrum.Bars();
        return int(
            std::max_element(bars.begin(), bars.end(),
                             [](const auto& a, const auto& b) { return a.Value < b.Value; }) -
            bars.begin());
    }
    // The bar showing bin `bin` (columns start at it).
    TMMSpectrumBar BarOfBin(int bin) const {
        for (const auto& bar : spectrum.Bars())
            if (spectrum.StartBinOf(bar.FirstColumn) == bin) return bar;
        ADD_FAILURE() << "no bar for bin " << bin;
        return {};
    }
    static int SegmentRow(int segment) { return kH - 1 - (segment - 1) * 2; }

    DisplayTimerService timers{DisplayTimerService::Mode::Manual};
    TMMSpectrum spectrum;
};

TEST(SpectrumLengthTest, FFTLengthIsClampedAndRoundedDownToAPowerOfTwo) {
    const struct {
        int requested, length;
    } cases[] = {{100, 64}, {5000, 4096}, {7, 8},       {0, 8},      {8, 8},
                 {64, 64},  {65, 64},     {4095, 2048}, {4096, 4096}};
    for (const auto& c : cases) EXPECT_EQ(FFTLengthOf(c.requested), c.length) << c.requested;
}

TEST_F(SpectrumTest, BytesPerUpdateIsOneFFTLengthOfFrames) {
    EXPECT_EQ(spectrum.BytesPerUpdate(), 256);
    spectrum.SetFFTLength(100);
    EXPECT_EQ(spectrum.FFTLength(), 64);
    const WAVEFORMATEX mono8 = MakePCMFormat(8, 1, 22050);
    spectrum.SetPCMFormat(&mono8);
    spectrum.SetFFTLength(128);
    EXPECT_EQ(spectrum.BytesPerUpdate(), 128);
    const WAVEFORMATEX mono16 = MakePCMFormat(16, 1, 48000);
    spectrum.SetPCMFormat(&mono16);
    spectrum.SetFFTLength(5000);
    EXPECT_EQ(spectrum.BytesPerUpdate(), 2 * 4096);
}

TEST_F(SpectrumTest, ColumnsJoinIntoOneBarPerBin) {
    const auto bars = spectrum.Bars();
    ASSERT_EQ(bars.size(), 32u);
    int next = 0;
    for (size_t b = 0; b < bars.size(); ++b) {
        const auto& bar = bars[b];
        EXPECT_EQ(bar.FirstColumn, next) << "bars cover the width without gaps";
        const int width = bar.EndColumn - bar.FirstColumn;
        EXPECT_TRUE(width == 8 || width == 9) << "bar " << b << " has " << width << " columns";
        EXPECT_EQ(spectrum.StartBinOf(bar.FirstColumn), int(b));
        EXPECT_GT(spectrum.ColumnScaleOf(bar.FirstColumn), 0);
        for (int j = bar.FirstColumn + 1; j < bar.EndColumn; ++j) {
            EXPECT_EQ(spectrum.StartBinOf(j), int(b));
            EXPECT_EQ(spectrum.ColumnScaleOf(j), 0) << "joined column " << j;
        }
        next = bar.EndColumn;
    }
    EXPECT_EQ(next, kW);

    // Twice the frequency zoom: half the bins across the same width.
    spectrum.SetFrequencyScale(2);
    EXPECT_EQ(spectrum.Bars().size(), 16u);
    EXPECT_EQ(spectrum.StartBinOf(kW - 1), 15);

    // Fewer columns than bins: each column spans two bins.
    spectrum.SetFrequencyScale(1);
    spectrum.SetBounds(16, kH);
    ASSERT_EQ(spectrum.Bars().size(), 16u);
    for (int j = 0; j < 16; ++j) {
        EXPECT_EQ(spectrum.StartBinOf(j), 2 * j);
        EXPECT_EQ(spectrum.EndBinOf(j), 2 * j + 2);
    }
}

TEST_F(SpectrumTest, WindowTablesAreQ15) {
    const auto& analysis = spectrum.Analysis();
    const struct {
        TMMFFTWindow window;
        int edge, eighth;  // entries 0 and 8 of 64
    } cases[] = {
        // round(w(i) x 32767) of the window formulas, worked out apart.
        {TMMFFTWindow::fwRectangular, 32767, 32767}, {TMMFFTWindow::fwHamming, 2621, 7036},
        {TMMFFTWindow::fwHanning, 0, 4799},          {TMMFFTWindow::fwBlackman, 0, 2177},
        {TMMFFTWindow::fwGaussian, 221, 1968},       {TMMFFTWindow::fwWelch, 1000, 14898},
        {TMMFFTWindow::fwParzen, 504, 8570},
    };
    for (const auto& c : cases) {
        spectrum.SetWindow(c.window);
        EXPECT_EQ(analysis.WindowEntry(0), c.edge) << int(c.window);
        EXPECT_EQ(analysis.WindowEntry(8), c.eighth) << int(c.window);
        EXPECT_EQ(analysis.WindowEntry(32), 32767) << int(c.window);
    }
}

TEST_F(SpectrumTest, ToneAtABinFrequencyPeaksInTheBarOfThatBin) {
    const struct {
        int bin, bits, channels;
    } cases[] = {{1, 16, 2},  {5, 16, 2}, {8, 16, 2}, {20, 16, 2},
                 {31, 16, 2}, {8, 8, 1},  {20, 16, 1}};
    for (const auto& c : cases) {
        const WAVEFORMATEX format = MakePCMFormat(uint16_t(c.bits), uint16_t(c.channels), 44100);
        spectrum.SetPCMFormat(&format);
        spectrum.ResetData();
        FeedBin(c.bin, 8000);
        const int highest = HighestBar();
        EXPECT_EQ(spectrum.StartBinOf(spectrum.Bars()[size_t(highest)].FirstColumn), c.bin)
            << "bin " << c.bin << ", " << c.bits << " bits, " << c.channels << " channels";
        EXPECT_GT(spectrum.Bars()[size_t(highest)].Value, 0);
    }
}

TEST_F(SpectrumTest, FullHeightIsTheVerticalScaleOfFullScaleAtTheReference) {
    // At 64000 Hz bin 1 of 64 (bin 16 of 1024) is exactly the 1000 Hz
    // reference, where the pre-emphasis is normalised: 20 % of full scale
    // fills the height whatever the gain order. The differences start from
    // the window's first sample; at 12 dB that costs 7 % with 64 samples,
    // so that order is checked with 1024.
    spectrum.SetSampleRate(64000);
    spectrum.SetWindow(TMMFFTWindow::fwRectangular);
    spectrum.SetDecayMode(TMMDecayMode::dmNone);
    const struct {
        TMMSpectrumGain gain;
        int fftLength, verticalScale;
        double share;  // of full scale
        int value;
    } cases[] = {
        {TMMSpectrumGain::sgNone, 64, 20, 0.2, kH},
        {TMMSpectrumGain::sg6db, 64, 20, 0.2, kH},
        {TMMSpectrumGain::sg12db, 1024, 20, 0.2, kH},
        {TMMSpectrumGain::sgNone, 64, 20, 0.1, kH / 2},
        {TMMSpectrumGain::sg6db, 64, 100, 0.5, kH / 2},
        {TMMSpectrumGain::sg6db, 1024, 100, 0.5, kH / 2},
    };
    for (const auto& c : cases) {
        spectrum.SetGain(c.gain);
        spectrum.SetFFTLength(c.fftLength);
        spectrum.SetVerticalScale(c.verticalScale);
        const int bin = c.fftLength / 64;
        FeedBin(bin, c.share * 32768);
        EXPECT_NEAR(BarOfBin(bin).Value, c.value, 3)
            << "gain " << int(c.gain) << ", N " << c.fftLength << ", scale " << c.verticalScale
            << ", " << c.share;
    }
    spectrum.SetFFTLength(64);
    // Without pre-emphasis and window, bin magnitudes are 16 x the amplitude.
    spectrum.SetGain(TMMSpectrumGain::sgNone);
    FeedBin(3, 10000);
    EXPECT_NEAR(spectrum.Analysis().Magnitude(3), 160000, 160);
}

TEST_F(SpectrumTest, PreEmphasisRemovesAConstantLevelAndOddGainsRiseWithFrequency) {
    // The differences start from the window's first value, so a constant
    // level leaves nothing (a zero start would put a click in every bin).
    spectrum.SetDecayMode(TMMDecayMode::dmNone);
    for (TMMSpectrumGain gain : {TMMSpectrumGain::sg6db, TMMSpectrumGain::sg12db}) {
        spectrum.SetGain(gain);
        FeedTone(0.0, 12000);
        for (int k = 0; k < 32; ++k) ASSERT_EQ(spectrum.Analysis().Magnitude(k), 0) << k;
    }
    spectrum.SetGain(TMMSpectrumGain::sgNone);
    FeedTone(0.0, 12000);
    EXPECT_GT(spectrum.Analysis().Magnitude(0), 0) << "without pre-emphasis DC stays";

    // Even gains: one scale for every bar, kept in 4096..8191.
    const int even = spectrum.ColumnScaleOf(0);
    EXPECT_GE(even, 4096);
    EXPECT_LT(even, 8192);
    EXPECT_EQ(spectrum.ColumnScaleOf(BarOfBin(20).FirstColumn), even);
    // Odd gains add 3 dB per octave: the scale follows the square root of
    // the bar's frequency.
    spectrum.SetGain(TMMSpectrumGain::sg9db);
    const double low = spectrum.ColumnScaleOf(BarOfBin(3).FirstColumn);
    const double high = spectrum.ColumnScaleOf(BarOfBin(15).FirstColumn);
    EXPECT_NEAR(high / low, 2.0, 0.01);
    EXPECT_LT(high, 8192);
}

TEST_F(SpectrumTest, DecayModesFollowTheirRules) {
    const int bin = 8;
    const float f = DecayFactorOf(8);
    auto burst = [&] {
        FeedBin(bin, 8000);
        return spectrum.Analysis().Magnitude(bin);
    };
    auto value = [&] { return spectrum.Analysis().Value(bin); };

    spectrum.SetDecayMode(TMMDecayMode::dmNone);
    int m = burst();
    ASSERT_GT(m, 10000);
    EXPECT_EQ(value(), m);
    FeedSilence();
    EXPECT_EQ(value(), 0);

    spectrum.SetDecayMode(TMMDecayMode::dmStepUp);
    m = burst();
    EXPECT_EQ(value(), m) << "rises at once";
    FeedSilence(100);
    EXPECT_NEAR(value(), m * std::pow(double(f), 100), 1.0);
    EXPECT_NEAR(double(value()) / m, 0.027, 0.001);

    spectrum.SetDecayMode(TMMDecayMode::dmExponential);
    FeedSilence();
    EXPECT_EQ(value(), 0) << "a new mode starts from a cleared state";
    m = burst();
    EXPECT_EQ(value(), int(std::floor((1.0f - f) * float(m))));
    FeedSilence();
    EXPECT_NEAR(value(), f * (1.0f - f) * float(m), 1.0);

    // Decay 8 averages the last 14 updates.
    spectrum.SetDecayMode(TMMDecayMode::dmUniform);
    EXPECT_EQ(spectrum.Analysis().AverageSlots(), 14);
    m = burst();
    EXPECT_EQ(value(), m) << "mean of the one update so far";
    FeedSilence();
    EXPECT_EQ(value(), m / 2);
    FeedSilence(12);
    EXPECT_EQ(value(), m / 14);
    FeedSilence();
    EXPECT_EQ(value(), 0) << "the burst left the ring";
    burst();
    spectrum.SetDecay(3);  // 4 slots, state cleared
    EXPECT_EQ(spectrum.Analysis().AverageSlots(), 4);
    FeedSilence();
    EXPECT_EQ(value(), 0);
}

TEST_F(SpectrumTest, ABarFallsToAboutThreePercentIn100SilentUpdates) {
    spectrum.SetVerticalScale(10);
    FeedBin(8, 8000);
    const int start = BarOfBin(8).Value;
    ASSERT_GT(start, 100);
    FeedSilence(100);
    EXPECT_NEAR(BarOfBin(8).Value, start * 0.027, 2.0);
}

TEST_F(SpectrumTest, SilenceShowsNoBars) {
    FeedBin(8, 8000);
    spectrum.ResetData();
    for (const auto& bar : spectrum.Bars()) {
        EXPECT_EQ(bar.Value, 0);
        EXPECT_EQ(bar.Peak, 0);
    }
    FeedSilence(3);
    for (const auto& bar : spectrum.Bars()) EXPECT_EQ(bar.Value, 0);
    const QImage& image = spectrum.Image();
    test::SaveRender(image, "spectrum_bars_silence");
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(image.pixel(x, y), kBlack) << x << "," << y;
}

TEST_F(SpectrumTest, PeakHoldsFor41TicksThenDropsOrFalls) {
    for (int speed : {0, 2}) {
        spectrum.ResetData();
        spectrum.SetPeakSpeed(speed);
        FeedBin(8, 3000);
        const int peak = BarOfBin(8).Peak;
        ASSERT_GT(peak, 1) << "peaks of the segment styles count segments";
        EXPECT_EQ(peak, spectrum.SegmentsOf(BarOfBin(8).Value));
        EXPECT_EQ(BarOfBin(8).PeakTimer, 41);
        for (int i = 0; i < 40; ++i) timers.Tick();
        EXPECT_EQ(BarOfBin(8).Peak, peak) << "held, speed " << speed;
        timers.Tick();
        if (speed == 0) {
            EXPECT_EQ(BarOfBin(8).Peak, 0) << "gone at once after 41 ticks";
        } else {
            EXPECT_EQ(BarOfBin(8).Peak, peak - 1);
            timers.Tick();
            EXPECT_EQ(BarOfBin(8).Peak, peak - 1);
            timers.Tick();
            EXPECT_EQ(BarOfBin(8).Peak, peak - 2) << "one segment every two ticks";
        }
    }
    // The line style keeps its peaks in rows.
    spectrum.SetKind(TMMSpectrumKind::skLines);
    spectrum.SetVerticalScale(1);
    FeedBin(8, 8000);
    EXPECT_EQ(BarOfBin(8).Peak, kH - 1);
}

TEST_F(SpectrumTest, PeakTimerRestsWhileDisabledOrWithoutPeaks) {
    const auto id = spectrum.PeakTimerId();
    ASSERT_NE(id, 0u);
    EXPECT_EQ(timers.SuspendCountOf(id), 0);
    FeedBin(8, 3000);
    const int peak = BarOfBin(8).Peak;
    spectrum.SetEnabled(false);
    spectrum.SetNumPeaks(0);
    EXPECT_EQ(timers.SuspendCountOf(id), 1);
    for (int i = 0; i < 60; ++i) timers.Tick();
    EXPECT_EQ(BarOfBin(8).Peak, peak);
    spectrum.SetEnabled(true);
    EXPECT_EQ(timers.SuspendCountOf(id), 1) << "still no peaks";
    spectrum.SetNumPeaks(1);
    EXPECT_EQ(timers.SuspendCountOf(id), 0);
    for (int i = 0; i < 41; ++i) timers.Tick();
    EXPECT_EQ(BarOfBin(8).Peak, 0);
}

TEST_F(SpectrumTest, KindChangeClearsBarsAndPeaks) {
    FeedBin(8, 3000);
    ASSERT_GT(BarOfBin(8).Peak, 0);
    spectrum.SetKind(TMMSpectrumKind::skPeaks);
    EXPECT_EQ(BarOfBin(8).Value, 0);
    EXPECT_EQ(BarOfBin(8).Peak, 0);
}

class SpectrumDrawTest : public SpectrumTest {
protected:
    // Bar 8 far above the height (20 % scale becomes 1 %).
    void Loud() {
        spectrum.SetVerticalScale(1);
        FeedBin(8, 8000);
        bar = BarOfBin(8);
        ASSERT_GE(bar.Value, kH);
        x0 = bar.FirstColumn;
        x1 = bar.EndColumn - 2;  // the last column is the gap between bars
    }
    TMMSpectrumBar bar;
    int x0 = 0, x1 = 0;
};

TEST_F(SpectrumDrawTest, SegmentsTakeTheColourOfTheirZone) {
    EXPECT_EQ(spectrum.SegmentCount(), 43);
    Loud();
    const QImage& image = spectrum.Image();
    test::SaveRender(image, "spectrum_bars_full");
    const struct {
        int segment;
        QRgb colour;
    } cases[] = {{1, kLime}, {22, kLime}, {23, kYellow}, {32, kYellow}, {33, kRed}, {43, kRed}};
    for (const auto& c : cases) {
        for (int x : {x0, x1})
            EXPECT_EQ(image.pixel(x, SegmentRow(c.segment)), c.colour) << "segment " << c.segment;
    }
    EXPECT_EQ(image.pixel(x0, SegmentRow(1) - 1), kBlack) << "gap between segments";
    EXPECT_EQ(image.pixel(x1 + 1, SegmentRow(1)), kBlack) << "gap between bars";
    EXPECT_EQ(image.pixel(x0, 0), kBlack) << "row above the top segment";
}

TEST_F(SpectrumDrawTest, UnlitSegmentsAreDottedInTheirZoneColours) {
    const TColor grey = clGray, olive = clOlive, maroon = clMaroon;
    spectrum.SetInactiveColor(1, grey);
    spectrum.SetInactiveColor(2, olive);
    spectrum.SetInactiveColor(3, maroon);
    FeedSilence();
    const QImage& image = spectrum.Image();
    test::SaveRender(image, "spectrum_bars_inactive_dotted");
    const int row1 = SegmentRow(1), row23 = SegmentRow(23), row43 = SegmentRow(43);
    for (int x = 10; x < 16; ++x) {
        // A checkerboard: x + y even lit.
        EXPECT_EQ(image.pixel(x, row1), (x + row1) % 2 == 0 ? ToQRgb(grey) : kBlack) << x;
        EXPECT_EQ(image.pixel(x, row23), (x + row23) % 2 == 0 ? ToQRgb(olive) : kBlack) << x;
        EXPECT_EQ(image.pixel(x, row43), (x + row43) % 2 == 0 ? ToQRgb(maroon) : kBlack) << x;
    }
    spectrum.SetInactiveDoted(false);
    EXPECT_EQ(spectrum.Image().pixel(11, row1), ToQRgb(grey));
    EXPECT_EQ(spectrum.Image().pixel(12, row1), ToQRgb(grey));
    spectrum.SetDrawInactive(false);
    EXPECT_EQ(spectrum.Image().pixel(12, row1), kBlack);
}

TEST_F(SpectrumDrawTest, TheKeptUnlitPictureNeverHoldsLitSegments) {
    spectrum.SetInactiveColor(1, clGray);
    spectrum.SetInactiveDoted(false);
    Loud();
    const int row = SegmentRow(1);
    EXPECT_EQ(spectrum.Image().pixel(x0, row), kLime);
    // Back to empty: the same pixel shows its unlit colour again.
    spectrum.ResetData();
    EXPECT_EQ(spectrum.Image().pixel(x0, row), ToQRgb(clGray));
    // A new size lays the bars and their unlit segments out again.
    spectrum.SetBounds(136, 43);
    const QImage& small = spectrum.Image();
    ASSERT_EQ(small.size(), QSize(136, 43));
    EXPECT_EQ(small.pixel(0, 42), ToQRgb(clGray));
    EXPECT_EQ(small.pixel(0, 41), kBlack) << "gap between segments";
}

TEST_F(SpectrumDrawTest, ValuesAboveTheHeightDrawAtTheTopRow) {
    Loud();
    spectrum.SetKind(TMMSpectrumKind::skDots);
    FeedBin(8, 8000);
    {
        const QImage& image = spectrum.Image();
        test::SaveRender(image, "spectrum_dots_full");
        EXPECT_EQ(image.pixel(x0, 0), kRed);
        EXPECT_EQ(image.pixel(x1, 0), kRed);
        EXPECT_EQ(image.pixel(x0, 1), kBlack);
    }
    spectrum.SetKind(TMMSpectrumKind::skVLines);
    FeedBin(8, 8000);
    {
        const QImage& image = spectrum.Image();
        test::SaveRender(image, "spectrum_vlines_full");
        EXPECT_EQ(image.pixel(x0, 0), kRed);
        EXPECT_EQ(image.pixel(x0, kH - 1), kLime);
        EXPECT_EQ(image.pixel(x0, kH - 43), kLime);  // value row 43 = 50 %
        EXPECT_EQ(image.pixel(x0, kH - 44), kYellow);
        EXPECT_EQ(image.pixel(x1 + 1, kH - 1), kBlack);
    }
    spectrum.SetKind(TMMSpectrumKind::skLines);
    FeedBin(8, 8000);
    {
        const QImage& image = spectrum.Image();
        test::SaveRender(image, "spectrum_lines_full");
        const int middle = (bar.FirstColumn + bar.EndColumn - 1) / 2;
        EXPECT_EQ(image.pixel(middle, 0), kLime);
        EXPECT_EQ(image.pixel(middle, 1), kBlack);
    }
}

TEST_F(SpectrumDrawTest, PeaksStyleLightsOnlyTheTopAndPeakSegments) {
    spectrum.SetKind(TMMSpectrumKind::skPeaks);
    spectrum.SetInactiveColor(1, clGray);
    spectrum.SetInactiveDoted(false);
    spectrum.SetVerticalScale(40);
    FeedBin(8, 1500);
    const int lit = spectrum.SegmentsOf(BarOfBin(8).Value);
    ASSERT_GT(lit, 3);
    ASSERT_LT(lit, 22);
    const int x = BarOfBin(8).FirstColumn;
    FeedSilence(40);  // the bar falls, the peak stays (no ticks)
    const int now = spectrum.SegmentsOf(BarOfBin(8).Value);
    ASSERT_LT(now, lit - 1);
    const QImage& image = spectrum.Image();
    test::SaveRender(image, "spectrum_peaks");
    EXPECT_EQ(image.pixel(x, SegmentRow(lit)), kLime) << "peak";
    if (now > 0) {
        EXPECT_EQ(image.pixel(x, SegmentRow(now)), kLime) << "top of the bar";
    }
    EXPECT_EQ(image.pixel(x, SegmentRow(lit - 1)), ToQRgb(clGray)) << "between: unlit";
    for (int s = 1; s < now; ++s) EXPECT_EQ(image.pixel(x, SegmentRow(s)), ToQRgb(clGray)) << s;
}

TEST_F(SpectrumDrawTest, ScrollMovesThePictureDownTwoRowsPerUpdate) {
    spectrum.SetKind(TMMSpectrumKind::skScroll);
    const int zero = kH / 3;
    FeedSilence();
    EXPECT_EQ(spectrum.Image().pixel(100, zero), kLime);
    EXPECT_EQ(spectrum.Image().pixel(100, zero + 2), kBlack);
    FeedSilence();
    EXPECT_EQ(spectrum.Image().pixel(100, zero), kLime);
    EXPECT_EQ(spectrum.Image().pixel(100, zero + 1), kBlack);
    EXPECT_EQ(spectrum.Image().pixel(100, zero + 2), kLime);
    Loud();  // a tall bar reaches the top
    const int middle = (bar.FirstColumn + bar.EndColumn - 1) / 2;
    EXPECT_EQ(spectrum.Image().pixel(middle, 0), kLime);
    FeedSilence();
    EXPECT_EQ(spectrum.Image().pixel(middle, 2), kLime) << "moved down";
    test::SaveRender(spectrum.Image(), "spectrum_scroll");
    spectrum.ResetData();
    EXPECT_EQ(spectrum.Image().pixel(100, zero + 2), kBlack) << "reset empties the picture";
    // Every update counts, whether or not the picture was looked at.
    FeedSilence(3);
    const QImage& image = spectrum.Image();
    for (int y : {zero, zero + 2, zero + 4}) EXPECT_EQ(image.pixel(100, y), kLime) << y;
    EXPECT_EQ(image.pixel(100, zero + 6), kBlack);
}

TEST_F(SpectrumDrawTest, DisabledAnalyserDrawsInTheFirstInactiveColourAndIgnoresData) {
    spectrum.SetInactiveColor(1, clGray);
    spectrum.SetInactiveDoted(false);
    Loud();
    spectrum.SetEnabled(false);
    FeedSilence(5);
    EXPECT_EQ(BarOfBin(8).Value, bar.Value);
    const QImage& image = spectrum.Image();
    EXPECT_EQ(image.pixel(x0, SegmentRow(43)), ToQRgb(clGray));
    EXPECT_EQ(image.pixel(x0, SegmentRow(1)), ToQRgb(clGray));
}

TEST_F(SpectrumTest, FormatIsTakenFromValidPcmOnly) {
    const WAVEFORMATEX low = MakePCMFormat(16, 2, 4000);
    spectrum.SetPCMFormat(&low);
    EXPECT_EQ(spectrum.SampleRate(), 8000);
    WAVEFORMATEX alaw = MakePCMFormat(8, 1, 8000);
    alaw.wFormatTag = 6;
    try {
        spectrum.SetPCMFormat(&alaw);
        FAIL() << "a non-PCM format must be refused";
    } catch (const EMMSpectrumError& e) {
        EXPECT_EQ(e.message(), LoadResString(msg::InvalidDisplayFormat));
        EXPECT_EQ(e.message(), "Invalid WaveFormat");
    }
    EXPECT_EQ(spectrum.BitLength(), TMMBits::b16Bit) << "a refused format changes nothing";
    EXPECT_EQ(spectrum.BytesPerUpdate(), 256);
}

TEST_F(SpectrumTest, OneKilohertzAtTheRecordersSettings) {
    // The recorder's case: 44.1 kHz, 64 bins of 689 Hz; 1 kHz falls
    // between bins 1 and 2. Consecutive windows of one continuous tone.
    int start = 0;
    for (int i = 0; i < 20; ++i, start += 64) {
        const auto data = Tone(64, 1000.0, 44100, 6000, 16, 2, start);
        spectrum.ProcessData(data.data());
    }
    const int highest = HighestBar();
    EXPECT_TRUE(highest == 1 || highest == 2) << highest;
    test::SaveRender(spectrum.Image(), "spectrum_bars_1khz");
}

TEST_F(SpectrumTest, PeakTicksOnTheTimerThreadWhileUpdatesAndDrawingGoOn) {
    // The real ticking thread against the main thread's updates; the
    // thread sanitizer build checks the locking.
    DisplayTimerService threaded;
    TMMSpectrum live(kW, kH, threaded);
    SetUpMainWindowSpectrum(live);
    live.SetPeakDelay(0);
    const auto loud = Tone(64, 5512.5, 44100, 8000);
    const std::vector<uint8_t> quiet(256, 0);
    // Until the timer has dropped a peak a few times (bounded, so a
    // stalled machine ends the loop rather than the test hanging).
    int drops = 0;
    live.ProcessData(loud.data());
    for (int i = 0; i < 100000 && drops < 3; ++i) {
        live.ProcessData(quiet.data());
        if (i % 20 == 0) live.Image();
        if (live.Bars()[8].Peak == 0) {
            // Rebuild and clear the bar list while the timer runs too.
            ++drops;
            live.SetKind(drops % 2 ? TMMSpectrumKind::skLines : TMMSpectrumKind::skBars);
            live.SetBounds(drops % 2 ? kW - 1 : kW, kH);
            live.ProcessData(loud.data());
        }
    }
    EXPECT_TRUE(threaded.Ticking());
}

TEST(SpectrumStyleCycleTest, SixClicksRunThroughTheStylesAndBack) {
    const TMMSpectrumKind expected[] = {TMMSpectrumKind::skDots,   TMMSpectrumKind::skLines,
                                        TMMSpectrumKind::skPeaks,  TMMSpectrumKind::skScroll,
                                        TMMSpectrumKind::skVLines, TMMSpectrumKind::skBars};
    int counter = 1;
    EXPECT_EQ(SpectrumKindForStyle(counter), TMMSpectrumKind::skBars);
    for (TMMSpectrumKind kind : expected) {
        counter = NextSpectrumStyle(counter);
        EXPECT_EQ(SpectrumKindForStyle(counter), kind) << "counter " << counter;
    }
    EXPECT_EQ(counter, 1);
}

}  // namespace
}  // namespace zt
