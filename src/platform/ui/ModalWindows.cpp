#include "platform/ui/ModalWindows.h"

#include <QDialog>

namespace zt {

namespace {
ModalRunner& Current() {
    static ModalRunner runner;
    return runner;
}
}  // namespace

int ShowModal(QDialog& dialog) {
    if (Current()) return Current()(dialog);
    return dialog.exec();
}

ModalRunner SetModalRunner(ModalRunner runner) {
    ModalRunner previous = std::move(Current());
    Current() = std::move(runner);
    return previous;
}

}  // namespace zt
