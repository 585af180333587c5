#include <QApplication>

#include "app/MainWindow.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/ui/QtDialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(zt::kMainWindowTitle);
    zt::QtDialogs dialogs;
    zt::SetDialogs(&dialogs);

    zt::TFrmGravar* window = nullptr;
    if (!zt::Guarded([&] { window = new zt::TFrmGravar; }) || !window) return 1;
    window->show();
    const int rc = app.exec();
    delete window;
    zt::SetDialogs(nullptr);
    return rc;
}
