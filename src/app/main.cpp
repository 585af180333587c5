#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/DialogLog.h"
#include "app/MainWindow.h"
#include "audio/convert/ui/FormatChooserDialog.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/EventLog.h"
#include "platform/Paths.h"
#include "platform/ShutdownInhibitor.h"
#include "platform/SingleInstance.h"
#include "platform/ui/QtDialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(zt::kMainWindowTitle);
    // The window hides into the tray and message boxes may be the only
    // window for a moment: the program ends when the main window closes,
    // never because no window is visible.
    QApplication::setQuitOnLastWindowClosed(false);

    zt::SetEventLogPath(zt::ExecutableDir() + zt::kEventLogName);

    zt::QtDialogs boxes;
    std::unique_ptr<zt::DialogLog> log;
    // Test hook: the messages go to a file instead of modal boxes, and
    // questions are answered as ZT_DIALOG_ANSWER says (No unless "Yes").
    if (const char* path = std::getenv("ZT_DIALOG_LOG"); path && *path) {
        const char* answer = std::getenv("ZT_DIALOG_ANSWER");
        log = std::make_unique<zt::DialogLog>(path, answer && std::string(answer) == "Yes");
    }
    zt::SetDialogs(log ? static_cast<zt::Dialogs*>(log.get()) : &boxes);
    zt::QtFormatChooser chooserDialog;
    std::unique_ptr<zt::ChooserLog> chooserLog;
    if (log) chooserLog = std::make_unique<zt::ChooserLog>(*log);
    zt::SetFormatChooser(chooserLog ? static_cast<zt::FormatChooser*>(chooserLog.get())
                                    : &chooserDialog);

    zt::SingleInstance instance;
    if (!instance.TryAcquire()) {
        zt::CurrentDialogs().Information(std::string("O Sistema \"") + zt::kApplicationTitle +
                                         "\" já está ativo");
        zt::SetFormatChooser(nullptr);
        zt::SetDialogs(nullptr);
        return 0;
    }

    int rc = 1;
    {
        zt::MainWindowServices services;
        services.inhibitor = zt::MakeLogindInhibitor();
        std::unique_ptr<zt::TFrmGravar> window;
        if (zt::Guarded([&] { window = std::make_unique<zt::TFrmGravar>(std::move(services)); }) &&
            window) {
            window->show();
            rc = app.exec();
        }
    }
    zt::SetFormatChooser(nullptr);
    zt::SetDialogs(nullptr);
    return rc;
}
