#include "settings/ApplySettings.h"

#include "platform/Convert.h"
#include "platform/EventLog.h"
#include "platform/Exceptions.h"
#include "settings/EncoderFormat.h"
#include "settings/SettingsCheck.h"
#include "settings/SettingsFile.h"

namespace zt {

int32_t SegmentIntervalMs(const std::string& tempoRec) {
    const int32_t minutes = StrToInt(tempoRec);
    if (minutes < 0 || minutes > kMaxSegmentMinutes) {
        throw EConvertError("'" + tempoRec + "' is not a valid segment length (0 to " +
                            IntToStr(kMaxSegmentMinutes) + " minutes)");
    }
    return minutes * 60000;
}

void ApplySettings(const RecorderSettings& settings, SettingsTarget& target) {
    // 1. Bitrate and banner; the encoder takes the bitrate at its next file.
    target.ApplyEncoderFormat(EncoderFormatFromSetting(settings.Formato));

    // 2. The card list and, through its change handler, the mixer device.
    target.SelectSoundCard(StrToInt(settings.Placa));

    // 3. and 4. A running capture keeps its device and its segment length;
    // they are taken over by the next apply while stopped.
    if (!target.IsRecording()) {
        if (target.HasProductInfoApi()) {
            target.ChooseDevices(0, 0);
        } else {
            const int placa = StrToInt(settings.Placa);
            target.ChooseDevices(placa, placa);
        }
    }
    if (!target.IsRecording()) target.SetSegmentInterval(SegmentIntervalMs(settings.TempoRec));

    // 5. Once raised, the priority stays for the life of the process.
    if (FlagIsSet(settings.Prioridade) && target.IsNTFamily()) {
        target.TickPriorityCheckBox();
        target.RaiseOwnProcessPriority();
    }

    // 6. The text "-1" means that no input was chosen.
    if (settings.Controle != "-1") target.SelectRecordingInput(StrToInt(settings.Controle));

    // 7.
    target.TickRecordingInputCheckBox();
}

void LoadSettings(RecorderSettings& settings, SettingsTarget& target, const std::string& exeDir) {
    settings = ReadSettingsFile(exeDir);
    const std::vector<SettingsProblem> problems = RepairSettings(settings, exeDir);
    ApplySettings(settings, target);
    if (!problems.empty()) {
        // Reported once, after the settings in use are applied: recording
        // goes on with the defaults.
        const std::string text = SettingsProblemsText(SettingsFilePath(exeDir), problems);
        LogEvent(text);
        throw Exception(text);
    }
}

}  // namespace zt
