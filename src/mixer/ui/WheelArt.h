#pragma once
// The knobs' built-in faces and the look of the two knobs of the
// configuration panel.
//
// A face is a round knob seen from the front: a dark bezel, a thin
// coloured ring that tells the knobs apart (red for the recording level,
// green for the monitor return, none on the plain default knob) and a
// brushed-metal cap lit from the top left, on a transparent outside (the
// knobs sit on the dark panel). The faces are drawn by code at whatever
// pixel size is asked for, so a knob draws its face at the size it
// occupies on the screen times the screen's pixel ratio: sharp at 100 %,
// at 200 % and in between, never a small picture scaled up.
//
// Threads: DrawWheelFace may be called from any thread (it paints into a
// QImage); ApplyPanelKnobStyle, like the knob, only from the main thread.

#include <QImage>
#include <QSize>

namespace zt {

class TMMCustomWheel;

enum class WheelFace {
    Default,    // the plain knob
    Recording,  // "Gravação", the recording level: a red ring
    Monitor,    // "Retorno", the monitor level: a green ring
};

// The size of a face in device-independent pixels, the size a knob takes
// with AutoSize when it shows a built-in face.
inline constexpr QSize kWheelFaceSize{52, 52};

// The face drawn on a `side` x `side` pixel image (ARGB32, premultiplied),
// transparent outside the knob. Raises zt::Exception for a side below 1.
QImage DrawWheelFace(WheelFace kind, int side = kWheelFaceSize.width());

// The settings of the panel's two knobs: `face` as the picture, a visible
// white scale of 11 ticks (every fifth long, 7 pixels, against the inner
// end, no arc), the handle 5 pixels wide at 11 pixels from the centre and
// 5 from the edge, no frame space, sized to the picture (52 x 52).
void ApplyPanelKnobStyle(TMMCustomWheel& wheel, WheelFace face);

}  // namespace zt
