#include "displays/Meter.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/MainWindowDisplaySetUp.h"
#include "displays/DisplayErrors.h"
#include "support/Renders.h"

namespace zt {
namespace {

using Service = DisplayTimerService;

// The left needle meter of the window, fed with 16-bit stereo updates.
class NeedleMeterTest : public ::testing::Test {
protected:
    NeedleMeterTest() : meter(138, 65, timers) { SetUpMainWindowMeter(meter, TMMChannel::chLeft); }

    void Feed(int16_t left) {
        std::vector<int16_t> data(static_cast<size_t>(meter.Samples()) * 2, 0);
        for (int i = 0; i < meter.Samples(); ++i) data[2 * i] = left;
        meter.ProcessData(data.data());
    }
    void Tick(int n) {
        for (int i = 0; i < n; ++i) timers.Tick();
    }
    // A face point in image coordinates (inside the 2-pixel bevel).
    static QPoint OnImage(QPoint face) { return face + QPoint(2, 2); }
    QRgb PixelAt(const QImage& image, int v, int r) const {
        const QPoint p = OnImage(meter.PointAt(v, r));
        return image.pixel(p);
    }
    // The colour within a pixel of where the polar formula puts (v, r):
    // a drawn line passes there, rounded its own way.
    bool NearAt(const QImage& image, int v, int r, TColor color) const {
        const QPoint p = OnImage(meter.PointAt(v, r));
        return CountIn(image, QRect(p.x() - 1, p.y() - 1, 3, 3), color) > 0;
    }
    int CountIn(const QImage& image, QRect box, TColor color) const {
        box = box.intersected(image.rect());
        int n = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (image.pixel(x, y) == ToQRgb(color)) ++n;
        return n;
    }

