// The day counter's padding and the used-space percentage of the drive.

#include "recorder/ReadOuts.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace zt {
namespace {

TEST(ReadOuts, PadLeftCutsOrFillsToTheWidth) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"7", "07"}, {"10", "10"}, {"123", "12"}, {"  5", "05"}, {"", "00"}, {"1000", "10"},
    };
    for (const Case& c : cases) EXPECT_EQ(PadLeft(c.text, '0', 2), c.expected) << c.text;
}

TEST(ReadOuts, UsedPercentRoundsHalvesToEven) {
    struct Case {
        int64_t freeMB, totalMB;
        int percent;
    } cases[] = {
        {0, 8, 100},        {8, 8, 0},
        {7, 8, 12},                                    // 12.5 -> 12
        {5, 8, 38},                                    // 37.5 -> 38
        {199, 200, 0},                                 // 0.5 -> 0
        {197, 200, 2},                                 // 1.5 -> 2
        {1, 3, 67},                                    // 66.7
        {0, 40000000, 100}, {20000000, 40000000, 50},  // large drives do not overflow
    };
    for (const Case& c : cases) {
        const DiskFigures figures{c.freeMB, c.totalMB};
        EXPECT_EQ(UsedPercentPerBuffer(figures), c.percent) << c.freeMB << "/" << c.totalMB;
        EXPECT_EQ(UsedPercentOnShow(figures), c.percent) << c.freeMB << "/" << c.totalMB;
    }
}

TEST(ReadOuts, DiskFiguresOfAFolderAndOfAMissingOne) {
    test::TempDir dir;
    const auto figures = MeasureDiskFigures(dir.path().string());
    ASSERT_TRUE(figures.has_value());
    EXPECT_GT(figures->totalMB, 0);
    EXPECT_LE(figures->freeMB, figures->totalMB);
    // A folder not made yet is measured on the drive that would hold it.
    const auto missing = MeasureDiskFigures(dir.file("not/yet"));
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->totalMB, figures->totalMB);
    // No folder at all: nothing to measure.
    EXPECT_FALSE(MeasureDiskFigures("").has_value());
    EXPECT_EQ(MegabytesText(1234), "1234 MB");
}

}  // namespace
}  // namespace zt
