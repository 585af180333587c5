#pragma once
// Capability flags that the settings and the configuration panel ask of the
// platform.
//
// Threads: pure functions, callable from any thread.

namespace zt {

// True on the newer platform generation where the recorder always uses device
// 0 for capture and mixer and hides the card, input, volume and priority
// controls of the configuration panel. Linux has no such split: the user
// picks the card and the input, so this is always false here.
bool HasProductInfoApi();

// Whether this platform can raise the recorder's own scheduling priority at
// all, the condition of the priority raise when the settings are applied.
// Every Linux kernel has scheduling priorities (nice values, real-time
// policies), so this is always true; whether the user is *allowed* the
// highest class is decided by the raise itself, which reports a refusal.
bool PlatformSupportsPriorityRaise();

}  // namespace zt
