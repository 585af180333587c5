#pragma once
// A button that is only a picture (34 x 32 on the face): no frame, a hand
// cursor, a tool tip (its hint), and one picture per state: the normal
// one, the hover one while the pointer is over it, the pressed one while
// the left button is held down on it (shown only while the pointer stays
// on it, as a push button does). A release over the button emits clicked()
// (QAbstractButton's signal); connect it through Guard().
//
// Each picture holds both scales (app/skin/SkinArt.h's SkinIcon), so the
// button draws the @2x art on a screen at 200 %.
//
// Threads: main thread only, like every widget.

#include <QAbstractButton>
#include <QIcon>

namespace zt {

class TImageButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit TImageButton(QWidget* parent = nullptr);

    // The three pictures; the button takes the normal picture's size.
    void SetPictures(const QIcon& normal, const QIcon& pressed, const QIcon& hover);
    // The built-in art of one of the face's buttons: "config", "display",
    // "minimize", "hide" or "close" (its _pressed and _hover pictures too).
    void SetSkinArt(const char* name);

    // Which picture shows now.
    enum class State { Normal, Hover, Pressed };
    State CurrentState() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QIcon normal_;
    QIcon pressed_;
    QIcon hover_;
    bool underPointer_ = false;
};

}  // namespace zt
