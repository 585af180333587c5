#pragma once
// Enumerations and small rules shared by the meters and the analyser.

#include <cmath>
#include <cstdint>

#include "audio/chain/WaveFormat.h"  // TMMBits, TMMMode

#include "platform/MMTypes.h"

namespace zt {

enum class TMMDecayMode { dmNone, dmStepUp, dmExponential, dmUniform };
enum class TMMLevelKind { lkHorizontal, lkVertical };
enum class TMMLevelDirection { dirNormal, dirReversed, dirSymetric };
enum class TMMScalePos { spAboveOrLeft, spBelowOrRight, spBoth };

// The decay factor of a `Decay` strength: 0.0001 square-rooted `decay`
// times, in single precision (0.96466 for 8).
inline float DecayFactorOf(int decay) {
    float k = 0.0001f;
    for (int i = 0; i < decay; ++i) k = std::sqrt(k);
    return k;
}

}  // namespace zt
