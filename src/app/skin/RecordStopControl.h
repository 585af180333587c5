#pragma once
// One of the face's two big controls, record ("Gravar") or stop ("Parar"):
// its image, its caption under the image and the hidden holder of its two
// pictures, created as children of the window's face container at their
// places in the layout (app/skin/SkinArt.h's SkinLayoutRect; both images
// share the "record" place, since one shows while the other is hidden):
//
//                 image       caption                  pictures
//   Record        BGravar     LabelGravar "Gravar"     BImagemGravar
//                 64 x 65     60 x 16                  (hidden)
//   Stop          BStop       LabelParar "Parar"       BImagemParar
//                 64 x 65     56 x 16                  (hidden)
//
// What the mouse does on the image or on the caption:
//   a move         gives the caption its outline (width 1) if it had none;
//   a press        (any button) shows the pressed picture, moves the image
//                  1 px right and down, makes the caption's font 2 px
//                  smaller and moves the caption 2 px down;
//   a release      undoes the press (normal picture, image 1 px left and
//                  up, font 2 px larger, caption 2 px up);
//   a click        (left press and release on the same part) runs OnClick.
// A press and its release reach the same widget (Qt's implicit grab keeps
// the mouse on the widget pressed), so the shifts always cancel out.
// A move over the rest of the face drops both captions' outlines
// (ResetCaptionOutlines, from TSkin::OnMouseMove).
//
// Threads: main thread only, like every widget. OnClick runs guarded.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>

#include "app/skin/OutlineLabel.h"
#include "app/skin/SkinImage.h"

class QWidget;

namespace zt {

class TRecordStopControl : public QObject {
    Q_OBJECT

public:
    enum class Kind { Record, Stop };

    // The widgets become children of `parent`, placed at the layout's
    // rectangles moved by `faceOrigin` (where the face sits in `parent`).
    // They are visible with their parent unless SetVisible(false).
    TRecordStopControl(Kind kind, QWidget* parent, QPoint faceOrigin = QPoint(0, 0));
    // The widgets stay with their parent; they stop calling back.
    ~TRecordStopControl() override;

    Kind WhichControl() const { return kind_; }
    TSkinImage* Image() const { return image_; }
    TOutlineLabel* Caption() const { return caption_; }
    TPicturePair* Pictures() const { return pictures_; }

    // Shows or hides the image and its caption together.
    void SetVisible(bool visible);
    bool IsVisible() const;

    // The window's handler of a click on the image or the caption
    // (BGravarClick, BStopClick).
    std::function<void()> OnClick;

    // The pointer is over the face, away from both controls: if either
    // caption has its outline, both lose it.
    static void ResetCaptionOutlines(TRecordStopControl& first, TRecordStopControl& second);

private:
    void MouseMoved();
    void Pressed();
    void Released();

    Kind kind_;
    // Owned by the parent widget, which may delete them first.
    QPointer<TSkinImage> image_;
    QPointer<TOutlineLabel> caption_;
    QPointer<TPicturePair> pictures_;
};

}  // namespace zt
