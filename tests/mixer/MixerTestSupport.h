#pragma once
// Sound cards held in memory for the mixer tests, and the network of mixer
// components the main window builds on one (the card's mixer, the recording
// destination, the chosen input under it and alone, their selector, volumes
// and mute), loaded in one go as the window does.

#include <memory>
#include <string>
#include <vector>

#include "mixer/AudioLine.h"
#include "mixer/MixerControl.h"
#include "mixer/MixerDevice.h"
#include "mixer/MixerTypes.h"
#include "mixer/VolumeControl.h"
#include "mixer/memory/InMemoryMixerBackend.h"

namespace zt::test {

// Fixed ids, so that tests can name lines and controls.
namespace card {
inline constexpr int32_t kSpeakers = 0x8000;    // destination 0
inline constexpr int32_t kRecording = 0x8001;   // destination 1
inline constexpr int32_t kMonitorLine = 0x100;  // Line under the speakers
inline constexpr int32_t kMonitorCD = 0x101;
inline constexpr int32_t kRecCD = 0x200;  // sources of the recording destination
inline constexpr int32_t kRecLine = 0x201;
inline constexpr int32_t kRecMic = 0x202;
inline constexpr int32_t kSpeakersVolume = 0x300;
inline constexpr int32_t kMonitorLineVolume = 0x301;
inline constexpr int32_t kMonitorLineMute = 0x302;
inline constexpr int32_t kRecCDVolume = 0x310;
inline constexpr int32_t kRecLineVolume = 0x311;
inline constexpr int32_t kRecMicVolume = 0x312;
inline constexpr int32_t kSelector = 0x320;
}  // namespace card

// A card as most are: the speakers (fed by Line and CD) and the recording
// destination (fed by CD, Line and Microphone, in that order) with a
// recording-source selector (ctMux unless told) that has CD selected.
// Volumes are two-channel, 0 … 65535, no steps given.
inline void AddStandardCard(InMemoryMixerBackend& backend, const std::string& name = "Card A",
                            uint32_t selectorType = control::kMux) {
    using namespace card;
    const int dev = backend.NumDevs();
    backend.AddDevice(name);
    backend.AddDestination(dev, component::kDstSpeakers, "Speakers");
    backend.AddDestination(dev, component::kDstWaveIn, "Recording Control");
    backend.AddSource(dev, 0, component::kSrcLine, "Line In", 2, kMonitorLine);
    backend.AddSource(dev, 0, component::kSrcCD, "CD Audio", 2, kMonitorCD);
    backend.AddSource(dev, 1, component::kSrcCD, "CD Audio", 2, kRecCD);
    backend.AddSource(dev, 1, component::kSrcLine, "Line In", 2, kRecLine);
    backend.AddSource(dev, 1, component::kSrcMicrophone, "Microphone", 2, kRecMic);
    backend.AddControl(dev, kSpeakers, control::kVolume, "Master Volume", {40000, 40000}, 0, 65535,
                       0, 0, kSpeakersVolume);
    backend.AddControl(dev, kMonitorLine, control::kVolume, "Line Volume", {1000, 2000}, 0, 65535,
                       0, 0, kMonitorLineVolume);
    backend.AddControl(dev, kMonitorLine, control::kMute, "Line Mute", {0}, 0, 1, 0,
                       kControlFlagUniform, kMonitorLineMute);
    backend.AddControl(dev, kRecCD, control::kVolume, "CD Rec Volume", {3000, 3000}, 0, 65535, 0, 0,
                       kRecCDVolume);
    backend.AddControl(dev, kRecLine, control::kVolume, "Line Rec Volume", {5000, 6000}, 0, 65535,
                       0, 0, kRecLineVolume);
    backend.AddControl(dev, kRecMic, control::kVolume, "Mic Rec Volume", {7000, 7000}, 0, 65535, 0,
                       0, kRecMicVolume);
    backend.AddSelector(dev, 1, 0, selectorType, kSelector);
}

// The main window's network of mixer components on `backend`.
struct MixerNetwork {
    explicit MixerNetwork(MixerBackend& backend, bool load = true) : placa(backend) {
        placa.SetActive(true);
        gravacao.SetMixer(&placa);
        gravacao.SetComponentType(TMMComponentType::ctDstWaveIn);
        lineInRec.SetMixer(&placa);
        lineInRec.SetComponentType(TMMComponentType::ctSrcLine);
        lineInRec.SetDestLine(&gravacao);
        lineIn.SetMixer(&placa);
        lineIn.SetComponentType(TMMComponentType::ctSrcLine);
        selector.SetAudioLine(&gravacao);
        selector.SetControlType(TMMControlType::ctMux);
        volumeRec.SetAudioLine(&lineInRec);
        mute.SetAudioLine(&lineIn);
        mute.SetControlType(TMMControlType::ctMute);
        volume.SetAudioLine(&lineIn);
        if (load) Load();
    }
    void Load() {
        EndLoading({&placa, &gravacao, &lineInRec, &lineIn, &selector, &volumeRec, &mute, &volume});
    }

    TMMMixerDevice placa;
    TMMAudioLine gravacao;   // the recording destination
    TMMAudioLine lineInRec;  // the chosen input under it
    TMMAudioLine lineIn;     // the chosen input alone: the monitor path
    TMMMixerControl selector;
    TMMVolumeControl volumeRec;
    TMMMixerControl mute;
    TMMVolumeControl volume;
};

}  // namespace zt::test
