#include "mixer/ui/Wheel.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace zt {

namespace {

// Ticks are drawn this wide (device-independent pixels): a 1-pixel line
// at an angle turns grey under antialiasing at 100 %, which reads badly
// on the dark panel. The long ticks are bolder, and at 2 pixels the one at
// the top of a knob of even size fills the two middle columns exactly.
constexpr double kLongTickWidth = 2.0;
constexpr double kShortTickWidth = 1.5;

// The handle of a knob that cannot be turned.
const QColor kDisabledHandle(0x80, 0x80, 0x80);

QPointF OnCircle(QPointF centre, double angle, double r) {
    const double a = angle * std::numbers::pi / 180.0;
    return {centre.x() + std::cos(a) * r, centre.y() - std::sin(a) * r};
}

}  // namespace

TMMCustomWheel::TMMCustomWheel(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    // The panel shows through around the face.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
}

TMMCustomWheel::~TMMCustomWheel() = default;

void TMMCustomWheel::SetValue(int v) {
    v = wheel::ClampValue(v, minimum_, maximum_);
    if (v == value_) return;
    value_ = v;
    update();
    Change();
}

void TMMCustomWheel::SetMinMax(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    const int clamped = wheel::ClampValue(value_, minimum_, maximum_);
    update();  // the handle's angle depends on the range
    if (clamped != value_) {
        value_ = clamped;
        Change();
    }
}

void TMMCustomWheel::Change() {
    emit changed();
}

void TMMCustomWheel::SetAutoSize(bool on) {
    if (on == autoSize_) return;
    autoSize_ = on;
    if (!autoSize_) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    ApplyAutoSize();
}

void TMMCustomWheel::SetBackBmp(const QImage& picture) {
    backBmp_ = picture;
    backPicture_ = QImage();
    if (!picture.isNull()) {
        backPicture_ = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!picture.hasAlphaChannel()) {
            // An opaque picture marks its background with the colour of its
            // lower-left pixel.
            const QRgb key = picture.pixel(0, picture.height() - 1);
            for (int y = 0; y < backPicture_.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(backPicture_.scanLine(y));
                for (int x = 0; x < backPicture_.width(); ++x)
                    if ((line[x] | 0xFF000000u) == (key | 0xFF000000u)) line[x] = 0;
            }
        }
        backPicture_.setDevicePixelRatio(picture.devicePixelRatio());
    }
    ApplyAutoSize();
    update();
}

void TMMCustomWheel::SetBuiltInFace(WheelFace face) {
    if (face == face_) return;
    face_ = face;
    faceCache_ = QImage();
    update();
}

void TMMCustomWheel::SetStartAngle(int degrees) {
    startAngle_ = std::clamp(degrees, 0, 360);
    update();
}

void TMMCustomWheel::SetEndAngle(int degrees) {
    endAngle_ = std::clamp(degrees, 0, 360);
    update();
}

void TMMCustomWheel::SetHandleColor(const QColor& colour) {
    handleColor_ = colour;
    update();
}

void TMMCustomWheel::SetFocusedColor(const QColor& colour) {
    focusedColor_ = colour;
    update();
}

void TMMCustomWheel::SetFocusAction(TMMFocusAction action) {
    focusAction_ = action;
    update();
}

void TMMCustomWheel::SetUpDown(bool on) {
    upDown_ = on;
}

void TMMCustomWheel::SetScrollSize(int pixels) {
    scrollSize_ = std::max(1, pixels);
}

void TMMCustomWheel::SetLineStep(int step) {
    lineStep_ = step;
}

void TMMCustomWheel::SetPageStep(int step) {
    pageStep_ = step;
}

void TMMCustomWheel::SetScale(const TMMScale& scale) {
    scale_ = scale;
    scale_.TickCount = std::max(0, scale_.TickCount);
    scale_.EnlargeEvery = std::max(0, scale_.EnlargeEvery);
    scale_.Size = std::max(0, scale_.Size);
    update();
}

void TMMCustomWheel::SetRadius(int pixels) {
    radius_ = std::max(0, pixels);
    update();
}

void TMMCustomWheel::SetHandleStyle(TMMHandleStyle style) {
    handleStyle_ = style;
    update();
}

void TMMCustomWheel::SetOnDrawHandle(DrawHandleFn draw) {
    onDrawHandle_ = std::move(draw);
    update();
}

void TMMCustomWheel::SetHandleSize(int pixels) {
    handleSize_ = std::max(0, pixels);
    update();
}

void TMMCustomWheel::SetHandleMargin(int pixels) {
    handleMargin_ = std::max(0, pixels);
    update();
}

