#pragma once
// The notification-area icon of the main window and its popup menu.
//
// A left click toggles the window; a right click opens the menu 200 ms later
// at the mouse cursor (TimerPopup), rather than through the tray's own
// context menu, which the platform would open at once. While the recorder
// records, TimerIcone turns the icon through its eight frames every 300 ms;
// the frame counter carries on where it stopped at the next recording.
// The menu's "Gravar"/"Parar" states change only through those two items:
// a start or stop from the window leaves them as they are.
//
// Threads: main thread only. Every handler runs inside zt::Guarded when it
// comes from Qt (tray activation, timers, menu actions), so no exception
// crosses the event loop; called directly, handlers let exceptions of the
// window's handlers through to the caller.

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QTimer;

namespace zt {

struct TrayHandlers {
    std::function<void()> startRecording;  // BGravarClick of the window
    std::function<void()> stopRecording;   // BStopClick
    std::function<void()> toggleWindow;    // left click: hide when visible, else show
    std::function<void()> showWindow;      // "Restaurar"
    std::function<void()> hideWindow;      // "Ocultar"
    std::function<void()> closeWindow;     // "Fechar"
};

class TTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TTrayIcon(TrayHandlers handlers, QObject* parent = nullptr);
    ~TTrayIcon() override;

    // Shows the icon (tip "Zelta Tresona 2012", icon MainIcon()). Without a
    // tray host it looks again every few seconds and shows the icon once a
    // host appears (a desktop whose panel starts after the recorder).
    void Add();
    // Hides it (the window's destruction).
    void Remove();
    // A tray host exists (QSystemTrayIcon::isSystemTrayAvailable()).
    bool Available() const;
    // The icon is in the notification area now, so the window can be hidden
    // and still be brought back.
    bool Shown() const;
    void StartAnimation();  // enable TimerIcone (300 ms)
    void StopAnimation();   // disable TimerIcone
    void ShowIdleIcon();    // icon of Image5 as app icon and tray icon
    // Recording is wanted but nothing is recorded: the alarm icon replaces
    // the animation's frames and the idle icon until the alarm ends, and the
    // tip says why under the title. An empty text ends the alarm (the icon
    // the animation or the idle state would show comes back).
    void ShowAlarm(const QString& why);
    bool AlarmShown() const { return !alarm_.isEmpty(); }

    // Handlers, public so tests and the window can call them.
    // Trigger -> toggleWindow; Context -> enable TimerPopup; others ignored.
    void TrayCallback(QSystemTrayIcon::ActivationReason reason);
    // Disable TimerPopup, open PopupMenu1 at QCursor::pos().
    void TimerPopupTimer();
    // Next frame (1..8, wrapping); it becomes the app icon and the tray icon.
    void TimerIconeTimer();
    void Gravar1Click();     // disable Gravar1, enable Parar1, start recording
    void Parar1Click();      // enable Gravar1, disable Parar1, stop recording
    void Maximizar1Click();  // show the window
    void Minimizar1Click();  // hide the window
    void Fechar1Click();     // close the window

    // For tests and inspection.
    QMenu* PopupMenu1();
    QAction* Gravar1();
    QAction* Parar1();
    QTimer* TimerPopup();
    QTimer* TimerIcone();
    uint8_t FIconFrame() const { return frame_; }
    QIcon CurrentIcon() const { return current_; }
    QSystemTrayIcon* Tray();

private:
    void SetIcon(const QIcon& icon);
    // SetIcon unless the alarm holds the icon.
    void ShowState(const QIcon& icon);
    QAction* AddItem(const char* name, const char* caption, int image,
                     void (TTrayIcon::*handler)());

    TrayHandlers handlers_;
    QSystemTrayIcon* tray_;
    std::unique_ptr<QMenu> menu_;  // a top-level popup: no widget parent to own it
    QAction* gravar1_ = nullptr;
    QAction* parar1_ = nullptr;
    QTimer* timerPopup_;
    QTimer* timerIcone_;
    QTimer* waitForHost_;  // Add() without a tray host: look again later
    uint8_t frame_ = 0;
    QIcon current_;
    QIcon main_;
    std::array<QIcon, 8> frames_;
    QIcon alarmIcon_;
    QString alarm_;
    QIcon stateIcon_;  // what the animation or the idle state last showed
};

}  // namespace zt
