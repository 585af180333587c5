// The update window's pictures as compiled in: all of them present and
// decodable at their sizes, the step icons telling their states apart by
// colour, the @2x twins showing the same pictures, and unknown names
// refused.

#include "update/ui/UpdateArt.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QPainter>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>

#include "platform/Exceptions.h"
#include "support/Renders.h"

namespace zt {
namespace {

struct ArtSize {
    const char* name;
    int width, height;
};

const ArtSize kArt[] = {
    {"step_pending.png", 16, 16},   {"step_pending@2x.png", 32, 32},
    {"step_done.png", 16, 16},      {"step_done@2x.png", 32, 32},
    {"step_failed.png", 16, 16},    {"step_failed@2x.png", 32, 32},
    {"step_current.png", 16, 16},   {"step_current@2x.png", 32, 32},
    {"button_history.png", 24, 24}, {"button_history@2x.png", 48, 48},
    {"button_start.png", 24, 24},   {"button_start@2x.png", 48, 48},
    {"button_close.png", 24, 24},   {"button_close@2x.png", 48, 48},
    {"update_side.jpg", 180, 292},
};

const char* const kIcons[] = {"step_pending",   "step_done",    "step_failed", "step_current",
                              "button_history", "button_start", "button_close"};

TEST(UpdateArtTest, EveryPictureIsCompiledInAndDecodesAtItsSize) {
    QSet<QString> expected;
    for (const auto& art : kArt) expected.insert(QString::fromLatin1(art.name));
    const QStringList names = UpdateArtNames();
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()), expected) << names.join(' ').toStdString();

    for (const auto& art : kArt) {
        SCOPED_TRACE(art.name);
        const QImage image = UpdateArtImage(QString::fromLatin1(art.name));
        EXPECT_EQ(image.width(), art.width);
        EXPECT_EQ(image.height(), art.height);
        const QPixmap pixmap = UpdateArtPixmap(QString::fromLatin1(art.name));
        EXPECT_EQ(pixmap.size(), QSize(art.width, art.height));
        if (QString::fromLatin1(art.name).endsWith(".png")) {
            // Icons stand on the button's or the list's own background.
            ASSERT_TRUE(image.hasAlphaChannel());
            for (const QPoint corner : {QPoint(0, 0), QPoint(art.width - 1, art.height - 1)})
                EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
        }
    }
}

TEST(UpdateArtTest, TheSidePictureIsAPictureNotAFlatFill) {
    const QImage side = UpdateArtImage("update_side.jpg");
    EXPECT_FALSE(side.hasAlphaChannel());
    double sum = 0, sumSquares = 0;
    const int n = side.width() * side.height();
    for (int y = 0; y < side.height(); ++y)
        for (int x = 0; x < side.width(); ++x) {
            const double grey = qGray(side.pixel(x, y));
            sum += grey;
            sumSquares += grey * grey;
        }
    const double mean = sum / n;
    EXPECT_GT(std::sqrt(sumSquares / n - mean * mean), 10.0);
    test::SaveRender(side.scaled(side.size() * 2), "update_side");
}

// Opaque pixels of an icon by colour.
struct ColourCount {
    int opaque = 0, green = 0, red = 0, white = 0, saturated = 0;
};

ColourCount CountColours(const QImage& icon) {
    ColourCount count;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) {
            const QRgb p = icon.pixel(x, y);
            if (qAlpha(p) < 128) continue;
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            ++count.opaque;
            count.green += g > r + 40 && g > b + 40;
            count.red += r > g + 60 && r > b + 60;
            count.white += r > 230 && g > 230 && b > 230;
            count.saturated += std::max({r, g, b}) - std::min({r, g, b}) > 24;
        }
    return count;
}

TEST(UpdateArtTest, TheStepIconsAreToldApartByTheirColours) {
    for (const char* suffix : {".png", "@2x.png"}) {
        SCOPED_TRACE(suffix);
        const auto icon = [&](const char* base) {
            return UpdateArtImage(QString::fromLatin1(base) + suffix)
                .convertToFormat(QImage::Format_ARGB32);
        };
        const QImage done = icon("step_done"), current = icon("step_current");
        const QImage failed = icon("step_failed"), pending = icon("step_pending");
        const int side = done.width();

        const ColourCount d = CountColours(done), c = CountColours(current);
        EXPECT_GT(d.opaque, side * side / 10);
        EXPECT_GE(d.green, d.opaque * 9 / 10);
        EXPECT_GT(c.opaque, side * side / 10);
        EXPECT_GE(c.green, c.opaque * 9 / 10);

        // A white cross on a red disc: white in the middle, red around it.
        const ColourCount f = CountColours(failed);
        EXPECT_GE(f.red, f.opaque * 6 / 10);
        EXPECT_GT(f.white, 0);
        const QRgb middle = failed.pixel(side / 2, side / 2);
        EXPECT_TRUE(qRed(middle) > 230 && qGreen(middle) > 230 && qBlue(middle) > 230)
            << std::hex << middle;
        EXPECT_EQ(f.green, 0);

        // Pending is grey only, and still visible.
        const ColourCount p = CountColours(pending);
        EXPECT_GT(p.opaque, side * side / 10);
        EXPECT_EQ(p.saturated, 0);

        // Done and current share their green: their shapes differ.
        int differ = 0, covered = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const bool inDone = qAlpha(done.pixel(x, y)) >= 128;
                const bool inCurrent = qAlpha(current.pixel(x, y)) >= 128;
                differ += inDone != inCurrent;
                covered += inDone || inCurrent;
            }
        EXPECT_GT(differ, covered / 2);
    }
}

