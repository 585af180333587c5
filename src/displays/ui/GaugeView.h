#pragma once
// The gauge on a widget, with its caption as the property "Caption" so that
// a window's translation reaches the text drawn on the bar.
//
// Threads: main thread (a widget).

#include <QString>

#include "displays/Gauge.h"
#include "displays/ui/DisplayView.h"

namespace zt {

class TMMGaugeView : public TMMOwnedDisplayView<TMMGauge> {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    TMMGaugeView(QWidget* parent, int width, int height)
        : TMMOwnedDisplayView<TMMGauge>(parent, width, height) {}
    QString Caption() const { return QString::fromStdString(Shown().Caption()); }
    void SetCaption(const QString& caption) { Shown().SetCaption(caption.toStdString()); }
};

}  // namespace zt
