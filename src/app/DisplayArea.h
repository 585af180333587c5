#pragma once
// The main window's live display area `PEqualizadores`: four panels of
// equal size stacked on one another, one showing at a time — `PSpectrum`
// (the spectrum analyser MMSpectrum2), `POsciloscopio` (the oscilloscope
// MMOscope2), `PLevel` (the LED bars MMLevel1 / MMLevel2 with their dB
// scale MMLevelScale1) and `PVU` (the needle meters MMMeter2 / MMMeter1).
// The panels are created in the order PVU, PLevel, POsciloscopio,
// PSpectrum, so the spectrum is on top at start; BEqualizadorClick sends
// one panel to the back of the stack per click (spectrum, oscilloscope,
// level bars, needles, then the spectrum again). The panels underneath
// stay shown (only covered), so every display keeps measuring whichever
// is in front, as the connector feeds them all.
//
// A click on the oscilloscope or the analyser steps its drawing style
// (MMOscope2Click, MMSpectrum2Click).
//
// The display controls are owned here and outlive their views (the views
// are child widgets, destroyed with this widget before the members).
//
// Threads: main thread only (the displays' peak timers tick on the
// display timer service's thread, see the display headers).

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindowDisplays.h"

namespace zt {

class TMMDisplayView;

class TDisplayArea : public QWidget, public TMainWindowDisplays {
public:
    explicit TDisplayArea(QWidget* parent = nullptr);
    ~TDisplayArea() override;

    void BEqualizadorClick();
    void MMOscope2Click();
    void MMSpectrum2Click();

    // The panel in front ("PSpectrum", "POsciloscopio", "PLevel", "PVU").
    std::string FrontPanel() const;
    int FOscopeStyle = 1;
    int FSpectrumStyle = 1;

private:
    QWidget* AddPanel(const char* name);
    TMMDisplayView* AddView(TMMGraphicControl& control, QWidget* panel, const char* name, int x,
                            int y);

    int counter_ = 0;  // BEqualizadorClick's counter, 1..4 after the first click
    QWidget* PVU = nullptr;
    QWidget* PLevel = nullptr;
    QWidget* POsciloscopio = nullptr;
    QWidget* PSpectrum = nullptr;
};

}  // namespace zt
