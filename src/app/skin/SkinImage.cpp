#include "app/skin/SkinImage.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/skin/SkinArt.h"

namespace zt {

TSkinImage::TSkinImage(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
}

void TSkinImage::SetPicture(const QIcon& picture) {
    picture_ = picture;
    update();
}

void TSkinImage::paintEvent(QPaintEvent*) {
    const QList<QSize> sizes = picture_.availableSizes();
    if (sizes.isEmpty()) return;
    QSize logical = sizes.front();
    for (const QSize& s : sizes)
        if (s.width() < logical.width()) logical = s;
    QPainter painter(this);
    DrawSkinIcon(painter, QRect(QPoint(0, 0), logical), picture_);
}

void TSkinImage::mousePressEvent(QMouseEvent* event) {
    ReportPress(event);
}

void TSkinImage::mouseReleaseEvent(QMouseEvent* event) {
    ReportRelease(event, rect());
}

void TSkinImage::mouseMoveEvent(QMouseEvent* event) {
    ReportMove(event);
}

TPicturePair::TPicturePair(const QIcon& normal, const QIcon& pressed, QWidget* parent)
    : QWidget(parent), normal_(normal), pressed_(pressed) {
    hide();
}

}  // namespace zt
