#pragma once
// What the face's picture and caption widgets report of the mouse, rather
// than act on: OnMouseDown / OnMouseUp (any button), OnMouseMove and
// OnClick (a left press and its release over the widget). The widget's
// mouse handlers hand their events here; every callback runs guarded.
//
// Threads: main thread only, with the widget that holds it.

#include <QRect>
#include <functional>

class QMouseEvent;

namespace zt {

class TMouseReports {
public:
    std::function<void(Qt::MouseButton)> OnMouseDown;
    std::function<void(Qt::MouseButton)> OnMouseUp;
    std::function<void()> OnMouseMove;
    std::function<void()> OnClick;

protected:
    void ReportPress(QMouseEvent* event);
    // `area`: the widget's own rectangle, where a release makes a click.
    void ReportRelease(QMouseEvent* event, const QRect& area);
    void ReportMove(QMouseEvent* event);

private:
    // A left press began on the widget and has not been released.
    bool leftDown_ = false;
};

}  // namespace zt
