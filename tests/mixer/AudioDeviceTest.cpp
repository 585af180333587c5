// Device numbering and the mixer device: which numbers are accepted, what a
// change of device tells whom and in which order, Active while loading, the
// device list, back-end errors and their texts, and the change callbacks of
// an open mixer.

#include "mixer/AudioDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mixer/MixerDevice.h"
#include "mixer/MixerErrors.h"
#include "mixer/MixerTypes.h"
#include "mixer/memory/InMemoryMixerBackend.h"
#include "support/ScriptedDialogs.h"

namespace zt {
namespace {

using Op = InMemoryMixerBackend::Op;

// A device family of another kind, for the mapper and the Device link.
class FakeFamily : public TMMDeviceFamily {
public:
    std::vector<AudioDeviceCapsRecord> devices;
    std::optional<AudioDeviceCapsRecord> mapper;
    MMResult mapperFailure = kMMBadDeviceId;
    std::vector<TMMDeviceId> mixerIds;

    int NumDevs() override { return int(devices.size()); }
    MMResult GetDevCaps(TMMDeviceId id, AudioDeviceCapsRecord& caps) override {
        if (id == kMapperDeviceId) {
            if (!mapper) return mapperFailure;
            caps = *mapper;
            return kMMNoError;
        }
        if (id < 0 || size_t(id) >= devices.size()) return kMMBadDeviceId;
        caps = devices[size_t(id)];
        return kMMNoError;
    }
    MMResult MixerIdOf(TMMDeviceId id, TMMDeviceId& mixerId) override {
        if (id < 0 || size_t(id) >= mixerIds.size()) return kMMNoDriver;
        mixerId = mixerIds[size_t(id)];
        return kMMNoError;
    }
};

TMMDeviceFamilies WaveOutFamily(std::shared_ptr<FakeFamily> family) {
    TMMDeviceFamilies families;
    families[size_t(TMMDeviceKind::dkWaveOut)] = std::move(family);
    return families;
}

class MixerDeviceTest : public ::testing::Test {
protected:
    MixerDeviceTest() {
        backend.AddDevice("Card A");
        backend.AddDestination(0, component::kDstSpeakers, "Speakers");
        backend.AddDevice("Card B");
        backend.AddDestination(1, component::kDstSpeakers, "Speakers");
        backend.AddDestination(1, component::kDstWaveIn, "Recording");
    }
    InMemoryMixerBackend backend;
};

TEST_F(MixerDeviceTest, DeviceIdRulesOnAnOpenMixer) {
    struct Case {
        TMMDeviceId id;
        std::string error;  // empty: none
        int changes;        // OnChange calls
        TMMDeviceId idAfter;
        bool valid;
        std::string productName;
        bool open;
    } cases[] = {
        {1, "", 1, 1, true, "Card B", true},
        {0, "", 0, 0, true, "Card A", true},
        {2, "Device id is out of range", 0, 0, true, "Card A", true},
        {-3, "Device id is out of range", 0, 0, true, "Card A", true},
        // No device is accepted and clears the capabilities; opening it
        // again is refused.
        {-2, "Device not valid", 1, -2, false, "", false},
        // A mixer has no mapper: its capabilities cannot be read. The number
        // stays stored and the device closed, and OnChange has not fired.
        {-1, "MMSystem error: 2", 0, -1, true, "Card A", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        TMMMixerDevice mixer(backend);
        mixer.SetActive(true);
        mixer.Loaded();
        ASSERT_NE(mixer.Handle(), 0);
        int changes = 0;
        mixer.OnChange = [&](TMMCustomAudioDevice*) { ++changes; };
        std::string error;
        try {
            mixer.SetDeviceId(c.id);
        } catch (const Exception& e) {
            error = e.message();
        }
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(changes, c.changes);
        EXPECT_EQ(mixer.DeviceId(), c.idAfter);
        EXPECT_EQ(mixer.IsValidDevice(), c.valid);
        EXPECT_EQ(mixer.DeviceCaps().ProductName(), c.productName);
        EXPECT_EQ(mixer.Active(), c.open);
        EXPECT_EQ(backend.OpenHandles(), c.open ? 1u : 0u);
        if (c.open) {
            int id = -5;
            ASSERT_EQ(backend.GetId(mixer.Handle(), id), kMMNoError);
            EXPECT_EQ(id, c.idAfter);
        }
    }
}

TEST(MixerDeviceWithoutCardsTest, ZeroAndNoDeviceAreAcceptedOthersAreOutOfRange) {
    InMemoryMixerBackend empty;
    TMMMixerDevice mixer(empty);
    EXPECT_EQ(mixer.DeviceId(), 0);
    EXPECT_FALSE(mixer.IsValidDevice());
    EXPECT_THROW(mixer.SetDeviceId(1), EMMDeviceError);
    mixer.SetDeviceId(-2);
    mixer.SetDeviceId(0);
    EXPECT_EQ(mixer.Destinations(), 0u);
    EXPECT_TRUE(mixer.DeviceCaps().ProductName().empty());
    mixer.Loaded();
    try {
        mixer.SetActive(true);
        ADD_FAILURE() << "opened a mixer that is not valid";
    } catch (const EMMMixerDeviceError& e) {
        EXPECT_STREQ(e.what(), "Device not valid");
    }
    EXPECT_FALSE(mixer.Active());
}

TEST_F(MixerDeviceTest, AChangeOfDeviceTellsLinesThenDeviceSubscribersThenOnChange) {
    TMMMixerDevice mixer(backend);
    mixer.Loaded();
    std::vector<std::string> order;
    TMMObserver line([&](const TMMNotification& n) {
        if (dynamic_cast<const TMMDeviceChange*>(&n)) order.push_back("line");
    });
    TMMObserver first([&](const TMMNotification&) { order.push_back("first"); });
    TMMObserver second([&](const TMMNotification&) {
        order.push_back("second");
        EXPECT_EQ(mixer.DeviceId(), 1);
        EXPECT_EQ(mixer.DeviceCaps().ProductName(), "Card B");
    });
    mixer.SubscribeLine(line);
    mixer.Subscribe(first);
    mixer.Subscribe(second);
    mixer.OnChange = [&](TMMCustomAudioDevice* sender) {
        EXPECT_EQ(sender, &mixer);
        order.push_back("OnChange");
    };
    mixer.SetDeviceId(1);
    EXPECT_EQ(order, (std::vector<std::string>{"line", "second", "first", "OnChange"}));
}

TEST_F(MixerDeviceTest, SwitchingAClosedDeviceOnlySwitches) {
    TMMMixerDevice mixer(backend);
    mixer.Loaded();
    mixer.SetDeviceId(1);
    EXPECT_EQ(backend.Calls(Op::Open), 0);
    EXPECT_EQ(mixer.Destinations(), 2u);
}

TEST_F(MixerDeviceTest, ActiveIsRememberedWhileLoadingAndAppliedByLoaded) {
    struct Case {
        std::vector<bool> sets;
        bool open;
    } cases[] = {{{}, false}, {{true}, true}, {{true, false}, false}, {{false, true}, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sets.size());
        InMemoryMixerBackend fresh;
        fresh.AddDevice("Card");
        TMMMixerDevice mixer(fresh);
        for (bool v : c.sets) {
            mixer.SetActive(v);
            EXPECT_EQ(mixer.Active(), v);
        }
        EXPECT_EQ(fresh.Calls(Op::Open), 0);
        mixer.Loaded();
        EXPECT_EQ(mixer.Active(), c.open);
        EXPECT_EQ(fresh.OpenHandles(), c.open ? 1u : 0u);
    }
}

TEST_F(MixerDeviceTest, AFailedOpenLeavesTheMixerClosed) {
    TMMMixerDevice mixer(backend);
    mixer.Loaded();
    backend.Fail(Op::Open, kMMNoDriver);
    EXPECT_THROW(mixer.SetActive(true), EMMMCIError);
    EXPECT_FALSE(mixer.Active());
    EXPECT_EQ(mixer.Handle(), 0);
    backend.Fail(Op::Open, kMMNoError);
    mixer.SetActive(true);
    EXPECT_TRUE(mixer.Active());
}

TEST_F(MixerDeviceTest, ListDevicesNamesEveryMixerAndNeverAMapper) {
    backend.AddDevice("A card whose name is longer than thirty-one characters");
    TMMMixerDevice mixer(backend);
    EXPECT_FALSE(mixer.Mapper());
    std::vector<std::string> names{"left over"};
    mixer.ListDevices(names, true);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Card A", "Card B", "A card whose name is longer tha"}));
}

TEST(AudioDeviceTest, ListDevicesPutsAMapperFirstOnlyWhenAskedAndTheKindHasOne) {
    auto family = std::make_shared<FakeFamily>();
    family->devices = {{1, 2, 0x0105, "Out 1"}, {1, 3, 0x0105, "Out 2"}};
    family->mapper = AudioDeviceCapsRecord{0, 0, 0, "Mapper"};
    TMMCustomAudioDevice device(WaveOutFamily(family));
    EXPECT_EQ(device.DeviceKind(), TMMDeviceKind::dkWaveOut);
    EXPECT_EQ(device.DeviceCaps().ProductId(), 2);
    EXPECT_EQ(device.DeviceCaps().VerMajor(), 1);
    EXPECT_EQ(device.DeviceCaps().VerMinor(), 5);
    std::vector<std::string> names;
    device.ListDevices(names, true);
    EXPECT_EQ(names, (std::vector<std::string>{"Mapper", "Out 1", "Out 2"}));
    device.ListDevices(names, false);
    EXPECT_EQ(names, (std::vector<std::string>{"Out 1", "Out 2"}));

    // No mapper: "bad device" and "invalid handle" say so; another answer
    // is an error.
    family->mapper.reset();
    for (MMResult none : {kMMBadDeviceId, kMMInvalidHandle}) {
        family->mapperFailure = none;
        EXPECT_FALSE(device.Mapper());
    }
    family->mapperFailure = kMMNoDriver;
    EXPECT_THROW(device.Mapper(), EMMMCIError);
}

TEST(AudioDeviceTest, AKindWithoutAFamilyHasNoDevices) {
    TMMCustomAudioDevice device;
    EXPECT_EQ(device.DeviceCount(), 0);
    EXPECT_FALSE(device.IsValidDevice());
    EXPECT_FALSE(device.Mapper());
    EXPECT_EQ(device.MixerIdOf(), kNoDeviceId);
}

TEST_F(MixerDeviceTest, BackendErrorsCarryTheBackendsTextOrTheNumberedFallback) {
    struct Case {
        MMResult code;
        std::string text;
        std::string message;
    } cases[] = {{kMMNoDriver, "", "MMSystem error: 6"},
                 {kMMError, "The card went away", "The card went away"},
                 {0xFFFFFFFFu, "", "MMSystem error: -1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        TMMMixerDevice mixer(backend);
        backend.SetErrorText(c.code, c.text);
        backend.Fail(Op::GetDevCaps, c.code);
        try {
            mixer.SetDeviceId(1);
            ADD_FAILURE() << "no error";
        } catch (const EMMMCIError& e) {
            EXPECT_EQ(e.Code(), c.code);
            EXPECT_EQ(e.message(), c.message);
        }
        backend.Fail(Op::GetDevCaps, kMMNoError);
    }
}

TEST_F(MixerDeviceTest, ACardWhoseCapabilitiesCannotBeReadGivesNoDevice) {
    backend.Fail(Op::GetDevCaps, kMMError);
    TMMMixerDevice mixer(backend);
    EXPECT_EQ(mixer.DeviceId(), kNoDeviceId);
    EXPECT_FALSE(mixer.IsValidDevice());
    EXPECT_TRUE(mixer.DeviceCaps().ProductName().empty());
}

TEST_F(MixerDeviceTest, AnOpenHandleThatAnswersAnotherNumberMovesTheDevice) {
    TMMMixerDevice mixer(backend);
    mixer.SetActive(true);
    mixer.Loaded();
    int changes = 0;
    mixer.OnChange = [&](TMMCustomAudioDevice*) { ++changes; };
    backend.MoveHandle(mixer.Handle(), 1);
    EXPECT_EQ(mixer.Destinations(), 2u);
    EXPECT_EQ(mixer.DeviceId(), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(mixer.Active());
}

TEST_F(MixerDeviceTest, ErrorsWhileHandlingACardChangeGoToTheErrorDisplay) {
    test::ScriptedDialogs dialogs;
    TMMMixerDevice mixer(backend);
    mixer.SetActive(true);
    mixer.Loaded();
    mixer.OnLineChange = [](TMMMixerDevice*, TMMLineId id) {
        throw EMMDeviceError("line " + std::to_string(id));
    };
    EXPECT_NO_THROW(backend.RaiseLineChange(0, 7));
    // The owner of a changed control cannot be asked.
    backend.SetErrorText(kMMError, "driver busy");
    backend.Fail(Op::ControlById, kMMError);
    EXPECT_NO_THROW(backend.RaiseControlChange(0, 0x20000));
    EXPECT_EQ(dialogs.shown, (std::vector<test::ShownDialog>{{DialogKind::Error, "line 7"},
                                                             {DialogKind::Error, "driver busy"}}));
    // A closed mixer hears nothing.
    mixer.SetActive(false);
    backend.RaiseLineChange(0, 7);
    EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(MixerDeviceTest, ALinkedDeviceChoosesTheMixer) {
    auto family = std::make_shared<FakeFamily>();
    family->devices = {{1, 2, 0, "Out 1"}, {1, 3, 0, "Out 2"}, {1, 4, 0, "Out 3"}};
    family->mixerIds = {1, 0, -1};
    TMMCustomAudioDevice waveOut(WaveOutFamily(family));
    waveOut.Loaded();
    TMMMixerDevice mixer(backend);
    mixer.Loaded();
    TMMMixerDevice other(backend);
    EXPECT_THROW(mixer.SetDevice(&other), EMMMixerDeviceError);
    EXPECT_EQ(mixer.Device(), nullptr);

    mixer.SetDevice(&waveOut);
    EXPECT_EQ(mixer.DeviceId(), 1);
    waveOut.SetDeviceId(1);
    EXPECT_EQ(mixer.DeviceId(), 0);
    // A device without a mixer of its own leaves no mixer.
    waveOut.SetDeviceId(2);
    EXPECT_EQ(mixer.DeviceId(), kNoDeviceId);
}

}  // namespace
}  // namespace zt
