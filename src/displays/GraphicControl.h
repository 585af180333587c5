#pragma once
// Base of every drawn control of the main window (meters, scale, LED
// read-outs, gauge, oscilloscope, spectrum).
//
// A control keeps its state and draws itself into an image of its own
// size; it knows nothing of widgets. On screen a TMMDisplayView
// (displays/ui/DisplayView.h) shows the image and forwards size,
// visibility and mouse events. Tests and benchmarks use a control
// without any widget: set the size, feed it, read Image().
//
// Drawing is split in two on purpose. State follows every call at once
// (a meter measures every update window it is given). The picture is
// brought up to date only when someone looks at it: Invalidate() marks it
// stale and calls OnInvalidate (the view answers with QWidget::update(),
// which Qt coalesces to the screen's refresh); Image() then runs Render()
// once. So hundreds of updates per second cost one drawing per frame.
// A control whose picture depends on every update (a scrolling
// spectrum) draws in its update and keeps the image current itself.
//
// Threads: everything here runs on the main thread.

#include <QColor>
#include <QImage>
#include <functional>

namespace zt {

// Colours are stored as 0x00BBGGRR (red in the low byte), as the
// recorder's form values are written.
using TColor = uint32_t;
inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000,
                        clOlive = 0x008080, clNavy = 0x800000, clPurple = 0x800080,
                        clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF,
                        clLime = 0x00FF00, clYellow = 0x00FFFF, clBlue = 0xFF0000,
                        clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
inline QColor ToQColor(TColor c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
inline QRgb ToQRgb(TColor c) {
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

enum class TMMMouseButton { mbLeft, mbRight, mbMiddle };

class TMMGraphicControl {
public:
    TMMGraphicControl(int width, int height);
    TMMGraphicControl(const TMMGraphicControl&) = delete;
    TMMGraphicControl& operator=(const TMMGraphicControl&) = delete;
    virtual ~TMMGraphicControl() = default;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // A change of size calls Resized() and invalidates.
    void SetBounds(int width, int height);

    // Controls that are not shown do not measure (the displays' rule).
    bool Visible() const { return visible_; }
    void SetVisible(bool value);

    // The up-to-date picture (renders first when stale).
    const QImage& Image();
    bool Stale() const { return stale_; }

    // Called when the picture goes stale; the view schedules a repaint.
    std::function<void()> OnInvalidate;
    // A click (button pressed and released over the control).
    std::function<void()> OnClick;

    // Mouse events in control coordinates; the default does nothing.
    virtual void MouseDown(TMMMouseButton, int /*x*/, int /*y*/) {}
    virtual void MouseMove(int /*x*/, int /*y*/) {}
    virtual void MouseUp(TMMMouseButton, int /*x*/, int /*y*/) {}

protected:
    // Marks the picture stale and tells the view.
    void Invalidate();
    // Draws the whole picture into image() (already of the control's size).
    virtual void Render(QImage& image) = 0;
    // After a change of size; recompute geometry here.
    virtual void Resized() {}
    virtual void VisibleChanged() {}
    // The image itself, for controls that draw as they go (sized to the
    // control); call ImageChanged() after drawing into it.
    QImage& CurrentImage();
    // The image was drawn in place and is current: tell the view.
    void ImageChanged();

private:
    int width_;
    int height_;
    bool visible_ = true;
    bool stale_ = true;
    QImage image_;
};

}  // namespace zt
