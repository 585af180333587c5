// The knob's arithmetic, case by case: the handle's angle and position,
// the value a pointer chooses (the arc's two ends, the dead gap snapping
// to the nearer end, the centre ignored), the keys with clamping, the
// vertical drag and the scale's ticks.

#include "mixer/ui/WheelGeometry.h"

#include <gtest/gtest.h>

#include <Qt>
#include <cmath>
#include <numbers>
#include <optional>

namespace zt {
namespace {

using wheel::ScaleTick;

// ---- handle ------------------------------------------------------------

struct AngleCase {
    int value, minimum, maximum, start, end;
    int expected;
};

class HandleAngleTest : public ::testing::TestWithParam<AngleCase> {};

TEST_P(HandleAngleTest, MapsTheRangeOntoTheArc) {
    const AngleCase& c = GetParam();
    EXPECT_EQ(wheel::HandleAngle(c.value, c.minimum, c.maximum, c.start, c.end), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandleAngleTest,
    ::testing::Values(
        // The default arc: 225 at the minimum, clockwise over the top to 315.
        AngleCase{0, 0, 10, 225, 315, 225}, AngleCase{1, 0, 10, 225, 315, 198},
        AngleCase{5, 0, 10, 225, 315, 90}, AngleCase{10, 0, 10, 225, 315, 315},
        AngleCase{1, 0, 7, 225, 315, 186},  // 225 - 270/7 = 186.43
        AngleCase{20, 10, 30, 225, 315, 90},
        // An empty or reversed range keeps the handle at the start.
        AngleCase{0, 0, 0, 225, 315, 225}, AngleCase{3, 5, 2, 225, 315, 225},
        // End above start, not the default: 90 -> 180 clockwise is 270 degrees.
        AngleCase{5, 0, 10, 90, 180, 315}, AngleCase{10, 0, 10, 90, 180, 180},
        // End below start: the arc is the whole circle.
        AngleCase{0, 0, 10, 270, 90, 270}, AngleCase{5, 0, 10, 270, 90, 90},
        AngleCase{10, 0, 10, 270, 90, 270}, AngleCase{1, 0, 4, 270, 90, 180}));

struct CentreCase {
    QSize size;
    int angle, radius;
    QPoint expected;
};

class HandleCentreTest : public ::testing::TestWithParam<CentreCase> {};

TEST_P(HandleCentreTest, SitsOnTheCircleAroundTheMiddle) {
    const CentreCase& c = GetParam();
    EXPECT_EQ(wheel::HandleCentre(c.size, c.angle, c.radius), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandleCentreTest,
    ::testing::Values(
        // The panel's knob: 52 x 52, radius 11.
        CentreCase{{52, 52}, 225, 11, {18, 34}}, CentreCase{{52, 52}, 90, 11, {26, 15}},
        CentreCase{{52, 52}, 315, 11, {34, 34}}, CentreCase{{52, 52}, 0, 11, {37, 26}},
        CentreCase{{52, 52}, 180, 11, {15, 26}},
        // Odd sides round the middle down; other sizes.
        CentreCase{{51, 41}, 90, 10, {25, 10}}, CentreCase{{51, 41}, 270, 10, {25, 30}},
        CentreCase{{80, 60}, 45, 20, {54, 16}}));

// ---- pointer -----------------------------------------------------------

// A point `distance` pixels from (26, 26) in the direction `angle`
// (counter-clockwise from three o'clock, y up as on paper).
QPointF At(double angle, double distance = 12) {
    const double a = angle * std::numbers::pi / 180.0;
    return {26 + std::cos(a) * distance, 26 - std::sin(a) * distance};
}

struct PointerCase {
    const char* what;
    QPointF point;
    int start, end, minimum, maximum;
    std::optional<int> expected;
};

class ValueAtPointTest : public ::testing::TestWithParam<PointerCase> {};

TEST_P(ValueAtPointTest, ChoosesTheValueInThePointersDirection) {
    const PointerCase& c = GetParam();
    EXPECT_EQ(wheel::ValueAtPoint(c.point, {26, 26}, c.start, c.end, c.minimum, c.maximum),
              c.expected)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueAtPointTest,
    ::testing::Values(
        PointerCase{"start of the arc", At(225), 225, 315, 0, 10, 0},
        PointerCase{"end of the arc", At(315), 225, 315, 0, 10, 10},
        PointerCase{"top", At(90), 225, 315, 0, 10, 5},
        PointerCase{"left (45 of 270 degrees)", At(180), 225, 315, 0, 10, 2},
        PointerCase{"right (225 of 270 degrees)", At(0), 225, 315, 0, 10, 8},
        PointerCase{"just before the gap at the start", At(224), 225, 315, 0, 10, 0},
        PointerCase{"just before the gap at the end", At(316), 225, 315, 0, 10, 10},
        PointerCase{"in the gap, nearer the start", At(250), 225, 315, 0, 10, 0},
        PointerCase{"in the gap, nearer the end", At(300), 225, 315, 0, 10, 10},
        PointerCase{"in the gap, nearer the end by a hair", At(270.5), 225, 315, 0, 10, 10},
        PointerCase{"in the middle of the gap: the start", QPointF(26, 40), 225, 315, 0, 10, 0},
        PointerCase{"one pixel from the centre still counts", QPointF(27, 26), 225, 315, 0, 10, 8},
        PointerCase{"exactly at the centre", QPointF(26, 26), 225, 315, 0, 10, std::nullopt},
        PointerCase{"a range not from zero", At(90), 225, 315, 5, 15, 10},
        PointerCase{"a finer range", At(180), 225, 315, 0, 100, 17},
        // End below start: the whole circle, no gap.
        PointerCase{"whole circle, opposite the start", At(90), 270, 90, 0, 10, 5},
        PointerCase{"whole circle, just after the start", At(260), 270, 90, 0, 10, 0},
        PointerCase{"whole circle, just before the start", At(271), 270, 90, 0, 10, 10}));

// ---- keys and drag -----------------------------------------------------

struct KeyCase {
    int key, value;
    int lineStep, pageStep;
    std::optional<int> expected;
};

class ValueAfterKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ValueAfterKeyTest, StepsAndClampsToTheRange) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(wheel::ValueAfterKey(c.key, c.value, 0, 10, c.lineStep, c.pageStep), c.expected)
        << "key " << std::hex << c.key << std::dec << " from " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueAfterKeyTest,
    ::testing::Values(KeyCase{Qt::Key_PageUp, 5, 1, 2, 7}, KeyCase{Qt::Key_PageUp, 9, 1, 2, 10},
                      KeyCase{Qt::Key_PageDown, 5, 1, 2, 3}, KeyCase{Qt::Key_PageDown, 1, 1, 2, 0},
                      KeyCase{Qt::Key_End, 7, 1, 2, 0}, KeyCase{Qt::Key_Home, 3, 1, 2, 10},
                      KeyCase{Qt::Key_Up, 5, 1, 2, 6}, KeyCase{Qt::Key_Right, 5, 3, 2, 8},
                      KeyCase{Qt::Key_Right, 10, 1, 2, 10}, KeyCase{Qt::Key_Down, 5, 1, 2, 4},
                      KeyCase{Qt::Key_Left, 5, 3, 2, 2}, KeyCase{Qt::Key_Left, 0, 1, 2, 0},
                      KeyCase{Qt::Key_A, 5, 1, 2, std::nullopt},
                      KeyCase{Qt::Key_Space, 5, 1, 2, std::nullopt}));

TEST(WheelDragTest, MovingScrollSizePixelsRunsTheWholeRange) {
    // Value at press 5 on 0 ... 10, pressed at y = 100, 160 pixels for the range.
    EXPECT_EQ(wheel::ValueAfterDrag(5, 100, 100, 0, 10, 160), 5);
    EXPECT_EQ(wheel::ValueAfterDrag(5, 100, 84, 0, 10, 160), 6);    // 16 up: one step
    EXPECT_EQ(wheel::ValueAfterDrag(5, 100, 116, 0, 10, 160), 4);   // 16 down
    EXPECT_EQ(wheel::ValueAfterDrag(5, 100, 20, 0, 10, 160), 10);   // half the size up
    EXPECT_EQ(wheel::ValueAfterDrag(5, 100, 260, 0, 10, 160), -5);  // not clamped here
    EXPECT_EQ(wheel::ValueAfterDrag(5, 100, 60, 0, 10, 160), 7);    // 2.5 rounds to even
    EXPECT_EQ(wheel::ValueAfterDrag(5, 100, 60, 0, 100, 40), 105);  // a finer range
    EXPECT_EQ(wheel::ValueAfterDrag(5, 100, 60, 10, 20, 0), 5);     // no scroll size
}

TEST(WheelClampTest, KeepsTheValueInTheRangeAndTheMinimumWinsWhenItIsEmpty) {
    EXPECT_EQ(wheel::ClampValue(-3, 0, 10), 0);
    EXPECT_EQ(wheel::ClampValue(4, 0, 10), 4);
    EXPECT_EQ(wheel::ClampValue(11, 0, 10), 10);
    EXPECT_EQ(wheel::ClampValue(4, 6, 2), 6);
}

// ---- scale -------------------------------------------------------------

TEST(WheelScaleTest, PanelScaleHasLongTicksEveryFifthAndShortOnesAtTheInnerEnd) {
    // The panel knob: 11 ticks, every fifth long, 7 pixels, r = 26.
    const auto ticks = wheel::ScaleTicks(11, 5, 7, TMMScaleOrigin::soInner, 225, 315, 26.0);
    ASSERT_EQ(ticks.size(), 11u);
    for (int k = 0; k < 11; ++k) {
        const bool large = k == 0 || k == 5 || k == 10;
        const ScaleTick expected{225.0 - 27.0 * k, 19.0, large ? 26.0 : 22.5, large};
        EXPECT_EQ(ticks[size_t(k)], expected) << "tick " << k;
    }
}

TEST(WheelScaleTest, OuterOriginAnchorsShortTicksAtTheRim) {
    const auto ticks = wheel::ScaleTicks(11, 5, 7, TMMScaleOrigin::soOuter, 225, 315, 26.0);
    ASSERT_EQ(ticks.size(), 11u);
    EXPECT_EQ(ticks[0], (ScaleTick{225.0, 19.0, 26.0, true}));
    EXPECT_EQ(ticks[1], (ScaleTick{198.0, 22.5, 26.0, false}));
    EXPECT_EQ(ticks[5], (ScaleTick{90.0, 19.0, 26.0, true}));
    EXPECT_EQ(ticks[9], (ScaleTick{-18.0, 22.5, 26.0, false}));
    EXPECT_EQ(ticks[10], (ScaleTick{-45.0, 19.0, 26.0, true}));
}

TEST(WheelScaleTest, DegenerateCounts) {
    EXPECT_TRUE(wheel::ScaleTicks(0, 5, 7, TMMScaleOrigin::soInner, 225, 315, 26).empty());
    // A single tick sits at the start and is long (0 is a multiple of anything).
    EXPECT_EQ(wheel::ScaleTicks(1, 5, 7, TMMScaleOrigin::soInner, 225, 315, 26),
              (std::vector<ScaleTick>{{225.0, 19.0, 26.0, true}}));
    // EnlargeEvery 0: no tick is long.
    for (const ScaleTick& t : wheel::ScaleTicks(5, 0, 6, TMMScaleOrigin::soInner, 225, 315, 20))
        EXPECT_FALSE(t.large);
    // Four ticks over 270 degrees, 90 apart.
    const auto four = wheel::ScaleTicks(4, 3, 6, TMMScaleOrigin::soOuter, 225, 315, 20);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[1], (ScaleTick{135.0, 17.0, 20.0, false}));
    EXPECT_EQ(four[3], (ScaleTick{-45.0, 14.0, 20.0, true}));
}

TEST(WheelPointerAngleTest, ScreenYIsFlipped) {
    const struct {
        QPointF point;
        double expected;
    } cases[] = {{{36, 26}, 0}, {{26, 16}, 90}, {{16, 26}, 180}, {{26, 36}, 270}, {{36, 36}, 315}};
    for (const auto& c : cases) {
        const std::optional<double> angle = wheel::PointerAngle(c.point, {26, 26});
        ASSERT_TRUE(angle.has_value());
        EXPECT_NEAR(*angle, c.expected, 1e-9) << c.point.x() << "," << c.point.y();
    }
    EXPECT_EQ(wheel::PointerAngle({26, 26}, {26, 26}), std::nullopt);
}

}  // namespace
}  // namespace zt
