#pragma once
// The outline of a window cut from its face picture: the pixels of the
// key colour (the picture's top-left pixel) are outside, every other pixel
// is inside.
//
// Threads: any thread (QRegion and QImage are plain values).

#include <QImage>
#include <QPoint>
#include <QRegion>

namespace zt {

// Scans every row from left to right: each run of pixels that are not the
// key colour, ended by a key pixel or by the row's end, becomes a
// rectangle one pixel high, moved by `offset` (where the picture sits in
// the window); the region is their union. Alpha is ignored. An empty
// picture gives an empty region.
QRegion SkinRegion(const QImage& picture, QPoint offset);

}  // namespace zt
