#pragma once
// Small enumerations that components of more than one subsystem share: the
// displays and the mixer's controls.

namespace zt {

// The channel a component addresses: both, the left or the right one.
enum class TMMChannel { chBoth, chLeft, chRight };

// Where the short ticks of a scale sit: against the inner end of the long
// ones, or against their outer end.
enum class TMMScaleOrigin { soInner, soOuter };

}  // namespace zt