void TMMCustomWheel::SetFrameSpace(int pixels) {
    frameSpace_ = std::max(0, pixels);
    update();
}

void TMMCustomWheel::SetScaleMargin(int pixels) {
    scaleMargin_ = std::max(0, pixels);
    update();
}

QRect TMMCustomWheel::PictureRect() const {
    const int inset = frameSpace_ + (scale_.Visible ? scale_.Size + scaleMargin_ : 0);
    return rect().adjusted(inset, inset, -inset, -inset);
}

int TMMCustomWheel::HandleRadius() const {
    if (radius_ > 0) return radius_;
    const QRect picture = PictureRect();
    const int side = std::min(picture.width(), picture.height());
    return std::max(0, side / 2 - handleMargin_ - handleSize_ / 2);
}

int TMMCustomWheel::HandleAngle() const {
    return wheel::HandleAngle(value_, minimum_, maximum_, startAngle_, endAngle_);
}

QPoint TMMCustomWheel::HandleCentre() const {
    return wheel::HandleCentre(size(), HandleAngle(), HandleRadius());
}

bool TMMCustomWheel::FocusShowsOnHandle() const {
    return hasFocus() &&
           (focusAction_ == TMMFocusAction::faHandleColor || focusAction_ == TMMFocusAction::faAll);
}

bool TMMCustomWheel::FocusShowsAsFrame() const {
    return hasFocus() &&
           (focusAction_ == TMMFocusAction::faFrameRect || focusAction_ == TMMFocusAction::faAll);
}

QColor TMMCustomWheel::CurrentHandleColor() const {
    if (!isEnabled()) return kDisabledHandle;
    return FocusShowsOnHandle() ? focusedColor_ : handleColor_;
}

QSize TMMCustomWheel::PictureSize() const {
    if (backBmp_.isNull()) return kWheelFaceSize;
    return backBmp_.deviceIndependentSize().toSize();
}

QSize TMMCustomWheel::sizeHint() const {
    return PictureSize();
}

void TMMCustomWheel::ApplyAutoSize() {
    if (!autoSize_) return;
    setFixedSize(PictureSize());
    updateGeometry();
}

// ---- input -------------------------------------------------------------

void TMMCustomWheel::SetFromPointer(QPointF position) {
    if (upDown_) {
        SetValue(wheel::ValueAfterDrag(valueAtPress_, pressY_, int(std::floor(position.y())),
                                       minimum_, maximum_, scrollSize_));
        return;
    }
    // The handle's centre is counted from the middle pixel, halves rounded
    // down; the pointer's direction is taken from the same point.
    const QPointF centre(width() / 2, height() / 2);
    if (const std::optional<int> v =
            wheel::ValueAtPoint(position, centre, startAngle_, endAngle_, minimum_, maximum_))
        SetValue(*v);
}

void TMMCustomWheel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    tracking_ = true;
    pressY_ = int(std::floor(event->position().y()));
    valueAtPress_ = value_;
    SetFromPointer(event->position());
    event->accept();
}

