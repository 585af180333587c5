#pragma once
// The window's face: a picture at the top-left of the window, sized to it
// (399 x 363 for the built-in face), that gives the window its shape and
// lets the operator drag the window by it.
//
// Shape: while Active, the top-level window holding the skin has no frame
// (Qt::FramelessWindowHint added to its other flags) and its mask is the
// face's region (app/skin/SkinRegion.h, moved by where the skin sits in the
// window), so the key-coloured pixels are cut out of the window itself: the
// desktop shows through them on any X11 server, composited or not. The
// window needs no translucent background for that. The key colour is also
// made transparent in what the skin draws, so that it never shows where a
// platform does not apply the mask. The shape is applied at creation (when
// the skin is created inside its window), when the skin becomes Active,
// when it moves or gets another window (a new parent, or shown in another
// top-level); deactivating gives the window back the frame it had before
// (only the frameless flag is undone: the other flags may have changed
// since) and clears its mask (a rectangular window again). Destroying the
// skin leaves the window as it is, since the skin usually goes with it.
//
// Dragging: a left-button press on the skin while Active starts the
// platform's window move (QWindow::startSystemMove through the move hook)
// when AlwaysMove, or when the pressed pixel of the picture has the
// CaptionColor. A platform that refuses (no window manager, Wayland
// without the request) leaves the window where it is; nothing is logged.
//
// Mouse moves over the skin run OnMouseMove (mouse tracking is on, so no
// button has to be held): the record and stop captions drop their hover
// outline through it (TRecordStopControl::ResetCaptionOutlines).
//
// Threads: main thread only, like every widget.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QWindow;

namespace zt {

class TSkin : public QWidget {
    Q_OBJECT

public:
    // Starts the platform's move of `window`; true when the platform took
    // it. The default calls QWindow::startSystemMove.
    using MoveHook = std::function<bool(QWindow* window)>;

    // With the built-in face (SkinFaceImage and its @2x twin). Created
    // inside its window, the skin shapes that window at once.
    explicit TSkin(QWidget* parent = nullptr);
    ~TSkin() override;

    // The face: `picture` at 1x (its size is the skin's size, its key
    // colour cuts the shape, its pixels are what CaptionColor is compared
    // with) and, optionally, its twin at twice the size for screens at
    // 200 %. Re-applies the shape when Active.
    void SetPicture(const QImage& picture, const QImage& twice = QImage());
    const QImage& Picture() const { return picture_; }

    // Whether the skin shapes the window and drags it [true].
    bool Active() const { return active_; }
    void SetActive(bool active);
    // A press anywhere on the face drags the window [true]; when false,
    // only a press on a pixel of CaptionColor does.
    bool AlwaysMove() const { return alwaysMove_; }
    void SetAlwaysMove(bool always) { alwaysMove_ = always; }
    // [black]
    QColor CaptionColor() const { return captionColor_; }
    void SetCaptionColor(const QColor& colour) { captionColor_ = colour; }

    void SetMoveHook(MoveHook hook);

    // The shape the window gets, in the top-level window's coordinates.
    QRegion WindowRegion() const;

    // Runs on every mouse move over the skin (guarded).
    std::function<void()> OnMouseMove;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool StartsMove(QPoint position) const;
    void ApplyShape();
    void RemoveShape();

    QImage picture_;
    QIcon drawn_;  // both scales, the key colour transparent
    bool active_ = true;
    bool alwaysMove_ = true;
    QColor captionColor_ = Qt::black;
    MoveHook moveHook_;

    // The top-level window the skin shaped and its flags before.
    QPointer<QWidget> shaped_;
    std::optional<Qt::WindowFlags> flagsBefore_;
};

}  // namespace zt
