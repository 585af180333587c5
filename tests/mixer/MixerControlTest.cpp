// Controls: resolution by type and by id (and what a volume accepts), and
// value access: what each read and write transfers (channels, items), which
// element it picks, item errors, list texts, selecting on a single-selection
// list, and the volume's panning.

#include "mixer/MixerControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "mixer/MixerErrors.h"
#include "mixer/MixerTestSupport.h"
#include "mixer/VolumeControl.h"

namespace zt {
namespace {

using namespace test::card;
using test::MixerNetwork;
using Op = InMemoryMixerBackend::Op;
using Transfer = InMemoryMixerBackend::Transfer;

class MixerControlTest : public ::testing::Test {
protected:
    explicit MixerControlTest(uint32_t selectorType = control::kMux) {
        test::AddStandardCard(backend, "Card A", selectorType);
    }
    // A control of any type bound by id to `id` on `line`, loaded.
    void Bind(TMMMixerControl& c, TMMAudioLine& line, TMMControlId id) {
        c.SetAudioLine(&line);
        c.SetControlId(id);
        c.Loaded();
    }
    std::vector<Transfer> Transfers() { return backend.transfers; }

    InMemoryMixerBackend backend;
};

TEST_F(MixerControlTest, Resolution) {
    MixerNetwork net(backend);
    struct Case {
        const char* what;
        std::function<void(TMMCustomMixerControl&)> setUp;
        bool volume;  // a TMMVolumeControl, else a TMMMixerControl
        TMMControlId id;
        TMMControlType type;
        TMMControlClass cls;
        std::string name;
    } cases[] = {
        {"by type",
         [](TMMCustomMixerControl& c) {
             static_cast<TMMMixerControl&>(c).SetControlType(TMMControlType::ctMute);
         },
         false, kMonitorLineMute, TMMControlType::ctMute, TMMControlClass::ccSwitch, "Line Mute"},
        {"by id", [](TMMCustomMixerControl& c) { c.SetControlId(kMonitorLineVolume); }, false,
         kMonitorLineVolume, TMMControlType::ctVolume, TMMControlClass::ccFader, "Line Volume"},
        {"a type the line lacks",
         [](TMMCustomMixerControl& c) {
             static_cast<TMMMixerControl&>(c).SetControlType(TMMControlType::ctMux);
         },
         false, -1, TMMControlType::ctMux, TMMControlClass::ccList, ""},
        {"an unknown id", [](TMMCustomMixerControl& c) { c.SetControlId(0x777); }, false, -1,
         TMMControlType::ctCustom, TMMControlClass::ccCustom, ""},
        {"a volume by type", [](TMMCustomMixerControl&) {}, true, kMonitorLineVolume,
         TMMControlType::ctVolume, TMMControlClass::ccFader, "Line Volume"},
        {"a volume refuses a mute",
         [](TMMCustomMixerControl& c) { c.SetControlId(kMonitorLineMute); }, true, -1,
         TMMControlType::ctVolume, TMMControlClass::ccFader, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMMMixerControl plain;
        TMMVolumeControl volume;
        TMMCustomMixerControl& control =
            c.volume ? static_cast<TMMCustomMixerControl&>(volume) : plain;
        control.SetAudioLine(&net.lineIn);
        c.setUp(control);
        control.Loaded();
        EXPECT_EQ(control.ControlId(), c.id);
        EXPECT_EQ(control.ControlType(), c.type);
        EXPECT_EQ(control.ControlClass(), c.cls);
        EXPECT_EQ(control.ControlInfo().Name(), c.name);
    }
}

TEST_F(MixerControlTest, ControlInfoTakesTheRecord) {
    MixerNetwork net(backend);
    const TMMControlInfo& selector = net.selector.ControlInfo();
    EXPECT_EQ(selector.Flags(),
              (TMMControlFlags{TMMControlFlag::cfUniform, TMMControlFlag::cfMultiple}));
    EXPECT_EQ(selector.MultipleItems(), 3);
    EXPECT_EQ(selector.MaxValue(), 1);
    EXPECT_EQ(net.selector.ChannelCount(), 1u);
    EXPECT_EQ(net.selector.ItemCount(), 3u);
    EXPECT_EQ(net.volume.ControlInfo().MaxValue(), 65535);
    EXPECT_EQ(net.volume.ChannelCount(), 2u);
    EXPECT_EQ(net.volume.ItemCount(), 0u);
}

// The volume of the monitor line holds left 1000, right 2000.
TEST_F(MixerControlTest, ReadsTransferTheWholeArrayAndPickTheirElement) {
    MixerNetwork net(backend);
    struct Case {
        const char* what;
        std::function<int64_t()> read;
        uint32_t channels;
        int64_t value;
    } cases[] = {
        {"whole control", [&] { return int64_t(net.volume.GetUnsignedValue()); }, 1, 1000},
        {"both channels",
         [&] { return int64_t(net.volume.GetUnsignedItem(TMMChannel::chBoth, -1)); }, 1, 1000},
        {"left", [&] { return int64_t(net.volume.GetSignedItem(TMMChannel::chLeft, -1)); }, 2,
         1000},
        {"right", [&] { return int64_t(net.volume.GetUnsignedItem(TMMChannel::chRight, -1)); }, 2,
         2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        backend.ClearRecord();
        EXPECT_EQ(c.read(), c.value);
        ASSERT_EQ(backend.transfers.size(), 1u);
        EXPECT_EQ(backend.transfers[0].op, Op::GetDetails);
        EXPECT_EQ(backend.transfers[0].channels, c.channels);
        EXPECT_EQ(backend.transfers[0].items, 0u);
    }
}

TEST_F(MixerControlTest, WritesReplaceOneElementOfTheArrayTheyRead) {
    MixerNetwork net(backend);
    TMMMixerControl plain;  // no panning
    Bind(plain, net.lineIn, kMonitorLineVolume);

    plain.SetUnsignedItem(TMMChannel::chRight, -1, 9);
    ASSERT_EQ(backend.transfers.size(), 2u);
    EXPECT_EQ(backend.transfers[1].op, Op::SetDetails);
    EXPECT_EQ(backend.transfers[1].values, (std::vector<int32_t>{1000, 9}));
    EXPECT_EQ(backend.Values(0, kMonitorLineVolume), (std::vector<int32_t>{1000, 9}));

    // A whole-control write sends one value, which the card applies to every
    // channel.
    backend.ClearRecord();
    plain.SetUnsignedValue(7);
    ASSERT_EQ(backend.transfers.size(), 1u);
    EXPECT_EQ(backend.transfers[0].channels, 1u);
    EXPECT_EQ(backend.Values(0, kMonitorLineVolume), (std::vector<int32_t>{7, 7}));

    // Booleans are the low byte.
    backend.Values(0, kMonitorLineMute) = {0x100};
    EXPECT_FALSE(net.mute.GetBooleanValue());
    backend.Values(0, kMonitorLineMute) = {0x101};
    EXPECT_TRUE(net.mute.GetBooleanItem(TMMChannel::chBoth, -1));
    net.mute.SetBooleanValue(false);
    EXPECT_EQ(backend.Values(0, kMonitorLineMute), (std::vector<int32_t>{0}));
}

TEST_F(MixerControlTest, ItemOperationsSendEveryItemAndRefuseOnesOutOfRange) {
    MixerNetwork net(backend);
    backend.ClearRecord();
    EXPECT_TRUE(net.selector.GetBooleanItem(TMMChannel::chBoth, 0));
    EXPECT_FALSE(net.selector.GetBooleanItem(TMMChannel::chBoth, 2));
    EXPECT_EQ(backend.transfers[0].items, 3u);
    EXPECT_EQ(backend.transfers[0].channels, 1u);

    struct Case {
        TMMCustomMixerControl* control;
        TMMItemIndex item;
    } cases[] = {{&net.selector, 3}, {&net.selector, -2}, {&net.volume, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        backend.ClearRecord();
        try {
            c.control->GetBooleanItem(TMMChannel::chBoth, c.item);
            ADD_FAILURE() << "no error";
        } catch (const EMMMixerControlError& e) {
            EXPECT_STREQ(e.what(), "Item index out of range");
        }
        EXPECT_TRUE(backend.transfers.empty());
    }
}

TEST_F(MixerControlTest, ItemInfo) {
    MixerNetwork net(backend);
    EXPECT_EQ(net.selector.ItemInfo(1), (TMMItemInfo{uint32_t(kRecLine), 0, "Line In"}));
    EXPECT_EQ(net.selector.ItemInfo(2).Name, "Microphone");

    struct Case {
        TMMCustomMixerControl* control;
        TMMItemIndex item;
        const char* error;
    } cases[] = {
        {&net.volume, 0, "Item info requested from non-multiple control"},
        {&net.selector, 3, "Item index out of range"},
        {&net.selector, -1, "Item index out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        try {
            c.control->ItemInfo(c.item);
            ADD_FAILURE() << "no error";
        } catch (const EMMMixerControlError& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
}

TEST_F(MixerControlTest, FindItemAnswersOnlyForMixerAndMuxLists) {
    MixerNetwork net(backend);
    EXPECT_EQ(net.selector.FindItem(&net.lineInRec), 1);
    // The monitor path's line input is not an input of the recording.
    EXPECT_EQ(net.selector.FindItem(&net.lineIn), -1);
    EXPECT_EQ(net.selector.FindItem(nullptr), -1);
    EXPECT_EQ(net.mute.FindItem(&net.lineIn), -1);
    TMMAudioLine unresolved;
    EXPECT_EQ(net.selector.FindItem(&unresolved), -1);
}

struct SelectorCase {
    const char* what;
    uint32_t type;
    TMMItemIndex found;  // FindItem of the line input
    std::vector<int32_t> afterSelectingMic;
};

class SelectorTest : public MixerControlTest, public ::testing::WithParamInterface<SelectorCase> {
protected:
    SelectorTest() : MixerControlTest(GetParam().type) {}
};

TEST_P(SelectorTest, SelectingAnItem) {
    MixerNetwork net(backend);
    TMMMixerControl selector;
    Bind(selector, net.gravacao, kSelector);
    EXPECT_EQ(selector.FindItem(&net.lineInRec), GetParam().found);
    backend.ClearRecord();
    selector.SetBooleanItem(TMMChannel::chBoth, 2, true);
    // One read, one write: the deselection travels in the same write.
    ASSERT_EQ(backend.TransfersOf(Op::SetDetails).size(), 1u);
    EXPECT_EQ(backend.TransfersOf(Op::SetDetails)[0].values, GetParam().afterSelectingMic);
    EXPECT_EQ(backend.Values(0, kSelector), GetParam().afterSelectingMic);
}

INSTANTIATE_TEST_SUITE_P(Types, SelectorTest,
                         ::testing::Values(SelectorCase{"mux", control::kMux, 1, {0, 0, 1}},
                                           SelectorCase{"single select", 0x70010000, -1, {0, 0, 1}},
                                           SelectorCase{"mixer", control::kMixer, 1, {1, 0, 1}},
                                           SelectorCase{
                                               "multiple select", 0x71010000, -1, {1, 0, 1}}),
                         [](const auto& info) {
                             std::string name = info.param.what;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

TEST_F(MixerControlTest, PanningScalesTheChannels) {
    MixerNetwork net(backend);
    struct Case {
        int32_t pan;
        std::vector<int32_t> written;  // for 1000
    } cases[] = {{0, {1000, 1000}},  {16384, {499, 1000}}, {-16384, {1000, 500}},
                 {32767, {0, 1000}}, {-32768, {1000, 0}},  {1, {999, 1000}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pan);
        net.volume.SetPanValue(c.pan);
        backend.ClearRecord();
        net.volume.SetUnsignedValue(1000);
        // Left first, then right, each a read and a two-channel write.
        const auto writes = backend.TransfersOf(Op::SetDetails);
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].channels, 2u);
        EXPECT_EQ(writes[1].channels, 2u);
        EXPECT_EQ(backend.Values(0, kMonitorLineVolume), c.written);
        net.volume.SetSignedItem(TMMChannel::chBoth, -1, 1000);
        EXPECT_EQ(backend.Values(0, kMonitorLineVolume), c.written);
        // One channel is written as asked.
        net.volume.SetUnsignedItem(TMMChannel::chLeft, -1, 1000);
        EXPECT_EQ(backend.Values(0, kMonitorLineVolume)[0], 1000);
    }
}

TEST_F(MixerControlTest, ANewPanValueWritesTheCurrentValueAgain) {
    MixerNetwork net(backend);
    backend.Values(0, kMonitorLineVolume) = {2000, 1000};
    net.volume.SetPanValue(16384);
    EXPECT_EQ(backend.Values(0, kMonitorLineVolume), (std::vector<int32_t>{999, 2000}));
    // An unresolved volume only takes the value.
    TMMVolumeControl loose;
    loose.Loaded();
    backend.ClearRecord();
    loose.SetPanValue(-5);
    EXPECT_EQ(loose.PanValue(), -5);
    EXPECT_TRUE(backend.transfers.empty());
}

TEST_F(MixerControlTest, ValueOperationsNeedAMixerAndAControl) {
    MixerNetwork net(backend);
    TMMMixerControl detached;
    detached.Loaded();
    TMMMixerControl missing;
    missing.SetAudioLine(&net.lineIn);
    missing.SetControlType(TMMControlType::ctMux);
    missing.Loaded();
    struct Case {
        TMMCustomMixerControl* control;
        const char* error;
    } cases[] = {{&detached, "Mixer required for this operation"}, {&missing, "Control not valid"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const std::vector<std::function<void()>> operations = {
            [&] { c.control->GetUnsignedValue(); },
            [&] { c.control->SetBooleanValue(true); },
            [&] { c.control->GetBooleanItem(TMMChannel::chLeft, -1); },
            [&] { c.control->SetSignedItem(TMMChannel::chBoth, -1, 1); },
            [&] { c.control->ItemInfo(0); },
        };
        for (const auto& operation : operations) {
            try {
                operation();
                ADD_FAILURE() << "no error";
            } catch (const EMMDeviceError& e) {
                EXPECT_STREQ(e.what(), c.error);
            }
        }
    }
    EXPECT_EQ(detached.ChannelCount(), 0u);
    EXPECT_FALSE(missing.IsValidControl());
}

}  // namespace
}  // namespace zt
