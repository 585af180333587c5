// The ALSA mixer back end against the fake card of tests/fixtures/alsa: the
// lines and controls it makes of the card's elements, values written through
// it as the card holds them (read from the card's state file, not back
// through the back end), values another program sets as the back end reads
// them, change notifications, and devices whose controls cannot be reached.

#include "mixer/alsa/AlsaMixerBackend.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mixer/MixerTypes.h"
#include "mixer/alsa/AlsaMixerModel.h"
#include "support/AlsaFixture.h"

namespace zt::test {
namespace {

using namespace std::chrono_literals;

// Runs the event loop until `done` holds or a generous deadline passes.
bool RunUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(10s);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// A fake card behind the PCM "card" (also the default), the back end's
// device 0 ("Default") and device 1 (the card by its own name).
struct CardMixer {
    explicit CardMixer(AlsaCardVariant variant)
        : fixture({CardPcm("card", variant, "Fake Card")}),
          mixer({{"default", "Default"}, {"card", "Fake Card"}}) {}

    MixerLineRecord Line(uint32_t destination, uint32_t source) {
        MixerLineRecord line;
        EXPECT_EQ(mixer.LineInfoBySource(0, destination, source, line), kMMNoError);
        return line;
    }
    MixerLineRecord Destination(uint32_t componentType) {
        MixerLineRecord line;
        EXPECT_EQ(mixer.LineInfoByType(0, componentType, line), kMMNoError);
        return line;
    }
    // The control of that type on the source of the destination named so.
    MixerControlRecord Control(uint32_t destinationType, const std::string& source,
                               uint32_t controlType) {
        const MixerLineRecord dest = Destination(destinationType);
        for (uint32_t s = 0; s < dest.connections; ++s) {
            const MixerLineRecord line = Line(dest.destination, s);
            if (line.name != source) continue;
            MixerControlRecord control;
            EXPECT_EQ(mixer.ControlByType(0, line.lineId, controlType, control), kMMNoError);
            return control;
        }
        ADD_FAILURE() << "no source " << source;
        return {};
    }
    MixerControlRecord Mux() {
        MixerControlRecord control;
        EXPECT_EQ(mixer.ControlByType(0, Destination(component::kDstWaveIn).lineId, control::kMux,
                                      control),
                  kMMNoError);
        return control;
    }
    std::vector<int32_t> Get(const MixerControlRecord& control, uint32_t channels,
                             uint32_t items = 0) {
        std::vector<int32_t> values;
        EXPECT_EQ(mixer.GetDetails(0, control.controlId, channels, items, values), kMMNoError);
        return values;
    }

