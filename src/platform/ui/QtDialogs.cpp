#include "platform/ui/QtDialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace zt {

namespace {
QWidget* Parent() {
    return QApplication::activeWindow();
}
QString Title() {
    return QApplication::applicationDisplayName();
}
QString Text(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

void QtDialogs::Information(const std::string& text) {
    QMessageBox::information(Parent(), Title(), Text(text));
}

void QtDialogs::Warning(const std::string& text) {
    QMessageBox::warning(Parent(), Title(), Text(text));
}

void QtDialogs::Error(const std::string& text) {
    QMessageBox::critical(Parent(), Title(), Text(text));
}

bool QtDialogs::Question(const std::string& text) {
    return QMessageBox::question(Parent(), Title(), Text(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace zt
