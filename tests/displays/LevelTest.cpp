#include "displays/Level.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "app/MainWindowDisplaySetUp.h"
#include "displays/DisplayErrors.h"
#include "support/Renders.h"

namespace zt {
namespace {

using Service = DisplayTimerService;

// One update of interleaved 16-bit stereo frames.
std::vector<int16_t> StereoFrames(int frames, int16_t left, int16_t right) {
    std::vector<int16_t> data(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        data[2 * i] = left;
        data[2 * i + 1] = right;
    }
    return data;
}

// The left bar of the window, fed by hand and ticked by hand.
class LevelBarTest : public ::testing::Test {
protected:
    LevelBarTest() : level(254, 24, timers) { SetUpMainWindowLevel(level, TMMChannel::chLeft); }

    void Feed(int16_t left, int16_t right = 0) {
        const auto data = StereoFrames(level.Samples(), left, right);
        level.ProcessData(data.data());
    }
    void Tick(int n) {
        for (int i = 0; i < n; ++i) timers.Tick();
    }

    Service timers{Service::Mode::Manual};
    TMMLevel level;
};

// --- Measuring ----------------------------------------------------------

struct PeakCase {
    const char* name;
    TMMBits bits;
    TMMMode mode;
    TMMChannel channel;
    std::vector<uint8_t> bytes;  // one or two frames
    int32_t dcL;
    int32_t dcR;
    int64_t peak;
};

std::vector<uint8_t> Le16(std::initializer_list<int16_t> samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) {
        out.push_back(static_cast<uint8_t>(s & 0xFF));
        out.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    return out;
}

TEST(LevelMeasureTest, PeakOfOneWindowForEveryLayout) {
    const PeakCase cases[] = {
        {"16 mono", TMMBits::b16Bit, TMMMode::mMono, TMMChannel::chRight, Le16({100, -300}), 0, 0,
         300},
        {"16 mono dc", TMMBits::b16Bit, TMMMode::mMono, TMMChannel::chBoth, Le16({100, -300}), 400,
         0, 700},
        {"16 stereo left", TMMBits::b16Bit, TMMMode::mStereo, TMMChannel::chLeft,
         Le16({-32768, 5, 7, 9}), 0, 0, 32768},
        {"16 stereo right", TMMBits::b16Bit, TMMMode::mStereo, TMMChannel::chRight,
         Le16({-32768, 5, 7, 9}), 0, 0, 9},
        // (3 + -6) / 2 truncates toward zero to -1, not -2.
        {"16 stereo both truncates", TMMBits::b16Bit, TMMMode::mStereo, TMMChannel::chBoth,
         Le16({3, -6, 0, 0}), 0, 0, 1},
        {"16 stereo both dc", TMMBits::b16Bit, TMMMode::mStereo, TMMChannel::chBoth,
         Le16({100, 100, 0, 0}), 100, -100, 100},
        {"8 mono centre", TMMBits::b8Bit, TMMMode::mMono, TMMChannel::chBoth, {128, 128}, 0, 0, 0},
        {"8 mono bottom",
         TMMBits::b8Bit,
         TMMMode::mMono,
         TMMChannel::chBoth,
         {128, 0},
         0,
         0,
         32768},
        {"8 mono top", TMMBits::b8Bit, TMMMode::mMono, TMMChannel::chBoth, {255, 128}, 0, 0, 32512},
        {"8 stereo right",
         TMMBits::b8Bit,
         TMMMode::mStereo,
         TMMChannel::chRight,
         {0, 138, 0, 128},
         0,
         0,
         2560},
        {"8 stereo both",
         TMMBits::b8Bit,
         TMMMode::mStereo,
         TMMChannel::chBoth,
         {255, 128, 128, 128},
         0,
         0,
         63 * 256},
        {"8 stereo left dc",
         TMMBits::b8Bit,
         TMMMode::mStereo,
         TMMChannel::chLeft,
         {130, 0, 130, 0},
         2,
         0,
         0},
    };
    for (const PeakCase& c : cases) {
        LevelInput in;
        in.bits = c.bits;
        in.mode = c.mode;
        in.channel = c.channel;
        in.dcOffsetL = c.dcL;
        in.dcOffsetR = c.dcR;
        in.samples = 2;
        EXPECT_EQ(MeasureLevelPeak(c.bytes.data(), in), c.peak) << c.name;
    }
}

TEST(LevelMeasureTest, DecayFactorAndRingFollowTheDecayStrength) {
    LevelDecay decay;
    EXPECT_FLOAT_EQ(decay.Factor(), 0.0001f) << "a new meter starts with Decay 1";
    EXPECT_EQ(decay.RingLength(), 1);
    decay.SetDecay(8);
    EXPECT_NEAR(decay.Factor(), 0.96466, 0.00001);
    EXPECT_EQ(decay.RingLength(), 14);
    decay.SetDecay(40);
    EXPECT_EQ(decay.Decay(), 16);
    EXPECT_EQ(decay.RingLength(), 30);
}

TEST(LevelMeasureTest, DecayModesShapeTheFall) {
    LevelDecay step;
    step.SetMode(TMMDecayMode::dmStepUp);
    step.SetDecay(8);
    EXPECT_EQ(step.Apply(32767), 32767);
    // 32767 x 0.96466..., truncated.
    EXPECT_EQ(step.Apply(0), 31609);
    EXPECT_NEAR(step.Apply(0), 30492, 1);
    EXPECT_EQ(step.Apply(32000), 32000) << "a higher level takes over at once";

    LevelDecay uniform;
    uniform.SetMode(TMMDecayMode::dmUniform);
    uniform.SetDecay(3);  // ring of 4: a moving average of the last 4 updates
    const int64_t in[] = {100, 200, 300, 400, 500, 0};
    const int64_t out[] = {100, 150, 200, 250, 350, 300};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(uniform.Apply(in[i]), out[i]) << i;

    LevelDecay expo;
    expo.SetMode(TMMDecayMode::dmExponential);
    expo.SetDecay(2);  // k = 0.1: each update moves 90 % of the way
    EXPECT_NEAR(expo.Apply(10000), 9000, 1);
    EXPECT_NEAR(expo.Apply(10000), 9900, 1);
    EXPECT_NEAR(expo.Apply(0), 990, 1);

    // Changing the mode forgets the past.
    step.SetMode(TMMDecayMode::dmExponential);
    step.SetMode(TMMDecayMode::dmStepUp);
    EXPECT_EQ(step.Apply(0), 0);
}

// --- Geometry --------------------------------------------------------------

struct GeometryCase {
    int width, height;
    TMMLevelKind kind;
    int spotWidth, spotSpace;
    int spots, margin, p1, p2;
};

TEST_F(LevelBarTest, GeometryFromSizeSpotsAndZones) {
    const GeometryCase cases[] = {
        {254, 24, TMMLevelKind::lkHorizontal, 1, 1, 127, 0, 63, 101},  // the window's bars
        {253, 24, TMMLevelKind::lkHorizontal, 1, 1, 127, 0, 63, 101},
        {100, 24, TMMLevelKind::lkHorizontal, 3, 2, 20, 1, 10, 16},
        {24, 100, TMMLevelKind::lkVertical, 3, 2, 20, 1, 10, 16},
        {9, 24, TMMLevelKind::lkHorizontal, 3, 10, 1, 3, 0, 0},  // at least one spot
    };
    for (const GeometryCase& c : cases) {
        TMMLevel bar(c.width, c.height, timers);
        bar.SetPoint2(80);
        bar.SetKind(c.kind);
        bar.SetSpotWidth(c.spotWidth);
        bar.SetSpotSpace(c.spotSpace);
        EXPECT_EQ(bar.Spots(), c.spots) << c.width << "x" << c.height;
        EXPECT_EQ(bar.Margin(), c.margin) << c.width << "x" << c.height;
        EXPECT_EQ(bar.P1(), c.p1) << c.width << "x" << c.height;
        EXPECT_EQ(bar.P2(), c.p2) << c.width << "x" << c.height;
    }
}

TEST_F(LevelBarTest, SpotsRunFromTheChosenEdge) {
    EXPECT_EQ(level.SpotRect(1), QRect(0, 0, 1, 24));
    EXPECT_EQ(level.SpotRect(127), QRect(252, 0, 1, 24));
    level.SetDirection(TMMLevelDirection::dirReversed);
    EXPECT_EQ(level.SpotRect(1), QRect(253, 0, 1, 24));

    TMMLevel bar(24, 100, timers);
    bar.SetKind(TMMLevelKind::lkVertical);
    bar.SetSpotWidth(3);
    bar.SetSpotSpace(2);
    EXPECT_EQ(bar.SpotRect(1), QRect(0, 96, 24, 3)) << "from the bottom, 1 pixel margin";
    bar.SetDirection(TMMLevelDirection::dirReversed);
    EXPECT_EQ(bar.SpotRect(1), QRect(0, 1, 24, 3));
}

TEST_F(LevelBarTest, KindSwapsASizeLyingAcrossAndClampsSpotWidth) {
    level.SetKind(TMMLevelKind::lkVertical);
    EXPECT_EQ(level.Width(), 24);
    EXPECT_EQ(level.Height(), 254);
    level.SetKind(TMMLevelKind::lkHorizontal);
    EXPECT_EQ(level.Width(), 254);
    level.SetSpotWidth(200);
    EXPECT_EQ(level.SpotWidth(), 84) << "a third of the bar";
    level.SetSpotWidth(0);
    EXPECT_EQ(level.SpotWidth(), 1);
    level.SetSpotSpace(11);
    EXPECT_EQ(level.SpotSpace(), 10);
}

// --- Properties and format ----------------------------------------------------

TEST_F(LevelBarTest, FormatSetsBitsAndModeAndAWrongOneIsRefused) {
    EXPECT_EQ(level.BytesPerUpdate(), 396);
    WAVEFORMATEX mono8 = MakePCMFormat(8, 1, 22050);
    level.SetPCMFormat(&mono8);
    EXPECT_EQ(level.BitLength(), TMMBits::b8Bit);
    EXPECT_EQ(level.Mode(), TMMMode::mMono);
    EXPECT_EQ(level.BytesPerUpdate(), 99);

    WAVEFORMATEX bad = MakePCMFormat(24, 2, 44100);
    try {
        level.SetPCMFormat(&bad);
        FAIL() << "a 24-bit format was taken";
    } catch (const EMMLevelError& e) {
        EXPECT_STREQ(e.what(), "Invalid WaveFormat");
    }
    EXPECT_THROW(level.SetPCMFormat(nullptr), EMMLevelError);
    EXPECT_EQ(level.BitLength(), TMMBits::b8Bit);
    EXPECT_EQ(level.Mode(), TMMMode::mMono);
}

TEST_F(LevelBarTest, PropertyRangesClampOrIgnore) {
    level.SetGain(32);
    level.SetGain(33);
    EXPECT_EQ(level.Gain(), 32) << "outside -8..32 is ignored";
    level.SetGain(-9);
    EXPECT_EQ(level.Gain(), 32);
    level.SetGain(-8);
    EXPECT_EQ(level.Gain(), -8);

    level.SetSensitivy(-9);
    EXPECT_EQ(level.Sensitivy(), -9);
    level.SetSensitivy(-100);
    EXPECT_EQ(level.Sensitivy(), -90);
    level.SetSensitivy(0);
    EXPECT_EQ(level.Sensitivy(), -9);

    level.SetNumPeaks(9);
    EXPECT_EQ(level.NumPeaks(), 5);
    level.SetPeakDelay(-1);
    EXPECT_EQ(level.PeakDelay(), 0);
    level.SetPeakSpeed(51);
    EXPECT_EQ(level.PeakSpeed(), 50);
    level.SetSamples(0);
    EXPECT_EQ(level.Samples(), 1);
    level.SetPoint1(0);
    EXPECT_EQ(level.Point1(), 1);
}

// --- Measuring and scaling --------------------------------------------------

TEST_F(LevelBarTest, FullScaleLeftLightsTheLeftBarOnlyAndRendersIt) {
    TMMLevel right(253, 24, timers);
    SetUpMainWindowLevel(right, TMMChannel::chRight);
    const auto data = StereoFrames(99, 32767, 0);
    level.ProcessData(data.data());
    right.ProcessData(data.data());
    EXPECT_EQ(level.DisplayedValue(), 127);
    EXPECT_EQ(right.DisplayedValue(), 0);

    const QImage& lit = level.Image();
    test::SaveRender(lit, "level_left_fullscale");
    const QImage& unlit = right.Image();
    test::SaveRender(unlit, "level_right_silent");
    for (int i = 1; i <= 127; ++i) {
        const int x = level.SpotRect(i).left();
        const TColor expected = i <= 63 ? clLime : i <= 101 ? clYellow : clRed;
        ASSERT_EQ(lit.pixel(x, 0), ToQRgb(expected)) << "spot " << i;
        const TColor dark = i <= 101 ? clGray : clMaroon;
        ASSERT_EQ(unlit.pixel(right.SpotRect(i).left(), 0), ToQRgb(dark)) << "spot " << i;
    }
}

TEST_F(LevelBarTest, MinusFullScaleCountsAsFullScaleAndOverflows) {
    int pcm = 0, gain = 0;
    level.OnPcmOverflow = [&] { ++pcm; };
    level.OnGainOverflow = [&] { ++gain; };
    Feed(32766);
    EXPECT_EQ(pcm, 0);
    level.ResetData();
    Feed(-32768);
    EXPECT_EQ(pcm, 1);
    EXPECT_EQ(level.LastRawPeak(), 32768);
    EXPECT_EQ(level.DisplayedValue(), 127);
    EXPECT_EQ(gain, 0) << "32768 still rounds onto the last spot";

    level.SetGain(8);  // twice the level: beyond the bar
    Feed(-32768);
    EXPECT_EQ(gain, 1);
    EXPECT_EQ(level.DisplayedValue(), 127);
}

TEST_F(LevelBarTest, LevelsMapOntoTheDbScale) {
    // Each case on a fresh meter, so the decay holds nothing.
    struct Case {
        int16_t amplitude;
        int gain, sensitivity;
        int value;
    } const cases[] = {
        {32767, 0, -35, 127}, {16384, 0, -35, 105},  // -6 dB
        {3277, 0, -35, 54},                          // -20 dB
        {3277, 32, -35, 105},                        // x5 before scaling
        {582, 0, -35, 0},                            // -35 dB: empty
        {0, 0, -35, 0},       {32767, 0, -9, 127},
        {23197, 0, -9, 85},  // -3 dB of a 9 dB scale: two thirds
        {11599, 0, -9, 0},   // -9 dB
    };
    for (const Case& c : cases) {
        TMMLevel bar(254, 24, timers);
        SetUpMainWindowLevel(bar, TMMChannel::chLeft);
        bar.SetGain(c.gain);
        bar.SetSensitivy(c.sensitivity);
        const auto data = StereoFrames(99, c.amplitude, 0);
        bar.ProcessData(data.data());
        EXPECT_EQ(bar.DisplayedValue(), c.value)
            << c.amplitude << " gain " << c.gain << " S " << c.sensitivity;
    }
}

TEST_F(LevelBarTest, LinearScaleRunsFromTheSensitivityLevelToFullScale) {
    level.SetLogAmp(false);
    level.SetDecayMode(TMMDecayMode::dmNone);
    Feed(32767);
    EXPECT_EQ(level.DisplayedValue(), 127);
    Feed(582);  // -35 dB: the empty end
    EXPECT_EQ(level.DisplayedValue(), 0);
    Feed(16800);  // about half-way between 582 and 32767
    EXPECT_EQ(level.DisplayedValue(), 64);
}

TEST_F(LevelBarTest, StepUpDecayFallsByTheFactorPerUpdateUntilEmpty) {
    Feed(32767);
    ASSERT_EQ(level.DisplayedValue(), 127);
    // Each silent update lowers the level by 20 log10(0.96466) = -0.3125 dB,
    // 127/35 spots per dB.
    int updates = 0;
    int previous = 127;
    while (level.DisplayedValue() > 0 && updates < 500) {
        Feed(0);
        ++updates;
        const double expected = 127.0 - updates * 0.3125 * 127.0 / 35.0;
        ASSERT_NEAR(level.DisplayedValue(), std::max(expected, 0.0), 1.0) << "update " << updates;
        ASSERT_LE(level.DisplayedValue(), previous);
        previous = level.DisplayedValue();
    }
    EXPECT_NEAR(updates, 112, 1) << "35 dB at 0.3125 dB per update";
}

TEST_F(LevelBarTest, SilenceAtRestDoesNotRedraw) {
    int invalidations = 0;
    int paints = 0;
    level.OnInvalidate = [&] { ++invalidations; };
    level.OnPaint = [&] { ++paints; };
    level.Image();
    ASSERT_EQ(paints, 1);
    for (int i = 0; i < 5; ++i) Feed(0);
    EXPECT_FALSE(level.Stale());
    EXPECT_EQ(invalidations, 0);

    Feed(32767);
    EXPECT_TRUE(level.Stale());
    EXPECT_EQ(invalidations, 1);
    level.Image();
    EXPECT_EQ(paints, 2);
}

TEST_F(LevelBarTest, ResetForgetsValuePeakAndDecay) {
    Feed(32767);
    level.Image();
    level.ResetData();
    EXPECT_TRUE(level.Stale()) << "a reset repaints";
    EXPECT_EQ(level.DisplayedValue(), 0);
    EXPECT_EQ(level.PeakValue(), 0);
    Feed(0);
    EXPECT_EQ(level.DisplayedValue(), 0) << "no decayed level left to fall from";
    Feed(3277);
    EXPECT_EQ(level.DisplayedValue(), 54);
}

TEST_F(LevelBarTest, NothingIsMeasuredWhileDisabledOrHidden) {
    level.SetVisible(false);
    Feed(32767);
    EXPECT_EQ(level.DisplayedValue(), 0);
    EXPECT_EQ(level.LastRawPeak(), 0);
    level.SetVisible(true);
    level.SetEnabled(false);
    Feed(32767);
    EXPECT_EQ(level.DisplayedValue(), 0);
    level.SetEnabled(true);
    Feed(32767);
    EXPECT_EQ(level.DisplayedValue(), 127);
}

// --- Peak mark -------------------------------------------------------------

TEST_F(LevelBarTest, PeakHoldsFortyOneTicksThenVanishes) {
    level.SetDecayMode(TMMDecayMode::dmNone);
    Feed(32767);
    Feed(3277);
    ASSERT_EQ(level.PeakValue(), 127);
    ASSERT_EQ(level.PeakCountdown(), 41);
    Tick(40);
    EXPECT_EQ(level.PeakValue(), 127);
    EXPECT_FALSE(level.RedrawPending());
    Tick(1);
    EXPECT_EQ(level.PeakValue(), 0);
    EXPECT_TRUE(level.RedrawPending());

    // The pending flag makes the next update redraw, even at the same value.
    level.Image();
    Feed(3277);
    EXPECT_TRUE(level.Stale());
    EXPECT_FALSE(level.RedrawPending());
}

TEST_F(LevelBarTest, EqualValueRestartsTheHoldAndPeakSpeedLowersStepwise) {
    level.SetDecayMode(TMMDecayMode::dmNone);
    level.SetPeakSpeed(3);
    Feed(16384);
    const int peak = level.PeakValue();
    Tick(30);
    EXPECT_EQ(level.PeakCountdown(), 11);
    Feed(16384);
    EXPECT_EQ(level.PeakCountdown(), 41) << "an equal value restarts the hold";
    Feed(0);
    Tick(41);
    EXPECT_EQ(level.PeakValue(), peak - 1);
    Tick(2);
    EXPECT_EQ(level.PeakValue(), peak - 1);
    Tick(1);
    EXPECT_EQ(level.PeakValue(), peak - 2);
}

TEST_F(LevelBarTest, PeakTimerPausesWithoutPeaksOrWhileDisabled) {
    level.SetDecayMode(TMMDecayMode::dmNone);
    ASSERT_TRUE(level.PeakTimerRunning());
    Feed(32767);
    level.SetNumPeaks(0);
    EXPECT_FALSE(level.PeakTimerRunning());
    Tick(60);
    EXPECT_EQ(level.PeakCountdown(), 41) << "suspended: the hold does not run";
    level.SetNumPeaks(2);
    EXPECT_TRUE(level.PeakTimerRunning());

    level.SetEnabled(false);
    EXPECT_FALSE(level.PeakTimerRunning());
    EXPECT_EQ(level.PeakValue(), 0) << "disabling resets";
    EXPECT_EQ(level.DisplayedValue(), 0);
    level.SetNumPeaks(3);
    EXPECT_FALSE(level.PeakTimerRunning()) << "peaks wanted, but still disabled";
    level.SetEnabled(true);
    EXPECT_TRUE(level.PeakTimerRunning());
    EXPECT_EQ(timers.Clients(), 1);
}

TEST(LevelTimerTest, WithoutATimerPeaksNeverFallAndDestructionUnregisters) {
    Service timers(Service::Mode::Thread);
    timers.FailNextStartForTest();
    {
        TMMLevel bar(254, 24, timers);
        SetUpMainWindowLevel(bar, TMMChannel::chLeft);
        EXPECT_FALSE(bar.HasPeakTimer());
        bar.SetValue(100);
        EXPECT_EQ(bar.PeakValue(), 127);
        bar.SetValue(0);
        EXPECT_EQ(bar.PeakValue(), 127);
        bar.ResetData();
        EXPECT_EQ(bar.PeakValue(), 0);
    }
    Service manual(Service::Mode::Manual);
    {
        TMMLevel bar(254, 24, manual);
        EXPECT_EQ(manual.Clients(), 1);
    }
    EXPECT_EQ(manual.Clients(), 0);
}

// --- Pixels ----------------------------------------------------------------

TEST_F(LevelBarTest, LitUnlitPeakAndDottedSpotsInTheirZoneColours) {
    level.SetDecayMode(TMMDecayMode::dmNone);
    Feed(32767);  // peak at 127
    Feed(8231);   // -12 dB: 83 spots
    ASSERT_EQ(level.DisplayedValue(), 83);
    const QImage& image = level.Image();
    test::SaveRender(image, "level_left_peak");
    const auto at = [&](int spot, int row) {
        return image.pixel(level.SpotRect(spot).left(), row);
    };
    const QRgb black = ToQRgb(clBlack);
    // Dotted: every second pixel of every second row.
    EXPECT_EQ(at(1, 0), ToQRgb(clLime));
    EXPECT_EQ(at(1, 1), black);
    EXPECT_EQ(at(1, 2), ToQRgb(clLime));
    EXPECT_EQ(image.pixel(1, 0), black) << "the gap between spots";
    EXPECT_EQ(at(63, 22), ToQRgb(clLime));
    EXPECT_EQ(at(64, 0), ToQRgb(clYellow));
    EXPECT_EQ(at(83, 0), ToQRgb(clYellow));
    EXPECT_EQ(at(84, 0), ToQRgb(clGray));
    EXPECT_EQ(at(84, 1), black);
    EXPECT_EQ(at(102, 0), ToQRgb(clMaroon));
    // The two peak spots end at spot 127, in zone 3's colour.
    EXPECT_EQ(at(127, 0), ToQRgb(clRed));
    EXPECT_EQ(at(126, 0), ToQRgb(clRed));
    EXPECT_EQ(at(125, 0), ToQRgb(clMaroon));

    // Solid spots fill the whole spot.
    level.SetActiveDoted(false);
    level.SetInactiveDoted(false);
    const QImage& solid = level.Image();
    EXPECT_EQ(solid.pixel(0, 1), ToQRgb(clLime));
    EXPECT_EQ(solid.pixel(level.SpotRect(90).left(), 1), ToQRgb(clGray));
}

TEST_F(LevelBarTest, DrawBarHandlerReplacesTheSpots) {
    int spots = -1, peak = -1;
    level.OnDrawBar = [&](TMMLevel& sender, QImage& image, const QRect& rect, int n, int p) {
        EXPECT_EQ(&sender, &level);
        EXPECT_EQ(rect, QRect(0, 0, 254, 24));
        spots = n;
        peak = p;
        image.setPixel(10, 10, ToQRgb(clBlue));
    };
    Feed(32767);
    const QImage& image = level.Image();
    EXPECT_EQ(spots, 127);
    EXPECT_EQ(peak, 127);
    EXPECT_EQ(image.pixel(10, 10), ToQRgb(clBlue));
    EXPECT_EQ(image.pixel(0, 0), ToQRgb(clGray)) << "only the unlit bar under the handler";
}

// --- Threads ---------------------------------------------------------------

// The peak tick runs on the service's own thread while updates arrive on
// this one; the shared fields must stay consistent (and the thread
// sanitizer build sees any unguarded access).
TEST(LevelThreadTest, PeakTickAgainstUpdatesStaysConsistent) {
    Service timers(Service::Mode::Thread);
    TMMLevel bar(254, 24, timers);
    SetUpMainWindowLevel(bar, TMMChannel::chLeft);
    bar.SetPeakDelay(0);  // the mark falls on the first tick after a maximum
    bar.SetPeakSpeed(1);
    ASSERT_TRUE(bar.HasPeakTimer());
    const auto loud = StereoFrames(99, 32767, 0);
    const auto quiet = StereoFrames(99, 1000, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool fell = false;
    for (int i = 0; i < 4000 && !(fell && i > 400); ++i) {
        bar.ProcessData((i % 200 == 0 ? loud : quiet).data());
        const int peak = bar.PeakValue();
        const int countdown = bar.PeakCountdown();
        ASSERT_GE(peak, 0);
        ASSERT_LE(peak, bar.Spots());
        ASSERT_GE(countdown, 0);
        ASSERT_LE(countdown, 1);
        if (peak > 0 && peak < 127) fell = true;
        bar.Image();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (std::chrono::steady_clock::now() > deadline) break;
    }
    EXPECT_TRUE(fell) << "the timer thread never lowered a peak";
}

}  // namespace
}  // namespace zt
