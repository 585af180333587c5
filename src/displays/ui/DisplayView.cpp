#include "displays/ui/DisplayView.h"

#include <QMouseEvent>
#include <QPainter>

#include "displays/FrameClock.h"
#include "platform/ErrorDisplay.h"

namespace zt {

namespace {
TMMMouseButton ButtonOf(Qt::MouseButton b) {
    if (b == Qt::RightButton) return TMMMouseButton::mbRight;
    if (b == Qt::MiddleButton) return TMMMouseButton::mbMiddle;
    return TMMMouseButton::mbLeft;
}
}  // namespace

int TMMDisplayView::WaitingViews() {
    return FrameClock::Get().WaitingPaints();
}

void TMMDisplayView::RequestFrame() {
    // A second request before the frame changes nothing.
    FrameClock::Get().RequestPaint(this, [this] { update(); });
}

TMMDisplayView::TMMDisplayView(TMMGraphicControl& control, QWidget* parent)
    : QWidget(parent), control_(control) {
    // The image covers the whole widget: Qt need not clear behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(control_.Width(), control_.Height());
    control_.OnInvalidate = [this] { RequestFrame(); };
    control_.SetVisible(false);
}

TMMDisplayView::~TMMDisplayView() {
    FrameClock::Get().CancelPaint(this);
    control_.OnInvalidate = nullptr;
    control_.SetVisible(false);
}

QSize TMMDisplayView::sizeHint() const {
    return {control_.Width(), control_.Height()};
}

void TMMDisplayView::paintEvent(QPaintEvent*) {
    Guarded([&] {
        QPainter painter(this);
        painter.drawImage(0, 0, control_.Image());
    });
}

void TMMDisplayView::resizeEvent(QResizeEvent*) {
    Guarded([&] { control_.SetBounds(width(), height()); });
}

void TMMDisplayView::showEvent(QShowEvent*) {
    Guarded([&] { control_.SetVisible(true); });
}

void TMMDisplayView::hideEvent(QHideEvent*) {
    Guarded([&] { control_.SetVisible(false); });
}

void TMMDisplayView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) pressed_ = true;
    const QPoint p = e->position().toPoint();
    Guarded([&] { control_.MouseDown(ButtonOf(e->button()), p.x(), p.y()); });
}

void TMMDisplayView::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    Guarded([&] { control_.MouseMove(p.x(), p.y()); });
}

void TMMDisplayView::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(p);
    if (e->button() == Qt::LeftButton) pressed_ = false;
    Guarded([&] {
        control_.MouseUp(ButtonOf(e->button()), p.x(), p.y());
        if (click && control_.OnClick) control_.OnClick();
    });
}

}  // namespace zt
