#pragma once
// Loading cfg.ini into memory and pushing it into the running components.
//
// Threads: main thread only (the target's methods drive widgets and audio
// components of the main window).

#include <cstdint>
#include <string>

#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "settings/RecorderSettings.h"
#include "settings/SettingsTarget.h"

namespace zt {

// Something could not be applied as saved, and the apply went on without it;
// the text says what.
class ESettingsWarning : public Exception {
public:
    using Exception::Exception;
};

// The longest segment whose length in milliseconds still fits the timer's
// 32-bit signed interval: 35791 minutes (about 24.8 days).
inline constexpr int32_t kMaxSegmentMinutes = INT32_MAX / 60000;

// TempoRec (minutes, as text) → the segment timer's interval in milliseconds.
// A text that is not a number raises EConvertError "'x' is not a valid integer
// value"; a number below 0 or above kMaxSegmentMinutes raises EConvertError
// too, rather than wrapping into a negative or tiny interval. 0 stays 0 (a
// timer that never fires).
int32_t SegmentIntervalMs(const std::string& tempoRec);

// Pushes the settings into the components, in this order:
//   1. ApplyEncoderFormat from Formato;
//   2. SelectSoundCard(Placa), or SelectSoundCard(0) when Placa is -1 (none
//      chosen), not a card of the list (SoundCardCount) or the list is empty;
//   3. unless recording: ChooseDevices, both 0 when HasProductInfoApi, else
//      both the card of step 2;
//   4. unless recording: SetSegmentInterval(TempoRec x 60000);
//   5. when Prioridade is "S" and the platform can raise priorities:
//      TickPriorityCheckBox, RaiseOwnProcessPriority;
//   6. when Controle is not the text "-1": SelectRecordingInput(Controle);
//   7. TickRecordingInputCheckBox.
// Each number is converted right before its step; a conversion error, or any
// error a step raises, ends the apply there and propagates to the caller (the
// start-up warning box or the general error display). A saved card that is
// gone while others are there does not end it: every step runs with card 0,
// then ESettingsWarning names the missing card (also written to the event
// log). With no card at all nothing is said here: the recording's start
// reports that.
void ApplySettings(const RecorderSettings& settings, SettingsTarget& target);

// Reads cfg.ini (creating it with the defaults when it is missing) into
// `settings`, replaces the values that cannot be used by their defaults
// (SettingsCheck.h), then ApplySettings. When something was replaced, the
// replacements are written to the event log and raised afterwards as one
// zt::Exception naming the file, the sections, keys and values, so the
// caller shows them once while the recorder works with the defaults; an
// ESettingsWarning of the apply is added to that text, or raised alone.
// `settings` holds the values in use even when the apply then fails. A
// cfg.ini that cannot be read raises zt::Exception before anything is
// applied, leaving `settings` unchanged.
void LoadSettings(RecorderSettings& settings, SettingsTarget& target,
                  const std::string& exeDir = ExecutableDir());

}  // namespace zt
