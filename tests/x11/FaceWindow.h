#pragma once
// A small window with the real face and both record/stop controls, wired
// the way the main window wires them: the skin at the top-left, the
// controls at their layout places, a move over the skin dropping the
// captions' outlines, the skin's window moves recorded instead of done.
//
// Threads: the test's main thread.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/skin/RecordStopControl.h"
#include "app/skin/Skin.h"

namespace zt::test {

// Runs the event loop until `done` (the X server answers in its own time);
// false when it never came within a generous limit.
inline bool RunUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct FaceWindow {
    FaceWindow() : window(std::make_unique<QWidget>()) {
        window->setObjectName("FrmFace");
        skin = new TSkin(window.get());
        record = new TRecordStopControl(TRecordStopControl::Kind::Record, window.get());
        stop = new TRecordStopControl(TRecordStopControl::Kind::Stop, window.get());
        stop->SetVisible(false);
        skin->OnMouseMove = [this] { TRecordStopControl::ResetCaptionOutlines(*record, *stop); };
        skin->SetMoveHook([this](QWindow* w) {
            moves.push_back(w);
            return true;
        });
        window->resize(skin->size());
        window->move(100, 80);
    }

    std::unique_ptr<QWidget> window;
    TSkin* skin = nullptr;
    TRecordStopControl* record = nullptr;
    TRecordStopControl* stop = nullptr;
    std::vector<QWindow*> moves;
};

}  // namespace zt::test
