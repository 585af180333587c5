#include "app/skin/RecordStopControl.h"

#include <QWidget>
#include <string>

#include "app/skin/OutlineLabel.h"
#include "app/skin/SkinArt.h"
#include "app/skin/SkinImage.h"
#include "platform/ui/Named.h"

namespace zt {
namespace {

struct ControlNames {
    const char* image;
    const char* caption;
    const char* pictures;
    const char* text;
    const char* art;
    const char* captionPlace;
};

ControlNames NamesOf(TRecordStopControl::Kind kind) {
    if (kind == TRecordStopControl::Kind::Record)
        return {"BGravar", "LabelGravar", "BImagemGravar", "Gravar", "record", "record_caption"};
    return {"BStop", "LabelParar", "BImagemParar", "Parar", "stop", "stop_caption"};
}

// The widget no longer reports the mouse to this control.
template <class W>
void Unhook(W* widget) {
    if (!widget) return;
    widget->OnMouseDown = nullptr;
    widget->OnMouseUp = nullptr;
    widget->OnMouseMove = nullptr;
    widget->OnClick = nullptr;
}

}  // namespace

TRecordStopControl::TRecordStopControl(Kind kind, QWidget* parent, QPoint faceOrigin)
    : QObject(parent), kind_(kind) {
    const ControlNames names = NamesOf(kind);
    const std::string art(names.art);
    pictures_ =
        Named(new TPicturePair(SkinIcon(art.c_str()), SkinIcon((art + "_pressed").c_str()), parent),
              names.pictures);

    image_ = Named(new TSkinImage(parent), names.image);
    image_->SetPicture(pictures_->Normal());
    image_->setGeometry(SkinLayoutRect("record").translated(faceOrigin));

    caption_ = Named(new TOutlineLabel(QString::fromUtf8(names.text), parent), names.caption);
    caption_->SetTextColor(SkinLayoutColour("text"));
    caption_->setGeometry(SkinLayoutRect(names.captionPlace).translated(faceOrigin));
    caption_->setCursor(Qt::PointingHandCursor);

    image_->OnMouseMove = [this] { MouseMoved(); };
    caption_->OnMouseMove = [this] { MouseMoved(); };
    image_->OnMouseDown = [this](Qt::MouseButton) { Pressed(); };
    caption_->OnMouseDown = [this](Qt::MouseButton) { Pressed(); };
    image_->OnMouseUp = [this](Qt::MouseButton) { Released(); };
    caption_->OnMouseUp = [this](Qt::MouseButton) { Released(); };
    const auto click = [this] {
        if (OnClick) OnClick();
    };
    image_->OnClick = click;
    caption_->OnClick = click;
}

TRecordStopControl::~TRecordStopControl() {
    Unhook(image_.data());
    Unhook(caption_.data());
}

void TRecordStopControl::SetVisible(bool visible) {
    image_->setVisible(visible);
    caption_->setVisible(visible);
}

bool TRecordStopControl::IsVisible() const {
    return !image_->isHidden() && !caption_->isHidden();
}

void TRecordStopControl::ResetCaptionOutlines(TRecordStopControl& first,
                                              TRecordStopControl& second) {
    if (first.caption_->OutlineWidth() == 0 && second.caption_->OutlineWidth() == 0) return;
    first.caption_->SetOutlineWidth(0);
    second.caption_->SetOutlineWidth(0);
}

void TRecordStopControl::MouseMoved() {
    if (caption_->OutlineWidth() == 0) caption_->SetOutlineWidth(1);
}

void TRecordStopControl::Pressed() {
    image_->SetPicture(pictures_->Pressed());
    image_->move(image_->pos() + QPoint(1, 1));
    caption_->SetFontSize(caption_->FontSize() - 2);
    caption_->move(caption_->pos() + QPoint(0, 2));
}

void TRecordStopControl::Released() {
    image_->SetPicture(pictures_->Normal());
    image_->move(image_->pos() - QPoint(1, 1));
    caption_->SetFontSize(caption_->FontSize() + 2);
    caption_->move(caption_->pos() - QPoint(0, 2));
}

}  // namespace zt
