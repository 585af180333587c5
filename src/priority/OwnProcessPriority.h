#pragma once
// The recorder raising its own process when the settings are applied: the
// priority form reads the processes, looks for the recorder's name and
// raises what it found.
//
// Threads: main thread only.

#include <string>

#include "priority/PrioritySystem.h"

namespace zt {

class Dialogs;

// The name prefix the recorder's own process is found by. The kernel keeps
// 15 characters of a process name, enough for this prefix.
inline constexpr const char* kOwnProcessNamePrefix = "ZeltaTresona";

// Refreshes a priority form's list of `procRoot`, sets its edit to
// kOwnProcessNamePrefix and raises the selected process. Every error is
// shown once through `dialogs` and none leaves this function: the form's
// own messages as Information, anything thrown (the list error "List index
// out of bounds (-1)" when no process carries the name) as Error. True when
// the process was raised.
bool RaiseOwnProcessPriority(Dialogs& dialogs, const std::string& procRoot = "/proc",
                             PrioritySystem& system = RealPrioritySystem());

}  // namespace zt