void TMMCustomWheel::mouseMoveEvent(QMouseEvent* event) {
    if (!tracking_ || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    SetFromPointer(event->position());
    event->accept();
}

void TMMCustomWheel::mouseReleaseEvent(QMouseEvent* event) {
    if (!tracking_ || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    SetFromPointer(event->position());
    tracking_ = false;
    event->accept();
}

void TMMCustomWheel::keyPressEvent(QKeyEvent* event) {
    const std::optional<int> v =
        wheel::ValueAfterKey(event->key(), value_, minimum_, maximum_, lineStep_, pageStep_);
    if (!v) {
        QWidget::keyPressEvent(event);
        return;
    }
    SetValue(*v);
    event->accept();
}

void TMMCustomWheel::wheelEvent(QWheelEvent* event) {
    // Turning the mouse wheel away from the operator (up) turns the knob
    // up: one LineStep per notch of 120 eighths of a degree.
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    wheelRemainder_ += delta;
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    if (notches != 0) SetValue(wheel::ClampValue(value_ + notches * lineStep_, minimum_, maximum_));
    event->accept();
}

void TMMCustomWheel::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TMMCustomWheel::focusOutEvent(QFocusEvent* event) {
    tracking_ = false;
    update();
    QWidget::focusOutEvent(event);
}

// ---- drawing -----------------------------------------------------------

void TMMCustomWheel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    DrawPicture(painter);
    if (scale_.Visible) DrawScale(painter);
    if (FocusShowsAsFrame()) DrawFocusRect(painter);
    DrawHandle(painter);
}

void TMMCustomWheel::DrawPicture(QPainter& painter) {
    const QRect target = PictureRect();
    if (target.isEmpty()) return;
    if (!backPicture_.isNull()) {
        painter.drawImage(QRectF(target), backPicture_);
        return;
    }
    // The built-in face is drawn for the device pixels it covers (twice as
    // many each way at 200 %), so it is never scaled up. Where the scale
    // shows depends on the target: the backing store of a high-DPI screen
    // reports its pixel ratio, a painter on a larger image carries it in
    // its transform; the larger of the two counts (never both).
    const QRectF onDevice = painter.deviceTransform().mapRect(QRectF(target));
    const qreal logicalSide = std::max(target.width(), target.height());
    const qreal deviceSide = std::max(
        {onDevice.width(), onDevice.height(), logicalSide * painter.device()->devicePixelRatioF()});
    const int side = std::max(1, int(std::ceil(deviceSide - 1e-6)));
    if (faceCache_.isNull() || faceCache_.width() != side || faceCacheKind_ != face_) {
        faceCache_ = DrawWheelFace(face_, side);
        faceCacheKind_ = face_;
    }
    painter.drawImage(QRectF(target), faceCache_);
}

void TMMCustomWheel::DrawScale(QPainter& painter) {
    const QRectF area =
        QRectF(rect()).adjusted(frameSpace_, frameSpace_, -frameSpace_, -frameSpace_);
    if (area.isEmpty()) return;
    const QPointF centre = area.center();
    const double r = std::min(area.width(), area.height()) / 2.0;
    const std::vector<wheel::ScaleTick> ticks =
        wheel::ScaleTicks(scale_.TickCount, scale_.EnlargeEvery, scale_.Size, scale_.Origin,
                          startAngle_, endAngle_, r);

    // The arc joins the ticks at the end they all share.
    const double arcRadius = scale_.Origin == TMMScaleOrigin::soInner ? r - scale_.Size : r;
    const double sweep = ticks.size() > 1 ? ticks.front().angle - ticks.back().angle : 0.0;

    auto drawIn = [&](const QColor& colour, QPointF offset) {
        painter.setBrush(Qt::NoBrush);
        for (const wheel::ScaleTick& t : ticks) {
            painter.setPen(QPen(colour, t.large ? kLongTickWidth : kShortTickWidth, Qt::SolidLine,
                                Qt::FlatCap));
            painter.drawLine(OnCircle(centre, t.angle, t.inner) + offset,
                             OnCircle(centre, t.angle, t.outer) + offset);
        }
        if (scale_.Connect && sweep != 0.0) {
            // Qt counts arc angles the same way (counter-clockwise from
            // three o'clock) in sixteenths of a degree; a negative sweep
            // runs clockwise.
            const QRectF box(centre.x() - arcRadius + offset.x(),
                             centre.y() - arcRadius + offset.y(), 2 * arcRadius, 2 * arcRadius);
            painter.setPen(QPen(colour, kShortTickWidth));
            painter.drawArc(box, int(std::lround(ticks.front().angle * 16)),
                            -int(std::lround(sweep * 16)));
        }
    };

    const QColor light = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    switch (scale_.Style) {
        case TMMScaleStyle::stColor:
            drawIn(scale_.Color, {});
            break;
        case TMMScaleStyle::stLowered:
            // Cut into the panel: the light edge below right, the groove above.
            drawIn(light, {1, 1});
            drawIn(shadow, {});
            break;
        case TMMScaleStyle::stRaised:
            drawIn(shadow, {1, 1});
            drawIn(light, {});
            break;
    }
}

void TMMCustomWheel::DrawFocusRect(QPainter& painter) {
    // Drawn as the inverse of what lies under it, so that it shows on a
    // light window and on the dark panel alike.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.setPen(QPen(Qt::white, 0, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.restore();
}

void TMMCustomWheel::DrawHandle(QPainter& painter) {
    const QPoint c = HandleCentre();
    const QRect handleRect(c.x() - handleSize_ / 2, c.y() - handleSize_ / 2, handleSize_,
                           handleSize_);
    if (handleStyle_ == TMMHandleStyle::hsOwnerDraw) {
        if (onDrawHandle_) {
            painter.save();
            onDrawHandle_(*this, painter, handleRect);
            painter.restore();
        }
        return;
    }
    if (handleSize_ <= 0) return;
    // Centred on the handle's point itself (the corner shared by the
    // four middle pixels of a knob of even size), so that the dot sits
    // symmetrically with the face at every angle.
    const double d = handleSize_;
    painter.setPen(Qt::NoPen);
    painter.setBrush(CurrentHandleColor());
    painter.drawEllipse(QRectF(c.x() - d / 2, c.y() - d / 2, d, d));
}

}  // namespace zt
