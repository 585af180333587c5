#include "displays/Gauge.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "app/MainWindowDisplaySetUp.h"
#include "support/Renders.h"

namespace zt {
namespace {

TEST(GaugeTest, PercentIsTruncatedAndProgressStaysWithinTheLimits) {
    constexpr int64_t kBig = std::numeric_limits<int64_t>::max();
    struct Case {
        int64_t min, max, progress;
        int percent;
        int64_t kept;
    } cases[] = {
        {0, 100, 37, 37, 37},
        {0, 100, -5, 0, 0},
        {0, 100, 150, 100, 100},
        {0, 3, 1, 33, 1},
        {0, 3, 2, 66, 2},  // 66.7 truncated
        {-50, 50, 0, 50, 0},
        {10, 10, 10, 0, 10},  // equal limits
        {10, 10, 99, 0, 10},
        {0, 1000000, 999999, 99, 999999},
        {0, 120000, 44400, 37, 44400},          // MiB of a disk, as the recorder feeds it
        {-kBig, kBig, kBig - 1, 99, kBig - 1},  // no overflow on the way
    };
    for (const Case& c : cases) {
        TMMGauge gauge;
        gauge.SetMaxValue(c.max);
        gauge.SetMinValue(c.min);
        gauge.SetProgress(c.progress);
        EXPECT_EQ(gauge.PercentDone(), c.percent) << c.min << ".." << c.max << " " << c.progress;
        EXPECT_EQ(gauge.Progress(), c.kept);
    }

    // Limits that move clamp the progress again and never cross.
    TMMGauge gauge;
    gauge.SetProgress(80);
    gauge.SetMaxValue(50);
    EXPECT_EQ(gauge.Progress(), 50);
    EXPECT_EQ(gauge.PercentDone(), 100);
    gauge.SetMinValue(70);
    EXPECT_EQ(gauge.MaxValue(), 70);
    EXPECT_EQ(gauge.Progress(), 70);
    EXPECT_EQ(gauge.PercentDone(), 0);
}

TEST(GaugeTest, RepaintsOnlyWhenThePercentChanges) {
    TMMGauge gauge;
    gauge.SetMaxValue(1000);
    int invalidations = 0;
    gauge.OnInvalidate = [&] { ++invalidations; };
    gauge.Image();

    gauge.SetProgress(370);
    EXPECT_TRUE(gauge.Stale());
    EXPECT_EQ(invalidations, 1);
    gauge.Image();
    for (int64_t same : {371, 379, 370}) gauge.SetProgress(same);  // all 37 %
    EXPECT_FALSE(gauge.Stale());
    EXPECT_EQ(invalidations, 1);
    gauge.SetMaxValue(1001);  // still 36.9… → 36: a change
    EXPECT_TRUE(gauge.Stale());
    EXPECT_EQ(invalidations, 2);
    gauge.Image();
    gauge.SetProgress(5000);  // clamped to the maximum: 100 %
    EXPECT_EQ(gauge.PercentDone(), 100);
    EXPECT_EQ(invalidations, 3);
}

TEST(GaugeTest, TextNamesCaptionAndPercent) {
    TMMGauge gauge;
    SetUpMainWindowGauge(gauge);
    gauge.SetProgress(37);
    EXPECT_EQ(gauge.Text(), "ESPAÇO OCUPADO 37%");
    gauge.SetCaption("");
    EXPECT_EQ(gauge.Text(), "37%");
}

// The used-space bar at 37 %: red over the left 37 % on black, the text
// over both parts in the inverse colour of what lies beneath.
TEST(GaugeTest, TextIsLaidOverTheBarByExclusiveOr) {
    constexpr int kW = 200, kH = 14;
    const QRgb red = ToQRgb(clRed), black = ToQRgb(clBlack);
    const QRgb cyan = qRgb(0, 255, 255), white = qRgb(255, 255, 255);

    TMMGauge bare(kW, kH);
    SetUpMainWindowGauge(bare);
    bare.SetShowText(false);
    bare.SetProgress(37);
    const QImage bar = bare.Image().copy();
    const int filled = kW * 37 / 100;  // 74
    for (int x = 0; x < kW; ++x)
        for (int y = 0; y < kH; ++y) ASSERT_EQ(bar.pixel(x, y), x < filled ? red : black) << x;

    TMMGauge gauge(kW, kH);
    SetUpMainWindowGauge(gauge);
    gauge.SetProgress(37);
    const QImage& image = gauge.Image();
    test::SaveRender(image, "gauge_37");

    int overRed = 0, overBlack = 0, left = kW, right = -1;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const QRgb under = bar.pixel(x, y), shown = image.pixel(x, y);
            if (shown == under) continue;
            // Every text pixel is the pure inverse: no grey from smoothing.
            ASSERT_EQ(shown, under == red ? cyan : white) << x << "," << y;
            (under == red ? overRed : overBlack)++;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    // "ESPAÇO OCUPADO 37%" is wider than the red part and centred: it
    // starts over red and ends over black.
    EXPECT_GT(overRed, 20);
    EXPECT_GT(overBlack, 20);
    EXPECT_LT(left, filled);
    EXPECT_NEAR((left + right) / 2.0, kW / 2.0, 4.0);
}

TEST(GaugeTest, VerticalBarFillsFromTheBottomAndTextOnlyKindFillsNothing) {
    TMMGauge gauge(10, 50);
    gauge.SetShowText(false);
    gauge.SetForeColor(clRed);
    gauge.SetBackColor(clBlack);
    gauge.SetKind(TMMGaugeKind::gkVerticalBar);
    gauge.SetProgress(20);  // the lowest 10 rows
    for (int y = 0; y < 50; ++y)
        EXPECT_EQ(gauge.Image().pixel(5, y), y >= 40 ? ToQRgb(clRed) : ToQRgb(clBlack)) << y;
    gauge.SetKind(TMMGaugeKind::gkText);
    for (int y = 0; y < 50; ++y) EXPECT_EQ(gauge.Image().pixel(5, y), ToQRgb(clBlack)) << y;
}

}  // namespace
}  // namespace zt
