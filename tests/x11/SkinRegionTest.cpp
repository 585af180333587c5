// The window's outline cut from a face picture, on small made-up faces.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/skin/SkinRegion.h"

namespace zt::test {
namespace {

// A face drawn from text: 'K' the key colour, '.' a painted grey, 'M'
// magenta (a painted colour when the key is another one).
QImage Face(const std::vector<std::string>& rows, QRgb key) {
    QImage image(int(rows[0].size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const char c = rows[y][x];
            image.setPixel(x, y, c == 'K' ? key : c == 'M' ? qRgb(255, 0, 255) : qRgb(90, 90, 90));
        }
    return image;
}

QRegion Union(const std::vector<QRect>& rects) {
    QRegion region;
    for (const QRect& r : rects) region += r;
    return region;
}

struct RegionCase {
    const char* what;
    std::vector<std::string> rows;
    QRgb key;
    QPoint offset;
    std::vector<QRect> expected;
};

void PrintTo(const RegionCase& c, std::ostream* os) {
    *os << c.what;
}

class SkinRegionTest : public ::testing::TestWithParam<RegionCase> {};

TEST_P(SkinRegionTest, RunsBetweenKeyPixelsBecomeTheRegion) {
    const RegionCase& c = GetParam();
    SCOPED_TRACE(c.what);
    const QRegion region = SkinRegion(Face(c.rows, c.key), c.offset);
    EXPECT_EQ(region, Union(c.expected));
    // Nothing of the key colour is inside, everything else is.
    const QImage face = Face(c.rows, c.key);
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            EXPECT_EQ(region.contains(QPoint(x, y) + c.offset), c.rows[y][x] != 'K')
                << x << "," << y;
}

const QRgb kMagenta = qRgb(255, 0, 255);
const QRgb kGreen = qRgb(0, 255, 0);

INSTANTIATE_TEST_SUITE_P(
    Faces, SkinRegionTest,
    ::testing::Values(RegionCase{"runs split by key pixels, the last ended by the row's end",
                                 {"K..K..",  //
                                  "......",  //
                                  "KK..KK"},
                                 kMagenta,
                                 {0, 0},
                                 {{1, 0, 2, 1}, {4, 0, 2, 1}, {0, 1, 6, 1}, {2, 2, 2, 1}}},
                      RegionCase{"one-pixel runs and a row all key",
                                 {"K.K.K.",  //
                                  "KKKKKK",  //
                                  "K....K"},
                                 kMagenta,
                                 {0, 0},
                                 {{1, 0, 1, 1}, {3, 0, 1, 1}, {5, 0, 1, 1}, {1, 2, 4, 1}}},
                      RegionCase{"the key is the top-left pixel's colour, not magenta",
                                 {"KMMK",  //
                                  "MMMM"},
                                 kGreen,
                                 {0, 0},
                                 {{1, 0, 2, 1}, {0, 1, 4, 1}}},
                      RegionCase{"moved by where the face sits in the window",
                                 {"K..K",  //
                                  "K..."},
                                 kMagenta,
                                 {20, 7},
                                 {{21, 7, 2, 1}, {21, 8, 3, 1}}},
                      RegionCase{
                          "a face all key is no region", {"KKK", "KKK"}, kMagenta, {0, 0}, {}}),
    [](const ::testing::TestParamInfo<RegionCase>& info) {
        return "Face" + std::to_string(info.index);
    });

TEST(SkinRegionEdgeTest, AnEmptyPictureGivesAnEmptyRegion) {
    EXPECT_TRUE(SkinRegion(QImage(), QPoint(3, 4)).isEmpty());
}

}  // namespace
}  // namespace zt::test
