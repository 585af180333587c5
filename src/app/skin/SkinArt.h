#pragma once
// The main window's artwork, compiled into the program (drawn by
// assets/skin/draw_skin_art.py): the face ("skin", 399 x 363 on the magenta
// key colour), the record and stop controls ("record", "record_pressed",
// "stop", "stop_pressed", 64 x 65) and the five image buttons ("config",
// "display", "minimize", "hide", "close", each with "_pressed" and
// "_hover", 34 x 32). Every picture has a twin of twice the size drawn for
// screens at 200 %. The image buttons also answer to the names their
// places carry in the layout: "button_config_hover" is "config_hover".
//
// The layout is where every control sits on the 1x face
// (assets/skin/skin_layout.json): rectangles by name ("record",
// "record_caption", "button_close", ...) and colours ("text", ...).
//
// Threads: SkinPictureNames, SkinImage, SkinFaceImage, SkinLayoutRect and
// SkinLayoutColour may be called from any thread; the functions that make
// pixmaps or icons, or draw, only from the main (GUI) thread, as for any
// QPixmap. An unknown name, or data that does not decode, raises
// zt::Exception naming it.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QStringList>

class QPainter;

namespace zt {

// The names of the pictures compiled in (the 1x names, without "@2x").
QStringList SkinPictureNames();

// The picture decoded at `scale` 1 or 2 (the drawn twin), with a device
// pixel ratio of 1: pixels as drawn, for scanning.
QImage SkinImage(const char* name, int scale = 1);
// The 1x face, whose key-coloured pixels cut the window's outline.
QImage SkinFaceImage();

// The picture for a device of `devicePixelRatio`: above 1 the drawn twin
// with a ratio of 2 (so it covers the same logical size), else the 1x one.
QPixmap SkinPictureFor(const char* name, qreal devicePixelRatio);
// The picture for the application's screens (qApp's device pixel ratio).
QPixmap SkinPicture(const char* name);
// Both scales in one icon, so a widget can draw the one its paint device
// needs at the time it paints (DrawSkinIcon).
QIcon SkinIcon(const char* name);

// Draws `picture` into `target` (logical pixels) at the pixel ratio of
// the device the painter really paints on: the screen's backing store, or
// the image a widget is rendered into.
void DrawSkinIcon(QPainter& painter, const QRect& target, const QIcon& picture);

// A rectangle or a colour of the face's layout.
QRect SkinLayoutRect(const char* name);
QColor SkinLayoutColour(const char* name);

}  // namespace zt
