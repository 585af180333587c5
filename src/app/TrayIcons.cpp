#include "app/TrayIcons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace zt {
namespace {

using Painter = std::function<void(QPainter&, double size)>;

QIcon Draw(const Painter& paint) {
    QIcon icon;
    for (int size : {16, 32}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        paint(p, size);
        p.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

const QColor kBadge(0x26, 0x2b, 0x33);
const QColor kRim(0x5b, 0x63, 0x70);
const QColor kDot(0xe0, 0x24, 0x24);

void Badge(QPainter& p, double s) {
    p.setPen(QPen(kRim, s / 16.0));
    p.setBrush(kBadge);
    const double m = s / 32.0;
    p.drawEllipse(QRectF(m, m, s - 2 * m, s - 2 * m));
}

void Dot(QPainter& p, double s) {
    p.setPen(Qt::NoPen);
    QRadialGradient glow(QPointF(s * 0.45, s * 0.45), s * 0.22);
    glow.setColorAt(0, kDot.lighter(150));
    glow.setColorAt(1, kDot);
    p.setBrush(glow);
    const double r = s * 0.18;
    p.drawEllipse(QPointF(s / 2, s / 2), r, r);
}

// A bright sector of the badge's ring, pointing at angle degrees (0 is up,
// turning clockwise), fading towards its trailing edge.
void Sector(QPainter& p, double s, int angle) {
    const double m = s / 8.0;
    const QRectF outer(m, m, s - 2 * m, s - 2 * m);
    // Qt's angles start at three o'clock and turn counter-clockwise.
    const double start = 90.0 - angle;
    QConicalGradient fade(QPointF(s / 2, s / 2), start);
    fade.setColorAt(0.0, QColor(0xff, 0xd2, 0x4a));
    fade.setColorAt(0.25, QColor(0xff, 0xd2, 0x4a, 0));
    fade.setColorAt(1.0, QColor(0xff, 0xd2, 0x4a, 0));
    QPainterPath path;
    path.moveTo(s / 2, s / 2);
    path.arcTo(outer, start, 90.0);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(fade);
    p.drawPath(path);
}

}  // namespace

QIcon MainIcon() {
    return Draw([](QPainter& p, double s) {
        Badge(p, s);
        Dot(p, s);
    });
}

QIcon FrameIcon(int n) {
    n = ((n - 1) % kTrayFrameCount + kTrayFrameCount) % kTrayFrameCount + 1;
    return Draw([n](QPainter& p, double s) {
        Badge(p, s);
        Sector(p, s, n * 45);
        Dot(p, s);
    });
}

QIcon AlarmIcon() {
    return Draw([](QPainter& p, double s) {
        Badge(p, s);
        QPainterPath sign;
        sign.moveTo(s * 0.5, s * 0.16);
        sign.lineTo(s * 0.84, s * 0.78);
        sign.lineTo(s * 0.16, s * 0.78);
        sign.closeSubpath();
        p.setPen(QPen(QColor(0x1a, 0x1a, 0x1a), s / 32.0));
        p.setBrush(QColor(0xff, 0xb0, 0x20));
        p.drawPath(sign);
        // The exclamation mark.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1a, 0x1a, 0x1a));
        p.drawRect(QRectF(s * 0.455, s * 0.36, s * 0.09, s * 0.24));
        p.drawEllipse(QPointF(s * 0.5, s * 0.68), s * 0.05, s * 0.05);
    });
}

QIcon MenuIcon(MenuImage which) {
    return Draw([which](QPainter& p, double s) {
        const double u = s / 16.0;
        p.setPen(Qt::NoPen);
        switch (which) {
            case MenuImage::Record:
                p.setBrush(kDot);
                p.drawEllipse(QPointF(s / 2, s / 2), 5 * u, 5 * u);
                break;
            case MenuImage::Stop:
                p.setBrush(kBadge);
                p.drawRect(QRectF(3.5 * u, 3.5 * u, 9 * u, 9 * u));
                break;
            case MenuImage::Restore:
                p.setPen(QPen(kBadge, 1.2 * u));
                p.setBrush(Qt::white);
                p.drawRect(QRectF(2.5 * u, 3.5 * u, 11 * u, 9 * u));
                p.setBrush(kBadge);
                p.drawRect(QRectF(2.5 * u, 3.5 * u, 11 * u, 2.5 * u));
                break;
            case MenuImage::Hide:
                p.setBrush(kBadge);
                p.drawRect(QRectF(3 * u, 10.5 * u, 10 * u, 2.5 * u));
                break;
            case MenuImage::Close:
                p.setPen(QPen(kDot, 2.2 * u, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(4 * u, 4 * u), QPointF(12 * u, 12 * u));
                p.drawLine(QPointF(12 * u, 4 * u), QPointF(4 * u, 12 * u));
                break;
        }
    });
}

}  // namespace zt
