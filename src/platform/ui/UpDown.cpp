#include "platform/ui/UpDown.h"

#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

#include "platform/Convert.h"
#include "platform/ErrorDisplay.h"

namespace zt {

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* arrow : {up_, down_}) {
        // The edit keeps the focus while the arrows are clicked.
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setCursor(Qt::PointingHandCursor);
    }
    connect(up_, &QToolButton::clicked, this, Guard([this] { Step(+1); }));
    connect(down_, &QToolButton::clicked, this, Guard([this] { Step(-1); }));
    resize(15, 22);
}

void TUpDown::resizeEvent(QResizeEvent*) {
    const int upper = height() / 2;
    up_->setGeometry(0, 0, width(), upper);
    down_->setGeometry(0, upper, width(), height() - upper);
}

void TUpDown::SetAssociate(QLineEdit* edit) {
    associate_ = edit;
    ShowPosition();
}

void TUpDown::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    position_ = std::clamp(position_, min_, max_);
}

void TUpDown::SetPosition(int position) {
    position_ = std::clamp(position, min_, max_);
    ShowPosition();
}

void TUpDown::Step(int delta) {
    if (OnChanging && !OnChanging()) return;
    int from = position_;
    if (associate_)
        if (const auto typed = TryStrToInt(associate_->text().toStdString())) from = *typed;
    // A number typed outside the range counts as the nearest limit.
    from = std::clamp(from, min_, max_);
    SetPosition(from + delta);
}

void TUpDown::ShowPosition() {
    if (associate_) associate_->setText(QString::number(position_));
}

}  // namespace zt
