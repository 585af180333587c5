#pragma once
// Real ALSA capture without a sound card, for tests and benchmarks.
//
// An AlsaFixture writes an ALSA configuration into a temporary folder and
// points this process at it (ALSA_CONFIG_PATH = the system's alsa.conf plus
// the generated file, and alsa-lib's cached configuration dropped so that the
// next snd_* call reads it). Each PCM it defines is the stock "file" plugin
// reading the given bytes (infile) on top of a paced capture plugin that
// delivers frames at the real sample rate by the wall clock, in periods, and
// overruns (-EPIPE) when the reader stalls for longer than its buffer.
// Destroying the fixture restores the previous ALSA_CONFIG_PATH and drops
// the cached configuration again.
//
// What results:
//   AlsaFixture fx(bytes);               PCM "zt_capture" delivers `bytes`;
//                                        it is also ALSA's "default", so
//                                        AlsaWaveInBackend() has device 0
//                                        "Default" capturing these bytes.
//   AlsaFixture fx({{"a", bytesA}, {"b", bytesB}});
//                                        PCMs "a" and "b"; "a" is also the
//                                        default. fx.Devices() is the list
//                                        for AlsaWaveInBackend(devices):
//                                        device 0 = "a", device 1 = "b".
//   auto fx = AlsaFixture::NoDevice();   "default" cannot be opened, so
//                                        AlsaWaveInBackend() lists no device
//                                        (on a machine without sound cards).
// The bytes are raw PCM of whatever format the reader opens with (e.g.
// 44100 Hz, 16-bit, stereo, little-endian); after their end the PCM
// delivers silence (zero bytes for 16-bit). Each open of a PCM reads its
// bytes from the beginning.
//
// A PCM of kind Clock is the clock plugin instead (no file plugin, no
// bytes): frame n of its stream is the one that plays at CLOCK_MONOTONIC
// time n / rate and carries ClockSample(n, channel) (support/ClockSignal.h),
// so frames nobody reads in time are lost as on a real card, and the audio
// itself tells which frames a reader got. It accepts the same formats as the
// paced PCM. Every start of it (each open and each restart after an overrun)
// appends the absolute index of its first frame to a log: StartFrames(name).
//   AlsaFixture fx({ClockPcm("clock", 44100)});
//
// A PCM may have a fake sound card's mixer (tests/fixtures/alsa/fake_ctl.c):
// its controls are the ALSA control device of the PCM's name ("ctl.<name>"),
// and the first PCM's card is also the control device "default" (the same
// card: one set of values). A PCM without a card has no control device, and
// neither has "default" when the first PCM has none.
//   AlsaFixture fx({CardPcm("zt_capture", AlsaCardVariant::Full, "Fake Card")});
// The card keeps its values in a state file in the fixture's folder:
// CardState(name) reads it (what this process or a peer set last), and
// SetCardValue(name, control, values) writes one control through a control
// handle of its own, as another program moving a level does (every open
// handle of the card in this process sees the change and gets its event).
//
// A peer process (arecord -D zt_capture -f cd ...) inherits ALSA_CONFIG_PATH
// while the fixture lives; pass ConfigPathValue() explicitly otherwise.
//
// Threads: create and destroy fixtures on the test's main thread, one at a
// time, with no PCM open (alsa-lib's global configuration is replaced).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "support/TempDir.h"

