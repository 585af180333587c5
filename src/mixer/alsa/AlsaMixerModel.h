#pragma once
// The lines and controls of one ALSA mixer device, built from alsa-lib's
// simple mixer elements of an open snd_mixer_t.
//
// Destinations, in this order, each present only when an element feeds it:
//   "Playback" (kDstSpeakers, target wave out) when an element has a
//     playback volume or switch. Its own controls: the "Master" element's
//     playback volume (ctVolume) and mute (ctMute = playback switch off).
//     Its sources: every other element with a playback volume or switch,
//     with a ctVolume (playback volume) and a ctMute (playback switch off).
//   "Recording" (kDstWaveIn, target wave in) when an element has a capture
//     volume or switch, or is a capture enumeration. Its sources: every
//     element with a capture volume or switch ("Capture" included), with a
//     ctVolume (capture volume) and, for a capture switch that is not
//     exclusive, a ctMute (capture switch off). Its own control is the
//     recording-source selector, a ctMux (uniform, multiple) when the card
//     has one:
//       - exclusive capture switches (alsa-lib shows an enumerated "Capture
//         Source" control that way, all in capture group 0): one item per
//         element of the first switch's group, the item standing for that
//         element's source line; selecting one switches it on and the
//         others off;
//       - else the first capture enumeration (an "Input Source" control):
//         one item per enumeration item; an item stands for the source line
//         of the same name (case ignored), or, when there is none, for a
//         source line added for it, without controls; selecting one writes
//         the enumeration.
//     Exclusive switches win over an enumeration: they pick what is
//     recorded, where an "Input Source" picks the input of a gain stage.
//
// A source's component type comes from its element's name: the first row
// whose word starts a word of the name (case ignored) gives it:
//   Line                            kSrcLine
//   Mic                             kSrcMicrophone ("Front Mic", "Mic Boost")
//   CD                              kSrcCD
//   Aux                             kSrcAux
//   Digital, IEC958, SPDIF, S/PDIF  kSrcDigital
//   Synth, MIDI, FM                 kSrcSynthesizer
//   Phone                           kSrcTelephone (not "Headphone")
//   Beep, PC Speaker                kSrcPCSpeaker
//   PCM, Wave                       kSrcWaveOut
//   Video, Analog                   kSrcAnalog
//   (anything else)                 kSrcUndefined
//
// Ids: a destination's line id is 0xFFFF0000 | its index, never a
// destination index itself, so that a line looked up under a destination is
// found among its sources and the destination is never taken for one of its
// own inputs; a source's is
// 0x10000 * n + destination, n counting that destination's sources from 1
// in the order they were first seen on the device; controls are numbered
// from 1 per device. AlsaMixerIds keeps both across rebuilds of the same
// device, so an element that comes back keeps its ids.
//
// Channels: 2 for an element with a right channel in that direction, else 1;
// a control is uniform (kControlFlagUniform) when it has one channel or its
// element's channels are joined. Volumes have ALSA's raw range (steps =
// maximum - minimum); mutes are 0/1.
//
// Threads: main thread only, like the back end that owns the model.

#include <alsa/asoundlib.h>

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "mixer/MixerBackend.h"

namespace zt {

inline constexpr uint32_t kDestinationLineIdBase = 0xFFFF0000u;

enum class AlsaControlKind { Volume, Mute, Mux };

struct AlsaMixerControl {
    MixerControlRecord record;
    AlsaControlKind kind = AlsaControlKind::Volume;
    size_t line = 0;                          // index into AlsaMixerModel::lines
    snd_mixer_elem_t* elem = nullptr;         // volume, mute, or a mux's enumeration
    bool capture = false;                     // volume, mute: the capture side
    std::vector<MixerListText> items;         // mux: one per item
    std::vector<snd_mixer_elem_t*> switches;  // mux of exclusive switches: per item
};

struct AlsaMixerLine {
    MixerLineRecord record;
    std::vector<size_t> controls;  // indexes into AlsaMixerModel::controls
};

struct AlsaMixerModel {
    // Destinations in order, each followed by its sources in order.
    std::vector<AlsaMixerLine> lines;
    std::vector<AlsaMixerControl> controls;
    std::vector<size_t> destinations;          // line index of each destination
    std::vector<std::vector<size_t>> sources;  // per destination: line indexes
    // Every element the model reads, with the ids of the controls whose
    // value comes from it.
    std::unordered_map<snd_mixer_elem_t*, std::vector<int32_t>> controlsOfElem;

    const AlsaMixerLine* LineById(int32_t lineId) const;
    const AlsaMixerControl* ControlById(int32_t controlId) const;
    std::vector<int32_t> LineIds() const;
};

// The ids given so far on one device, by what they stand for.
class AlsaMixerIds {
public:
    int32_t Control(const std::string& key);
    int32_t SourceLine(uint32_t destination, const std::string& key);

private:
    std::map<std::string, int32_t> controls_;
    std::map<std::string, int32_t> lines_;
    std::map<uint32_t, int32_t> sourcesSeen_;  // per destination
    int32_t nextControl_ = 1;
};

// What the destination lines stand for (the device of the same number).
struct AlsaMixerTarget {
    uint32_t deviceId = 0;
    uint32_t driverVersion = 0;
    std::string name;
};

AlsaMixerModel BuildAlsaMixerModel(snd_mixer_t* mixer, const AlsaMixerTarget& target,
                                   AlsaMixerIds& ids);

// The component type of a source line named `elementName` (table above).
uint32_t AlsaSourceComponentType(const std::string& elementName);

}  // namespace zt
