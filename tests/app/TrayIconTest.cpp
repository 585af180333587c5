#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QThread>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "app/TrayIcon.h"
#include "app/TrayIcons.h"
#include "platform/Exceptions.h"
#include "support/ScriptedDialogs.h"

namespace zt {
namespace {

// Bounds a wait for a timer the test has started; only a failure reaches it.
constexpr int kLoopLimitMs = 5000;

bool SpinUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < kLoopLimitMs) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

QImage ImageOf(const QIcon& icon, int size = 32) {
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

// A tray icon whose window handlers only write down what they were asked.
struct Tray {
    std::vector<std::string> calls;
    TTrayIcon icon{TrayHandlers{
        [this] { calls.push_back("start"); },
        [this] { calls.push_back("stop"); },
        [this] { calls.push_back("toggle"); },
        [this] { calls.push_back("show"); },
        [this] { calls.push_back("hide"); },
        [this] { calls.push_back("close"); },
    }};
};

TEST(TrayIcon, MenuItemsTimersAndTipAsCreated) {
    Tray t;
    QMenu* menu = t.icon.PopupMenu1();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "PopupMenu1");
    struct Item {
        const char* name;
        const char* text;  // empty: separator
        bool enabled;
    };
    const Item expected[] = {
        {"Gravar1", "Gravar", false},      {"Parar1", "Parar", true},       {"N2", "", true},
        {"Maximizar1", "Restaurar", true}, {"Minimizar1", "Ocultar", true}, {"N1", "", true},
        {"Fechar1", "Fechar", true},
    };
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(actions[i]->objectName(), expected[i].name);
        EXPECT_EQ(actions[i]->isSeparator(), *expected[i].text == '\0');
        EXPECT_EQ(actions[i]->text(), expected[i].text);
        EXPECT_EQ(actions[i]->isEnabled(), expected[i].enabled);
        if (!actions[i]->isSeparator()) {
            EXPECT_FALSE(actions[i]->icon().isNull());
        }
    }
    EXPECT_EQ(t.icon.Gravar1(), actions[0]);
    EXPECT_EQ(t.icon.Parar1(), actions[1]);

    // The menu opens through the popup timer only, never by the tray itself.
    EXPECT_EQ(t.icon.Tray()->contextMenu(), nullptr);
    EXPECT_EQ(t.icon.Tray()->toolTip(), "Zelta Tresona 2012");
    EXPECT_EQ(ImageOf(t.icon.CurrentIcon()), ImageOf(MainIcon()));
    EXPECT_EQ(ImageOf(t.icon.Tray()->icon()), ImageOf(MainIcon()));
    EXPECT_EQ(t.icon.FIconFrame(), 0);

    struct TimerCase {
        QTimer* timer;
        const char* name;
        int interval;
        bool singleShot;
    };
    for (const auto& c : {TimerCase{t.icon.TimerPopup(), "TimerPopup", 200, true},
                          TimerCase{t.icon.TimerIcone(), "TimerIcone", 300, false}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.timer->objectName(), c.name);
        EXPECT_EQ(c.timer->interval(), c.interval);
        EXPECT_EQ(c.timer->isSingleShot(), c.singleShot);
        EXPECT_FALSE(c.timer->isActive());
    }
    EXPECT_TRUE(t.calls.empty());
}

