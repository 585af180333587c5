#include "app/skin/Skin.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <cmath>

#include "app/skin/SkinArt.h"
#include "app/skin/SkinRegion.h"
#include "platform/ErrorDisplay.h"

namespace zt {
namespace {

// The picture as drawn: the key colour (its top-left pixel) transparent.
QImage WithoutKey(const QImage& picture) {
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) return image;
    const QRgb key = image.pixel(0, 0) & RGB_MASK;
    for (int y = 0; y < image.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((row[x] & RGB_MASK) == key) row[x] = 0;
    }
    return image;
}

}  // namespace

TSkin::TSkin(QWidget* parent) : QWidget(parent) {
    moveHook_ = [](QWindow* window) { return window && window->startSystemMove(); };
    setMouseTracking(true);
    SetPicture(SkinFaceImage(), SkinImage("skin", 2));
}

// The window keeps its shape when the skin goes: the skin usually goes
// with its window, whose flags must not be touched while it is destroyed.
TSkin::~TSkin() = default;

void TSkin::SetPicture(const QImage& picture, const QImage& twice) {
    picture_ = picture;
    drawn_ = QIcon();
    if (!picture.isNull()) drawn_.addPixmap(QPixmap::fromImage(WithoutKey(picture)));
    if (!twice.isNull()) drawn_.addPixmap(QPixmap::fromImage(WithoutKey(twice)));
    setFixedSize(picture.size());
    update();
    ApplyShape();
}

void TSkin::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active_)
        ApplyShape();
    else
        RemoveShape();
}

void TSkin::SetMoveHook(MoveHook hook) {
    moveHook_ = std::move(hook);
}

QRegion TSkin::WindowRegion() const {
    return SkinRegion(picture_, mapTo(window(), QPoint(0, 0)));
}

QSize TSkin::sizeHint() const {
    return picture_.size();
}

void TSkin::ApplyShape() {
    if (!active_) return;
    QWidget* top = window();
    if (shaped_ && shaped_ != top) RemoveShape();
    if (!shaped_) {
        shaped_ = top;
        flagsBefore_ = top->windowFlags();
    }
    if (!top->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        // Changing a window's flags hides it (Qt makes a new native window).
        const bool visible = top->isVisible();
        top->setWindowFlags(top->windowFlags() | Qt::FramelessWindowHint);
        if (visible) top->show();
    }
    top->setMask(WindowRegion());
}

void TSkin::RemoveShape() {
    QWidget* top = shaped_;
    const std::optional<Qt::WindowFlags> before = flagsBefore_;
    shaped_ = nullptr;
    flagsBefore_.reset();
    if (!top) return;
    top->clearMask();
    // Only the frame comes back: the window may have become a child
    // widget since (its type is no longer what it was).
    const bool framelessBefore = before && before->testFlag(Qt::FramelessWindowHint);
    if (!framelessBefore && top->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        const bool visible = top->isVisible();
        top->setWindowFlags(top->windowFlags() & ~Qt::FramelessWindowHint);
        if (visible && top->isWindow()) top->show();
    }
}

bool TSkin::StartsMove(QPoint position) const {
    if (alwaysMove_) return true;
    if (!picture_.valid(position)) return false;
    return (picture_.pixel(position) & RGB_MASK) == (captionColor_.rgb() & RGB_MASK);
}

bool TSkin::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::ParentChange:
        case QEvent::Show:
            // A new place in the window, or a new window: the shape follows.
            if (active_) Guarded([this] { ApplyShape(); });
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void TSkin::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawSkinIcon(painter, QRect(QPoint(0, 0), picture_.size()), drawn_);
}

void TSkin::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !active_) return;
    const QPoint pixel(int(std::floor(event->position().x())),
                       int(std::floor(event->position().y())));
    if (!StartsMove(pixel)) return;
    Guarded([this] {
        QWindow* handle = window()->windowHandle();
        // A refusal (no window manager to ask) leaves the window in place.
        if (handle && moveHook_) moveHook_(handle);
    });
}

void TSkin::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (OnMouseMove) Guarded([this] { OnMouseMove(); });
}

}  // namespace zt
