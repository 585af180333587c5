// The mixer knob: its range and value from the control's range and steps,
// turning it writes both channels of the volume, the card's changes and the
// refresh's own moves write nothing back, refused controls, a disabled
// control, and the errors of the operator's turns.

#include "mixer/ui/MixerWheel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <string>
#include <vector>

#include "mixer/MixerErrors.h"
#include "mixer/MixerTestSupport.h"
#include "support/ScriptedDialogs.h"

namespace zt {
namespace {

using namespace test::card;
using test::MixerNetwork;
using Op = InMemoryMixerBackend::Op;

void PressKey(QWidget& widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

class MixerWheelTest : public ::testing::Test {
protected:
    MixerWheelTest() { test::AddStandardCard(backend); }
    size_t Writes() const { return backend.TransfersOf(Op::SetDetails).size(); }
    // The monitor knob ("Retorno") on the monitor line's volume.
    void Bind(TMMMixerWheel& wheel, TMMCustomMixerControl& control) {
        wheel.SetControl(&control);
        wheel.Loaded();
    }
    InMemoryMixerBackend backend;
};

TEST_F(MixerWheelTest, RangeAndValueFollowTheControlsRangeAndSteps) {
    struct Case {
        int32_t minimum, maximum;
        uint32_t steps;
        int32_t stored;  // on both channels
        int knobMaximum;
        int knobValue;
    } cases[] = {
        {0, 65535, 0, 5000, 32, 2},  // no steps given: 32
        {0, 65535, 0, 65535, 32, 32}, {0, 100, 10, 54, 10, 5},
        {100, 200, 4, 150, 4, 2},     {100, 100, 0, 100, 1, 0},  // no range: the knob stays at 0
        {0, 0, 5, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.minimum) + ".." + std::to_string(c.maximum) + "/" +
                     std::to_string(c.steps));
        auto& record = backend.FindControl(0, kMonitorLineVolume)->record;
        record.minimum = c.minimum;
        record.maximum = c.maximum;
        record.steps = c.steps;
        backend.Values(0, kMonitorLineVolume) = {c.stored, c.stored};
        MixerNetwork net(backend);
        TMMMixerWheel wheel;
        backend.ClearRecord();
        Bind(wheel, net.volume);
        EXPECT_TRUE(wheel.isEnabled());
        EXPECT_EQ(wheel.Minimum(), 0);
        EXPECT_EQ(wheel.Maximum(), c.knobMaximum);
        EXPECT_EQ(wheel.Value(), c.knobValue);
        EXPECT_EQ(Writes(), 0u);
    }
}

TEST_F(MixerWheelTest, TurningTheKnobWritesBothChannelsOfTheVolume) {
    MixerNetwork net(backend);
    TMMMixerWheel wheel;
    Bind(wheel, net.volume);
    int changes = 0;
    wheel.OnChange = [&](TMMMixerWheel*) { ++changes; };
    backend.ClearRecord();
    PressKey(wheel, Qt::Key_Home);  // to the maximum
    EXPECT_EQ(wheel.Value(), 32);
    EXPECT_EQ(backend.Values(0, kMonitorLineVolume), (std::vector<int32_t>{65535, 65535}));
    EXPECT_EQ(Writes(), 2u);  // left, then right
    EXPECT_EQ(changes, 1);

    // 16 of 32 steps: 32767.5, rounded half to even.
    wheel.SetValue(16);
    EXPECT_EQ(backend.Values(0, kMonitorLineVolume), (std::vector<int32_t>{32768, 32768}));

    // One channel only.
    wheel.SetChannel(TMMChannel::chRight);
    EXPECT_EQ(wheel.Value(), 16);
    wheel.SetValue(0);
    EXPECT_EQ(backend.Values(0, kMonitorLineVolume), (std::vector<int32_t>{32768, 0}));
}

TEST_F(MixerWheelTest, NothingOfARefreshIsWrittenBack) {
    MixerNetwork net(backend);
    TMMMixerWheel wheel;
    Bind(wheel, net.volume);
    wheel.SetValue(20);
    EXPECT_EQ(backend.DeliverChanges(), 2);  // the card reports the write
    EXPECT_EQ(wheel.Value(), 20);
    backend.ClearRecord();

    // Another program moves the level.
    backend.Values(0, kMonitorLineVolume) = {8192, 8192};
    backend.RaiseControlChange(0, kMonitorLineVolume);
    EXPECT_EQ(wheel.Value(), 4);
    EXPECT_EQ(Writes(), 0u);

    // The recording knob's input changes to one with a range of 3 steps: the
    // knob's value is clamped by the new range, and that is not written to
    // the new control either.
    auto& mic = backend.FindControl(0, kRecMicVolume)->record;
    mic.maximum = 3;
    mic.steps = 3;
    backend.Values(0, kRecMicVolume) = {1, 1};
    TMMMixerWheel recording;
    Bind(recording, net.volumeRec);
    recording.SetValue(30);
    backend.ClearRecord();
    net.lineInRec.SetComponentType(TMMComponentType::ctSrcMicrophone);
    EXPECT_EQ(recording.Maximum(), 3);
    EXPECT_EQ(recording.Value(), 1);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_EQ(backend.Values(0, kRecMicVolume), (std::vector<int32_t>{1, 1}));
}

TEST_F(MixerWheelTest, AControlOfAnotherClassIsRefusedAndTheBindingStays) {
    MixerNetwork net(backend);
    TMMMixerWheel wheel;
    Bind(wheel, net.volume);
    for (TMMCustomMixerControl* wrong : {static_cast<TMMCustomMixerControl*>(&net.mute),
                                         static_cast<TMMCustomMixerControl*>(&net.selector)}) {
        try {
            wheel.SetControl(wrong);
            ADD_FAILURE() << "no error";
        } catch (const EMMMixerControlsError& e) {
            EXPECT_STREQ(e.what(), "Invalid control class");
        }
        EXPECT_EQ(wheel.Control(), &net.volume);
    }
}

TEST_F(MixerWheelTest, AKnobWithoutAUsableControlIsDisabledAtZero) {
    MixerNetwork net(backend);
    TMMMixerWheel none;
    none.Loaded();
    EXPECT_FALSE(none.isEnabled());

    // The recording line resolves to nothing: the knob goes to 0, disabled.
    TMMMixerWheel wheel;
    Bind(wheel, net.volumeRec);
    EXPECT_EQ(wheel.Value(), 2);
    net.lineInRec.SetComponentType(TMMComponentType::ctSrcAux);
    EXPECT_FALSE(wheel.isEnabled());
    EXPECT_EQ(wheel.Value(), 0);

    // Not allowed to be enabled: disabled, still showing the card's value.
    TMMMixerWheel forbidden;
    forbidden.SetEnabled(false);
    Bind(forbidden, net.volume);
    EXPECT_FALSE(forbidden.isEnabled());
    EXPECT_EQ(forbidden.Value(), 0);  // 1000 of 65535 in 32 steps
}

TEST_F(MixerWheelTest, ADisabledControlIsReadAgainInsteadOfWritten) {
    backend.FindControl(0, kMonitorLineVolume)->record.flags |= kControlFlagDisabled;
    backend.Values(0, kMonitorLineVolume) = {8192, 8192};
    MixerNetwork net(backend);
    TMMMixerWheel wheel;
    Bind(wheel, net.volume);
    // A disabled control is not usable: the knob is disabled at 0.
    EXPECT_FALSE(wheel.isEnabled());
    EXPECT_EQ(wheel.Value(), 0);
    backend.ClearRecord();
    wheel.SetValue(10);
    EXPECT_EQ(wheel.Value(), 0);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_EQ(backend.Values(0, kMonitorLineVolume), (std::vector<int32_t>{8192, 8192}));
}

TEST_F(MixerWheelTest, ErrorsOfCodeReachItsCallerThoseOfTheOperatorTheErrorDisplay) {
    test::ScriptedDialogs dialogs;
    MixerNetwork net(backend);
    TMMMixerWheel wheel;
    Bind(wheel, net.volume);
    backend.SetErrorText(kMMError, "card busy");
    backend.Fail(Op::SetDetails, kMMError);
    EXPECT_THROW(wheel.SetValue(5), EMMMCIError);
    EXPECT_TRUE(dialogs.shown.empty());
    PressKey(wheel, Qt::Key_Up);
    EXPECT_EQ(dialogs.shown, (std::vector<test::ShownDialog>{{DialogKind::Error, "card busy"}}));
}

TEST_F(MixerWheelTest, NothingIsReadOrWrittenWhileLoading) {
    MixerNetwork net(backend, false);
    TMMMixerWheel wheel;
    wheel.SetControl(&net.volume);
    int changes = 0;
    wheel.OnChange = [&](TMMMixerWheel*) { ++changes; };
    wheel.SetValue(3);
    EXPECT_TRUE(backend.transfers.empty());
    EXPECT_EQ(changes, 0);
    net.Load();
    wheel.Loaded();
    EXPECT_EQ(wheel.Value(), 0);  // 1000 of 65535
    EXPECT_EQ(backend.TransfersOf(Op::SetDetails).size(), 0u);
}

}  // namespace
}  // namespace zt
