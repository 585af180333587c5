// Lines: resolution by id, by type, by target and under a destination line
// (directly, or by scanning the destination's sources), cards without a
// recording destination or without a line input under it, detaching and
// re-attaching, and the flow of the card's changes from the mixer through
// the lines to the controls.

#include "mixer/AudioLine.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mixer/MixerErrors.h"
#include "mixer/MixerTestSupport.h"

namespace zt {
namespace {

using namespace test::card;
using test::MixerNetwork;
using Op = InMemoryMixerBackend::Op;
using CT = TMMComponentType;

// A wave-out device family with one device, standing for the card's speakers.
class SpeakersFamily : public TMMDeviceFamily {
public:
    int NumDevs() override { return 1; }
    MMResult GetDevCaps(TMMDeviceId id, AudioDeviceCapsRecord& caps) override {
        if (id != 0) return kMMBadDeviceId;
        caps = {1, 1, 0x0100, "Card A"};
        return kMMNoError;
    }
};

class AudioLineTest : public ::testing::Test {
protected:
    AudioLineTest() : mixer(backend) {
        mixer.Loaded();
        recording.SetMixer(&mixer);
        recording.SetComponentType(CT::ctDstWaveIn);
        recording.Loaded();
    }
    InMemoryMixerBackend backend;
    bool built = (test::AddStandardCard(backend), true);
    TMMMixerDevice mixer;
    TMMAudioLine recording;
};

TEST_F(AudioLineTest, Resolution) {
    TMMDeviceFamilies families;
    families[size_t(TMMDeviceKind::dkWaveOut)] = std::make_shared<SpeakersFamily>();
    TMMCustomAudioDevice speakersDevice(families);
    struct Case {
        const char* what;
        std::function<void(TMMAudioLine&)> setUp;
        TMMLineId lineId;
        CT type;
        int32_t destIndex;
        bool scanned;  // the destination's sources were looked through
    } cases[] = {
        {"id of a source", [](TMMAudioLine& l) { l.SetLineId(kRecMic); }, kRecMic,
         CT::ctSrcMicrophone, -1, false},
        {"id of a destination", [](TMMAudioLine& l) { l.SetLineId(kRecording); }, kRecording,
         CT::ctDstWaveIn, 1, false},
        {"unknown id", [](TMMAudioLine& l) { l.SetLineId(0x999); }, -1, CT::ctDstDigital, -1,
         false},
        {"type: the first line of it", [](TMMAudioLine& l) { l.SetComponentType(CT::ctSrcLine); },
         kMonitorLine, CT::ctSrcLine, -1, false},
        {"type of a destination", [](TMMAudioLine& l) { l.SetComponentType(CT::ctDstSpeakers); },
         kSpeakers, CT::ctDstSpeakers, 0, false},
        {"type the card lacks", [](TMMAudioLine& l) { l.SetComponentType(CT::ctSrcAux); }, -1,
         CT::ctSrcAux, -1, false},
        {"target", [&](TMMAudioLine& l) { l.SetTarget(&speakersDevice); }, kSpeakers,
         CT::ctDstSpeakers, 0, false},
        // Under a destination a line is found among the destination's own
        // sources: a destination's id is never a destination index, so the
        // line of that type found first is taken only through the scan.
        {"under the destination, its first of that type",
         [this](TMMAudioLine& l) {
             l.SetDestLine(&recording);
             l.SetComponentType(CT::ctSrcMicrophone);
         },
         kRecMic, CT::ctSrcMicrophone, -1, true},
        {"under the destination, another destination's first",
         [this](TMMAudioLine& l) {
             l.SetDestLine(&recording);
             l.SetComponentType(CT::ctSrcLine);
         },
         kRecLine, CT::ctSrcLine, -1, true},
        {"under the destination, the destination's own type",
         [this](TMMAudioLine& l) {
             l.SetDestLine(&recording);
             l.SetComponentType(CT::ctDstWaveIn);
         },
         -1, CT::ctDstWaveIn, -1, true},
        {"under the destination, a type it does not have",
         [this](TMMAudioLine& l) {
             l.SetDestLine(&recording);
             l.SetComponentType(CT::ctSrcAux);
         },
         -1, CT::ctSrcAux, -1, true},
        // By id there is no scan.
        {"under the destination, by id",
         [this](TMMAudioLine& l) {
             l.SetDestLine(&recording);
             l.SetLineId(kRecCD);
         },
         -1, CT::ctDstDigital, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMMAudioLine line;
        line.SetMixer(&mixer);
        c.setUp(line);
        backend.ClearRecord();
        line.Loaded();
        EXPECT_EQ(line.LineId(), c.lineId);
        EXPECT_EQ(line.ComponentType(), c.type);
        EXPECT_EQ(line.DestinationIndex(), c.destIndex);
        EXPECT_EQ(backend.Calls(Op::LineInfoBySource) > 0, c.scanned);
        if (c.lineId == -1) {
            EXPECT_EQ(line.LineInfo().Name(), "");
        }
    }
}

TEST_F(AudioLineTest, LineInfoTakesTheRecord) {
    TMMAudioLine line;
    line.SetMixer(&mixer);
    line.SetLineId(kRecLine);
    line.Loaded();
    const TMMLineInfo& info = line.LineInfo();
    EXPECT_EQ(info.Flags(), (TMMLineFlags{TMMLineFlag::cfActive, TMMLineFlag::cfSource}));
    EXPECT_EQ(info.Channels(), 2u);
    EXPECT_EQ(info.Controls(), 1u);
    EXPECT_EQ(info.Name(), "Line In");
    EXPECT_EQ(recording.LineInfo().Connections(), 3u);
    EXPECT_FALSE(recording.LineInfo().Flags().Has(TMMLineFlag::cfSource));
}

TEST_F(AudioLineTest, NothingIsLookedUpWhileLoading) {
    TMMAudioLine line;
    line.SetMixer(&mixer);
    int resolutions = 0;
    TMMObserver watcher([&](const TMMNotification&) { ++resolutions; });
    line.Subscribe(watcher);
    backend.ClearRecord();
    line.SetComponentType(CT::ctSrcLine);
    line.SetLineId(kRecLine);
    EXPECT_EQ(backend.Calls(Op::LineInfoById) + backend.Calls(Op::LineInfoByType), 0);
    EXPECT_EQ(resolutions, 0);
    line.Loaded();
    EXPECT_EQ(line.LineId(), kRecLine);
    EXPECT_EQ(resolutions, 1);
}

TEST_F(AudioLineTest, AnUnknownComponentTypeIsAnError) {
    backend.FindLine(0, kRecMic)->record.componentType = 0x1234;
    TMMAudioLine line;
    line.SetMixer(&mixer);
    line.Loaded();
    try {
        line.SetLineId(kRecMic);
        ADD_FAILURE() << "no error";
    } catch (const EMMMixerServiceError& e) {
        EXPECT_STREQ(e.what(), "Undefined API component type");
    }
}

TEST_F(AudioLineTest, RefusedLinks) {
    TMMAudioLine line, under;
    TMMMixerControl notALine;
    EXPECT_THROW(
        {
            try {
                line.SetDestLine(&notALine);
            } catch (const EMMMixerDeviceError& e) {
                EXPECT_STREQ(e.what(), "DestLine should be TMMAudioLine");
                throw;
            }
        },
        EMMMixerDeviceError);
    EXPECT_THROW(
        {
            try {
                line.SetTarget(&mixer);
            } catch (const EMMMixerDeviceError& e) {
                EXPECT_STREQ(e.what(), "Can't target to mixer");
                throw;
            }
        },
        EMMMixerDeviceError);
    // A line never ends up under itself, directly or through another.
    EXPECT_THROW(line.SetDestLine(&line), EMMMixerDeviceError);
    under.SetDestLine(&line);
    EXPECT_THROW(line.SetDestLine(&under), EMMMixerDeviceError);
    EXPECT_EQ(line.DestLine(), nullptr);
}

TEST(AudioLineCardTest, ACardWithoutARecordingDestinationStillHasTheMonitorPath) {
    InMemoryMixerBackend backend;
    backend.AddDevice("Card");
    backend.AddDestination(0, component::kDstSpeakers, "Speakers");
    backend.AddSource(0, 0, component::kSrcLine, "Line In", 2, kMonitorLine);
    backend.AddControl(0, kMonitorLine, control::kVolume, "Line Volume", {100, 100});
    backend.AddControl(0, kMonitorLine, control::kMute, "Line Mute", {0}, 0, 1, 0,
                       kControlFlagUniform);
    MixerNetwork net(backend);
    EXPECT_EQ(net.gravacao.LineId(), -1);
    EXPECT_EQ(net.lineInRec.LineId(), -1);
    EXPECT_EQ(net.selector.ControlId(), -1);
    EXPECT_EQ(net.volumeRec.ControlId(), -1);
    EXPECT_FALSE(net.volumeRec.IsValidControl());
    EXPECT_EQ(net.lineIn.LineId(), kMonitorLine);
    EXPECT_TRUE(net.volume.IsValidControl());
    EXPECT_TRUE(net.mute.IsValidControl());
}

TEST(AudioLineCardTest, ALineInputUnderAnotherDestinationIsNotTheRecordingInput) {
    InMemoryMixerBackend backend;
    backend.AddDevice("Card");
    backend.AddDestination(0, component::kDstSpeakers, "Speakers");
    backend.AddDestination(0, component::kDstWaveIn, "Recording");
    backend.AddSource(0, 0, component::kSrcLine, "Line In", 2, kMonitorLine);
    backend.AddSource(0, 1, component::kSrcMicrophone, "Microphone", 2, kRecMic);
    MixerNetwork net(backend);
    EXPECT_EQ(net.gravacao.LineId(), kRecording);
    EXPECT_EQ(net.lineInRec.LineId(), -1);
    EXPECT_EQ(net.lineIn.LineId(), kMonitorLine);
}

class NetworkTest : public ::testing::Test {
protected:
    NetworkTest() { test::AddStandardCard(backend); }
    InMemoryMixerBackend backend;
};

TEST_F(NetworkTest, TheWindowsNetworkResolvesWhenLoaded) {
    MixerNetwork net(backend, false);
    EXPECT_EQ(backend.Calls(Op::Open), 0);
    EXPECT_EQ(net.lineInRec.LineId(), -1);
    net.Load();
    EXPECT_TRUE(net.placa.Active());
    EXPECT_EQ(net.gravacao.LineId(), kRecording);
    EXPECT_EQ(net.lineInRec.LineId(), kRecLine);
    EXPECT_EQ(net.lineIn.LineId(), kMonitorLine);
    EXPECT_EQ(net.selector.ControlId(), kSelector);
    EXPECT_EQ(net.volumeRec.ControlId(), kRecLineVolume);
    EXPECT_EQ(net.mute.ControlId(), kMonitorLineMute);
    EXPECT_EQ(net.volume.ControlId(), kMonitorLineVolume);
}

TEST_F(NetworkTest, DetachingKeepsTheLineAndReattachingResolvesItAgain) {
    MixerNetwork net(backend);
    net.lineInRec.SetMixer(nullptr);
    EXPECT_EQ(net.lineInRec.LineId(), kRecLine);
    EXPECT_EQ(net.lineInRec.LineInfo().Name(), "Line In");
    EXPECT_EQ(net.volumeRec.ControlId(), kRecLineVolume);
    EXPECT_FALSE(net.volumeRec.IsValidControl());
    EXPECT_THROW(net.volumeRec.GetUnsignedValue(), EMMDeviceError);

    // Re-attached to another layout: the line and its volume follow it.
    backend.FindLine(0, kRecLine)->record.lineId = 0x299;
    backend.FindControl(0, kRecLineVolume)->record.controlId = 0x399;
    backend.ClearRecord();
    net.lineInRec.SetMixer(&net.placa);
    EXPECT_EQ(net.lineInRec.LineId(), 0x299);
    EXPECT_EQ(net.volumeRec.ControlId(), 0x399);
    EXPECT_TRUE(net.volumeRec.IsValidControl());
}

TEST_F(NetworkTest, ANewTypeResolvesTheLineItsControlsAndTheLinesUnderIt) {
    MixerNetwork net(backend);
    net.lineInRec.SetComponentType(CT::ctSrcMicrophone);
    EXPECT_EQ(net.lineInRec.LineId(), kRecMic);
    EXPECT_EQ(net.volumeRec.ControlId(), kRecMicVolume);

    // The recording destination moved to the speakers: the line under it
    // follows (the speakers have no microphone); its volume is left without
    // a usable line.
    net.gravacao.SetComponentType(CT::ctDstSpeakers);
    EXPECT_EQ(net.lineInRec.LineId(), -1);
    EXPECT_FALSE(net.volumeRec.IsValidControl());
    net.lineInRec.SetComponentType(CT::ctSrcCD);
    EXPECT_EQ(net.lineInRec.LineId(), kMonitorCD);
}

TEST_F(NetworkTest, ACardChangeFlowsFromTheMixerThroughTheLineToTheControlsSubscribers) {
    MixerNetwork net(backend);
    std::vector<std::string> order;
    TMMObserver widget([&](const TMMNotification& n) {
        auto* change = dynamic_cast<const TMMControlChange*>(&n);
        ASSERT_NE(change, nullptr);
        EXPECT_EQ(change->LineId, kMonitorLine);
        EXPECT_EQ(change->ControlId, kMonitorLineVolume);
        order.push_back("subscriber");
    });
    TMMObserver other([&](const TMMNotification&) { order.push_back("other control"); });
    net.volume.Subscribe(widget);
    net.volumeRec.Subscribe(other);
    net.mute.Subscribe(other);
    net.volume.OnChange = [&](TMMCustomMixerControl*) { order.push_back("control"); };
    net.lineIn.OnControlChange = [&](TMMAudioLine*, TMMLineId line, TMMControlId control) {
        EXPECT_EQ(line, kMonitorLine);
        EXPECT_EQ(control, kMonitorLineVolume);
        order.push_back("line");
    };
    net.placa.OnControlChange = [&](TMMMixerDevice*, TMMLineId line, TMMControlId) {
        EXPECT_EQ(line, kMonitorLine);
        order.push_back("mixer");
    };
    backend.RaiseControlChange(0, kMonitorLineVolume);
    EXPECT_EQ(order, (std::vector<std::string>{"subscriber", "control", "line", "mixer"}));
}

TEST_F(NetworkTest, ALineChangeReachesThatLineAlone) {
    MixerNetwork net(backend);
    std::vector<std::string> seen;
    TMMObserver watcher([&](const TMMNotification& n) {
        if (auto* change = dynamic_cast<const TMMLineChange*>(&n))
            seen.push_back("subscriber " + std::to_string(change->LineId));
    });
    net.lineIn.Subscribe(watcher);
    net.lineIn.OnChange = [&](TMMAudioLine*) { seen.push_back("lineIn"); };
    net.lineInRec.OnChange = [&](TMMAudioLine*) { seen.push_back("lineInRec"); };
    net.placa.OnLineChange = [&](TMMMixerDevice*, TMMLineId id) {
        seen.push_back("mixer " + std::to_string(id));
    };
    backend.RaiseLineChange(0, kMonitorLine);
    EXPECT_EQ(seen, (std::vector<std::string>{"subscriber 256", "lineIn", "mixer 256"}));
}

TEST_F(NetworkTest, AnotherCardResolvesEveryLineAgain) {
    backend.AddDevice("Card B");
    backend.AddDestination(1, component::kDstSpeakers, "Speakers");
    backend.AddDestination(1, component::kDstWaveIn, "Recording");
    backend.AddSource(1, 0, component::kSrcLine, "Line In", 2, 0x500);
    backend.AddSource(1, 1, component::kSrcMicrophone, "Mic", 2, 0x501);
    MixerNetwork net(backend);
    net.placa.SetDeviceId(1);
    EXPECT_EQ(net.gravacao.LineId(), kRecording);
    EXPECT_EQ(net.lineInRec.LineId(), -1);
    EXPECT_EQ(net.lineIn.LineId(), 0x500);
    EXPECT_EQ(net.volume.ControlId(), -1);
    EXPECT_EQ(net.selector.ControlId(), -1);
    EXPECT_TRUE(net.placa.Active());
}

}  // namespace
}  // namespace zt