    AlsaFixture fixture;
    AlsaMixerBackend mixer;
};

TEST(AlsaMixerBackend, ControlDeviceOfEachCapturePcm) {
    const std::pair<const char*, const char*> kCases[] = {
        {"default", "default"}, {"plughw:1", "hw:1"},         {"hw:2", "hw:2"},
        {"plughw:3,0", "hw:3"}, {"zt_capture", "zt_capture"}, {"pulse", "pulse"},
    };
    for (const auto& [pcm, ctl] : kCases)
        EXPECT_EQ(AlsaMixerBackend::ControlDeviceName(pcm), ctl) << pcm;
}

TEST(AlsaMixerBackend, SourceTypeByTheElementsName) {
    const std::pair<const char*, uint32_t> kCases[] = {
        {"Line", component::kSrcLine},
        {"Line Boost", component::kSrcLine},
        {"Mic", component::kSrcMicrophone},
        {"Front Mic", component::kSrcMicrophone},
        {"Internal Mic Boost", component::kSrcMicrophone},
        {"CD", component::kSrcCD},
        {"Aux", component::kSrcAux},
        {"IEC958", component::kSrcDigital},
        {"S/PDIF", component::kSrcDigital},
        {"Digital In", component::kSrcDigital},
        {"Synth", component::kSrcSynthesizer},
        {"FM", component::kSrcSynthesizer},
        {"Phone", component::kSrcTelephone},
        {"Headphone", component::kSrcUndefined},  // not a telephone
        {"Beep", component::kSrcPCSpeaker},
        {"PC Speaker", component::kSrcPCSpeaker},
        {"PCM", component::kSrcWaveOut},
        {"Video", component::kSrcAnalog},
        {"Capture", component::kSrcUndefined},
        {"Dynamic Range", component::kSrcUndefined},  // "mic" inside a word
        {"Speaker", component::kSrcUndefined},
    };
    for (const auto& [name, type] : kCases) EXPECT_EQ(AlsaSourceComponentType(name), type) << name;
}

TEST(AlsaMixerBackend, LinesAndControlsOfTheCard) {
    CardMixer card(AlsaCardVariant::Full);
    AlsaMixerBackend& mixer = card.mixer;
    ASSERT_EQ(mixer.NumDevs(), 2);
    MixerCapsRecord caps;
    ASSERT_EQ(mixer.GetDevCaps(1, caps), kMMNoError);
    EXPECT_EQ(caps.productName, "Fake Card");
    EXPECT_EQ(caps.destinations, 2u);

    // Playback first, its own controls the master's, then its sources.
    const MixerLineRecord playback = card.Destination(component::kDstSpeakers);
    EXPECT_EQ(playback.lineId, int32_t(kDestinationLineIdBase | 0));
    EXPECT_EQ(playback.destination, 0u);
    EXPECT_EQ(playback.targetType, kTargetWaveOut);
    EXPECT_EQ(playback.controls, 2u);
    MixerControlRecord master;
    EXPECT_EQ(mixer.ControlByType(0, playback.lineId, control::kMute, master), kMMNoError);

    const MixerLineRecord recording = card.Destination(component::kDstWaveIn);
    EXPECT_EQ(recording.lineId, int32_t(kDestinationLineIdBase | 1));
    EXPECT_EQ(recording.destination, 1u);
    EXPECT_EQ(recording.targetType, kTargetWaveIn);
    EXPECT_EQ(recording.targetName, "Default");
    EXPECT_EQ(recording.controls, 1u) << "the selector";

    struct Source {
        std::string name;
        uint32_t type;
        uint32_t channels;
    };
    const std::vector<Source> kSources = {{"Line", component::kSrcLine, 2},
                                          {"CD", component::kSrcCD, 2},
                                          {"Mic", component::kSrcMicrophone, 1}};
    for (const MixerLineRecord& dest : {playback, recording}) {
        ASSERT_EQ(dest.connections, kSources.size());
        for (uint32_t s = 0; s < kSources.size(); ++s) {
            const MixerLineRecord line = card.Line(dest.destination, s);
            SCOPED_TRACE(dest.name + "/" + line.name);
            EXPECT_EQ(line.name, kSources[s].name);
            EXPECT_EQ(line.componentType, kSources[s].type);
            EXPECT_EQ(line.channels, kSources[s].channels);
            EXPECT_EQ(line.destination, dest.destination);
            EXPECT_EQ(line.source, s);
            EXPECT_TRUE(line.flags & kLineFlagSource);
            MixerLineRecord byId;
            ASSERT_EQ(mixer.LineInfoById(0, line.lineId, byId), kMMNoError);
            EXPECT_EQ(byId.name, line.name);
            EXPECT_EQ(byId.destination, dest.destination);
        }
    }

    // A type alone finds the playback side's line: the monitor path.
    MixerLineRecord lineIn;
    ASSERT_EQ(mixer.LineInfoByType(0, component::kSrcLine, lineIn), kMMNoError);
    EXPECT_EQ(lineIn.destination, 0u);
    // The recording destination by the capture device it feeds.
    MixerLineRecord byTarget;
    ASSERT_EQ(
        mixer.LineInfoByTarget(1, kTargetWaveIn, 0, 0, caps.driverVersion, "Fake Card", byTarget),
        kMMNoError);
    EXPECT_EQ(byTarget.lineId, recording.lineId);
    EXPECT_EQ(
        mixer.LineInfoByTarget(1, kTargetWaveIn, 0, 0, caps.driverVersion, "Default", byTarget),
        kMixerInvalidLine);

    // Volumes in ALSA's raw range; a mono or joined one is uniform.
    const MixerControlRecord lineVolume =
        card.Control(component::kDstWaveIn, "Line", control::kVolume);
    EXPECT_EQ(lineVolume.minimum, 0);
    EXPECT_EQ(lineVolume.maximum, 31);
    EXPECT_EQ(lineVolume.steps, 31u);
    EXPECT_FALSE(lineVolume.flags & kControlFlagUniform);
    EXPECT_TRUE(card.Control(component::kDstWaveIn, "Mic", control::kVolume).flags &
                kControlFlagUniform);

    // The selector: every item names the recording source it stands for.
    const MixerControlRecord mux = card.Mux();
    EXPECT_EQ(mux.flags, kControlFlagUniform | kControlFlagMultiple);
    ASSERT_EQ(mux.multipleItems, 3u);
    int32_t owner = -1;
    MixerControlRecord byId;
    ASSERT_EQ(mixer.ControlById(0, mux.controlId, byId, owner), kMMNoError);
    EXPECT_EQ(owner, recording.lineId);
    std::vector<MixerListText> texts;
    ASSERT_EQ(mixer.GetListText(0, mux.controlId, 1, 3, texts), kMMNoError);
    ASSERT_EQ(texts.size(), 3u);
    const char* kItems[] = {"Line", "Mic", "CD"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(texts[i].name, kItems[i]);
        MixerLineRecord source;
        ASSERT_EQ(mixer.LineInfoById(0, int32_t(texts[i].param1), source), kMMNoError);
        EXPECT_EQ(source.name, kItems[i]);
        EXPECT_EQ(source.destination, 1u) << "a recording source";
    }
}

TEST(AlsaMixerBackend, VolumesReachTheCardPerChannelOrAll) {
    CardMixer card(AlsaCardVariant::Full);
    const MixerControlRecord volume = card.Control(component::kDstWaveIn, "Line", control::kVolume);
    struct Case {
        std::vector<int32_t> written;
        std::vector<long> onCard;
    };
    const Case kCases[] = {
        {{7, 25}, {7, 25}},   // each channel its own
        {{12}, {12, 12}},     // one value for both
        {{40, -3}, {31, 0}},  // out of range: the ends
    };
    for (const Case& c : kCases) {
        const uint32_t channels = uint32_t(c.written.size());
        ASSERT_EQ(card.mixer.SetDetails(0, volume.controlId, channels, 0, c.written), kMMNoError);
        EXPECT_EQ(card.fixture.CardState("card")["Line Capture Volume"], c.onCard);
        EXPECT_EQ(card.Get(volume, 2), std::vector<int32_t>(c.onCard.begin(), c.onCard.end()));
        EXPECT_EQ(card.Get(volume, 1), std::vector<int32_t>{int32_t(c.onCard[0])});
    }
    // The playback side of the same element is another control.
    EXPECT_EQ(card.fixture.CardState("card")["Line Playback Volume"], (std::vector<long>{20, 20}));

    std::vector<int32_t> values;
    EXPECT_EQ(card.mixer.GetDetails(0, volume.controlId, 3, 0, values), kMMInvalidParam);
    EXPECT_EQ(card.mixer.GetDetails(0, volume.controlId, 2, 1, values), kMMInvalidParam);
    EXPECT_EQ(card.mixer.SetDetails(0, volume.controlId, 2, 0, {5}), kMMInvalidParam);
    EXPECT_EQ(card.mixer.GetDetails(0, 999, 1, 0, values), kMixerInvalidControl);
}

TEST(AlsaMixerBackend, MuteIsTheSwitchTurnedOff) {
    CardMixer card(AlsaCardVariant::Full);
    const MixerControlRecord monitor =
        card.Control(component::kDstSpeakers, "Line", control::kMute);
    const MixerControlRecord capture = card.Control(component::kDstWaveIn, "CD", control::kMute);
    EXPECT_EQ(card.Get(monitor, 2), (std::vector<int32_t>{0, 0})) << "switches start on";

    ASSERT_EQ(card.mixer.SetDetails(0, monitor.controlId, 1, 0, {1}), kMMNoError);
    EXPECT_EQ(card.fixture.CardState("card")["Line Playback Switch"], (std::vector<long>{0, 0}));
    ASSERT_EQ(card.mixer.SetDetails(0, capture.controlId, 1, 0, {1}), kMMNoError);
    EXPECT_EQ(card.fixture.CardState("card")["CD Capture Switch"], (std::vector<long>{0, 0}));

    // Another program turns one channel back on.
    ASSERT_EQ(card.fixture.SetCardValue("card", "Line Playback Switch", {1, 0}), 0);
    EXPECT_EQ(card.Get(monitor, 2), (std::vector<int32_t>{0, 1}));
}

TEST(AlsaMixerBackend, SelectingAnItemWritesTheInputSource) {
    CardMixer card(AlsaCardVariant::Full);
    const MixerControlRecord mux = card.Mux();
    EXPECT_EQ(card.Get(mux, 1, 3), (std::vector<int32_t>{0, 1, 0})) << "starts on Mic";

    ASSERT_EQ(card.mixer.SetDetails(0, mux.controlId, 1, 3, {0, 0, 1}), kMMNoError);
    EXPECT_EQ(card.fixture.CardState("card")["Input Source"], std::vector<long>{2});
    EXPECT_EQ(card.Get(mux, 1, 3), (std::vector<int32_t>{0, 0, 1}));

    ASSERT_EQ(card.fixture.SetCardValue("card", "Input Source", {0}), 0);
    EXPECT_EQ(card.Get(mux, 1, 3), (std::vector<int32_t>{1, 0, 0}));

    EXPECT_EQ(card.mixer.SetDetails(0, mux.controlId, 1, 3, {0, 0, 0}), kMixerInvalidValue);
    EXPECT_EQ(card.mixer.SetDetails(0, mux.controlId, 1, 2, {1, 0}), kMMInvalidParam);
    EXPECT_EQ(card.fixture.CardState("card")["Input Source"], std::vector<long>{0});
}

TEST(AlsaMixerBackend, AnItemWithoutItsElementStandsForALineOfItsOwn) {
    CardMixer card(AlsaCardVariant::MixSource);
    const MixerControlRecord mux = card.Mux();
    ASSERT_EQ(mux.multipleItems, 4u);
    std::vector<MixerListText> texts;
    ASSERT_EQ(card.mixer.GetListText(0, mux.controlId, 1, 4, texts), kMMNoError);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[3].name, "Mix");
    MixerLineRecord mix;
    ASSERT_EQ(card.mixer.LineInfoById(0, int32_t(texts[3].param1), mix), kMMNoError);
    EXPECT_EQ(mix.name, "Mix");
    EXPECT_EQ(mix.destination, 1u);
    EXPECT_EQ(mix.source, 3u) << "after the elements' sources";
    EXPECT_EQ(mix.controls, 0u);
    EXPECT_TRUE(mix.flags & kLineFlagSource);
    EXPECT_EQ(card.Destination(component::kDstWaveIn).connections, 4u);

