#include "app/skin/MouseReports.h"

#include <QMouseEvent>

#include "platform/ErrorDisplay.h"

namespace zt {

void TMouseReports::ReportPress(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton) leftDown_ = true;
    if (OnMouseDown) Guarded([&] { OnMouseDown(event->button()); });
}

void TMouseReports::ReportRelease(QMouseEvent* event, const QRect& area) {
    event->accept();
    const bool click = event->button() == Qt::LeftButton && leftDown_ &&
                       area.contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) leftDown_ = false;
    if (OnMouseUp) Guarded([&] { OnMouseUp(event->button()); });
    if (click && OnClick) Guarded([this] { OnClick(); });
}

void TMouseReports::ReportMove(QMouseEvent* event) {
    event->accept();
    if (OnMouseMove) Guarded([this] { OnMouseMove(); });
}

}  // namespace zt