TEST(TrayIcon, OnlyTheMenusOwnRecordAndStopChangeTheirStates) {
    Tray t;
    struct Step {
        const char* what;
        std::function<void(Tray&)> act;
        bool gravarEnabled;
        bool pararEnabled;
        std::vector<std::string> calls;
    };
    const Step steps[] = {
        // Stop on an idle recorder: the window finds nothing to finish.
        {"Parar", [](Tray& t) { t.icon.Parar1()->trigger(); }, true, false, {"stop"}},
        // Recording started from the window: the tray only animates.
        {"window start",
         [](Tray& t) {
             t.icon.StartAnimation();
             t.icon.TimerIconeTimer();
         },
         true,
         false,
         {}},
        {"window stop",
         [](Tray& t) {
             t.icon.StopAnimation();
             t.icon.ShowIdleIcon();
         },
         true,
         false,
         {}},
        {"Gravar", [](Tray& t) { t.icon.Gravar1()->trigger(); }, false, true, {"start"}},
        {"Gravar handler again", [](Tray& t) { t.icon.Gravar1Click(); }, false, true, {"start"}},
        {"Parar handler", [](Tray& t) { t.icon.Parar1Click(); }, true, false, {"stop"}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        t.calls.clear();
        s.act(t);
        EXPECT_EQ(t.icon.Gravar1()->isEnabled(), s.gravarEnabled);
        EXPECT_EQ(t.icon.Parar1()->isEnabled(), s.pararEnabled);
        EXPECT_EQ(t.calls, s.calls);
    }
    t.icon.StopAnimation();
}

TEST(TrayIcon, StatesChangeBeforeTheWindowIsAskedAndStayWhenItFails) {
    test::ScriptedDialogs dialogs;
    bool gravarEnabledDuringStart = true;
    TTrayIcon* self = nullptr;
    TTrayIcon icon(TrayHandlers{[&] {
                                    gravarEnabledDuringStart = self->Gravar1()->isEnabled();
                                    throw Exception("Unable to open device");
                                },
                                {},
                                {},
                                {},
                                {},
                                {}});
    self = &icon;
    icon.Parar1()->trigger();  // no stop handler given: nothing to call
    EXPECT_TRUE(icon.Gravar1()->isEnabled());
    // Through the menu the failure goes to the error display, not up the loop.
    icon.Gravar1()->trigger();
    EXPECT_FALSE(gravarEnabledDuringStart);
    EXPECT_FALSE(icon.Gravar1()->isEnabled());
    EXPECT_TRUE(icon.Parar1()->isEnabled());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Unable to open device");
}

TEST(TrayIcon, WindowItemsCallTheirHandlers) {
    const std::pair<const char*, const char*> cases[] = {
        {"Maximizar1", "show"}, {"Minimizar1", "hide"}, {"Fechar1", "close"}};
    for (const auto& [item, handler] : cases) {
        SCOPED_TRACE(item);
        Tray t;
        QAction* action = nullptr;
        for (QAction* a : t.icon.PopupMenu1()->actions())
            if (a->objectName() == item) action = a;
        ASSERT_NE(action, nullptr);
        action->trigger();
        EXPECT_EQ(t.calls, std::vector<std::string>{handler});
        EXPECT_FALSE(t.icon.Gravar1()->isEnabled());
        EXPECT_TRUE(t.icon.Parar1()->isEnabled());
    }
}

TEST(TrayIcon, LeftClickTogglesAndRightClickOpensTheMenuThroughThePopupTimer) {
    Tray t;
    QSystemTrayIcon* tray = t.icon.Tray();
    emit tray->activated(QSystemTrayIcon::Trigger);
    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(t.calls, (std::vector<std::string>{"toggle", "toggle"}));

    for (auto ignored :
         {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        emit tray->activated(ignored);
    }
    EXPECT_EQ(t.calls.size(), 2u);
    EXPECT_FALSE(t.icon.TimerPopup()->isActive());

    const QPoint cursor(120, 90);
    QCursor::setPos(cursor);
    const bool cursorSettable = QCursor::pos() == cursor;

    emit tray->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(t.icon.TimerPopup()->isActive());
    EXPECT_FALSE(t.icon.PopupMenu1()->isVisible());
    // The timer's own expiry opens the menu.
    ASSERT_TRUE(SpinUntil([&] { return t.icon.PopupMenu1()->isVisible(); }));
    EXPECT_FALSE(t.icon.TimerPopup()->isActive());
    if (cursorSettable) {
        EXPECT_EQ(t.icon.PopupMenu1()->pos(), cursor);
    }
    t.icon.PopupMenu1()->hide();

    // The handler alone: the timer is stopped and the menu opens now.
    t.icon.TimerPopup()->start();
    t.icon.TimerPopupTimer();
    EXPECT_FALSE(t.icon.TimerPopup()->isActive());
    EXPECT_TRUE(t.icon.PopupMenu1()->isVisible());
    t.icon.PopupMenu1()->hide();
    EXPECT_EQ(t.calls.size(), 2u);
}

TEST(TrayIcon, AnimationCyclesEightFramesAndCarriesOnAfterAStop) {
    Tray t;
    std::vector<QImage> frames;
    for (int n = 1; n <= 8; ++n) frames.push_back(ImageOf(FrameIcon(n)));

    t.icon.StartAnimation();
    EXPECT_TRUE(t.icon.TimerIcone()->isActive());
    const int expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 1, 2};
    for (int n : expected) {
        t.icon.TimerIconeTimer();
        ASSERT_EQ(t.icon.FIconFrame(), n);
        EXPECT_EQ(ImageOf(t.icon.CurrentIcon()), frames[n - 1]) << n;
        EXPECT_EQ(ImageOf(t.icon.Tray()->icon()), frames[n - 1]) << n;
        EXPECT_EQ(ImageOf(QApplication::windowIcon()), frames[n - 1]) << n;
    }

    t.icon.StopAnimation();
    EXPECT_FALSE(t.icon.TimerIcone()->isActive());
    t.icon.ShowIdleIcon();
    EXPECT_EQ(t.icon.FIconFrame(), 2);
    EXPECT_EQ(ImageOf(t.icon.CurrentIcon()), frames[4]);
    EXPECT_EQ(ImageOf(t.icon.Tray()->icon()), frames[4]);
    EXPECT_EQ(ImageOf(QApplication::windowIcon()), frames[4]);

    // The next recording goes on from frame 2, on the timer's own ticks.
    t.icon.StartAnimation();
    ASSERT_TRUE(SpinUntil([&] { return t.icon.FIconFrame() == 3; }));
    t.icon.StopAnimation();
    EXPECT_EQ(ImageOf(t.icon.CurrentIcon()), frames[2]);
}

TEST(TrayIcon, FramesAreDistinctDrawingsInBothSizes) {
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        std::vector<QImage> images{ImageOf(MainIcon(), size)};
        for (int n = 1; n <= 8; ++n) images.push_back(ImageOf(FrameIcon(n), size));
        for (const QImage& image : images) {
            EXPECT_EQ(image.size(), QSize(size, size));
            // Round badge: opaque centre, transparent corner.
            EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        }
        for (size_t a = 0; a < images.size(); ++a) {
            for (size_t b = a + 1; b < images.size(); ++b) {
                EXPECT_NE(images[a], images[b]) << a << " vs " << b;
            }
        }
    }
    EXPECT_EQ(ImageOf(FrameIcon(9)), ImageOf(FrameIcon(1)));
}

TEST(TrayIcon, WithoutATrayHostAddAndRemoveChangeNothing) {
    Tray t;
    ASSERT_FALSE(t.icon.Available()) << "this test expects the offscreen platform";
    EXPECT_NO_THROW(t.icon.Add());
    EXPECT_FALSE(t.icon.Tray()->isVisible());
    EXPECT_FALSE(t.icon.Shown());
    EXPECT_NO_THROW(t.icon.Remove());
    EXPECT_FALSE(t.icon.Tray()->isVisible());
    EXPECT_TRUE(t.calls.empty());
}

}  // namespace
}  // namespace zt
