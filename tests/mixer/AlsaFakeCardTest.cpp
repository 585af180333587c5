// The fake card of tests/fixtures/alsa (fake_ctl.c) through AlsaFixture: its
// state file is what another process set and what it starts from, and it
// refuses what a driver refuses. The mixer back end's tests rely on both.

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/AlsaFixture.h"
#include "support/TempDir.h"

namespace zt::test {
namespace {

// The values of one control, read through a control handle of its own.
std::vector<long> ReadControl(const std::string& ctlName, const std::string& control) {
    std::vector<long> values;
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, ctlName.c_str(), 0) < 0) return values;
    snd_ctl_elem_info_t* info;
    snd_ctl_elem_value_t* value;
    snd_ctl_elem_info_alloca(&info);
    snd_ctl_elem_value_alloca(&value);
    snd_ctl_elem_info_set_interface(info, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_info_set_name(info, control.c_str());
    snd_ctl_elem_value_set_interface(value, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_value_set_name(value, control.c_str());
    if (snd_ctl_elem_info(ctl, info) == 0 && snd_ctl_elem_read(ctl, value) == 0) {
        const bool enumerated = snd_ctl_elem_info_get_type(info) == SND_CTL_ELEM_TYPE_ENUMERATED;
        for (unsigned i = 0; i < snd_ctl_elem_info_get_count(info); ++i)
            values.push_back(enumerated ? long(snd_ctl_elem_value_get_enumerated(value, i))
                                        : snd_ctl_elem_value_get_integer(value, i));
    }
    snd_ctl_close(ctl);
    return values;
}

TEST(AlsaFakeCard, TheStateFileCarriesValuesBetweenProcessesAndOpens) {
    AlsaFixture fixture(
        {CardPcm("card", AlsaCardVariant::Full), CardPcm("other", AlsaCardVariant::NoSelector)});
    EXPECT_TRUE(fixture.CardState("card").empty()) << "not opened yet";

    // A start state written before the first open is what the card has.
    WriteFileBytes(fixture.CardStateFile("card"), "Input Source=2\nMic Capture Volume=5\n");
    EXPECT_EQ(ReadControl("card", "Input Source"), std::vector<long>{2});
    EXPECT_EQ(ReadControl("default", "Mic Capture Volume"), std::vector<long>{5})
        << "default is the first PCM's card";
    EXPECT_EQ(fixture.CardState("card")["Line Capture Volume"], (std::vector<long>{20, 20}))
        << "the whole state is written at the first open";

    // A value set here outlives the handle that set it.
    ASSERT_EQ(fixture.SetCardValue("card", "Line Capture Volume", {4, 6}), 0);
    EXPECT_EQ(ReadControl("card", "Line Capture Volume"), (std::vector<long>{4, 6}));
    ASSERT_EQ(fixture.SetCardValue("other", "Line Capture Volume", {1, 2}), 0);
    EXPECT_EQ(fixture.CardState("other")["Line Capture Volume"], (std::vector<long>{1, 2}));
    EXPECT_EQ(fixture.CardState("card")["Line Capture Volume"], (std::vector<long>{4, 6}))
        << "each card its own values";

    // What another process sets is in the state file.
    if (std::system("command -v amixer > /dev/null 2>&1") != 0) GTEST_SKIP() << "no amixer";
    const std::string command = "ALSA_CONFIG_PATH='" + fixture.ConfigPathValue() +
                                "' amixer -q -D card cset name='Line Capture Volume' 11,12";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(fixture.CardState("card")["Line Capture Volume"], (std::vector<long>{11, 12}));
}

TEST(AlsaFakeCard, RefusesWhatADriverRefuses) {
    AlsaFixture fixture({CardPcm("card", AlsaCardVariant::Full)});
    EXPECT_EQ(fixture.SetCardValue("card", "Input Source", {3}), -EINVAL) << "no item 3";
    EXPECT_EQ(fixture.SetCardValue("card", "Line Capture Volume", {1}), -EINVAL) << "2 channels";
    EXPECT_EQ(fixture.SetCardValue("card", "Treble", {1}), -ENOENT);
    ASSERT_EQ(fixture.SetCardValue("card", "CD Capture Volume", {99, -1}), 0);
    const AlsaCardState state = fixture.CardState("card");
    EXPECT_EQ(state.at("Input Source"), std::vector<long>{1});
    EXPECT_EQ(state.at("CD Capture Volume"), (std::vector<long>{31, 0})) << "clamped";
}

}  // namespace
}  // namespace zt::test
