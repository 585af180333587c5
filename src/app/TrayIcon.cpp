#include "app/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QTimer>

#include "app/TrayIcons.h"
#include "platform/ErrorDisplay.h"
#include "platform/SingleInstance.h"

namespace zt {
namespace {

constexpr int kPopupDelayMs = 200;
constexpr int kFrameIntervalMs = 300;
constexpr int kIdleFrame = 5;
constexpr int kHostPollMs = 5000;

void Call(const std::function<void()>& handler) {
    if (handler) handler();
}

}  // namespace

TTrayIcon::TTrayIcon(TrayHandlers handlers, QObject* parent)
    : QObject(parent),
      handlers_(std::move(handlers)),
      tray_(new QSystemTrayIcon(this)),
      menu_(std::make_unique<QMenu>()),
      timerPopup_(new QTimer(this)),
      timerIcone_(new QTimer(this)),
      waitForHost_(new QTimer(this)),
      main_(MainIcon()),
      alarmIcon_(AlarmIcon()) {
    for (int n = 1; n <= kTrayFrameCount; ++n) frames_[n - 1] = FrameIcon(n);

    current_ = stateIcon_ = main_;
    tray_->setIcon(main_);
    tray_->setToolTip(QString::fromUtf8(kApplicationTitle));
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                Guarded([&] { TrayCallback(reason); });
            });

    menu_->setObjectName("PopupMenu1");
    gravar1_ = AddItem("Gravar1", "Gravar", 3, &TTrayIcon::Gravar1Click);
    gravar1_->setEnabled(false);
    parar1_ = AddItem("Parar1", "Parar", 4, &TTrayIcon::Parar1Click);
    menu_->addSeparator()->setObjectName("N2");
    AddItem("Maximizar1", "Restaurar", 2, &TTrayIcon::Maximizar1Click);
    AddItem("Minimizar1", "Ocultar", 1, &TTrayIcon::Minimizar1Click);
    menu_->addSeparator()->setObjectName("N1");
    AddItem("Fechar1", "Fechar", 0, &TTrayIcon::Fechar1Click);

    timerPopup_->setObjectName("TimerPopup");
    timerPopup_->setInterval(kPopupDelayMs);
    timerPopup_->setSingleShot(true);
    connect(timerPopup_, &QTimer::timeout, this,
            [this] { Guarded([this] { TimerPopupTimer(); }); });

    timerIcone_->setObjectName("TimerIcone");
    timerIcone_->setInterval(kFrameIntervalMs);
    connect(timerIcone_, &QTimer::timeout, this,
            [this] { Guarded([this] { TimerIconeTimer(); }); });

    waitForHost_->setInterval(kHostPollMs);
    connect(waitForHost_, &QTimer::timeout, this, [this] {
        if (!Available()) return;
        waitForHost_->stop();
        tray_->show();
    });
}

TTrayIcon::~TTrayIcon() = default;

QAction* TTrayIcon::AddItem(const char* name, const char* caption, int image,
                            void (TTrayIcon::*handler)()) {
    // The menu's image list: 0 close, 1 hide, 2 restore, 3 record, 4 stop.
    static constexpr MenuImage kImages[] = {MenuImage::Close, MenuImage::Hide, MenuImage::Restore,
                                            MenuImage::Record, MenuImage::Stop};
    // Owned by the tray icon (a child of the window), so that the window's
    // translation finds the items by name.
    auto* action = new QAction(MenuIcon(kImages[image]), QString::fromUtf8(caption), this);
    menu_->addAction(action);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this,
            [this, handler] { Guarded([&] { (this->*handler)(); }); });
    return action;
}

void TTrayIcon::Add() {
    if (Available())
        tray_->show();
    else
        waitForHost_->start();
}

void TTrayIcon::Remove() {
    waitForHost_->stop();
    tray_->hide();
}

bool TTrayIcon::Shown() const {
    return tray_->isVisible();
}

bool TTrayIcon::Available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::StartAnimation() {
    timerIcone_->start();
}

void TTrayIcon::StopAnimation() {
    timerIcone_->stop();
}

void TTrayIcon::ShowIdleIcon() {
    ShowState(frames_[kIdleFrame - 1]);
}

void TTrayIcon::ShowAlarm(const QString& why) {
    if (why == alarm_) return;
    alarm_ = why;
    const QString title = QString::fromUtf8(kApplicationTitle);
    tray_->setToolTip(why.isEmpty() ? title : title + "\n" + why);
    SetIcon(why.isEmpty() ? stateIcon_ : alarmIcon_);
}

void TTrayIcon::TrayCallback(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            Call(handlers_.toggleWindow);
            break;
        case QSystemTrayIcon::Context:
            timerPopup_->start();
            break;
        default:
            break;
    }
}

void TTrayIcon::TimerPopupTimer() {
    timerPopup_->stop();
    menu_->popup(QCursor::pos());
}

void TTrayIcon::TimerIconeTimer() {
    ++frame_;
    if (frame_ > kTrayFrameCount) frame_ = 1;
    ShowState(frames_[frame_ - 1]);
}

void TTrayIcon::Gravar1Click() {
    gravar1_->setEnabled(false);
    parar1_->setEnabled(true);
    Call(handlers_.startRecording);
}

void TTrayIcon::Parar1Click() {
    gravar1_->setEnabled(true);
    parar1_->setEnabled(false);
    Call(handlers_.stopRecording);
}

void TTrayIcon::Maximizar1Click() {
    Call(handlers_.showWindow);
}

void TTrayIcon::Minimizar1Click() {
    Call(handlers_.hideWindow);
}

void TTrayIcon::Fechar1Click() {
    Call(handlers_.closeWindow);
}

void TTrayIcon::ShowState(const QIcon& icon) {
    stateIcon_ = icon;
    if (alarm_.isEmpty()) SetIcon(icon);
}

void TTrayIcon::SetIcon(const QIcon& icon) {
    current_ = icon;
    QApplication::setWindowIcon(icon);
    tray_->setIcon(icon);
}

QMenu* TTrayIcon::PopupMenu1() {
    return menu_.get();
}
QAction* TTrayIcon::Gravar1() {
    return gravar1_;
}
QAction* TTrayIcon::Parar1() {
    return parar1_;
}
QTimer* TTrayIcon::TimerPopup() {
    return timerPopup_;
}
QTimer* TTrayIcon::TimerIcone() {
    return timerIcone_;
}
QSystemTrayIcon* TTrayIcon::Tray() {
    return tray_;
}

}  // namespace zt
