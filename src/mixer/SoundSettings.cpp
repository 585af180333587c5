#include "mixer/SoundSettings.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QStandardPaths>
#include <cerrno>
#include <string>

namespace zt {

namespace {

struct DesktopSettings {
    const char* desktop;  // as it appears in XDG_CURRENT_DESKTOP
    SoundSettingsCommand command;
};

const std::vector<DesktopSettings>& KnownDesktops() {
    static const std::vector<DesktopSettings> list = {
        {"GNOME", {"gnome-control-center", {"sound"}}},
        {"Unity", {"gnome-control-center", {"sound"}}},
        {"KDE", {"systemsettings", {"kcm_pulseaudio"}}},
        {"X-Cinnamon", {"cinnamon-settings", {"sound"}}},
        {"MATE", {"mate-volume-control", {}}},
        {"LXQt", {"pavucontrol-qt", {}}},
        {"XFCE", {"xfce4-mixer", {}}},
    };
    return list;
}

}  // namespace

std::vector<SoundSettingsCommand> SoundSettingsCandidates(const QString& currentDesktop) {
    std::vector<SoundSettingsCommand> candidates = {{"pavucontrol", {}}};
    auto add = [&](const SoundSettingsCommand& command) {
        for (const SoundSettingsCommand& c : candidates)
            if (c.program == command.program) return;
        candidates.push_back(command);
    };
    for (const QString& name : currentDesktop.split(':', Qt::SkipEmptyParts))
        for (const DesktopSettings& known : KnownDesktops())
            if (name.compare(known.desktop, Qt::CaseInsensitive) == 0) add(known.command);
    for (const DesktopSettings& known : KnownDesktops()) add(known.command);
    return candidates;
}

std::optional<SoundSettingsCommand> FindSoundSettings(const QString& currentDesktop) {
    for (SoundSettingsCommand command : SoundSettingsCandidates(currentDesktop)) {
        const QString path = QStandardPaths::findExecutable(command.program);
        if (path.isEmpty()) continue;
        command.program = path;
        return command;
    }
    return std::nullopt;
}

bool StartDetached(const SoundSettingsCommand& command) {
    // Everything the child needs is prepared before the fork: after it,
    // only async-signal-safe calls (this process has threads).
    std::vector<std::string> args = {command.program.toStdString()};
    for (const QString& a : command.arguments) args.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // Forked twice so that the program belongs to init, not to the
    // recorder: no zombie is left while the recorder runs for months.
    const pid_t first = ::fork();
    if (first < 0) return false;
    if (first == 0) {
        ::setsid();
        const pid_t second = ::fork();
        if (second == 0) {
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::_exit(second < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(first, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool OpenSoundSettings() {
    const auto command = FindSoundSettings(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    return command && StartDetached(*command);
}

}  // namespace zt
