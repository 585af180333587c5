#pragma once
// The widget that shows a drawn control (displays/GraphicControl.h) on
// the main window: it paints the control's image, passes its size,
// visibility and mouse events on, and turns the control's "picture is
// stale" into a repaint at the next frame: the shared frame clock
// (displays/FrameClock.h) calls QWidget::update() on every waiting view
// once per 60 Hz frame, right after the connector's round of that frame.
// Qt alone would repaint after every event-loop pass that changed a
// control (hundreds of times a second while the displays are fed, and no
// platform throttles widget repaints to the screen), so the frame clock
// is what keeps painting at the screen's pace however often the controls
// change.
//
// The view does not own the control; the control must outlive it (the
// main window owns both and destroys the view first).
//
// Threads: main thread only.

#include <QWidget>
#include <utility>

#include "displays/FrameClock.h"
#include "displays/GraphicControl.h"

namespace zt {

class TMMDisplayView : public QWidget {
public:
    TMMDisplayView(TMMGraphicControl& control, QWidget* parent = nullptr);
    ~TMMDisplayView() override;

    TMMGraphicControl& Control() const { return control_; }
    // Milliseconds between frames (60 Hz).
    static constexpr int kFrameMs = FrameClock::kFrameMs;
    // Views waiting for the next frame (tests).
    static int WaitingViews();
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void RequestFrame();

    TMMGraphicControl& control_;
    bool pressed_ = false;
};

// A view that owns its control, for controls that live exactly as long as
// the widget showing them (the read-outs). The control is a base part
// constructed before the view and destroyed after it.
template <class C>
struct DisplayControlHolder {
    template <class... A>
    explicit DisplayControlHolder(A&&... args) : held(std::forward<A>(args)...) {}
    C held;
};

template <class C>
class TMMOwnedDisplayView : private DisplayControlHolder<C>, public TMMDisplayView {
public:
    template <class... A>
    explicit TMMOwnedDisplayView(QWidget* parent, A&&... args)
        : DisplayControlHolder<C>(std::forward<A>(args)...), TMMDisplayView(this->held, parent) {}
    C& Shown() { return this->held; }
    const C& Shown() const { return this->held; }
};

}  // namespace zt
