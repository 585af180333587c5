#include "settings/ApplySettings.h"

#include "platform/Convert.h"
#include "platform/EventLog.h"
#include "platform/Exceptions.h"
#include "platform/ResStrings.h"
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
    // A saved card that is gone (a USB card unplugged over the weekend) must
    // not leave the recorder without a device nor skip the steps after it:
    // the first device ("Default") takes its place and the operator is told
    // once, after everything else has been applied.
    // -1 is a list without a selection when it was saved: nothing was
    // chosen, so the first device is used without a word.
    int placa = StrToInt(settings.Placa);
    std::string missingCard;
    // With no card at all there is nothing to fall back on; starting the
    // recording tells the operator that.
    const int cards = target.SoundCardCount();
    if (placa == -1 || (cards == 0 && placa >= 0)) {
        placa = 0;
    } else if (placa < 0 || placa >= cards) {
        missingCard = FormatResString(msg::SavedSoundCardMissing, {IntToStr(placa)});
        placa = 0;
    }
    target.SelectSoundCard(placa);

    // 3. and 4. A running capture keeps its device and its segment length;
    // they are taken over by the next apply while stopped.
    if (!target.IsRecording()) {
        if (target.HasProductInfoApi())
            target.ChooseDevices(0, 0);
        else
            target.ChooseDevices(placa, placa);
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

    if (!missingCard.empty()) {
        LogEvent(missingCard);
        throw ESettingsWarning(missingCard);
    }
}

void LoadSettings(RecorderSettings& settings, SettingsTarget& target, const std::string& exeDir) {
    settings = ReadSettingsFile(exeDir);
    const std::vector<SettingsProblem> problems = RepairSettings(settings, exeDir);
    std::string warning;
    try {
        ApplySettings(settings, target);
    } catch (const ESettingsWarning& w) {
        warning = w.what();
    }
    if (!problems.empty()) {
        // Reported once, after the settings in use are applied: recording
        // goes on with the defaults.
        std::string text = SettingsProblemsText(SettingsFilePath(exeDir), problems);
        LogEvent(text);
        if (!warning.empty()) text += "\n\n" + warning;
        throw Exception(text);
    }
    if (!warning.empty()) throw ESettingsWarning(warning);
}

}  // namespace zt
