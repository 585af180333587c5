// The main window on a real X server, as an operator sees it: cut to its
// face, dragged by the face (the title and the read-outs included), the
// record caption pressed and released to start recording, and what the
// screen shows idle, recording and with the settings open (the renders the
// README shows).

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <filesystem>

#include "app/AppTestSupport.h"
#include "app/FaceLayout.h"
#include "app/MainWindow.h"
#include "app/skin/OutlineLabel.h"
#include "app/skin/Skin.h"
#include "audio/SignalTestSupport.h"
#include "audio/capture/WaveInTestSupport.h"
#include "platform/Paths.h"
#include "support/AlsaFixture.h"
#include "support/Renders.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::RunUntil;

constexpr QRgb kMagenta = 0xFFFF00FF;

class MainWindowOnX : public ::testing::Test {
protected:
    MainWindowOnX()
        : fx_({test::AlsaFixturePcm{"zt_capture", test::AsBytes(test::Sweep(44100, 2, 4.0))}}) {
        SetExecutableDirOverride(exeDir_.dir());
        test::WriteSettings(exeDir_.dir(), {{"AutoGravar", "N"}});
        MainWindowServices services;
        services.watchSignals = false;
        window_ = std::make_unique<TFrmGravar>(std::move(services));
        skin_ = window_->findChild<TSkin*>("Skin");
        skin_->SetMoveHook([this](QWindow* window) {
            moves_.push_back(window);
            return true;
        });
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    ~MainWindowOnX() override {
        if (window_ && window_->IsRecording()) {
            window_->Session().BStopClick();
            window_->Session().WaitForFileWork();
        }
        window_.reset();
        SetExecutableDirOverride("");
    }

    // What the X server shows where the window is.
    QImage Screen() {
        QCoreApplication::processEvents();
        const QRect area = window_->frameGeometry();
        return window_->screen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage();
    }
    template <class W>
    W* Child(const char* name) {
        W* widget = window_->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // Lets the displays run for a moment.
    void Settle(int ms) {
        RunUntil([] { return false; }, std::chrono::milliseconds(ms));
    }

    test::TempDir exeDir_;
    test::AlsaFixture fx_;
    test::ScriptedDialogs dialogs_;
    std::unique_ptr<TFrmGravar> window_;
    TSkin* skin_ = nullptr;
    std::vector<QWindow*> moves_;
};

TEST_F(MainWindowOnX, TheWindowIsItsFaceAndDragsByIt) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "this test needs the real X server";
    EXPECT_TRUE(window_->windowFlags() & Qt::FramelessWindowHint);
    const QRegion mask = window_->mask();
    // The corners of the face are rounded off and the column beyond its
    // right edge is the key colour: outside. The face is inside.
    for (QPoint outside : {QPoint(0, 0), QPoint(398, 362), QPoint(399, 100)})
        EXPECT_FALSE(mask.contains(outside)) << outside.x() << "," << outside.y();
    for (QPoint inside : {QPoint(20, 20), QPoint(200, 180), QPoint(380, 340)})
        EXPECT_TRUE(mask.contains(inside)) << inside.x() << "," << inside.y();

    const QImage shown = Screen();
    test::SaveRender(shown, "window_idle");
    // The server cut the window: the root window shows at a cut-out
    // corner, never the key colour; the face shows inside.
    EXPECT_NE(shown.pixel(0, 0) | 0xFF000000, kMagenta);
    EXPECT_NE(shown.pixel(0, 0), shown.pixel(200, 20));
    EXPECT_EQ(shown.pixel(399, 100) | 0xFF000000, shown.pixel(0, 0) | 0xFF000000);

    // A left press on the face, on the title or on a read-out's caption
    // starts the window's move; a press on a button does not.
    struct Press {
        const char* what;
        QPoint at;
        bool moves;
    };
    const Press presses[] = {
        {"bare face", QPoint(300, 20), true},
        {"title", face::kTitle.center(), true},
        {"read-out caption", face::kElapsedCaption.center(), true},
        {"gauge", face::kGauge.center(), true},
        {"Display button", face::kButtonDisplay.center(), false},
    };
    for (const Press& p : presses) {
        SCOPED_TRACE(p.what);
        moves_.clear();
        QWidget* target = window_->centralWidget()->childAt(p.at);
        ASSERT_NE(target, nullptr);
        QTest::mousePress(target, Qt::LeftButton, {},
                          target->mapFrom(window_->centralWidget(), p.at));
        QTest::mouseRelease(target, Qt::LeftButton, {},
                            target->mapFrom(window_->centralWidget(), p.at));
        EXPECT_EQ(moves_.size(), p.moves ? 1u : 0u);
        if (p.moves) {
            EXPECT_EQ(target, skin_);
        }
    }
}

TEST_F(MainWindowOnX, TheRecordCaptionPressedAndReleasedStartsRecording) {
    auto* caption = Child<TOutlineLabel>("LabelGravar");
    const QRect before = caption->geometry();
    const int fontBefore = caption->FontSize();
    const QPoint centre = caption->rect().center();

    QTest::mousePress(caption, Qt::LeftButton, {}, centre);
    EXPECT_EQ(caption->geometry(), before.translated(0, 2)) << "lowered";
    EXPECT_EQ(caption->FontSize(), fontBefore - 2) << "shrunk";
    EXPECT_FALSE(window_->IsRecording());
    QTest::mouseRelease(caption, Qt::LeftButton, {}, centre);
    EXPECT_EQ(caption->geometry(), before);
    EXPECT_EQ(caption->FontSize(), fontBefore);
    ASSERT_TRUE(RunUntil([&] { return window_->IsRecording(); }));

    // Recording: the stop control in its place, the displays running.
    EXPECT_TRUE(Child<QWidget>("BStop")->isVisible());
    EXPECT_FALSE(Child<QWidget>("BGravar")->isVisible());
    Settle(1500);
    test::SaveRender(Screen(), "window_recording");

    // The settings over the displays; recording goes on.
    QTest::mouseClick(Child<QWidget>("BConfig"), Qt::LeftButton);
    EXPECT_TRUE(window_->ConfigPanel()->isVisible());
    EXPECT_FALSE(Child<QWidget>("PEqualizadores")->isVisible());
    Settle(300);
    test::SaveRender(Screen(), "window_settings");
    EXPECT_TRUE(window_->IsRecording());
}

}  // namespace
}  // namespace zt
