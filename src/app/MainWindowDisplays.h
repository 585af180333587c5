#pragma once
// The main window's live displays, sized and set up as the window shows
// them: the LED bars MMLevel1 / MMLevel2 with their dB scale
// MMLevelScale1, the needle meters MMMeter2 (left) / MMMeter1 (right), the
// oscilloscope MMOscope2 and the spectrum analyser MMSpectrum2. The window's
// display area shows them; the displays' benchmark measures these same
// objects, so what it reports is what the window costs.
//
// Threads: main thread only (the displays' peak timers tick on the
// display timer service's thread, see the display headers).

#include <array>

#include "displays/Connector.h"
#include "displays/Level.h"
#include "displays/LevelScale.h"
#include "displays/Meter.h"
#include "displays/Oscope.h"
#include "displays/Spectrum.h"

namespace zt {

class TMainWindowDisplays {
public:
    TMainWindowDisplays();
    TMainWindowDisplays(const TMainWindowDisplays&) = delete;
    TMainWindowDisplays& operator=(const TMainWindowDisplays&) = delete;

    // A display the connector feeds, with its slot.
    struct Fed {
        TMMConnectorSlot slot;
        TMMGraphicControl* control;
        TMMDisplayTarget* target;
    };
    // The six fed displays: level bars, needles, oscilloscope, analyser.
    std::array<Fed, 6> FedDisplays();

    // Puts the six fed displays into the connector's slots.
    void Connect(TMMConnector& connector);

    TMMLevel MMLevel1{254, 24};
    TMMLevel MMLevel2{253, 24};
    TMMLevelScale MMLevelScale1{275, 14};
    TMMMeter MMMeter2{138, 65};
    TMMMeter MMMeter1{137, 65};
    TMMOscope MMOscope2{273, 86};
    TMMSpectrum MMSpectrum2{273, 86};
};

}  // namespace zt
