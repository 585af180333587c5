#pragma once
// The codec format chooser as the recorder uses it: a modal question "which
// format?" with a title and a format to start from, answered with a format
// or nothing (cancelled). The program answers it with a Qt dialog
// (ui/FormatChooserDialog.h); tests install their own answer, so no test
// waits on a modal box.
//
// Threads: main thread only. The current chooser is a process-wide pointer
// set once at start-up or by a test fixture.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/chain/WaveFormat.h"

namespace zt {

// One entry of the format list (a codec) and what it offers.
struct FormatChoiceTag {
    uint16_t tag = 0;
    std::string name;                    // "PCM", "GSM 6.10", ...
    std::vector<WaveFormatPtr> formats;  // its attribute list
};

struct FormatChoiceRequest {
    std::string title;
    const WAVEFORMATEX* initial = nullptr;  // the format to start from, may be null
    std::vector<FormatChoiceTag> tags;
};

class FormatChooser {
public:
    virtual ~FormatChooser() = default;
    // The chosen format (one of the request's), or null when cancelled.
    virtual WaveFormatPtr Choose(const FormatChoiceRequest& request) = 0;
};

// The current chooser. Before any is installed, every question is
// cancelled.
FormatChooser& CurrentFormatChooser();
// Installs a chooser (not owned); nullptr restores the fallback. Returns
// the previous one.
FormatChooser* SetFormatChooser(FormatChooser* chooser);

// The attribute line of a format in the user's locale, e.g.
// "8,000 kHz, Mono, 1 KB/s" or "44,100 kHz, 16 Bit, Stereo, 172 KB/s"
// (bits are shown for PCM only). `decimalPoint` is the locale's separator.
std::string FormatAttributesText(const WAVEFORMATEX& format, const std::string& decimalPoint);

}  // namespace zt