    ASSERT_EQ(card.mixer.SetDetails(0, mux.controlId, 1, 4, {0, 0, 0, 1}), kMMNoError);
    EXPECT_EQ(card.fixture.CardState("card")["Input Source"], std::vector<long>{3});
}

TEST(AlsaMixerBackend, ExclusiveCaptureSwitchesAreTheSelector) {
    // alsa-lib turns an enumerated "Capture Source" into exclusive capture
    // switches of the elements its items name.
    CardMixer card(AlsaCardVariant::CaptureSource);
    const MixerControlRecord mux = card.Mux();
    ASSERT_EQ(mux.multipleItems, 3u);
    std::vector<MixerListText> texts;
    ASSERT_EQ(card.mixer.GetListText(0, mux.controlId, 1, 3, texts), kMMNoError);
    ASSERT_EQ(texts.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        const MixerLineRecord source = card.Line(1, i);
        EXPECT_EQ(texts[i].name, source.name);
        EXPECT_EQ(texts[i].param1, uint32_t(source.lineId));
    }
    // Items in the elements' order: Line, CD, Mic; the card starts on Mic.
    EXPECT_EQ(card.Get(mux, 1, 3), (std::vector<int32_t>{0, 0, 1}));
    ASSERT_EQ(card.mixer.SetDetails(0, mux.controlId, 1, 3, {1, 0, 0}), kMMNoError);
    EXPECT_EQ(card.fixture.CardState("card")["Capture Source"], std::vector<long>{0});
    EXPECT_EQ(card.Get(mux, 1, 3), (std::vector<int32_t>{1, 0, 0}));
    // The switches are the selector's, not mutes of the sources.
    MixerControlRecord mute;
    EXPECT_EQ(card.mixer.ControlByType(0, card.Line(1, 0).lineId, control::kMute, mute),
              kMixerInvalidControl);
}

TEST(AlsaMixerBackend, WithoutSelectorTheRecordingSourcesHaveOnlyVolumes) {
    CardMixer card(AlsaCardVariant::NoSelector);
    const MixerLineRecord recording = card.Destination(component::kDstWaveIn);
    EXPECT_EQ(recording.controls, 0u);
    MixerControlRecord control;
    EXPECT_EQ(card.mixer.ControlByType(0, recording.lineId, control::kMux, control),
              kMixerInvalidControl);
    ASSERT_EQ(recording.connections, 3u);
    for (uint32_t s = 0; s < 3; ++s) {
        const MixerLineRecord line = card.Line(1, s);
        EXPECT_EQ(line.controls, 1u) << line.name;
        EXPECT_EQ(card.mixer.ControlByType(0, line.lineId, control::kVolume, control), kMMNoError);
    }
}

TEST(AlsaMixerBackend, ChangesReachTheOpenHandles) {
    CardMixer card(AlsaCardVariant::Full);
    const MixerControlRecord volume = card.Control(component::kDstWaveIn, "Mic", control::kVolume);
    const MixerControlRecord mux = card.Mux();

    std::vector<std::pair<MixerChangeKind, int32_t>> seenByA, seenByB;
    auto saw = [](const std::vector<std::pair<MixerChangeKind, int32_t>>& seen, int32_t id) {
        for (const auto& [kind, changed] : seen)
            if (kind == MixerChangeKind::Control && changed == id) return true;
        return false;
    };
    MixerHandle a = 0, b = 0;
    ASSERT_EQ(card.mixer.Open(
                  0, [&](MixerChangeKind k, int32_t id) { seenByA.emplace_back(k, id); }, a),
              kMMNoError);
    ASSERT_EQ(card.mixer.Open(
                  0, [&](MixerChangeKind k, int32_t id) { seenByB.emplace_back(k, id); }, b),
              kMMNoError);
    int device = -1;
    EXPECT_EQ(card.mixer.GetId(b, device), kMMNoError);
    EXPECT_EQ(device, 0);

    // Another program moves the level: both handles hear of that control,
    // from the event loop, also when a read has taken the card's event in.
    ASSERT_EQ(card.fixture.SetCardValue("card", "Mic Capture Volume", {3}), 0);
    EXPECT_EQ(card.Get(volume, 1), std::vector<int32_t>{3});
    EXPECT_TRUE(seenByA.empty()) << "never from inside a call";
    ASSERT_TRUE(
        RunUntil([&] { return saw(seenByA, volume.controlId) && saw(seenByB, volume.controlId); }));
    EXPECT_FALSE(saw(seenByA, mux.controlId)) << "another element's control";

    // A change this program makes is reported too, as a driver does.
    seenByA.clear();
    seenByB.clear();
    ASSERT_EQ(card.mixer.SetDetails(0, mux.controlId, 1, 3, {1, 0, 0}), kMMNoError);
    ASSERT_TRUE(RunUntil([&] { return saw(seenByA, mux.controlId); }));

    // A closed handle hears nothing more, while the other still does.
    EXPECT_EQ(card.mixer.Close(a), kMMNoError);
    EXPECT_EQ(card.mixer.Close(a), kMMInvalidHandle);
    seenByA.clear();
    seenByB.clear();
    ASSERT_EQ(card.fixture.SetCardValue("card", "Input Source", {2}), 0);
    ASSERT_TRUE(RunUntil([&] { return saw(seenByB, mux.controlId); }));
    EXPECT_TRUE(seenByA.empty());
    EXPECT_EQ(card.mixer.Close(b), kMMNoError);
}

TEST(AlsaMixerBackend, ACardPulledOutAndPutBack) {
    CardMixer card(AlsaCardVariant::Full);
    const MixerControlRecord volume = card.Control(component::kDstWaveIn, "Line", control::kVolume);
    const int32_t recording = card.Destination(component::kDstWaveIn).lineId;
    std::vector<std::pair<MixerChangeKind, int32_t>> seen;
    auto sawLine = [&](int32_t id) {
        for (const auto& [kind, changed] : seen)
            if (kind == MixerChangeKind::Line && changed == id) return true;
        return false;
    };
    MixerHandle handle = 0;
    ASSERT_EQ(card.mixer.Open(
                  0, [&](MixerChangeKind k, int32_t id) { seen.emplace_back(k, id); }, handle),
              kMMNoError);

    card.fixture.Unplug("card");
    ASSERT_TRUE(RunUntil([&] { return sawLine(recording); })) << "the lines went";
    MixerLineRecord line;
    EXPECT_EQ(card.mixer.LineInfoByType(0, component::kDstWaveIn, line), kMMNoDriver);
    std::vector<int32_t> values;
    EXPECT_EQ(card.mixer.GetDetails(0, volume.controlId, 1, 0, values), kMMNoDriver);
    MixerCapsRecord caps;
    ASSERT_EQ(card.mixer.GetDevCaps(0, caps), kMMNoError);
    EXPECT_EQ(caps.destinations, 0u);

    seen.clear();
    card.fixture.Replug("card");
    ASSERT_EQ(card.mixer.LineInfoByType(0, component::kDstWaveIn, line), kMMNoError);
    EXPECT_EQ(card.Control(component::kDstWaveIn, "Line", control::kVolume).controlId,
              volume.controlId)
        << "ids are kept";
    ASSERT_TRUE(RunUntil([&] { return sawLine(recording); })) << "the lines came back";
    // And the handle hears the card again.
    seen.clear();
    ASSERT_EQ(card.fixture.SetCardValue("card", "Line Capture Volume", {9, 9}), 0);
    ASSERT_TRUE(RunUntil([&] {
        for (const auto& [kind, id] : seen)
            if (kind == MixerChangeKind::Control && id == volume.controlId) return true;
        return false;
    }));
    EXPECT_EQ(card.mixer.Close(handle), kMMNoError);
}

TEST(AlsaMixerBackend, ADeviceWithoutControlsStaysListedButAnswersNotFound) {
    AlsaFixture fixture({AlsaFixturePcm{"plain"}});
    AlsaMixerBackend mixer({{"default", "Default"}, {"plain", "Plain"}});
    ASSERT_EQ(mixer.NumDevs(), 2);
    for (int device : {0, 1}) {
        SCOPED_TRACE(device);
        MixerCapsRecord caps;
        ASSERT_EQ(mixer.GetDevCaps(device, caps), kMMNoError);
        EXPECT_EQ(caps.destinations, 0u);
        MixerLineRecord line;
        EXPECT_EQ(mixer.LineInfoByType(device, component::kDstWaveIn, line), kMMNoDriver);
        EXPECT_EQ(mixer.LineInfoById(device, 0, line), kMMNoDriver);
        MixerControlRecord control;
        int32_t lineId = -1;
        EXPECT_EQ(mixer.ControlById(device, 1, control, lineId), kMMNoDriver);
        MixerHandle handle = 77;
        const MMResult opened = mixer.Open(device, {}, handle);
        EXPECT_NE(opened, kMMNoError);
        EXPECT_EQ(handle, 0);
        EXPECT_FALSE(mixer.ErrorText(opened).empty());
    }
    MixerCapsRecord caps;
    EXPECT_EQ(mixer.GetDevCaps(2, caps), kMMBadDeviceId);
    EXPECT_EQ(mixer.GetDevCaps(-1, caps), kMMBadDeviceId);
}

}  // namespace
}  // namespace zt::test
