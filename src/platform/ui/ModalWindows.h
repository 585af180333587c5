#pragma once
// Every modal window the program opens (other than message boxes, which go
// through Dialogs) is shown through ShowModal, so that a test can run the
// window's own loop with a limit instead of waiting on it.
//
// Threads: main thread only.

#include <functional>

class QDialog;

namespace zt {

// Shows `dialog` modally and returns its result when it closes.
int ShowModal(QDialog& dialog);

// Replaces how modal windows are shown; an empty function restores
// QDialog::exec. Returns the previous one.
using ModalRunner = std::function<int(QDialog&)>;
ModalRunner SetModalRunner(ModalRunner runner);

}  // namespace zt
