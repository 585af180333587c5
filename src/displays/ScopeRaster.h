#pragma once
// Direct pixel drawing into a Format_RGB32 QImage for the oscilloscope and
// the analyser. They redraw hundreds of columns per frame; writing the
// pixels through one pointer to the image's bits is far cheaper than a
// QPainter, or than a scanLine() call (a detach check) per line.
// Every function clips to the image, so callers may pass rows or columns
// outside it.
//
// Threads: whoever owns the image (the main thread).

#include <QImage>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace zt::scoperaster {

// The pixels of one image, taken once per picture (the image must stay
// alive and unshared while the canvas is used).
class Canvas {
public:
    explicit Canvas(QImage& image)
        : bits_(reinterpret_cast<QRgb*>(image.bits())),
          stride_(image.bytesPerLine() / qsizetype(sizeof(QRgb))),
          width_(image.width()),
          height_(image.height()) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    QRgb* Row(int y) const { return bits_ + y * stride_; }

private:
    QRgb* bits_;
    qsizetype stride_;
    int width_, height_;
};

inline void Fill(const Canvas& c, QRgb colour) {
    for (int y = 0; y < c.Height(); ++y) std::fill(c.Row(y), c.Row(y) + c.Width(), colour);
}

inline void Pixel(const Canvas& c, int x, int y, QRgb colour) {
    if (x < 0 || y < 0 || x >= c.Width() || y >= c.Height()) return;
    c.Row(y)[x] = colour;
}

// Columns x0..x1 of row y (inclusive, either order). With `dotted` only
// the pixels whose x + y is even (a checkerboard over the whole image).
inline void HLine(const Canvas& c, int x0, int x1, int y, QRgb colour, bool dotted = false) {
    if (y < 0 || y >= c.Height()) return;
    if (x0 > x1) std::swap(x0, x1);
    x0 = std::max(x0, 0);
    x1 = std::min(x1, c.Width() - 1);
    QRgb* row = c.Row(y);
    if (!dotted) {
        for (int x = x0; x <= x1; ++x) row[x] = colour;
        return;
    }
    for (int x = x0 + ((x0 + y) & 1); x <= x1; x += 2) row[x] = colour;
}

// Rows y0..y1 of column x (inclusive, either order).
inline void VLine(const Canvas& c, int x, int y0, int y1, QRgb colour) {
    if (x < 0 || x >= c.Width()) return;
    if (y0 > y1) std::swap(y0, y1);
    y0 = std::max(y0, 0);
    y1 = std::min(y1, c.Height() - 1);
    for (int y = y0; y <= y1; ++y) c.Row(y)[x] = colour;
}

// The points of a straight line from (x0, y0) to (x1, y1), both ends
// included (Bresenham), each handed to plot(x, y).
template <typename Plot>
void LinePoints(int x0, int y0, int x1, int y1, Plot&& plot) {
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        plot(x0, y0);
        if (x0 == x1 && y0 == y1) return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

// A straight line from (x0, y0) to (x1, y1), both ends drawn.
inline void Line(const Canvas& c, int x0, int y0, int x1, int y1, QRgb colour) {
    LinePoints(x0, y0, x1, y1, [&](int x, int y) { Pixel(c, x, y, colour); });
}

}  // namespace zt::scoperaster
