// The main window's part of the process priority: the check box of the
// settings panel and the raise when the settings are applied.
#include <QCheckBox>
#include <QTimer>

#include "app/MainWindow.h"
#include "platform/AudioThreadPriority.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "priority/OwnProcessPriority.h"
#include "priority/PriorityRaise.h"
#include "priority/TFrmPrioridade.h"

namespace zt {

namespace {

// Hands each message of the raise to the current dialogs once the event
// loop runs again. The raise runs while the settings are applied, at
// start-up among them: a box opened there, before the window's timers have
// started, would hold up the automatic recording until someone clicks it,
// and a station restarting after a power cut has nobody at the screen.
class LaterDialogs final : public Dialogs {
public:
    explicit LaterDialogs(QObject* context) : context_(context) {}
    void Information(const std::string& text) override {
        Later([text] { CurrentDialogs().Information(text); });
    }
    void Warning(const std::string& text) override {
        Later([text] { CurrentDialogs().Warning(text); });
    }
    void Error(const std::string& text) override {
        Later([text] { CurrentDialogs().Error(text); });
    }
    // The raise asks nothing.
    bool Question(const std::string&) override { return false; }
    std::optional<std::string> ChooseFolder(const std::string&) override { return std::nullopt; }

private:
    template <class F>
    void Later(F show) {
        QTimer::singleShot(0, context_, Guard(std::move(show)));
    }
    QObject* context_;
};

}  // namespace

void TFrmGravar::WirePriority() {
    AddMessageLabel("lblOpcaoValidaSomenteParaWindowsXp", kTextOpcaoValidaSomenteParaWindowsXp);
    connect(CBPrioridade, &QCheckBox::clicked, this, Guard([this] { CBPrioridadeClick(); }));
}

void TFrmGravar::CBPrioridadeClick() {
    // The choice takes effect when the settings are saved and applied; a
    // platform that cannot raise a priority refuses the tick at once.
    if (TFrmPrioridade::WindowsFamily() == "98") {
        CurrentDialogs().Information(MessageText("lblOpcaoValidaSomenteParaWindowsXp"));
        CBPrioridade->setChecked(false);
    }
}

void TFrmGravar::TickPriorityCheckBox() {
    CBPrioridade->setChecked(true);
}

void TFrmGravar::RaiseOwnProcessPriority() {
    // The process as far as this user may lower its nice value (reported
    // once when it cannot be done, never stopping the apply); the capture
    // thread, now and at every later start of a recording, on real-time
    // scheduling where the limits permit. A thread the limits keep off
    // real-time goes on at its normal priority without a message, as the
    // process does when the kernel grants less than asked.
    PrioritySystem& system =
        services_.prioritySystem ? *services_.prioritySystem : RealPrioritySystem();
    LaterDialogs later(this);
    zt::RaiseOwnProcessPriority(later, services_.procRoot, system);
    SetAudioThreadRaiser([&system](pid_t tid) { return RaiseThreadToRealtime(tid, system); });
    raisesAudioThreads_ = true;
}

}  // namespace zt
