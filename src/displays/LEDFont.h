#pragma once
// The glyph bitmaps of the LED read-outs (TMMLEDLABEL).
//
// Each font is one bitmap of two rows of 63 cells: character codes 32 … 94
// in the first row, 95 … 157 in the second, which starts two pixels below
// the first row's cells. Glyph width = bitmap width / 63, glyph height =
// (bitmap height − 2) / 2. A white pixel is a lit segment, a silver one an
// unlit segment, black the background. The bitmaps are drawn from text
// grids by assets/ledfont/draw_led_fonts.py and compiled into the core
// library, so the program needs no font files beside it.
//
// Threads: a font is decoded once, on first use, and is immutable after
// that; any thread may read it (the first use is thread-safe).

#include <QImage>
#include <cstdint>
#include <vector>

namespace zt {

enum class TMMLEDFontSize { fs11x13, fs16x20, fs11x13_bold };

enum class TMMLEDPixel : uint8_t { Background, Unlit, Lit };

class TMMLEDFont {
public:
    static constexpr int kFirstCode = 32;
    static constexpr int kLastCode = 157;
    static constexpr int kCellsPerRow = 63;
    static constexpr int kBlankCode = 32;  // every dot unlit

    // The cached font of a size (decoded from the embedded bitmap).
    static const TMMLEDFont& Get(TMMLEDFontSize size);
    // A font from any bitmap of the layout above (for other glyph sets).
    explicit TMMLEDFont(const QImage& bitmap);

    const QImage& Bitmap() const { return bitmap_; }
    int GlyphWidth() const { return glyphWidth_; }
    int GlyphHeight() const { return glyphHeight_; }
    // Top-left corner of a code's cell in the bitmap (codes 32 … 157).
    QPoint CellOrigin(int code) const;
    // What the pixel (x, y) of a code's cell shows.
    TMMLEDPixel PixelAt(int code, int x, int y) const;

    // The cell that shows a character (a Unicode code point; the Latin-1
    // range is what the read-outs know): 32 … 157 show their own cell,
    // a few accented letters and ± borrow the cells 135 … 150, everything
    // else shows a blank cell.
    static int CellCodeOf(uint32_t ch);

private:
    QImage bitmap_;
    int glyphWidth_ = 0;
    int glyphHeight_ = 0;
    std::vector<TMMLEDPixel> pixels_;  // classified bitmap, row by row
};

}  // namespace zt
