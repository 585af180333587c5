#include "displays/ui/DisplayView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace zt {
namespace {

// A control that counts its drawings and lets the test mark it stale.
class CountingControl : public TMMGraphicControl {
public:
    CountingControl() : TMMGraphicControl(40, 20) {}
    void Change() { Invalidate(); }
    int renders = 0;

protected:
    void Render(QImage& image) override {
        ++renders;
        image.fill(Qt::black);
    }
};

void RunFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents();
}

TEST(DisplayViewTest, ManyChangesBetweenFramesPaintOnce) {
    CountingControl control;
    {
        TMMDisplayView view(control);
        view.show();
        RunFor(100);
        ASSERT_TRUE(control.Visible());
        const int before = control.renders;
        ASSERT_GE(before, 1) << "the shown view paints";

        for (int i = 0; i < 500; ++i) {
            control.Change();
            QCoreApplication::processEvents();
        }
        RunFor(5 * TMMDisplayView::kFrameMs);
        // 500 changes in far less than a frame or two: a few paints at
        // most, not hundreds.
        EXPECT_GE(control.renders, before + 1);
        EXPECT_LE(control.renders, before + 4);
        EXPECT_EQ(TMMDisplayView::WaitingViews(), 0);

        control.Change();
        EXPECT_EQ(TMMDisplayView::WaitingViews(), 1);
    }
    // A view destroyed while waiting leaves the frame clock.
    EXPECT_EQ(TMMDisplayView::WaitingViews(), 0);
    EXPECT_FALSE(control.Visible());
}

}  // namespace
}  // namespace zt
