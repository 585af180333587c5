#include "platform/ui/FolderEdit.h"

#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"

namespace zt {

TFolderEdit::TFolderEdit(QWidget* parent) : QWidget(parent) {
    edit_ = new QLineEdit(this);
    browse_ = new QToolButton(this);
    browse_->setText("...");
    browse_->setFocusPolicy(Qt::NoFocus);
    browse_->setCursor(Qt::PointingHandCursor);
    connect(browse_, &QToolButton::clicked, this, Guard([this] { Browse(); }));
    setFocusProxy(edit_);
    resize(150, 22);
}

void TFolderEdit::resizeEvent(QResizeEvent*) {
    // The button is as wide as the edit is high, at the edit's right end.
    const int side = height();
    edit_->setGeometry(0, 0, std::max(0, width() - side - 2), side);
    browse_->setGeometry(width() - side, 0, side, side);
}

std::string TFolderEdit::Text() const {
    return edit_->text().toStdString();
}

void TFolderEdit::SetText(const std::string& text) {
    edit_->setText(QString::fromStdString(text));
}

void TFolderEdit::Browse() {
    if (OnBeforeBrowse && !OnBeforeBrowse()) return;
    if (const auto folder = CurrentDialogs().ChooseFolder(Text())) SetText(*folder);
}

}  // namespace zt
