#include "platform/ui/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace zt {

namespace {
QWidget* Parent() {
    return QApplication::activeWindow();
}
QString Title() {
    return QApplication::applicationDisplayName();
}
// Messages joined with carriage returns alone (the update window's) break
// lines as they do in a message box that reads them as line ends.
QString Text(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    shown.replace('\r', '\n');
    return shown;
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

std::optional<std::string> QtDialogs::ChooseFolder(const std::string& start) {
    const QString folder =
        QFileDialog::getExistingDirectory(Parent(), Title(), QString::fromStdString(start));
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
}

}  // namespace zt
