// The mixer components refer to each other by pointer and through
// subscriptions; the main window destroys them in member order. Here every
// part of the window's network is destroyed in several orders, and after
// each destruction the survivors are driven (card changes, new types, new
// devices, ticks): nothing may reach a destroyed part. Run under
// AddressSanitizer this catches any dangling pointer or subscription.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mixer/MixerErrors.h"
#include "mixer/MixerTestSupport.h"
#include "mixer/ui/DeviceComboBox.h"
#include "mixer/ui/MixerCheckBox.h"
#include "mixer/ui/MixerWheel.h"

namespace zt {
namespace {

using namespace test::card;

enum class Part {
    Mixer,
    Gravacao,
    LineInRec,
    LineIn,
    Selector,
    VolumeRec,
    Mute,
    Volume,
    RecBox,
    MuteBox,
    Combo,
    RecWheel,
    Wheel
};

struct Network {
    explicit Network(InMemoryMixerBackend& backend)
        : placa(std::make_unique<TMMMixerDevice>(backend)),
          gravacao(std::make_unique<TMMAudioLine>()),
          lineInRec(std::make_unique<TMMAudioLine>()),
          lineIn(std::make_unique<TMMAudioLine>()),
          selector(std::make_unique<TMMMixerControl>()),
          volumeRec(std::make_unique<TMMVolumeControl>()),
          mute(std::make_unique<TMMMixerControl>()),
          volume(std::make_unique<TMMVolumeControl>()),
          recBox(std::make_unique<TMMMixerCheckBox>()),
          muteBox(std::make_unique<TMMMixerCheckBox>()),
          combo(std::make_unique<TMMDeviceComboBox>()),
          recWheel(std::make_unique<TMMMixerWheel>()),
          wheel(std::make_unique<TMMMixerWheel>()) {
        placa->SetActive(true);
        gravacao->SetMixer(placa.get());
        gravacao->SetComponentType(TMMComponentType::ctDstWaveIn);
        lineInRec->SetMixer(placa.get());
        lineInRec->SetComponentType(TMMComponentType::ctSrcLine);
        lineInRec->SetDestLine(gravacao.get());
        lineIn->SetMixer(placa.get());
        lineIn->SetComponentType(TMMComponentType::ctSrcLine);
        selector->SetAudioLine(gravacao.get());
        selector->SetControlType(TMMControlType::ctMux);
        volumeRec->SetAudioLine(lineInRec.get());
        mute->SetAudioLine(lineIn.get());
        mute->SetControlType(TMMControlType::ctMute);
        volume->SetAudioLine(lineIn.get());
        recBox->SetControl(selector.get());
        recBox->SetItemLine(lineInRec.get());
        muteBox->SetControl(mute.get());
        combo->SetDevice(placa.get());
        recWheel->SetControl(volumeRec.get());
        wheel->SetControl(volume.get());
        EndLoading({placa.get(), gravacao.get(), lineInRec.get(), lineIn.get(), selector.get(),
                    volumeRec.get(), mute.get(), volume.get(), recBox.get(), muteBox.get(),
                    combo.get(), recWheel.get(), wheel.get()});
    }

    void Destroy(Part part) {
        switch (part) {
            case Part::Mixer:
                placa.reset();
                break;
            case Part::Gravacao:
                gravacao.reset();
                break;
            case Part::LineInRec:
                lineInRec.reset();
                break;
            case Part::LineIn:
                lineIn.reset();
                break;
            case Part::Selector:
                selector.reset();
                break;
            case Part::VolumeRec:
                volumeRec.reset();
                break;
            case Part::Mute:
                mute.reset();
                break;
            case Part::Volume:
                volume.reset();
                break;
            case Part::RecBox:
                recBox.reset();
                break;
            case Part::MuteBox:
                muteBox.reset();
                break;
            case Part::Combo:
                combo.reset();
                break;
            case Part::RecWheel:
                recWheel.reset();
                break;
            case Part::Wheel:
                wheel.reset();
                break;
        }
    }

    // Drives whatever is left. Errors of the model are fine (a control
    // without its line has no value); reaching a destroyed part is not.
    void Drive(InMemoryMixerBackend& backend) {
        auto tolerate = [](const std::function<void()>& f) {
            try {
                f();
            } catch (const Exception&) {
            }
        };
        for (int32_t id : {kSelector, kRecLineVolume, kMonitorLineMute, kMonitorLineVolume})
            backend.RaiseControlChange(0, id);
        for (int32_t id : {kRecording, kRecLine, kMonitorLine}) backend.RaiseLineChange(0, id);
        if (placa) {
            tolerate([&] { placa->SetDeviceId(placa->DeviceId() == 0 ? 1 : 0); });
            tolerate([&] { placa->SetDeviceId(0); });
        }
        if (gravacao) tolerate([&] { gravacao->SetComponentType(TMMComponentType::ctDstWaveIn); });
        if (lineInRec) {
            tolerate([&] { lineInRec->SetComponentType(TMMComponentType::ctSrcMicrophone); });
            tolerate([&] { lineInRec->SetComponentType(TMMComponentType::ctSrcLine); });
        }
        if (lineIn) tolerate([&] { lineIn->ResolveLine(); });
        for (TMMCustomMixerControl* c : {static_cast<TMMCustomMixerControl*>(selector.get()),
                                         static_cast<TMMCustomMixerControl*>(volumeRec.get()),
                                         static_cast<TMMCustomMixerControl*>(mute.get()),
                                         static_cast<TMMCustomMixerControl*>(volume.get())})
            if (c) tolerate([&] { c->ResolveControl(); });
        for (TMMMixerCheckBox* box : {recBox.get(), muteBox.get()})
            if (box) {
                tolerate([&] { box->SetChecked(!box->Checked()); });
                tolerate([&] { box->Refresh(); });
            }
        if (combo) tolerate([&] { combo->Refill(); });
        for (TMMMixerWheel* knob : {recWheel.get(), wheel.get()})
            if (knob) tolerate([&] { knob->SetValue(knob->Value() == 0 ? 5 : 0); });
        backend.DeliverChanges();
    }

