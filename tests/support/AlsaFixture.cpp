#include "support/AlsaFixture.h"

#include <unistd.h>

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace zt::test {

namespace {

const char kSystemConf[] = "/usr/share/alsa/alsa.conf";

std::string PluginTypes() {
    return std::string("pcm_type.zt_paced {\n  lib \"") + ZT_ALSA_PACED_PLUGIN + "\"\n}\n" +
           "pcm_type.zt_clock {\n  lib \"" + ZT_ALSA_CLOCK_PLUGIN + "\"\n}\n" +
           "ctl_type.zt_fake {\n  lib \"" + ZT_ALSA_FAKE_CTL_PLUGIN + "\"\n}\n";
}

// Without a card of its own, "default" must not reach a real card of the
// machine the tests run on.
const char kNoDefaultCard[] = "ctl.!default {\n  type zt_fake\n  fail 1\n}\n";

const char* VariantName(AlsaCardVariant variant) {
    switch (variant) {
        case AlsaCardVariant::Full:
            return "full";
        case AlsaCardVariant::NoSelector:
            return "noselector";
        case AlsaCardVariant::CaptureSource:
            return "capsource";
        case AlsaCardVariant::MixSource:
            return "mixsource";
        case AlsaCardVariant::Server:
            return "server";
        case AlsaCardVariant::None:
            break;
    }
    return "";
}

std::string CardDefinition(const std::string& id, const AlsaFixturePcm& pcm,
                           const std::string& stateFile) {
    std::ostringstream out;
    out << "ctl." << id << " {\n"
        << "  type zt_fake\n"
        << "  variant \"" << VariantName(pcm.card.variant) << "\"\n"
        << "  name \"" << (pcm.card.name.empty() ? pcm.name : pcm.card.name) << "\"\n"
        << "  statefile \"" << stateFile << "\"\n"
        << "  unplug \"" << stateFile << ".unplugged\"\n"
        << "}\n";
    return out.str();
}

// Writes the mixer control `control`, one value per element of it.
int WriteControl(snd_ctl_t* ctl, const std::string& control, const std::vector<long>& values) {
    snd_ctl_elem_id_t* id;
    snd_ctl_elem_info_t* info;
    snd_ctl_elem_value_t* value;
    snd_ctl_elem_id_alloca(&id);
    snd_ctl_elem_info_alloca(&info);
    snd_ctl_elem_value_alloca(&value);
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, control.c_str());
    snd_ctl_elem_info_set_id(info, id);
    if (int err = snd_ctl_elem_info(ctl, info); err < 0) return err;
    if (values.size() != snd_ctl_elem_info_get_count(info)) return -EINVAL;
    snd_ctl_elem_value_set_id(value, id);
    for (unsigned i = 0; i < values.size(); ++i) {
        switch (snd_ctl_elem_info_get_type(info)) {
            case SND_CTL_ELEM_TYPE_BOOLEAN:
                snd_ctl_elem_value_set_boolean(value, i, values[i]);
                break;
            case SND_CTL_ELEM_TYPE_INTEGER:
                snd_ctl_elem_value_set_integer(value, i, values[i]);
                break;
            case SND_CTL_ELEM_TYPE_ENUMERATED:
                snd_ctl_elem_value_set_enumerated(value, i, unsigned(values[i]));
                break;
            default:
                return -EINVAL;
        }
    }
    int err = snd_ctl_elem_write(ctl, value);
    return err < 0 ? err : 0;
}

std::string ClockPcmDefinition(const std::string& id, const AlsaFixturePcm& pcm,
                               const std::string& startLog) {
    std::ostringstream out;
    out << "pcm." << id << " {\n"
        << "  type zt_clock\n"
        << "  channels " << pcm.maxChannels << "\n"
        << "  startlog \"" << startLog << "\"\n"
        << "  unplug \"" << startLog << ".unplugged\"\n";
    if (pcm.rate != 0) out << "  rate " << pcm.rate << "\n";
    out << "}\n";
    return out.str();
}

std::string PcmDefinition(const std::string& id, const AlsaFixturePcm& pcm,
                          const std::string& infile) {
    if (pcm.kind == AlsaFixturePcm::Kind::Clock) return ClockPcmDefinition(id, pcm, infile);
    std::ostringstream out;
    out << "pcm." << id << " {\n"
        << "  type file\n"
        << "  file \"/dev/null\"\n"
        << "  infile \"" << infile << "\"\n"
        << "  format \"raw\"\n"
        << "  slave.pcm {\n"
        << "    type zt_paced\n"
        << "    channels " << pcm.maxChannels << "\n";
    if (pcm.rate != 0) out << "    rate " << pcm.rate << "\n";
    out << "  }\n}\n";
    return out.str();
}

}  // namespace