    Service timers{Service::Mode::Manual};
    TMMMeter meter;
};

TEST_F(NeedleMeterTest, FormGeometryPutsTheArcEndsWhereTheAngleSays) {
    EXPECT_EQ(meter.BytesPerUpdate(), 80);
    EXPECT_EQ(meter.FaceWidth(), 134);
    EXPECT_EQ(meter.FaceHeight(), 61);
    EXPECT_EQ(meter.Pivot(), QPoint(67, 111)) << "50 pixels below the face";
    EXPECT_EQ(meter.ScaleRadius(), 99);
    // An 80-degree arc: the ends lie 50 degrees above the horizontal.
    // cos 50 x 99 = 63.6, sin 50 x 99 = 75.8.
    EXPECT_EQ(meter.PointAt(0, 99), QPoint(3, 35));
    EXPECT_EQ(meter.PointAt(32767, 99), QPoint(131, 35));
    EXPECT_EQ(meter.PointAt(16384, 99), QPoint(67, 12));
}

TEST_F(NeedleMeterTest, LevelsMapOntoFiftyDecibels) {
    struct Case {
        int16_t amplitude;
        int value;
        int gainOverflows;
    } const cases[] = {
        {32767, 32767, 1},  // 0 dB is full scale, which counts as overflow
        {10362, 26214, 0},  // -10 dB: four fifths
        {1036, 13106, 0},   // -30 dB
        {103, 0, 0},        // below -50 dB
        {0, 0, 0},
    };
    for (const Case& c : cases) {
        TMMMeter m(138, 65, timers);
        SetUpMainWindowMeter(m, TMMChannel::chLeft);
        int overflows = 0;
        m.OnGainOverflow = [&] { ++overflows; };
        std::vector<int16_t> data(40, 0);
        for (int i = 0; i < 20; ++i) data[2 * i] = c.amplitude;
        m.ProcessData(data.data());
        EXPECT_EQ(m.DisplayedValue(), c.value) << c.amplitude;
        EXPECT_EQ(overflows, c.gainOverflows) << c.amplitude;
    }
}

TEST_F(NeedleMeterTest, FormatErrorKeepsTheFormat) {
    WAVEFORMATEX bad = MakePCMFormat(16, 2, 44100);
    bad.wFormatTag = 2;
    try {
        meter.SetPCMFormat(&bad);
        FAIL() << "a non-PCM format was taken";
    } catch (const EMMMeterError& e) {
        EXPECT_STREQ(e.what(), "Invalid WaveFormat");
    }
    EXPECT_EQ(meter.BitLength(), TMMBits::b16Bit);
    EXPECT_EQ(meter.Mode(), TMMMode::mStereo);
    WAVEFORMATEX mono = MakePCMFormat(16, 1, 8000);
    meter.SetPCMFormat(&mono);
    EXPECT_EQ(meter.BytesPerUpdate(), 40);
}

TEST_F(NeedleMeterTest, NeedlePixelLiesOnTheComputedAngle) {
    meter.SetShowPeak(false);
    meter.SetDecayMode(TMMDecayMode::dmNone);
    const int r = meter.ScaleRadius();
    struct Case {
        int16_t amplitude;
        int value;
        const char* render;
    } const cases[] = {
        {103, 0, "meter_minus50db"},
        {10362, 26214, "meter_minus10db"},
        {32767, 32767, "meter_0db"},
    };
    for (const Case& c : cases) {
        Feed(c.amplitude);
        ASSERT_EQ(meter.DisplayedValue(), c.value);
        const QImage& image = meter.Image();
        test::SaveRender(image, c.render);
        EXPECT_EQ(PixelAt(image, c.value, r), ToQRgb(clWhite)) << c.render;
        EXPECT_TRUE(NearAt(image, c.value, r - 20, clWhite)) << c.render;
        // Not at the mirrored angle.
        EXPECT_NE(PixelAt(image, 32767 - c.value, r), ToQRgb(clWhite)) << c.render;
    }
}

TEST_F(NeedleMeterTest, PeakNeedleHoldsThenFallsFiveHundredEveryTwoTicks) {
    meter.SetDecayMode(TMMDecayMode::dmNone);
    Feed(32767);
    Feed(1036);  // the needle at 13106
    ASSERT_EQ(meter.PeakValue(), 32767);
    const int r = meter.ScaleRadius();
    const QImage& image = meter.Image();
    test::SaveRender(image, "meter_peak");
    EXPECT_EQ(PixelAt(image, 32767, r), ToQRgb(clRed));
    EXPECT_EQ(PixelAt(image, 13106, r), ToQRgb(clWhite));

    Tick(40);
    EXPECT_EQ(meter.PeakValue(), 32767);
    Tick(1);
    EXPECT_EQ(meter.PeakValue(), 32267);
    EXPECT_TRUE(meter.RedrawPending());
    Tick(1);
    EXPECT_EQ(meter.PeakValue(), 32267);
    Tick(1);
    EXPECT_EQ(meter.PeakValue(), 31767);
    // ... until it meets the needle, and stays there.
    Tick(200);
    EXPECT_EQ(meter.PeakValue(), 13106);
}

TEST_F(NeedleMeterTest, OnlyAStrictlyHigherValueRestartsTheHold) {
    meter.SetDecayMode(TMMDecayMode::dmNone);
    Feed(10362);
    Tick(10);
    EXPECT_EQ(meter.PeakCountdown(), 31);
    Feed(10362);
    EXPECT_EQ(meter.PeakCountdown(), 31);
    Feed(10400);
    EXPECT_EQ(meter.PeakCountdown(), 41);

    // Without PeakSpeed the mark drops onto the needle at the end.
    meter.SetPeakSpeed(0);
    Feed(1036);
    Tick(41);
    EXPECT_EQ(meter.PeakValue(), 13106);
    Tick(100);
    EXPECT_EQ(meter.PeakValue(), 13106);
}

TEST_F(NeedleMeterTest, HiddenPeakPausesTheTimerAndIsNotDrawn) {
    meter.SetDecayMode(TMMDecayMode::dmNone);
    Feed(32767);
    meter.SetShowPeak(false);
    EXPECT_FALSE(meter.PeakTimerRunning());
    Tick(100);
    EXPECT_EQ(meter.PeakCountdown(), 41);
    Feed(1036);
    const QImage& image = meter.Image();
    EXPECT_NE(PixelAt(image, 32767, meter.ScaleRadius()), ToQRgb(clRed));
    meter.SetShowPeak(true);
    EXPECT_TRUE(meter.PeakTimerRunning());
    meter.SetEnabled(false);
    EXPECT_FALSE(meter.PeakTimerRunning());
    EXPECT_EQ(meter.PeakValue(), 0);
}

TEST_F(NeedleMeterTest, SilenceAtRestDoesNotRedraw) {
    int invalidations = 0;
    meter.OnInvalidate = [&] { ++invalidations; };
    meter.Image();
    Feed(0);
    Feed(0);
    EXPECT_FALSE(meter.Stale());
    EXPECT_EQ(invalidations, 0);
    Feed(1036);
    EXPECT_TRUE(meter.Stale());
}

TEST_F(NeedleMeterTest, ScaleTicksLabelsAndCaptionInTheirColours) {
    int posts = 0;
    meter.OnPostPaint = [&](QImage&) { ++posts; };
    const QImage& image = meter.Image();
    test::SaveRender(image, "meter_scale");
    EXPECT_EQ(posts, 1);
    const int r = meter.ScaleRadius();
    // Major ticks run from R - 10 to R - 2, minor ones from R - 10 to R - 6.
    EXPECT_EQ(PixelAt(image, 3276, r - 2), ToQRgb(clLime)) << "major tick 4";
    EXPECT_EQ(PixelAt(image, 19660, r - 2), ToQRgb(clLime)) << "tick 24: 60 % is still zone 1";
    EXPECT_EQ(PixelAt(image, 20479, r - 6), ToQRgb(clYellow)) << "minor tick 25";
    EXPECT_FALSE(NearAt(image, 20479, r - 3, clYellow)) << "minor ticks stay inside";
    EXPECT_EQ(PixelAt(image, 26213, r - 2), ToQRgb(clYellow)) << "tick 32: just under 80 %";
    EXPECT_EQ(PixelAt(image, 26213, r - 10), ToQRgb(clYellow));
    EXPECT_EQ(PixelAt(image, 27032, r - 6), ToQRgb(clRed)) << "minor tick 33";
    EXPECT_EQ(PixelAt(image, 32767, r - 2), ToQRgb(clRed)) << "last tick";

    // A silver label just above every 8th tick's outer end.
    for (int i = 0; i <= 40; i += 8) {
        const QPoint end = OnImage(meter.PointAt(32767 * i / 40, r - 2));
        const QRect above(end.x() - 12, end.y() - 14, 22, 11);
        EXPECT_GT(CountIn(image, above, clSilver), 3) << "label of tick " << i;
    }
    // "dB" in bold silver, centred near the bottom, ending 3 rows above it.
    const int h = meter.FaceHeight();
    EXPECT_GT(CountIn(image, QRect(2 + 67 - 15, 2 + h - 18, 30, 15), clSilver), 10);
    EXPECT_EQ(CountIn(image, QRect(0, 2 + h - 2, 138, 4), clSilver), 0);
}

TEST_F(NeedleMeterTest, BackgroundPictureIsStretchedInsideTheBevel) {
    QImage back(10, 10, QImage::Format_RGB32);
    back.fill(ToQRgb(clNavy));
    meter.SetBackGroundDIB(back);
    meter.SetCaption(QString());
    const QImage& image = meter.Image();
    EXPECT_EQ(image.pixel(2 + 67, 2 + 60), ToQRgb(clNavy)) << "stretched over the face";
    EXPECT_EQ(image.pixel(0, 0), ToQRgb(clBlack)) << "the bevel keeps the colour";
}

}  // namespace
}  // namespace zt
