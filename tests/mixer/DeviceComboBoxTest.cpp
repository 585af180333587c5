// The device list box: the mixers by name with the current one selected,
// following the device, a user's choice (key press) switching it, the
// mapper of a kind that has one, and a choice that fails.

#include "mixer/ui/DeviceComboBox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <memory>
#include <vector>

#include "mixer/MixerDevice.h"
#include "mixer/MixerTypes.h"
#include "mixer/memory/InMemoryMixerBackend.h"
#include "support/ScriptedDialogs.h"

namespace zt {
namespace {

using Op = InMemoryMixerBackend::Op;

void PressKey(QWidget& widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

class DeviceComboBoxTest : public ::testing::Test {
protected:
    DeviceComboBoxTest() {
        for (const char* name : {"Card A", "Card B", "Card C"}) {
            const int dev = backend.NumDevs();
            backend.AddDevice(name);
            backend.AddDestination(dev, component::kDstSpeakers, "Speakers");
        }
    }
    InMemoryMixerBackend backend;
};

TEST_F(DeviceComboBoxTest, ListsTheMixersFollowsTheDeviceAndSwitchesOnAUsersChoice) {
    TMMMixerDevice mixer(backend);
    mixer.SetActive(true);
    TMMDeviceComboBox box;
    box.SetDevice(&mixer);
    EXPECT_EQ(box.count(), 0);  // nothing before loading
    EndLoading({&mixer, &box});
    // Mixers have no mapper: the item index is the mixer's number.
    EXPECT_EQ(box.Items(), (QStringList{"Card A", "Card B", "Card C"}));
    EXPECT_EQ(box.ItemIndex(), 0);
    EXPECT_TRUE(box.isEnabled());

    mixer.SetDeviceId(2);
    EXPECT_EQ(box.ItemIndex(), 2);

    std::vector<TMMDeviceId> idAtOnChange;
    box.OnChange = [&](TMMDeviceComboBox*) { idAtOnChange.push_back(mixer.DeviceId()); };
    PressKey(box, Qt::Key_Up);
    EXPECT_EQ(idAtOnChange, (std::vector<TMMDeviceId>{2}));  // OnChange first
    EXPECT_EQ(mixer.DeviceId(), 1);
    EXPECT_TRUE(mixer.Active());
    EXPECT_EQ(box.ItemIndex(), 1);
    EXPECT_EQ(box.count(), 3);

    // Selecting from code only selects.
    box.SetItemIndex(0);
    EXPECT_EQ(mixer.DeviceId(), 1);
    EXPECT_EQ(idAtOnChange.size(), 1u);
}

TEST_F(DeviceComboBoxTest, WithoutPermissionOrDeviceTheBoxIsEmptyAndDisabled) {
    TMMMixerDevice mixer(backend);
    TMMDeviceComboBox box;
    box.Loaded();
    EXPECT_FALSE(box.isEnabled());
    EXPECT_EQ(box.ItemIndex(), -1);
    box.SetDevice(&mixer);
    EXPECT_TRUE(box.isEnabled());
    box.SetEnabled(false);
    EXPECT_FALSE(box.isEnabled());
    EXPECT_EQ(box.count(), 0);
    box.SetEnabled(true);
    EXPECT_EQ(box.count(), 3);
}

TEST_F(DeviceComboBoxTest, AChoiceThatFailsGoesToTheErrorDisplay) {
    test::ScriptedDialogs dialogs;
    TMMMixerDevice mixer(backend);
    TMMDeviceComboBox box;
    box.SetDevice(&mixer);
    EndLoading({&mixer, &box});
    backend.SetErrorText(kMMNoDriver, "card unplugged");
    backend.Fail(Op::GetDevCaps, kMMNoDriver);
    PressKey(box, Qt::Key_Down);
    EXPECT_EQ(dialogs.shown,
              (std::vector<test::ShownDialog>{{DialogKind::Error, "card unplugged"}}));
    EXPECT_EQ(mixer.DeviceId(), 1);
}

// Wave outputs with a mapper, for the mapper's place in the list.
class MapperFamily : public TMMDeviceFamily {
public:
    int NumDevs() override { return 2; }
    MMResult GetDevCaps(TMMDeviceId id, AudioDeviceCapsRecord& caps) override {
        if (id < -1 || id > 1) return kMMBadDeviceId;
        caps.productName = id == -1 ? "Mapper" : id == 0 ? "Out 1" : "Out 2";
        return kMMNoError;
    }
};

TEST(DeviceComboBoxMapperTest, TheMapperComesFirstWhenIncluded) {
    TMMDeviceFamilies families;
    families[size_t(TMMDeviceKind::dkWaveOut)] = std::make_shared<MapperFamily>();
    TMMCustomAudioDevice device(families);
    TMMDeviceComboBox box;
    box.SetDevice(&device);
    EndLoading({&device, &box});
    EXPECT_EQ(box.Items(), (QStringList{"Mapper", "Out 1", "Out 2"}));
    EXPECT_EQ(box.ItemIndex(), 1);
    PressKey(box, Qt::Key_Up);
    EXPECT_EQ(device.DeviceId(), -1);
    box.SetIncludeMapper(false);
    EXPECT_EQ(box.Items(), (QStringList{"Out 1", "Out 2"}));
    EXPECT_EQ(box.ItemIndex(), -1);  // the mapper is not listed
    device.SetDeviceId(1);
    EXPECT_EQ(box.ItemIndex(), 1);
}

}  // namespace
}  // namespace zt
