#include "mixer/alsa/AlsaMixerModel.h"

#include <algorithm>
#include <cctype>

#include "mixer/MixerTypes.h"

namespace zt {

namespace {

constexpr size_t kShortNameLength = 15;
constexpr size_t kNameLength = 63;

std::string Cut(const std::string& text, size_t length) {
    return text.substr(0, length);
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWordAt(const std::string& name, const std::string& word) {
    for (size_t at = name.find(word); at != std::string::npos; at = name.find(word, at + 1))
        if (at == 0 || !std::isalnum(static_cast<unsigned char>(name[at - 1]))) return true;
    return false;
}

// The element as a line's name: "Mic", or "Mic 2" for its second index.
std::string ElemName(snd_mixer_elem_t* elem) {
    std::string name = snd_mixer_selem_get_name(elem);
    if (unsigned index = snd_mixer_selem_get_index(elem); index > 0)
        name.append(1, ' ').append(std::to_string(index + 1));
    return name;
}

bool HasPlayback(snd_mixer_elem_t* e) {
    return snd_mixer_selem_has_playback_volume(e) || snd_mixer_selem_has_playback_switch(e);
}

bool HasCapture(snd_mixer_elem_t* e) {
    return snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e);
}

bool IsCaptureEnum(snd_mixer_elem_t* e) {
    return snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e) == 1;
}

uint32_t ChannelsOf(snd_mixer_elem_t* e, bool capture) {
    const int mono =
        capture ? snd_mixer_selem_is_capture_mono(e) : snd_mixer_selem_is_playback_mono(e);
    return mono == 1 ? 1 : 2;
}

class Builder {
public:
    Builder(const AlsaMixerTarget& target, AlsaMixerIds& ids) : target_(target), ids_(ids) {}

    // Starts the next destination; returns its line index.
    size_t AddDestination(const std::string& name, uint32_t componentType, uint32_t targetType,
                          uint32_t channels) {
        const uint32_t index = uint32_t(model_.destinations.size());
        AlsaMixerLine line;
        MixerLineRecord& r = line.record;
        r.destination = index;
        r.lineId = int32_t(kDestinationLineIdBase | index);
        r.flags = kLineFlagActive;
        r.componentType = componentType;
        r.channels = channels;
        r.shortName = Cut(name, kShortNameLength);
        r.name = Cut(name, kNameLength);
        r.targetType = targetType;
        r.targetDeviceId = target_.deviceId;
        r.targetDriverVersion = target_.driverVersion;
        r.targetName = target_.name;
        model_.lines.push_back(std::move(line));
        model_.destinations.push_back(model_.lines.size() - 1);
        model_.sources.emplace_back();
        return model_.lines.size() - 1;
    }

    // Adds a source of the last destination; `elem` may be null (a selector
    // item without an element of its own).
    size_t AddSource(const std::string& name, snd_mixer_elem_t* elem, uint32_t channels) {
        const uint32_t destination = uint32_t(model_.destinations.size() - 1);
        AlsaMixerLine line;
        MixerLineRecord& r = line.record;
        r.destination = destination;
        r.source = uint32_t(model_.sources.back().size());
        r.lineId = ids_.SourceLine(destination, (elem ? "elem:" : "item:") + name);
        r.flags = kLineFlagSource;
        if (!elem || snd_mixer_selem_is_active(elem)) r.flags |= kLineFlagActive;
        r.componentType = AlsaSourceComponentType(name);
        r.channels = channels;
        r.shortName = Cut(name, kShortNameLength);
        r.name = Cut(name, kNameLength);
        model_.lines.push_back(std::move(line));
        model_.sources.back().push_back(model_.lines.size() - 1);
        model_.lines[model_.destinations.back()].record.connections++;
        return model_.lines.size() - 1;
    }

    AlsaMixerControl& AddControl(size_t line, AlsaControlKind kind, snd_mixer_elem_t* elem,
                                 bool capture, const std::string& key) {
        AlsaMixerControl control;
        control.kind = kind;
        control.line = line;
        control.elem = elem;
        control.capture = capture;
        MixerControlRecord& r = control.record;
        r.controlId = ids_.Control(key);
        const std::string& lineName = model_.lines[line].record.name;
        std::string name;
        switch (kind) {
            case AlsaControlKind::Volume: {
                r.controlType = control::kVolume;
                name = lineName + " Volume";
                long min = 0, max = 0;
                if (capture)
                    snd_mixer_selem_get_capture_volume_range(elem, &min, &max);
                else
                    snd_mixer_selem_get_playback_volume_range(elem, &min, &max);
                r.minimum = int32_t(min);
                r.maximum = int32_t(max);
                r.steps = uint32_t(max - min);
                const bool joined = capture ? snd_mixer_selem_has_capture_volume_joined(elem)
                                            : snd_mixer_selem_has_playback_volume_joined(elem);
                if (joined || ChannelsOf(elem, capture) == 1) r.flags |= kControlFlagUniform;
                break;
            }
            case AlsaControlKind::Mute: {
                r.controlType = control::kMute;
                name = lineName + " Mute";
                r.maximum = 1;
                r.steps = 1;
                const bool joined = capture ? snd_mixer_selem_has_capture_switch_joined(elem)
                                            : snd_mixer_selem_has_playback_switch_joined(elem);
                if (joined || ChannelsOf(elem, capture) == 1) r.flags |= kControlFlagUniform;
                break;
            }
            case AlsaControlKind::Mux:
                r.controlType = control::kMux;
                name = elem ? ElemName(elem) : std::string("Capture Source");
                r.flags = kControlFlagUniform | kControlFlagMultiple;
                break;
        }
        r.shortName = Cut(name, kShortNameLength);
        r.name = Cut(name, kNameLength);
        model_.controls.push_back(std::move(control));
        model_.lines[line].controls.push_back(model_.controls.size() - 1);
        model_.lines[line].record.controls++;
        if (elem) model_.controlsOfElem[elem].push_back(r.controlId);
        return model_.controls.back();
    }

