#include "app/skin/ImageButton.h"

#include <QPainter>
#include <string>

#include "app/skin/SkinArt.h"

namespace zt {

TImageButton::TImageButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(34, 32);
}

void TImageButton::SetPictures(const QIcon& normal, const QIcon& pressed, const QIcon& hover) {
    normal_ = normal;
    pressed_ = pressed;
    hover_ = hover;
    const QList<QSize> sizes = normal.availableSizes();
    if (!sizes.isEmpty()) {
        // The smallest size is the 1x picture: the button's logical size.
        QSize smallest = sizes.front();
        for (const QSize& s : sizes)
            if (s.width() < smallest.width()) smallest = s;
        setFixedSize(smallest);
    }
    update();
}

void TImageButton::SetSkinArt(const char* name) {
    const std::string base(name);
    SetPictures(SkinIcon(base.c_str()), SkinIcon((base + "_pressed").c_str()),
                SkinIcon((base + "_hover").c_str()));
}

TImageButton::State TImageButton::CurrentState() const {
    if (isDown()) return State::Pressed;
    if (underPointer_) return State::Hover;
    return State::Normal;
}

QSize TImageButton::sizeHint() const {
    return size();
}

void TImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const State state = CurrentState();
    const QIcon& picture = state == State::Pressed ? pressed_
                           : state == State::Hover ? hover_
                                                   : normal_;
    DrawSkinIcon(painter, rect(), picture.isNull() ? normal_ : picture);
}

void TImageButton::enterEvent(QEnterEvent* event) {
    underPointer_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TImageButton::leaveEvent(QEvent* event) {
    underPointer_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace zt
