#pragma once
// The recorder's main window. For now an empty frame with the program's
// title; the recording session, displays and tray join it as they are built.
// Threads: main thread only.

#include <QMainWindow>

namespace zt {

inline constexpr const char* kMainWindowTitle = "Zelta Tresona";

class TFrmGravar : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmGravar(QWidget* parent = nullptr);
};

}  // namespace zt
