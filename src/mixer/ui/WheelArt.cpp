#include "mixer/ui/WheelArt.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <string>

#include "mixer/ui/Wheel.h"
#include "platform/Exceptions.h"

namespace zt {

namespace {

// The accent ring's colour, or an invalid colour for none.
QColor AccentOf(WheelFace kind) {
    switch (kind) {
        case WheelFace::Recording:
            return QColor(0xD8, 0x28, 0x20);
        case WheelFace::Monitor:
            return QColor(0x2C, 0xC0, 0x48);
        case WheelFace::Default:
            break;
    }
    return {};
}

QRectF Around(QPointF c, double r) {
    return {c.x() - r, c.y() - r, 2 * r, 2 * r};
}

// A ring between two radii.
QPainterPath Ring(QPointF c, double inner, double outer) {
    QPainterPath path;
    path.addEllipse(Around(c, outer));
    path.addEllipse(Around(c, inner));
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

}  // namespace

QImage DrawWheelFace(WheelFace kind, int side) {
    if (side < 1)
        throw Exception("A knob face needs at least one pixel, not " + std::to_string(side));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    // Everything is measured in parts of the side, so any size draws the
    // same knob.
    const double s = side;
    const QPointF c(s / 2, s / 2);
    const double R = s / 2;
    const QPointF topLeft(0, 0);
    const QPointF bottomRight(s, s);

    // A soft shadow on the panel, below and right of the knob.
    {
        const QPointF sc = c + QPointF(0.02 * s, 0.03 * s);
        QRadialGradient shadow(sc, 0.99 * R);
        shadow.setColorAt(0.86, QColor(0, 0, 0, 150));
        shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
        p.setBrush(shadow);
        p.drawEllipse(Around(sc, 0.99 * R));
    }

    // The bezel: dark, a little lighter where the light falls.
    const double bezel = 0.97 * R;
    {
        QLinearGradient g(topLeft, bottomRight);
        g.setColorAt(0.0, QColor(0x5A, 0x5A, 0x60));
        g.setColorAt(0.5, QColor(0x2A, 0x2A, 0x2E));
        g.setColorAt(1.0, QColor(0x0E, 0x0E, 0x10));
        p.setBrush(g);
        p.drawEllipse(Around(c, bezel));
        // Its outer edge catches the light at the top left.
        QLinearGradient rim(topLeft, bottomRight);
        rim.setColorAt(0.0, QColor(255, 255, 255, 110));
        rim.setColorAt(0.5, QColor(255, 255, 255, 0));
        rim.setColorAt(1.0, QColor(0, 0, 0, 120));
        p.setBrush(rim);
        p.drawPath(Ring(c, bezel - 0.025 * s, bezel));
    }

    // The accent ring that tells the knobs apart.
    // The cap is wide: the handle dot sits on it, close to its edge.
    const double cap = 0.86 * R;
    if (const QColor accent = AccentOf(kind); accent.isValid()) {
        QLinearGradient g(topLeft, bottomRight);
        g.setColorAt(0.0, accent.lighter(150));
        g.setColorAt(1.0, accent.darker(140));
        p.setBrush(g);
        p.drawPath(Ring(c, cap + 0.005 * s, 0.935 * R));
    }

    // The cap's shadow on the bezel, then the cap: brushed aluminium, its
    // circular grain reflecting light in a cross, lit from the top left.
    {
        QRadialGradient drop(c + QPointF(0.015 * s, 0.02 * s), cap + 0.02 * s);
        drop.setColorAt(0.85, QColor(0, 0, 0, 170));
        drop.setColorAt(1.0, QColor(0, 0, 0, 0));
        p.setBrush(drop);
        p.drawEllipse(Around(c + QPointF(0.015 * s, 0.02 * s), cap + 0.02 * s));
    }
    {
        // Conical angles run counter-clockwise from three o'clock; the
        // bright sectors face the light (top left) and the opposite side.
        QConicalGradient grain(c, 0);
        const QColor bright(0xEE, 0xEE, 0xF0);
        const QColor dull(0x86, 0x88, 0x8C);
        const QColor mid(0xB4, 0xB6, 0xBA);
        grain.setColorAt(0.000, mid);
        grain.setColorAt(0.125, dull);
        grain.setColorAt(0.250, mid);
        grain.setColorAt(0.375, bright);
        grain.setColorAt(0.500, mid);
        grain.setColorAt(0.625, dull);
        grain.setColorAt(0.750, mid);
        grain.setColorAt(0.875, QColor(0xD0, 0xD2, 0xD6));
        grain.setColorAt(1.000, mid);
        p.setBrush(grain);
        p.drawEllipse(Around(c, cap));

        // The light falls from the top left over the whole cap.
        QLinearGradient light(c + QPointF(-cap, -cap), c + QPointF(cap, cap));
        light.setColorAt(0.0, QColor(255, 255, 255, 70));
        light.setColorAt(0.5, QColor(255, 255, 255, 0));
        light.setColorAt(1.0, QColor(0, 0, 0, 80));
        p.setBrush(light);
        p.drawEllipse(Around(c, cap));
    }

    // The circular grain itself, where there are pixels enough to show it.
    if (s >= 60) {
        const double step = std::max(1.5, s / 70.0);
        p.setBrush(Qt::NoBrush);
        int n = 0;
        for (double r = step; r < cap - step; r += step, ++n) {
            p.setPen(QPen(n % 2 ? QColor(255, 255, 255, 14) : QColor(0, 0, 0, 14), s / 200.0));
            p.drawEllipse(Around(c, r));
        }
        p.setPen(Qt::NoPen);
    }

    // The cap's chamfered edge: light at the top left, dark at the bottom
    // right, and a thin dark line where it meets the bezel.
    {
        QLinearGradient edge(c + QPointF(-cap, -cap), c + QPointF(cap, cap));
        edge.setColorAt(0.0, QColor(255, 255, 255, 200));
        edge.setColorAt(0.45, QColor(255, 255, 255, 40));
        edge.setColorAt(0.55, QColor(0, 0, 0, 40));
        edge.setColorAt(1.0, QColor(0, 0, 0, 170));
        p.setBrush(edge);
        p.drawPath(Ring(c, cap - 0.03 * s, cap));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0x10, 0x10, 0x12, 200), std::max(0.6, s / 110.0)));
        p.drawEllipse(Around(c, cap));
        p.setPen(Qt::NoPen);
    }

    // A soft gleam on the top left of the cap.
    {
        const QPointF g = c + QPointF(-0.32 * cap, -0.38 * cap);
        QRadialGradient gleam(g, 0.55 * cap);
        gleam.setColorAt(0.0, QColor(255, 255, 255, 95));
        gleam.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setBrush(gleam);
        p.setClipPath([&] {
            QPainterPath clip;
            clip.addEllipse(Around(c, cap - 0.03 * s));
            return clip;
        }());
        p.drawEllipse(Around(g, 0.55 * cap));
    }
    p.end();
    return image;
}

void ApplyPanelKnobStyle(TMMCustomWheel& wheel, WheelFace face) {
    wheel.SetBackBmp(QImage());
    wheel.SetBuiltInFace(face);
    TMMScale scale;
    scale.Visible = true;
    scale.Color = QColor(0xFF, 0xFF, 0xFF);
    scale.Style = TMMScaleStyle::stColor;
    scale.TickCount = 11;
    scale.EnlargeEvery = 5;
    scale.Size = 7;
    scale.Origin = TMMScaleOrigin::soInner;
    scale.Connect = false;
    wheel.SetScale(scale);
    wheel.SetRadius(11);
    wheel.SetHandleSize(5);
    wheel.SetHandleMargin(5);
    wheel.SetFrameSpace(0);
    wheel.SetAutoSize(true);
    wheel.resize(kWheelFaceSize);
}

}  // namespace zt
