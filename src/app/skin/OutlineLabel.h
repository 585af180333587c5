#pragma once
// A caption drawn centred in its box in a bold font of a given pixel size
// (13 px by default; Arial, or the sans-serif face the system puts in its
// place), with a shadow and, optionally, an outline:
//   OutlineWidth 0: the shadow (ShadowColor, one pixel right and down) and
//                   the text (TextColor) over it;
//   OutlineWidth 1: the text ringed by a one-pixel outline (OutlineColor,
//                   the glyphs drawn at the eight neighbouring offsets)
//                   with the shadow one pixel beyond the outline.
// Colours: TextColor [black], OutlineColor [white], ShadowColor [black].
//
// The mouse is reported, not acted on: OnMouseDown / OnMouseUp (any
// button), OnMouseMove (tracking is on: no button need be held) and
// OnClick (a left press and its release over the caption). Every callback
// runs guarded. The text is the "text" property, so a translation's
// "Caption" reaches it.
//
// Threads: main thread only, like every widget.

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>
#include "app/skin/MouseReports.h"

namespace zt {

class TOutlineLabel : public QWidget, public TMouseReports {
    Q_OBJECT
    Q_PROPERTY(QString text READ Caption WRITE SetCaption)

public:
    explicit TOutlineLabel(QWidget* parent = nullptr);
    TOutlineLabel(const QString& caption, QWidget* parent);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    // Pixels [13].
    int FontSize() const { return fontSize_; }
    void SetFontSize(int pixels);
    // 0 or 1 (other values are clamped into that range) [0].
    int OutlineWidth() const { return outlineWidth_; }
    void SetOutlineWidth(int width);

    QColor TextColor() const { return textColor_; }
    void SetTextColor(const QColor& colour);
    QColor OutlineColor() const { return outlineColor_; }
    void SetOutlineColor(const QColor& colour);
    QColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(const QColor& colour);

    // The font the caption is drawn in now.
    QFont CaptionFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString caption_;
    int fontSize_ = 13;
    int outlineWidth_ = 0;
    QColor textColor_ = Qt::black;
    QColor outlineColor_ = Qt::white;
    QColor shadowColor_ = Qt::black;
};

}  // namespace zt