    const MixerLineRecord& Line(size_t line) const { return model_.lines[line].record; }

    // Reports `controlId` for value changes of `elem` too.
    void AttachElem(snd_mixer_elem_t* elem, int32_t controlId) {
        model_.controlsOfElem[elem].push_back(controlId);
    }

    AlsaMixerModel Take() { return std::move(model_); }

private:
    const AlsaMixerTarget& target_;
    AlsaMixerIds& ids_;
    AlsaMixerModel model_;
};

std::string Key(snd_mixer_elem_t* elem, const char* what) {
    return std::string(what) + ":" + snd_mixer_selem_get_name(elem) + "#" +
           std::to_string(snd_mixer_selem_get_index(elem));
}

void BuildPlayback(Builder& b, const std::vector<snd_mixer_elem_t*>& elems) {
    snd_mixer_elem_t* master = nullptr;
    for (snd_mixer_elem_t* e : elems) {
        if (HasPlayback(e) && !master && snd_mixer_selem_get_index(e) == 0 &&
            Lower(snd_mixer_selem_get_name(e)) == "master")
            master = e;
    }
    const size_t dest = b.AddDestination("Playback", component::kDstSpeakers, kTargetWaveOut,
                                         master ? ChannelsOf(master, false) : 2);
    if (master) {
        if (snd_mixer_selem_has_playback_volume(master))
            b.AddControl(dest, AlsaControlKind::Volume, master, false, Key(master, "pvol"));
        if (snd_mixer_selem_has_playback_switch(master))
            b.AddControl(dest, AlsaControlKind::Mute, master, false, Key(master, "psw"));
    }
    for (snd_mixer_elem_t* e : elems) {
        if (e == master || !HasPlayback(e)) continue;
        const size_t line = b.AddSource(ElemName(e), e, ChannelsOf(e, false));
        if (snd_mixer_selem_has_playback_volume(e))
            b.AddControl(line, AlsaControlKind::Volume, e, false, Key(e, "pvol"));
        if (snd_mixer_selem_has_playback_switch(e))
            b.AddControl(line, AlsaControlKind::Mute, e, false, Key(e, "psw"));
    }
}

void BuildRecording(Builder& b, const std::vector<snd_mixer_elem_t*>& elems) {
    // The selector: the first exclusive switch's group, else the first
    // capture enumeration.
    std::vector<snd_mixer_elem_t*> exclusive;
    snd_mixer_elem_t* selectorEnum = nullptr;
    for (snd_mixer_elem_t* e : elems) {
        if (snd_mixer_selem_has_capture_switch(e) &&
            snd_mixer_selem_has_capture_switch_exclusive(e) &&
            (exclusive.empty() || snd_mixer_selem_get_capture_group(e) ==
                                      snd_mixer_selem_get_capture_group(exclusive.front())))
            exclusive.push_back(e);
        if (!selectorEnum && IsCaptureEnum(e)) selectorEnum = e;
    }
    if (!exclusive.empty()) selectorEnum = nullptr;

    uint32_t channels = 1;
    for (snd_mixer_elem_t* e : elems)
        if (HasCapture(e)) channels = std::max(channels, ChannelsOf(e, true));
    const size_t dest =
        b.AddDestination("Recording", component::kDstWaveIn, kTargetWaveIn, channels);

    std::vector<std::pair<snd_mixer_elem_t*, size_t>> sources;  // element, line
    for (snd_mixer_elem_t* e : elems) {
        if (!HasCapture(e)) continue;
        const size_t line = b.AddSource(ElemName(e), e, ChannelsOf(e, true));
        sources.emplace_back(e, line);
        if (snd_mixer_selem_has_capture_volume(e))
            b.AddControl(line, AlsaControlKind::Volume, e, true, Key(e, "cvol"));
        if (snd_mixer_selem_has_capture_switch(e) &&
            !snd_mixer_selem_has_capture_switch_exclusive(e))
            b.AddControl(line, AlsaControlKind::Mute, e, true, Key(e, "csw"));
    }

    if (!exclusive.empty()) {
        std::vector<MixerListText> items;
        for (snd_mixer_elem_t* e : exclusive) {
            for (const auto& [elem, line] : sources) {
                if (elem != e) continue;
                const MixerLineRecord& r = b.Line(line);
                items.push_back({uint32_t(r.lineId), 0, r.name});
            }
        }
        AlsaMixerControl& mux = b.AddControl(dest, AlsaControlKind::Mux, nullptr, true, "mux");
        mux.switches = exclusive;
        mux.items = std::move(items);
        mux.record.multipleItems = uint32_t(mux.items.size());
        for (snd_mixer_elem_t* e : exclusive) b.AttachElem(e, mux.record.controlId);
    } else if (selectorEnum) {
        std::vector<MixerListText> items;
        const int count = std::max(0, snd_mixer_selem_get_enum_items(selectorEnum));
        for (int i = 0; i < count; ++i) {
            char text[64] = {};
            if (snd_mixer_selem_get_enum_item_name(selectorEnum, unsigned(i), sizeof text, text) <
                0)
                text[0] = '\0';
            const std::string name = text;
            int32_t lineId = -1;
            for (const auto& [elem, line] : sources) {
                if (Lower(b.Line(line).name) == Lower(name)) {
                    lineId = b.Line(line).lineId;
                    break;
                }
            }
            // Every item stands for a line, one without controls when the
            // card has no element of that name.
            if (lineId < 0) lineId = b.Line(b.AddSource(name, nullptr, 2)).lineId;
            items.push_back({uint32_t(lineId), 0, Cut(name, kNameLength)});
        }
        AlsaMixerControl& mux =
            b.AddControl(dest, AlsaControlKind::Mux, selectorEnum, true, Key(selectorEnum, "enum"));
        mux.items = std::move(items);
        mux.record.multipleItems = uint32_t(mux.items.size());
    }
}

}  // namespace