    // Whatever refers to a destroyed part refers to nothing now.
    void ExpectNoStaleLinks() const {
        if (gravacao) {
            EXPECT_EQ(gravacao->Mixer() == nullptr, placa == nullptr);
        }
        if (lineInRec) {
            EXPECT_EQ(lineInRec->Mixer() == nullptr, placa == nullptr);
            EXPECT_EQ(lineInRec->DestLine() == nullptr, gravacao == nullptr);
        }
        if (selector) {
            EXPECT_EQ(selector->AudioLine() == nullptr, gravacao == nullptr);
        }
        if (volumeRec) {
            EXPECT_EQ(volumeRec->AudioLine() == nullptr, lineInRec == nullptr);
        }
        if (volume) {
            EXPECT_EQ(volume->AudioLine() == nullptr, lineIn == nullptr);
        }
        if (recBox) {
            EXPECT_EQ(recBox->Control() == nullptr, selector == nullptr);
            EXPECT_EQ(recBox->ItemLine() == nullptr, lineInRec == nullptr);
        }
        if (muteBox) {
            EXPECT_EQ(muteBox->Control() == nullptr, mute == nullptr);
        }
        if (combo) {
            EXPECT_EQ(combo->Device() == nullptr, placa == nullptr);
        }
        if (recWheel) {
            EXPECT_EQ(recWheel->Control() == nullptr, volumeRec == nullptr);
        }
        if (wheel) {
            EXPECT_EQ(wheel->Control() == nullptr, volume == nullptr);
        }
    }

    std::unique_ptr<TMMMixerDevice> placa;
    std::unique_ptr<TMMAudioLine> gravacao, lineInRec, lineIn;
    std::unique_ptr<TMMMixerControl> selector;
    std::unique_ptr<TMMVolumeControl> volumeRec;
    std::unique_ptr<TMMMixerControl> mute;
    std::unique_ptr<TMMVolumeControl> volume;
    std::unique_ptr<TMMMixerCheckBox> recBox, muteBox;
    std::unique_ptr<TMMDeviceComboBox> combo;
    std::unique_ptr<TMMMixerWheel> recWheel, wheel;
};

TEST(LifetimeTest, AnyOrderOfDestructionLeavesNoDanglingLink) {
    const std::vector<std::vector<Part>> orders = {
        // members in declaration order, and the reverse (C++ member order)
        {Part::Mixer, Part::Gravacao, Part::LineInRec, Part::LineIn, Part::Selector,
         Part::VolumeRec, Part::Mute, Part::Volume, Part::RecBox, Part::MuteBox, Part::Combo,
         Part::RecWheel, Part::Wheel},
        {Part::Wheel, Part::RecWheel, Part::Combo, Part::MuteBox, Part::RecBox, Part::Volume,
         Part::Mute, Part::VolumeRec, Part::Selector, Part::LineIn, Part::LineInRec, Part::Gravacao,
         Part::Mixer},
        // the destination line first, then the rest from the middle
        {Part::Gravacao, Part::Selector, Part::Mixer, Part::RecBox, Part::LineInRec, Part::Combo,
         Part::VolumeRec, Part::Wheel, Part::Mute, Part::LineIn, Part::MuteBox, Part::Volume,
         Part::RecWheel},
        // controls before their widgets, lines before their controls
        {Part::LineIn, Part::LineInRec, Part::Mute, Part::Selector, Part::Mixer, Part::Volume,
         Part::VolumeRec, Part::Gravacao, Part::Combo, Part::RecBox, Part::MuteBox, Part::RecWheel,
         Part::Wheel},
    };
    for (size_t n = 0; n < orders.size(); ++n) {
        SCOPED_TRACE(n);
        InMemoryMixerBackend backend;
        test::AddStandardCard(backend, "Card A");
        test::AddStandardCard(backend, "Card B");
        {
            Network net(backend);
            ASSERT_TRUE(net.volumeRec->IsValidControl());
            ASSERT_TRUE(net.recBox->isEnabled());
            for (Part part : orders[n]) {
                net.Destroy(part);
                net.Drive(backend);
                net.ExpectNoStaleLinks();
            }
        }
        EXPECT_EQ(backend.OpenHandles(), 0u);
    }
}

}  // namespace
}  // namespace zt
