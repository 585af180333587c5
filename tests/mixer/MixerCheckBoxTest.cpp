// The mixer check box: an input of the recording selector and the monitor
// mute, what a tick writes (and when it writes nothing), the card's changes
// reaching the box without an echo, captions, refused controls, errors of
// the user's clicks and of code, and a render of both ticks.

#include "mixer/ui/MixerCheckBox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <string>
#include <vector>

#include "mixer/MixerErrors.h"
#include "mixer/MixerTestSupport.h"
#include "support/Renders.h"
#include "support/ScriptedDialogs.h"

namespace zt {
namespace {

using namespace test::card;
using test::MixerNetwork;
using Op = InMemoryMixerBackend::Op;

class MixerCheckBoxTest : public ::testing::Test {
protected:
    MixerCheckBoxTest() {
        test::AddStandardCard(backend);
        backend.FindControl(0, kMonitorLineMute)->record.shortName = "Mute";
    }
    // The recording check box: the selector's item for the chosen input.
    void BindRecording(TMMMixerCheckBox& box, MixerNetwork& net) {
        box.SetControl(&net.selector);
        box.SetItemLine(&net.lineInRec);
        box.Loaded();
    }
    size_t Writes() const { return backend.TransfersOf(Op::SetDetails).size(); }

    InMemoryMixerBackend backend;
};

TEST_F(MixerCheckBoxTest, TickingAnInputSelectsItAndDeselectsTheOtherInOneWrite) {
    MixerNetwork net(backend);
    TMMMixerCheckBox box;
    BindRecording(box, net);
    EXPECT_EQ(box.Item(), 1);
    EXPECT_TRUE(box.isEnabled());
    EXPECT_EQ(box.Caption(), "Line In");
    EXPECT_FALSE(box.Checked());  // the card records from CD

    int clicks = 0;
    box.OnClick = [&](TMMMixerCheckBox*) { ++clicks; };
    backend.ClearRecord();
    box.SetChecked(true);
    ASSERT_EQ(Writes(), 1u);
    EXPECT_EQ(backend.Values(0, kSelector), (std::vector<int32_t>{0, 1, 0}));
    EXPECT_EQ(clicks, 1);

    // Already ticked: nothing is written.
    backend.ClearRecord();
    box.SetChecked(true);
    EXPECT_EQ(Writes(), 0u);

    // The card's own notification of that write comes back without an echo.
    EXPECT_EQ(backend.DeliverChanges(), 1);
    EXPECT_TRUE(box.Checked());
    EXPECT_EQ(Writes(), 0u);
}

TEST_F(MixerCheckBoxTest, AUsersClickWrites) {
    MixerNetwork net(backend);
    TMMMixerCheckBox box;
    BindRecording(box, net);
    box.resize(box.sizeHint());
    box.show();
    const QPoint at = box.rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, at, box.mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, box.mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    backend.ClearRecord();
    QApplication::sendEvent(&box, &press);
    QApplication::sendEvent(&box, &release);
    EXPECT_TRUE(box.Checked());
    EXPECT_EQ(Writes(), 1u);
    EXPECT_EQ(backend.Values(0, kSelector), (std::vector<int32_t>{0, 1, 0}));
}

TEST_F(MixerCheckBoxTest, TheCardsChangesReachTheBoxWithoutAnEcho) {
    MixerNetwork net(backend);
    TMMMixerCheckBox recording, mute;
    BindRecording(recording, net);
    mute.SetControl(&net.mute);
    mute.Loaded();
    EXPECT_FALSE(mute.Checked());
    backend.ClearRecord();

    // Another program selects the line input and mutes the monitor path.
    backend.Values(0, kSelector) = {0, 1, 0};
    backend.RaiseControlChange(0, kSelector);
    backend.Values(0, kMonitorLineMute) = {1};
    backend.RaiseControlChange(0, kMonitorLineMute);
    EXPECT_TRUE(recording.Checked());
    EXPECT_TRUE(mute.Checked());
    EXPECT_EQ(Writes(), 0u);

    // The chosen input becomes the microphone: the box stands for its item.
    net.lineInRec.SetComponentType(TMMComponentType::ctSrcMicrophone);
    EXPECT_EQ(recording.Item(), 2);
    EXPECT_EQ(recording.Caption(), "Microphone");
    EXPECT_FALSE(recording.Checked());
    EXPECT_EQ(Writes(), 0u);
}

TEST_F(MixerCheckBoxTest, Captions) {
    MixerNetwork net(backend);
    struct Case {
        const char* what;
        TMMCustomMixerControl* control;
        TMMAudioLine* itemLine;
        bool autoCaption;
        bool shortName;
        bool enabled;
        QString caption;
    } cases[] = {
        {"item", &net.selector, &net.lineInRec, true, true, true, "Line In"},
        {"short name", &net.mute, nullptr, true, true, true, "Mute"},
        {"name", &net.mute, nullptr, true, false, true, "Line Mute"},
        {"own caption", &net.mute, nullptr, false, true, true, "Desativar retorno"},
        // Not an input of the recording: disabled, caption left alone.
        {"no item", &net.selector, &net.lineIn, true, true, false, "Desativar retorno"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMMMixerCheckBox box;
        box.SetCaption("Desativar retorno");
        box.SetControl(c.control);
        box.SetItemLine(c.itemLine);
        box.SetAutoCaption(c.autoCaption);
        box.SetShort(c.shortName);
        box.Loaded();
        EXPECT_EQ(box.isEnabled(), c.enabled);
        EXPECT_EQ(box.Caption(), c.caption);
    }
}

TEST_F(MixerCheckBoxTest, AControlOfAnotherClassIsRefusedAndTheBindingStays) {
    MixerNetwork net(backend);
    TMMMixerCheckBox box;
    box.SetControl(&net.mute);
    box.Loaded();
    try {
        box.SetControl(&net.volume);
        ADD_FAILURE() << "no error";
    } catch (const EMMMixerControlsError& e) {
        EXPECT_STREQ(e.what(), "Invalid control class");
    }
    EXPECT_EQ(box.Control(), &net.mute);
    // Still following the mute.
    backend.Values(0, kMonitorLineMute) = {1};
    backend.RaiseControlChange(0, kMonitorLineMute);
    EXPECT_TRUE(box.Checked());
}

TEST_F(MixerCheckBoxTest, ABoxNotAllowedToBeEnabledReadsTheCardInsteadOfWriting) {
    MixerNetwork net(backend);
    TMMMixerCheckBox box;
    box.SetControl(&net.mute);
    box.SetEnabled(false);
    box.Loaded();
    EXPECT_FALSE(box.isEnabled());
    backend.ClearRecord();
    box.SetChecked(true);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_FALSE(box.Checked());
}

TEST_F(MixerCheckBoxTest, ErrorsOfCodeReachItsCallerThoseOfAClickTheErrorDisplay) {
    test::ScriptedDialogs dialogs;
    MixerNetwork net(backend);
    TMMMixerCheckBox box;
    box.SetControl(&net.mute);
    box.Loaded();
    backend.SetErrorText(kMMError, "card busy");
    backend.Fail(Op::SetDetails, kMMError);
    EXPECT_THROW(box.SetChecked(true), EMMMCIError);
    EXPECT_TRUE(dialogs.shown.empty());
    box.click();
    EXPECT_EQ(dialogs.shown, (std::vector<test::ShownDialog>{{DialogKind::Error, "card busy"}}));
}

// Whether the box's indicator shows a tick: dark pixels inside the
// indicator's frame.
int DarkPixelsInIndicator(const QImage& image, const QRect& indicator) {
    int dark = 0;
    const QRect inside = indicator.adjusted(3, 3, -3, -3);
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) ++dark;
    return dark;
}

TEST_F(MixerCheckBoxTest, RenderTellsATickedBoxFromAnUntickedOne) {
    MixerNetwork net(backend);
    TMMMixerCheckBox box;
    BindRecording(box, net);
    box.resize(box.sizeHint());
    QStyleOptionButton option;
    option.initFrom(&box);
    const QRect indicator =
        box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
    ASSERT_FALSE(indicator.isEmpty());

    const QImage unticked = box.grab().toImage();
    box.SetChecked(true);
    const QImage ticked = box.grab().toImage();
    EXPECT_FALSE(test::SaveRender(unticked, "mixer_checkbox_unticked").empty());
    EXPECT_FALSE(test::SaveRender(ticked, "mixer_checkbox_ticked").empty());

    const int tickedDark = DarkPixelsInIndicator(ticked, indicator);
    const int untickedDark = DarkPixelsInIndicator(unticked, indicator);
    EXPECT_EQ(untickedDark, 0);
    EXPECT_GE(tickedDark, 6);
}

}  // namespace
}  // namespace zt
