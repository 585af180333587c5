#include "displays/LevelScale.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QStringList>

#include "app/MainWindowDisplaySetUp.h"
#include "support/Renders.h"

namespace zt {
namespace {

// Pixels of `color` in columns [x0, x1) of the image.
int CountColour(const QImage& image, int x0, int x1, TColor color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, image.width()); ++x)
            if (image.pixel(x, y) == ToQRgb(color)) ++n;
    return n;
}

class LevelScaleFormTest : public ::testing::Test {
protected:
    LevelScaleFormTest() : scale(275, 13) { SetUpMainWindowLevelScale(scale); }
    TMMLevelScale scale;
};

TEST_F(LevelScaleFormTest, LabelsFromZeroToMinusThirtyEndAtTheirTicks) {
    const auto labels = scale.Labels();
    QStringList texts;
    for (const auto& l : labels) texts << l.text;
    EXPECT_EQ(texts.join(' '), "0 -5 -10 -15 -20 -25 -30") << "-35 at the left edge does not fit";
    ASSERT_EQ(scale.LabelStep(), 1);

    const QFontMetrics metrics(scale.Font());
    // Ticks of 8 over 275 pixels: (j * 274 + 3) div 7.
    const int ticks[] = {39, 78, 117, 157, 196, 235, 274};
    for (const auto& l : labels) {
        EXPECT_EQ(l.x + metrics.horizontalAdvance(l.text), ticks[l.tick - 1])
            << l.text.toStdString();
        const TColor expected = l.tick >= 6 ? clRed : clWhite;
        EXPECT_EQ(l.color, expected) << l.text.toStdString();
    }
}

TEST_F(LevelScaleFormTest, RenderShowsRedNearZeroAndWhiteBelow) {
    const QImage& image = scale.Image();
    test::SaveRender(image, "level_scale");
    const auto labels = scale.Labels();
    ASSERT_GE(labels.size(), 3u);
    const QFontMetrics metrics(scale.Font());
    for (const auto& l : labels) {
        const int x1 = l.x + metrics.horizontalAdvance(l.text);
        const TColor mine = l.color;
        const TColor other = mine == clRed ? clWhite : clRed;
        EXPECT_GT(CountColour(image, l.x, x1, mine), 5) << l.text.toStdString();
        EXPECT_EQ(CountColour(image, l.x, x1, other), 0) << l.text.toStdString();
    }
    // Left of "-30" only background: "-35" is not drawn.
    const int left = labels.back().x;
    EXPECT_EQ(CountColour(image, 0, left, clBlack), left * image.height());
}

TEST_F(LevelScaleFormTest, NarrowScalesThinOutTheLabelsOrDrawNone) {
    scale.SetBounds(60, 13);
    const int step = scale.LabelStep();
    EXPECT_GT(step, 1);
    const auto labels = scale.Labels();
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front().text, "0");
    const QFontMetrics metrics(scale.Font());
    for (size_t i = 1; i < labels.size(); ++i) {
        EXPECT_EQ(labels[i - 1].tick - labels[i].tick, step);
        EXPECT_LE(labels[i].x + metrics.horizontalAdvance(labels[i].text), labels[i - 1].x)
            << "labels overlap";
    }

    scale.SetBounds(6, 13);  // narrower than "-35"
    EXPECT_EQ(scale.LabelStep(), 0);
    EXPECT_TRUE(scale.Labels().empty());
    const QImage& image = scale.Image();
    EXPECT_EQ(CountColour(image, 0, 6, clBlack), 6 * 13);
}

TEST_F(LevelScaleFormTest, SensitivityAndLinearScaleChangeTheNumbers) {
    scale.SetSensitivy(-100);
    EXPECT_EQ(scale.Sensitivy(), -90);
    scale.SetSensitivy(-21);
    QStringList texts;
    for (const auto& l : scale.Labels()) texts << l.text;
    EXPECT_EQ(texts.join(' '), "0 -3 -6 -9 -12 -15 -18");

    scale.SetSensitivy(-35);
    scale.SetLogAmp(false);
    texts.clear();
    for (const auto& l : scale.Labels()) texts << l.text;
    // Linear steps in amplitude: the dB labels crowd towards 0.
    EXPECT_EQ(texts.join(' '), "0 -1 -3 -5 -7 -11 -16");
}

}  // namespace
}  // namespace zt