AlsaFixture::AlsaFixture(const std::string& bytes)
    : AlsaFixture(std::vector<AlsaFixturePcm>{AlsaFixturePcm{"zt_capture", bytes}}) {}

AlsaFixture::AlsaFixture(std::vector<AlsaFixturePcm> pcms) : pcms_(std::move(pcms)) {
    if (pcms_.empty()) throw std::invalid_argument("AlsaFixture needs at least one PCM");
    std::string conf = PluginTypes();
    for (size_t i = 0; i < pcms_.size(); ++i) {
        // A paced PCM reads its bytes from `source`; a clock PCM logs its
        // starts there.
        std::string source;
        if (pcms_[i].kind == AlsaFixturePcm::Kind::Clock) {
            source = dir_.file("pcm" + std::to_string(i) + ".starts");
            startLogs_.push_back(source);
        } else {
            source = dir_.file("pcm" + std::to_string(i) + ".raw");
            WriteFileBytes(source, pcms_[i].bytes);
            startLogs_.emplace_back();
        }
        conf += PcmDefinition(pcms_[i].name, pcms_[i], source);
        // The default is its own instance of the first PCM: same bytes, read
        // from the beginning at each open (or the same clock and log).
        if (i == 0) conf += PcmDefinition("!default", pcms_[i], source);
        // The card's handles share its values through the state file's
        // name, so "default" is the same card as the first PCM's.
        if (pcms_[i].card.variant != AlsaCardVariant::None) {
            const std::string state = CardStateFile(pcms_[i].name);
            conf += CardDefinition(pcms_[i].name, pcms_[i], state);
            if (i == 0) conf += CardDefinition("!default", pcms_[i], state);
        } else if (i == 0) {
            conf += kNoDefaultCard;
        }
    }
    Install(conf);
}

std::unique_ptr<AlsaFixture> AlsaFixture::NoDevice() {
    std::unique_ptr<AlsaFixture> fx(new AlsaFixture());
    fx->Install(PluginTypes() + "pcm.!default {\n  type zt_paced\n  fail 1\n}\n" + kNoDefaultCard);
    return fx;
}

void AlsaFixture::Install(const std::string& confText) {
    confPath_ = dir_.file("zt_alsa.conf");
    WriteFileBytes(confPath_, confText);
    if (const char* old = std::getenv("ALSA_CONFIG_PATH")) {
        hadOldValue_ = true;
        oldValue_ = old;
    }
    setenv("ALSA_CONFIG_PATH", ConfigPathValue().c_str(), 1);
    snd_config_update_free_global();
}

AlsaFixture::~AlsaFixture() {
    if (hadOldValue_)
        setenv("ALSA_CONFIG_PATH", oldValue_.c_str(), 1);
    else
        unsetenv("ALSA_CONFIG_PATH");
    snd_config_update_free_global();
}

std::string AlsaFixture::ConfigPathValue() const {
    return std::string(kSystemConf) + ":" + confPath_;
}

std::string AlsaFixture::UnplugSwitch(const std::string& pcmName) const {
    for (size_t i = 0; i < pcms_.size(); ++i)
        if (pcms_[i].name == pcmName && !startLogs_[i].empty()) return startLogs_[i] + ".unplugged";
    return {};
}

