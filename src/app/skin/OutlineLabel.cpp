#include "app/skin/OutlineLabel.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace zt {

TOutlineLabel::TOutlineLabel(QWidget* parent) : TOutlineLabel(QString(), parent) {}

TOutlineLabel::TOutlineLabel(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {
    // No background is filled: the face shows around the glyphs.
    setMouseTracking(true);
}

void TOutlineLabel::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TOutlineLabel::SetFontSize(int pixels) {
    fontSize_ = std::max(1, pixels);
    update();
}

void TOutlineLabel::SetOutlineWidth(int width) {
    outlineWidth_ = std::clamp(width, 0, 1);
    update();
}

void TOutlineLabel::SetTextColor(const QColor& colour) {
    textColor_ = colour;
    update();
}

void TOutlineLabel::SetOutlineColor(const QColor& colour) {
    outlineColor_ = colour;
    update();
}

void TOutlineLabel::SetShadowColor(const QColor& colour) {
    shadowColor_ = colour;
    update();
}

QFont TOutlineLabel::CaptionFont() const {
    QFont font;
    // Arial where it is installed; fontconfig's metric twin or the
    // system's sans-serif face elsewhere.
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(fontSize_);
    font.setBold(true);
    return font;
}

void TOutlineLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(CaptionFont());
    const QRect box = rect();
    const auto drawAt = [&](int dx, int dy, const QColor& colour) {
        painter.setPen(colour);
        painter.drawText(box.translated(dx, dy), Qt::AlignCenter, caption_);
    };
    const int w = outlineWidth_;
    drawAt(w + 1, w + 1, shadowColor_);
    for (int dy = -w; dy <= w; ++dy)
        for (int dx = -w; dx <= w; ++dx)
            if (dx != 0 || dy != 0) drawAt(dx, dy, outlineColor_);
    drawAt(0, 0, textColor_);
}

void TOutlineLabel::mousePressEvent(QMouseEvent* event) {
    ReportPress(event);
}

void TOutlineLabel::mouseReleaseEvent(QMouseEvent* event) {
    ReportRelease(event, rect());
}

void TOutlineLabel::mouseMoveEvent(QMouseEvent* event) {
    ReportMove(event);
}

}  // namespace zt