namespace zt::test {

// The controls of a fake card (tests/fixtures/alsa/fake_ctl.c).
enum class AlsaCardVariant {
    None,        // no card
    Full,        // Master; Line, Mic, CD with capture switches; "Input Source"
    NoSelector,  // the same without "Input Source" and capture switches
    // The same as NoSelector plus a "Capture Source" enumeration, which
    // alsa-lib's simple mixer shows as exclusive capture switches.
    CaptureSource,
    // Full with a fourth "Input Source" item, "Mix", which no element of
    // the card is named after (the playback mix, as on many cards).
    MixSource,
    // A sound server's controls as a desktop's default device shows them:
    // "Master" (playback) and "Capture" (capture volume and switch).
    Server,
};

struct AlsaFixtureCard {
    AlsaCardVariant variant = AlsaCardVariant::None;
    std::string name{};  // the card's name; empty: the PCM's name
};

struct AlsaFixturePcm {
    enum class Kind {
        Paced,  // `bytes` through the file plugin over the paced PCM
        Clock,  // the clock PCM; `bytes` unused
    };
    std::string name = "zt_capture";
    std::string bytes{};       // delivered in order, then silence
    unsigned rate = 0;         // 0: any rate 8000..192000; else only this one
    unsigned maxChannels = 2;  // 1..maxChannels channels
    Kind kind = Kind::Paced;
    AlsaFixtureCard card{};  // the PCM's mixer; none by default
};

// The control values of a card by control name ("Line Capture Volume" ->
// {20, 20}, "Input Source" -> {1}).
using AlsaCardState = std::map<std::string, std::vector<long>>;

// A Clock PCM named `name`.
inline AlsaFixturePcm ClockPcm(std::string name = "zt_capture", unsigned rate = 0,
                               unsigned maxChannels = 2) {
    return {std::move(name), {}, rate, maxChannels, AlsaFixturePcm::Kind::Clock};
}

// A paced PCM (silence) named `name` with a fake card of that variant.
inline AlsaFixturePcm CardPcm(std::string name, AlsaCardVariant variant,
                              std::string cardName = {}) {
    AlsaFixturePcm pcm;
    pcm.name = std::move(name);
    pcm.card = {variant, std::move(cardName)};
    return pcm;
}

class AlsaFixture {
public:
    explicit AlsaFixture(const std::string& bytes);
    explicit AlsaFixture(std::vector<AlsaFixturePcm> pcms);
    static std::unique_ptr<AlsaFixture> NoDevice();
    ~AlsaFixture();
    AlsaFixture(const AlsaFixture&) = delete;
    AlsaFixture& operator=(const AlsaFixture&) = delete;

    // The generated configuration file.
    const std::string& ConfPath() const { return confPath_; }
    // The value of ALSA_CONFIG_PATH that selects it.
    std::string ConfigPathValue() const;
    // The PCMs as an explicit device list, display name = PCM name.
    std::vector<AlsaPcmDevice> Devices() const;
    // For a Clock PCM: the absolute frame index at each start so far, in
    // order, by this process and by peers alike ("default" shares the log
    // of the first PCM). Empty for a paced PCM or an unknown name.
    std::vector<int64_t> StartFrames(const std::string& pcmName) const;
    // For a Clock PCM (and the default that shares it): pulls the card out,
    // as a USB card is unplugged, and puts it back. While it is out, opening
    // fails with -ENODEV and a running stream cannot be started again.
    // For a PCM with a card, its mixer goes and comes with it: opening its
    // control device fails with -ENODEV, and the control handles open in
    // this process wake up and fail their next call with -ENODEV.
    void Unplug(const std::string& pcmName) const;
    void Replug(const std::string& pcmName) const;

    // The card of a PCM ("default": the first PCM's) as its state file holds
    // it; empty when the PCM has no card or the card was never opened.
    AlsaCardState CardState(const std::string& pcmName) const;
    // Writes one control of the card (enumerated controls take item
    // numbers) through a control handle of this call's own. 0, or a negative
    // errno (-ENOENT for an unknown control, -EINVAL for a wrong count).
    int SetCardValue(const std::string& pcmName, const std::string& control,
                     const std::vector<long>& values) const;
    // The card's state file; empty when the PCM has no card.
    std::string CardStateFile(const std::string& pcmName) const;

private:
    AlsaFixture() = default;
    const AlsaFixturePcm* Pcm(const std::string& pcmName, size_t* index = nullptr) const;
    void Install(const std::string& confText);
    std::string UnplugSwitch(const std::string& pcmName) const;

    TempDir dir_;
    std::string confPath_;
    std::vector<AlsaFixturePcm> pcms_;
    std::vector<std::string> startLogs_;  // per PCM; empty when it keeps none
    bool hadOldValue_ = false;
    std::string oldValue_;
};

// A 16-bit stereo test signal: frame i holds the low 16 bits of i on the
// left and 0x8000 | (i >> 16) on the right, little-endian.
std::string FrameCounterSignal(uint32_t frames);
// The frame number of the frame at byte `offset` of such a signal.
uint32_t FrameCounterAt(const std::string& bytes, size_t offset);

}  // namespace zt::test
