#pragma once
// The face's picture controls: TSkinImage, a picture in a box (the record
// and stop images) that reports the mouse, and TPicturePair, the hidden
// holder of a control's two pictures (normal and pressed) that the window
// swaps into the image.
//
// Threads: main thread only, like every widget.

#include <QIcon>
#include <QWidget>

#include <functional>
#include "app/skin/MouseReports.h"

namespace zt {

// Draws its picture (both scales, app/skin/SkinArt.h's SkinIcon) at its
// top-left, at the picture's 1x size, with a hand cursor. The mouse is
// reported, not acted on: OnMouseDown / OnMouseUp (any button),
// OnMouseMove (tracking is on) and OnClick (a left press and its release
// over the image); every callback runs guarded.
class TSkinImage : public QWidget, public TMouseReports {
    Q_OBJECT

public:
    explicit TSkinImage(QWidget* parent = nullptr);

    const QIcon& Picture() const { return picture_; }
    void SetPicture(const QIcon& picture);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QIcon picture_;
};

// Never shown: it only keeps the two pictures of a control.
class TPicturePair : public QWidget {
    Q_OBJECT

public:
    TPicturePair(const QIcon& normal, const QIcon& pressed, QWidget* parent = nullptr);

    const QIcon& Normal() const { return normal_; }
    const QIcon& Pressed() const { return pressed_; }

private:
    QIcon normal_;
    QIcon pressed_;
};

}  // namespace zt
