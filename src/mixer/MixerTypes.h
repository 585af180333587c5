#pragma once
// The line and control types of the mixer model, in their declaration order
// (the input list walks the line types in this order), with the numbers the
// back ends use for them.

#include <array>
#include <cstdint>

namespace zt {

enum class TMMComponentType : uint8_t {
    ctDstDigital,
    ctDstHeadPhones,
    ctDstLine,
    ctDstMonitor,
    ctDstSpeakers,
    ctDstTelephone,
    ctDstUndefined,
    ctDstVoiceIn,
    ctDstWaveIn,
    ctSrcAnalog,
    ctSrcAux,
    ctSrcCD,
    ctSrcDigital,
    ctSrcLine,
    ctSrcMicrophone,
    ctSrcPCSpeaker,
    ctSrcSynthesizer,
    ctSrcTelephone,
    ctSrcUndefined,
    ctSrcWaveOut,
};
inline constexpr int kComponentTypeCount = 20;

inline constexpr std::array<uint32_t, kComponentTypeCount> kComponentTypeValues = {
    1,      5,      2,      3,      4,      6,      0,      8,      7,      0x100A,
    0x1009, 0x1005, 0x1001, 0x1002, 0x1003, 0x1007, 0x1004, 0x1006, 0x1000, 0x1008,
};

constexpr uint32_t ComponentTypeValue(TMMComponentType t) {
    return kComponentTypeValues[size_t(t)];
}

// The component-type numbers by name, for back ends.
namespace component {
inline constexpr uint32_t kDstSpeakers = 4;
inline constexpr uint32_t kDstWaveIn = 7;
inline constexpr uint32_t kSrcUndefined = 0x1000;
inline constexpr uint32_t kSrcDigital = 0x1001;
inline constexpr uint32_t kSrcLine = 0x1002;
inline constexpr uint32_t kSrcMicrophone = 0x1003;
inline constexpr uint32_t kSrcSynthesizer = 0x1004;
inline constexpr uint32_t kSrcCD = 0x1005;
inline constexpr uint32_t kSrcTelephone = 0x1006;
inline constexpr uint32_t kSrcPCSpeaker = 0x1007;
inline constexpr uint32_t kSrcWaveOut = 0x1008;
inline constexpr uint32_t kSrcAux = 0x1009;
inline constexpr uint32_t kSrcAnalog = 0x100A;
}  // namespace component

// Line flags of MixerLineRecord::flags.
inline constexpr uint32_t kLineFlagActive = 0x00000001;
inline constexpr uint32_t kLineFlagDisconnected = 0x00008000;
inline constexpr uint32_t kLineFlagSource = 0x80000000;

// Target types of MixerLineRecord::targetType.
inline constexpr uint32_t kTargetNone = 0;
inline constexpr uint32_t kTargetWaveOut = 1;
inline constexpr uint32_t kTargetWaveIn = 2;

enum class TMMControlType : uint8_t {
    ctCustom,
    ctBass,
    ctEqualizer,
    ctFader,
    ctTreble,
    ctVolume,
    ctMixer,
    ctMultipleSelect,
    ctMux,
    ctSingleSelect,
    ctBooleanMeter,
    ctPeakMeter,
    ctSignerMeter,
    ctUnsignedMeter,
    ctDecibels,
    ctPercent,
    ctSigned,
    ctUnsigned,
    ctPan,
    ctQSoundPan,
    ctSlider,
    ctBoolean,
    ctButton,
    ctLoudness,
    ctMono,
    ctMute,
    ctOnOff,
    ctStereoEnh,
    ctMicroTime,
    ctMilliTime,
};
inline constexpr int kControlTypeCount = 30;

inline constexpr std::array<uint32_t, kControlTypeCount> kControlTypeValues = {
    0x00000000, 0x50030002, 0x50030004, 0x50030000, 0x50030003, 0x50030001, 0x71010001, 0x71010000,
    0x70010001, 0x70010000, 0x10010000, 0x10020001, 0x10020000, 0x10030000, 0x30040000, 0x30050000,
    0x30020000, 0x30030000, 0x40020001, 0x40020002, 0x40020000, 0x20010000, 0x21010000, 0x20010004,
    0x20010003, 0x20010002, 0x20010001, 0x20010005, 0x60030000, 0x61030000,
};

constexpr uint32_t ControlTypeValue(TMMControlType t) {
    return kControlTypeValues[size_t(t)];
}

// The control-type numbers by name, for back ends.
namespace control {
inline constexpr uint32_t kVolume = 0x50030001;
inline constexpr uint32_t kMixer = 0x71010001;
inline constexpr uint32_t kMux = 0x70010001;
inline constexpr uint32_t kMute = 0x20010002;
inline constexpr uint32_t kOnOff = 0x20010001;
}  // namespace control

// Control flags of MixerControlRecord::flags.
inline constexpr uint32_t kControlFlagUniform = 0x00000001;
inline constexpr uint32_t kControlFlagMultiple = 0x00000002;
inline constexpr uint32_t kControlFlagDisabled = 0x80000000;

// The class of a control, from the top four bits of its type's number.
enum class TMMControlClass : uint8_t {
    ccCustom,
    ccFader,
    ccList,
    ccMeter,
    ccNumber,
    ccSlider,
    ccSwitch,
    ccTime,
};

constexpr TMMControlClass ControlClassOf(uint32_t controlTypeValue) {
    switch (controlTypeValue >> 28) {
        case 0x5:
            return TMMControlClass::ccFader;
        case 0x7:
            return TMMControlClass::ccList;
        case 0x1:
            return TMMControlClass::ccMeter;
        case 0x3:
            return TMMControlClass::ccNumber;
        case 0x4:
            return TMMControlClass::ccSlider;
        case 0x2:
            return TMMControlClass::ccSwitch;
        case 0x6:
            return TMMControlClass::ccTime;
        default:
            return TMMControlClass::ccCustom;
    }
}

}  // namespace zt
