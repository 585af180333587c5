#pragma once
// How the main window sets up its displays and read-outs: the values each
// one has on the window, at its design size.
//
// Threads: main thread, like the displays themselves.

#include <string>

#include "displays/Gauge.h"
#include "displays/LEDLabel.h"
#include "displays/Level.h"
#include "displays/LevelScale.h"
#include "displays/Meter.h"
#include "displays/Oscope.h"
#include "displays/Spectrum.h"

namespace zt {

// The oscilloscope's values on the recorder's main window (MMOscope2),
// at its design size.
void SetUpMainWindowOscope(TMMOscope& oscope);

// The form's scale: zone 2 up to 80 percent, the small label font. The
// caller sizes it (275 pixels wide on the window).
void SetUpMainWindowLevelScale(TMMLevelScale& scale);

// The main window's read-outs: LLivre and LOcupado ("0 MB", clLime),
// LDias ("00", clYellow), LTempo ("00:00:00", clYellow); 11 × 13 glyphs,
// sized to the caption, unlit dots black.
void SetUpMainWindowReadOut(TMMLEDLABEL& label, const std::string& caption, TColor color);

// The format banner LFormato: 235 pixels wide (21 cells of 11 × 13), aqua,
// unlit dots black, scrolling one character every 300 ms.
void SetUpMainWindowFormatBanner(TMMLEDLABEL& label);

// The form's bars: 16-bit stereo, 99 frames per update, 2 peak spots,
// step-up decay 8, lime and yellow spots dotted on grey dotted unlit ones,
// zone 2 up to 80 percent. The caller sizes them (254 x 24 for the left
// bar, 253 x 24 for the right one).
void SetUpMainWindowLevel(TMMLevel& level, TMMChannel channel);

// The analyser's values on the recorder's main window (MMSpectrum2), at
// its design size.
void SetUpMainWindowSpectrum(TMMSpectrum& spectrum);

// ProgressEspaco: red on black, caption "ESPAÇO OCUPADO", small bold
// monospaced text.
void SetUpMainWindowGauge(TMMGauge& gauge);

// The form's needle meters: 16-bit stereo, 20 frames per update, step-up
// decay 8, peak falling every 2 ticks, lime first zone, an 80-degree arc
// with the pivot 50 pixels below the face, "dB" in bold silver, a 2-pixel
// bevel. The caller sizes them (138 x 65 left, 137 x 65 right).
void SetUpMainWindowMeter(TMMMeter& meter, TMMChannel channel);

}  // namespace zt
