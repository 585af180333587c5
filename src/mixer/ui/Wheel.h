#pragma once
// The round knob: a picture of a knob face with a handle (a small dot)
// that shows a whole-number value between a minimum and a maximum, and a
// scale of ticks around it. The value's range maps onto a clockwise arc
// from StartAngle to EndAngle (mixer/ui/WheelGeometry.h); the operator
// turns it with the mouse (the pointer's direction from the centre, or a
// vertical drag with UpDown), the keys and the mouse wheel.
//
// The knob knows nothing of the mixer: a derived class binds it to a
// mixer control and overrides Change(), which runs whenever Value
// changes, whether the operator or code changed it.
//
// Drawing, in this order: the picture (BackBmp, or the built-in face of
// mixer/ui/WheelArt.h when there is none) stretched into the area inside
// FrameSpace and, with a visible scale, the scale's Size and ScaleMargin;
// the scale's ticks; the focus rectangle; the handle. Outside the
// picture's opaque parts the widget is transparent, so the panel behind
// it shows through.
//
// Colours: the defaults are the dark red handle and the pure red handle
// of a focused knob.
//
// Threads: main thread only, like every widget.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>

#include "mixer/ui/WheelArt.h"
#include "mixer/ui/WheelGeometry.h"

class QPainter;

namespace zt {

class TMMCustomWheel : public QWidget {
    Q_OBJECT

public:
    // Draws the handle for HandleStyle hsOwnerDraw: `handleRect` is the
    // HandleSize square around the handle's centre. The painter is
    // antialiased and in the widget's coordinates.
    using DrawHandleFn =
        std::function<void(TMMCustomWheel& wheel, QPainter& painter, const QRect& handleRect)>;

    explicit TMMCustomWheel(QWidget* parent = nullptr);
    ~TMMCustomWheel() override;

    // The value, always within [Minimum, Maximum] (the minimum when the
    // range is empty). Setting a value that differs from the current one
    // repaints and runs Change().
    int Value() const { return value_; }
    void SetValue(int v);
    // Initially 0 and 10. Clamps Value into the new range, running
    // Change() when that moved it.
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    void SetMinMax(int minimum, int maximum);

    // Sizes the knob to its picture (52 x 52 for the built-in faces).
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    // The picture of the face. An image with an alpha channel is drawn
    // blended; one without counts its lower-left pixel's colour as
    // transparent. A null image selects the built-in face.
    const QImage& BackBmp() const { return backBmp_; }
    void SetBackBmp(const QImage& picture);
    // The built-in face drawn when there is no BackBmp [Default].
    WheelFace BuiltInFace() const { return face_; }
    void SetBuiltInFace(WheelFace face);

    // Degrees, 0 ... 360 (other values are clamped into that range).
    int StartAngle() const { return startAngle_; }
    void SetStartAngle(int degrees);
    int EndAngle() const { return endAngle_; }
    void SetEndAngle(int degrees);

    QColor HandleColor() const { return handleColor_; }
    void SetHandleColor(const QColor& colour);
    QColor FocusedColor() const { return focusedColor_; }
    void SetFocusedColor(const QColor& colour);
    // What focus shows [faAll].
    TMMFocusAction FocusAction() const { return focusAction_; }
    void SetFocusAction(TMMFocusAction action);

    // A vertical drag instead of the pointer's direction [false]: moving
    // ScrollSize pixels [160, at least 1] up or down runs the whole range.
    bool UpDown() const { return upDown_; }
    void SetUpDown(bool on);
    int ScrollSize() const { return scrollSize_; }
    void SetScrollSize(int pixels);
    // Steps of the arrow keys and the mouse wheel [1] and of Page Up/Down [2].
    int LineStep() const { return lineStep_; }
    void SetLineStep(int step);
    int PageStep() const { return pageStep_; }
    void SetPageStep(int step);

    const TMMScale& Scale() const { return scale_; }
    void SetScale(const TMMScale& scale);

    // The handle's distance from the centre; 0 [the default] places it
    // HandleMargin inside the picture's edge.
    int Radius() const { return radius_; }
    void SetRadius(int pixels);
    TMMHandleStyle HandleStyle() const { return handleStyle_; }
    void SetHandleStyle(TMMHandleStyle style);
    void SetOnDrawHandle(DrawHandleFn draw);
    // The handle's diameter [4].
    int HandleSize() const { return handleSize_; }
    void SetHandleSize(int pixels);
    int HandleMargin() const { return handleMargin_; }
    void SetHandleMargin(int pixels);
    // Space between the widget's edge (where the focus rectangle runs) and
    // the scale [4], and between the scale and the picture [3].
    int FrameSpace() const { return frameSpace_; }
    void SetFrameSpace(int pixels);
    int ScaleMargin() const { return scaleMargin_; }
    void SetScaleMargin(int pixels);

    // Where things are drawn now, in the widget's coordinates.
    QRect PictureRect() const;
    int HandleRadius() const;
    int HandleAngle() const;
    QPoint HandleCentre() const;
    // The handle's fill: the focused colour when focus shows on the
    // handle, grey when the knob is disabled, else the handle colour.
    QColor CurrentHandleColor() const;
    // The picture's own size in device-independent pixels (52 x 52 for a
    // built-in face).
    QSize PictureSize() const;

    QSize sizeHint() const override;

signals:
    // Value changed (emitted by the base Change()).
    void changed();

protected:
    // Runs after every change of Value, by the operator or by code. The
    // base emits changed(); an override that still wants the signal calls
    // the base.
    virtual void Change();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void SetFromPointer(QPointF position);
    void ApplyAutoSize();
    void DrawPicture(QPainter& painter);
    void DrawScale(QPainter& painter);
    void DrawFocusRect(QPainter& painter);
    void DrawHandle(QPainter& painter);
    bool FocusShowsOnHandle() const;
    bool FocusShowsAsFrame() const;

    int value_ = 0;
    int minimum_ = 0;
    int maximum_ = 10;
    bool autoSize_ = false;
    QImage backBmp_;
    // backBmp_ as drawn: with its keyed colour made transparent.
    QImage backPicture_;
    WheelFace face_ = WheelFace::Default;
    int startAngle_ = 225;
    int endAngle_ = 315;
    QColor handleColor_ = QColor(0x80, 0, 0);   // 128 as a BGR number: dark red (maroon)
    QColor focusedColor_ = QColor(0xFF, 0, 0);  // 255 as a BGR number: pure red
    TMMFocusAction focusAction_ = TMMFocusAction::faAll;
    bool upDown_ = false;
    int scrollSize_ = 160;
    int lineStep_ = 1;
    int pageStep_ = 2;
    TMMScale scale_;
    int radius_ = 0;
    TMMHandleStyle handleStyle_ = TMMHandleStyle::hsEllipse;
    DrawHandleFn onDrawHandle_;
    int handleSize_ = 4;
    int handleMargin_ = 4;
    int frameSpace_ = 4;
    int scaleMargin_ = 3;

    // The mouse: whether a left-button press began on the knob, and where
    // and at which value (for UpDown).
    bool tracking_ = false;
    int pressY_ = 0;
    int valueAtPress_ = 0;
    // Mouse-wheel angle not yet turned into whole steps (touch pads send
    // fractions of a notch).
    int wheelRemainder_ = 0;

    // The built-in face drawn for the last size and pixel ratio painted.
    QImage faceCache_;
    WheelFace faceCacheKind_ = WheelFace::Default;
};

}  // namespace zt