const AlsaMixerLine* AlsaMixerModel::LineById(int32_t lineId) const {
    for (const AlsaMixerLine& line : lines)
        if (line.record.lineId == lineId) return &line;
    return nullptr;
}

const AlsaMixerControl* AlsaMixerModel::ControlById(int32_t controlId) const {
    for (const AlsaMixerControl& control : controls)
        if (control.record.controlId == controlId) return &control;
    return nullptr;
}

std::vector<int32_t> AlsaMixerModel::LineIds() const {
    std::vector<int32_t> ids;
    for (const AlsaMixerLine& line : lines) ids.push_back(line.record.lineId);
    return ids;
}

int32_t AlsaMixerIds::Control(const std::string& key) {
    auto [it, added] = controls_.try_emplace(key, nextControl_);
    if (added) ++nextControl_;
    return it->second;
}

int32_t AlsaMixerIds::SourceLine(uint32_t destination, const std::string& key) {
    auto [it, added] = lines_.try_emplace(std::to_string(destination) + "/" + key, 0);
    if (added) it->second = int32_t(0x10000 * ++sourcesSeen_[destination] + destination);
    return it->second;
}

AlsaMixerModel BuildAlsaMixerModel(snd_mixer_t* mixer, const AlsaMixerTarget& target,
                                   AlsaMixerIds& ids) {
    std::vector<snd_mixer_elem_t*> elems;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e))
        elems.push_back(e);
    Builder b(target, ids);
    if (std::any_of(elems.begin(), elems.end(), HasPlayback)) BuildPlayback(b, elems);
    if (std::any_of(elems.begin(), elems.end(),
                    [](snd_mixer_elem_t* e) { return HasCapture(e) || IsCaptureEnum(e); }))
        BuildRecording(b, elems);
    return b.Take();
}

uint32_t AlsaSourceComponentType(const std::string& elementName) {
    struct Row {
        const char* word;
        uint32_t type;
    };
    static const Row kRows[] = {
        {"line", component::kSrcLine},
        {"mic", component::kSrcMicrophone},
        {"cd", component::kSrcCD},
        {"aux", component::kSrcAux},
        {"digital", component::kSrcDigital},
        {"iec958", component::kSrcDigital},
        {"spdif", component::kSrcDigital},
        {"s/pdif", component::kSrcDigital},
        {"synth", component::kSrcSynthesizer},
        {"midi", component::kSrcSynthesizer},
        {"fm", component::kSrcSynthesizer},
        {"phone", component::kSrcTelephone},
        {"beep", component::kSrcPCSpeaker},
        {"pc speaker", component::kSrcPCSpeaker},
        {"pcm", component::kSrcWaveOut},
        {"wave", component::kSrcWaveOut},
        {"video", component::kSrcAnalog},
        {"analog", component::kSrcAnalog},
    };
    const std::string name = Lower(elementName);
    for (const Row& row : kRows)
        if (StartsWordAt(name, row.word)) return row.type;
    return component::kSrcUndefined;
}

}  // namespace zt
