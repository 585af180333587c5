#pragma once
// The small font of the display labels (scale numbers, captions).
//
// The recorder's form asks for a tiny bitmap font that Linux does not
// have; DejaVu Sans is on every desktop and stays legible at 8-9 pixels.
// Antialiasing is off so a label is drawn in exactly its colour, crisp on
// the black meter faces.
//
// Threads: main thread (QFont).

#include <QFont>

namespace zt {

inline constexpr int kDisplaySmallFontPixels = 9;

// DejaVu Sans at `pixelSize` pixels, bold when asked, without antialiasing.
QFont DisplaySmallFont(int pixelSize = kDisplaySmallFontPixels, bool bold = false);

}  // namespace zt
