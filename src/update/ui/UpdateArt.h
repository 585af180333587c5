#pragma once
// The update window's pictures, compiled into the program: the steps'
// state icons, the buttons' pictures and the decoration at the window's
// left (drawn by assets/update/draw_update_art.py).
//
// A picture is named by its file name: "step_pending.png", "step_done.png",
// "step_failed.png", "step_current.png" (16 x 16), "button_history.png",
// "button_start.png", "button_close.png" (24 x 24), each with an "@2x" twin
// of twice the size for screens at 200 %, and "update_side.jpg" (180 x 292).
//
// Threads: UpdateArtNames and UpdateArtImage may be called from any
// thread; UpdateArtPixmap and UpdateArtIcon only from the main (GUI)
// thread, as for any QPixmap. An unknown name, or data that does not
// decode, raises zt::Exception naming the picture.

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace zt {

// The file names of all the pictures compiled in.
QStringList UpdateArtNames();

// The picture decoded (its format told by the file name's extension).
QImage UpdateArtImage(const QString& name);
QPixmap UpdateArtPixmap(const QString& name);

// An icon of "<baseName>.png" together with its "@2x" twin when there is
// one, so that Qt draws the finer picture where pixels are smaller.
QIcon UpdateArtIcon(const QString& baseName);

}  // namespace zt
