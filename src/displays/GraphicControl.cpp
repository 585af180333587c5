#include "displays/GraphicControl.h"

#include <algorithm>

namespace zt {

TMMGraphicControl::TMMGraphicControl(int width, int height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)) {}

void TMMGraphicControl::SetBounds(int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    Resized();
    Invalidate();
}

void TMMGraphicControl::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    VisibleChanged();
    if (visible_) Invalidate();
}

void TMMGraphicControl::Invalidate() {
    const bool was = stale_;
    stale_ = true;
    if (!was && OnInvalidate) OnInvalidate();
}

QImage& TMMGraphicControl::CurrentImage() {
    if (image_.width() != width_ || image_.height() != height_)
        image_ = QImage(width_, height_, QImage::Format_RGB32);
    return image_;
}

void TMMGraphicControl::ImageChanged() {
    stale_ = false;
    if (OnInvalidate) OnInvalidate();
}

const QImage& TMMGraphicControl::Image() {
    if (stale_) {
        QImage& image = CurrentImage();
        // Clear first: a Render() that throws must not leave the flag set
        // and the view repainting in a loop.
        stale_ = false;
        Render(image);
    }
    return image_;
}

}  // namespace zt
