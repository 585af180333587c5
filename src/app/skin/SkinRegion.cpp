#include "app/skin/SkinRegion.h"

namespace zt {

QRegion SkinRegion(const QImage& picture, QPoint offset) {
    if (picture.isNull()) return QRegion();
    // One format to scan, whatever the file decoded to (indexed, RGB, RGBA).
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb key = image.pixel(0, 0) & RGB_MASK;
    QRegion region;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int start = -1;
        for (int x = 0; x <= image.width(); ++x) {
            const bool inside = x < image.width() && (row[x] & RGB_MASK) != key;
            if (inside && start < 0) {
                start = x;
            } else if (!inside && start >= 0) {
                // Rows arrive top to bottom, runs left to right: QRegion
                // appends such rectangles without re-sorting its bands.
                region += QRect(offset.x() + start, offset.y() + y, x - start, 1);
                start = -1;
            }
        }
    }
    return region;
}

}  // namespace zt