void AlsaFixture::Unplug(const std::string& pcmName) const {
    const std::string path = UnplugSwitch(pcmName);
    if (!path.empty()) WriteFileBytes(path, "");
    const std::string card = CardStateFile(pcmName);
    if (!card.empty()) {
        WriteFileBytes(card + ".unplugged", "");
        // The card's next open finds it gone and wakes the open handles.
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, pcmName.c_str(), 0) == 0) snd_ctl_close(ctl);
    }
}

void AlsaFixture::Replug(const std::string& pcmName) const {
    const std::string path = UnplugSwitch(pcmName);
    if (!path.empty()) ::unlink(path.c_str());
    const std::string card = CardStateFile(pcmName);
    if (!card.empty()) ::unlink((card + ".unplugged").c_str());
}

const AlsaFixturePcm* AlsaFixture::Pcm(const std::string& pcmName, size_t* index) const {
    for (size_t i = 0; i < pcms_.size(); ++i) {
        if (pcms_[i].name == pcmName || (i == 0 && pcmName == "default")) {
            if (index) *index = i;
            return &pcms_[i];
        }
    }
    return nullptr;
}

std::string AlsaFixture::CardStateFile(const std::string& pcmName) const {
    size_t index = 0;
    const AlsaFixturePcm* pcm = Pcm(pcmName, &index);
    if (!pcm || pcm->card.variant == AlsaCardVariant::None) return {};
    return dir_.file("card" + std::to_string(index) + ".state");
}

AlsaCardState AlsaFixture::CardState(const std::string& pcmName) const {
    AlsaCardState state;
    const std::string path = CardStateFile(pcmName);
    if (path.empty() || ::access(path.c_str(), F_OK) != 0) return state;
    std::istringstream in(ReadFileBytes(path));
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::vector<long>& values = state[line.substr(0, eq)];
        std::istringstream numbers(line.substr(eq + 1));
        for (std::string number; std::getline(numbers, number, ',');)
            values.push_back(std::stol(number));
    }
    return state;
}

int AlsaFixture::SetCardValue(const std::string& pcmName, const std::string& control,
                              const std::vector<long>& values) const {
    snd_ctl_t* ctl = nullptr;
    if (int err = snd_ctl_open(&ctl, pcmName.c_str(), 0); err < 0) return err;
    const int err = WriteControl(ctl, control, values);
    snd_ctl_close(ctl);
    return err;
}

std::vector<AlsaPcmDevice> AlsaFixture::Devices() const {
    std::vector<AlsaPcmDevice> list;
    for (const AlsaFixturePcm& pcm : pcms_) list.push_back({pcm.name, pcm.name});
    return list;
}

std::vector<int64_t> AlsaFixture::StartFrames(const std::string& pcmName) const {
    std::vector<int64_t> frames;
    for (size_t i = 0; i < pcms_.size(); ++i) {
        if (pcms_[i].name != pcmName && !(i == 0 && pcmName == "default")) continue;
        if (startLogs_[i].empty()) break;
        std::istringstream in(ReadFileBytes(startLogs_[i]));
        for (long long frame; in >> frame;) frames.push_back(frame);
        break;
    }
    return frames;
}

std::string FrameCounterSignal(uint32_t frames) {
    std::string bytes(size_t(frames) * 4, '\0');
    for (uint32_t i = 0; i < frames; ++i) {
        uint16_t left = uint16_t(i & 0xFFFF);
        uint16_t right = uint16_t(0x8000 | (i >> 16));
        bytes[4 * i] = char(left & 0xFF);
        bytes[4 * i + 1] = char(left >> 8);
        bytes[4 * i + 2] = char(right & 0xFF);
        bytes[4 * i + 3] = char(right >> 8);
    }
    return bytes;
}

uint32_t FrameCounterAt(const std::string& bytes, size_t offset) {
    auto u16 = [&](size_t at) {
        return uint32_t(uint8_t(bytes.at(at))) | uint32_t(uint8_t(bytes.at(at + 1))) << 8;
    };
    return u16(offset) | (u16(offset + 2) & 0x7FFF) << 16;
}

}  // namespace zt::test
