#include "app/MainWindow.h"

namespace zt {

TFrmGravar::TFrmGravar(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(kMainWindowTitle);
    resize(640, 420);
}

}  // namespace zt
