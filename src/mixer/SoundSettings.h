#pragma once
// Opening the desktop's sound settings ("Definir Controles"): the place
// where an operator sets what the mixer knobs of the window do not reach
// (the card's profile, PipeWire's routing, every other level).
//
// pavucontrol comes first: it works on PipeWire and PulseAudio under every
// desktop. Without it, the current desktop's own sound settings
// (XDG_CURRENT_DESKTOP), then any of the known ones that is installed. When
// none exists nothing is started.
//
// Threads: main thread. Starting a program does not wait for it.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace zt {

struct SoundSettingsCommand {
    QString program;
    QStringList arguments;
};

// The commands to try, in order, for a desktop named like XDG_CURRENT_DESKTOP
// (a colon-separated list, e.g. "ubuntu:GNOME").
std::vector<SoundSettingsCommand> SoundSettingsCandidates(const QString& currentDesktop);

// The first candidate whose program is found on PATH (with its full path).
std::optional<SoundSettingsCommand> FindSoundSettings(const QString& currentDesktop);

// Starts a program (given with its path) detached from the recorder.
// Returns whether it could be started.
bool StartDetached(const SoundSettingsCommand& command);

// Starts the desktop's sound settings, detached. Returns whether a program
// was started.
bool OpenSoundSettings();

}  // namespace zt