// Mean difference of the premultiplied channels, 0..255.
double Difference(const QImage& a, const QImage& b) {
    const QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double sum = 0;
    for (int y = 0; y < pa.height(); ++y)
        for (int x = 0; x < pa.width(); ++x) {
            const QRgb p = pa.pixel(x, y), q = pb.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * pa.width() * pa.height());
}

// Each icon at 1x and its twin, eight and four times enlarged, on the
// light grey of a button face, for a person to look at.
void SaveIconSheet() {
    constexpr int kZoom = 8, kCell = 24 * kZoom + 16;
    const int count = static_cast<int>(std::size(kIcons));
    QImage sheet(2 * kCell + 16, count * kCell + 16, QImage::Format_ARGB32);
    sheet.fill(QColor(239, 239, 239));
    QPainter painter(&sheet);
    for (int i = 0; i < count; ++i) {
        const QImage small = UpdateArtImage(QString::fromLatin1(kIcons[i]) + ".png");
        const QImage twin = UpdateArtImage(QString::fromLatin1(kIcons[i]) + "@2x.png");
        painter.drawImage(QPoint(16, 16 + i * kCell), small.scaled(small.size() * kZoom));
        painter.drawImage(QPoint(16 + kCell, 16 + i * kCell), twin.scaled(twin.size() * kZoom / 2));
    }
    painter.end();
    test::SaveRender(sheet, "update_art_icons");
}

TEST(UpdateArtTest, EachTwinShowsItsOwnPictureAtTwiceTheSize) {
    for (const char* base : kIcons) {
        SCOPED_TRACE(base);
        const QImage twin = UpdateArtImage(QString::fromLatin1(base) + "@2x.png");
        const QImage halved =
            twin.scaled(twin.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double own = std::numeric_limits<double>::max(), nearestOther = own;
        for (const char* other : kIcons) {
            const QImage small = UpdateArtImage(QString::fromLatin1(other) + ".png");
            if (small.size() != halved.size()) continue;
            const double difference = Difference(halved, small);
            if (std::string(other) == base)
                own = difference;
            else
                nearestOther = std::min(nearestOther, difference);
        }
        EXPECT_LT(own, 12.0);
        EXPECT_LT(own * 3, nearestOther);
    }
    SaveIconSheet();
}

TEST(UpdateArtTest, AnIconOffersBothSizes) {
    for (const char* base : kIcons) {
        SCOPED_TRACE(base);
        const QIcon icon = UpdateArtIcon(QString::fromLatin1(base));
        const QSize size = UpdateArtImage(QString::fromLatin1(base) + ".png").size();
        const QList<QSize> sizes = icon.availableSizes();
        EXPECT_TRUE(sizes.contains(size));
        EXPECT_TRUE(sizes.contains(size * 2));
        // Asked for twice the size, the icon gives the finer twin, not the
        // small picture blown up.
        const QImage large = icon.pixmap(size * 2).toImage();
        ASSERT_EQ(large.size(), size * 2);
        EXPECT_LT(Difference(large, UpdateArtImage(QString::fromLatin1(base) + "@2x.png")), 1.0);
    }
}

TEST(UpdateArtTest, AnUnknownPictureIsRefusedByName) {
    for (const char* name : {"step_unknown.png", "step_done", "STEP_DONE.PNG", "update_side.png",
                             "assets/update/step_done.png", ""}) {
        SCOPED_TRACE(name);
        try {
            UpdateArtImage(QString::fromLatin1(name));
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_NE(e.message().find("\"" + std::string(name) + "\""), std::string::npos)
                << e.message();
        }
        EXPECT_THROW(UpdateArtPixmap(QString::fromLatin1(name)), Exception);
    }
    EXPECT_THROW(UpdateArtIcon("update_side"), Exception);
    EXPECT_THROW(UpdateArtIcon("step_done.png"), Exception);
}

}  // namespace
}  // namespace zt
