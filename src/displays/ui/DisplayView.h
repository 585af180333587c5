#pragma once
// The widget that shows a drawn control (displays/GraphicControl.h) on
// the main window: it paints the control's image, passes its size,
// visibility and mouse events on, and turns the control's "picture is
// stale" into QWidget::update(), so repaints are coalesced to the screen's
// refresh however often the control changes.
//
// The view does not own the control; the control must outlive it (the
// main window owns both and destroys the view first).
//
// Threads: main thread only.

#include <QWidget>

#include "displays/GraphicControl.h"

namespace zt {

class TMMDisplayView : public QWidget {
public:
    TMMDisplayView(TMMGraphicControl& control, QWidget* parent = nullptr);
    ~TMMDisplayView() override;

    TMMGraphicControl& Control() const { return control_; }
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
    TMMGraphicControl& control_;
    bool pressed_ = false;
};

}  // namespace zt
