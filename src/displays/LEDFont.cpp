#include "displays/LEDFont.h"

#include <QColor>
#include <array>

#include "displays/LEDFontData.h"

namespace zt {

namespace {

// The bitmaps are drawn in pure white, silver and black; the thresholds
// only make the reading tolerant of a touched-up bitmap.
TMMLEDPixel Classify(QRgb rgb) {
    const int grey = qGray(rgb);
    if (grey >= 0xE0) return TMMLEDPixel::Lit;
    if (grey >= 0x60) return TMMLEDPixel::Unlit;
    return TMMLEDPixel::Background;
}

QImage DecodeEmbedded(TMMLEDFontSize size) {
    const auto& png = ledfont_data::kFonts[static_cast<int>(size)];
    QImage image = QImage::fromData(png.data, static_cast<int>(png.size), "PNG");
    if (image.isNull()) {
        // Cannot happen with the compiled-in files; a blank font of the
        // nominal size keeps the read-outs drawable if it ever does.
        const bool large = size == TMMLEDFontSize::fs16x20;
        image = QImage(TMMLEDFont::kCellsPerRow * (large ? 16 : 11), 2 * (large ? 20 : 13) + 2,
                       QImage::Format_RGB32);
        image.fill(Qt::black);
    }
    return image;
}

}  // namespace

const TMMLEDFont& TMMLEDFont::Get(TMMLEDFontSize size) {
    static const std::array<TMMLEDFont, 3> fonts{
        TMMLEDFont(DecodeEmbedded(TMMLEDFontSize::fs11x13)),
        TMMLEDFont(DecodeEmbedded(TMMLEDFontSize::fs16x20)),
        TMMLEDFont(DecodeEmbedded(TMMLEDFontSize::fs11x13_bold)),
    };
    return fonts[static_cast<int>(size)];
}

TMMLEDFont::TMMLEDFont(const QImage& bitmap)
    : bitmap_(bitmap.convertToFormat(QImage::Format_RGB32)),
      glyphWidth_(bitmap_.width() / kCellsPerRow),
      glyphHeight_(std::max((bitmap_.height() - 2) / 2, 0)) {
    pixels_.resize(static_cast<size_t>(bitmap_.width()) * bitmap_.height());
    for (int y = 0; y < bitmap_.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(bitmap_.constScanLine(y));
        for (int x = 0; x < bitmap_.width(); ++x)
            pixels_[static_cast<size_t>(y) * bitmap_.width() + x] = Classify(line[x]);
    }
}

QPoint TMMLEDFont::CellOrigin(int code) const {
    if (code < kFirstCode || code > kLastCode) code = kBlankCode;
    const int index = code - kFirstCode;
    return QPoint(index % kCellsPerRow * glyphWidth_, index / kCellsPerRow * (glyphHeight_ + 2));
}

TMMLEDPixel TMMLEDFont::PixelAt(int code, int x, int y) const {
    if (x < 0 || y < 0 || x >= glyphWidth_ || y >= glyphHeight_) return TMMLEDPixel::Background;
    const QPoint origin = CellOrigin(code);
    return pixels_[static_cast<size_t>(origin.y() + y) * bitmap_.width() + origin.x() + x];
}

int TMMLEDFont::CellCodeOf(uint32_t ch) {
    if (ch >= kFirstCode && ch <= kLastCode) return static_cast<int>(ch);
    switch (ch) {
        case 177:
            return 150;  // ±
        case 196:
            return 135;  // Ä
        case 214:
            return 140;  // Ö
        case 220:
            return 137;  // Ü
        case 223:
            return 149;  // ß
        case 228:
            return 135;  // ä
        case 246:
            return 140;  // ö
        case 252:
            return 137;  // ü
        default:
            return kBlankCode;
    }
}

}  // namespace zt
