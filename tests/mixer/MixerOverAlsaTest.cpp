// The window's mixer network, its check boxes and knob over the ALSA back
// end and the fake card of tests/fixtures/alsa: what the operator sets
// reaches the card's controls, and what another program sets there reaches
// the widgets through the event loop.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>
#include <functional>
#include <vector>

#include "mixer/MixerTestSupport.h"
#include "mixer/alsa/AlsaMixerBackend.h"
#include "mixer/ui/MixerCheckBox.h"
#include "mixer/ui/MixerWheel.h"
#include "support/AlsaFixture.h"

namespace zt {
namespace {

using namespace std::chrono_literals;
using test::AlsaCardVariant;

bool RunUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(10s);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

TEST(MixerOverAlsaTest, TheWindowsMixerControlsDriveTheCardAndFollowIt) {
    test::AlsaFixture fixture({test::CardPcm("card", AlsaCardVariant::Full, "Fake Card")});
    AlsaMixerBackend backend({{"default", "Default"}, {"card", "Fake Card"}});
    test::MixerNetwork net(backend);
    net.placa.SetDeviceId(1);

    // The recording input found among the recording destination's sources,
    // the monitor path on the playback side.
    ASSERT_NE(net.lineInRec.LineId(), -1);
    EXPECT_EQ(net.lineInRec.LineInfo().Name(), "Line");
    ASSERT_NE(net.lineIn.LineId(), -1);
    EXPECT_NE(net.lineIn.LineId(), net.lineInRec.LineId());
    ASSERT_TRUE(net.selector.IsValidControl());
    ASSERT_TRUE(net.volumeRec.IsValidControl());
    ASSERT_TRUE(net.mute.IsValidControl());

    TMMMixerCheckBox input, monitorMute;
    input.SetControl(&net.selector);
    input.SetItemLine(&net.lineInRec);
    monitorMute.SetControl(&net.mute);
    monitorMute.SetAutoCaption(false);
    TMMMixerWheel level;
    level.SetControl(&net.volumeRec);
    EndLoading({&input, &monitorMute, &level});
    EXPECT_EQ(input.Caption(), "Line");
    EXPECT_FALSE(input.Checked());  // the card records from Mic
    EXPECT_EQ(level.Maximum(), 31);

    input.SetChecked(true);
    EXPECT_EQ(fixture.CardState("card")["Input Source"], std::vector<long>{0});
    level.SetValue(12);
    EXPECT_EQ(fixture.CardState("card")["Line Capture Volume"], (std::vector<long>{12, 12}));
    monitorMute.SetChecked(true);
    EXPECT_EQ(fixture.CardState("card")["Line Playback Switch"], (std::vector<long>{0, 0}));

    // Another program moves the level and chooses the microphone.
    ASSERT_EQ(fixture.SetCardValue("card", "Line Capture Volume", {9, 9}), 0);
    ASSERT_EQ(fixture.SetCardValue("card", "Input Source", {1}), 0);
    EXPECT_TRUE(RunUntil([&] { return level.Value() == 9 && !input.Checked(); }));
    // Nothing was written back.
    EXPECT_EQ(fixture.CardState("card")["Input Source"], std::vector<long>{1});
    EXPECT_EQ(fixture.CardState("card")["Line Capture Volume"], (std::vector<long>{9, 9}));
}

}  // namespace
}  // namespace zt
