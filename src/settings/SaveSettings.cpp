#include "settings/SaveSettings.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/Convert.h"
#include "platform/Dialogs.h"
#include "settings/ApplySettings.h"
#include "settings/SettingsFile.h"

namespace zt {

namespace {

// Blank as in the station-code rule: spaces, tabs and other control bytes.
bool IsBlankText(const std::string& text) {
    for (const unsigned char c : text) {
        if (c > ' ') return false;
    }
    return true;
}

}  // namespace

void SaveSettings(RecorderSettings& settings, const SettingsPanelValues& panel,
                  SettingsTarget& target, const SettingsSaveTexts& texts,
                  const std::string& exeDir) {
    // 1. In memory. Kept in a copy until the file is written, so that a failed
    //    write leaves the running recorder on what cfg.ini still says.
    RecorderSettings updated = settings;
    updated.Formato = IntToStr(panel.cbFormatoIndex);
    updated.iIdioma = panel.cbIdiomasIndex;

    const std::string path = SettingsFilePath(exeDir);
    struct stat st {};
    const bool missing = ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
    // Rebuilding a deleted file from the defaults keeps the keys this save
    // does not write (MB Livres above all) from turning into empty texts.
    SettingsDocument doc =
        missing ? SettingsDocument::Defaults(exeDir) : SettingsDocument::ReadFile(path);

    // 2.
    doc.Set("Gravacao", "Formato", IntToStr(panel.cbFormatoIndex));
    doc.Set("Geral", "Placa", IntToStr(panel.cbPlacasIndex));
    doc.Set("Geral", "Local", panel.edLocal);
    doc.Set("Geral", "Controle", IntToStr(panel.cbControleIndex));
    doc.Set("Geral", "AutoGravar", FlagText(panel.cbGravar));
    doc.Set("Geral", "Prioridade", FlagText(panel.cbPrioridade));

    // 3. An unticked backup keeps the folder it had, for the next time.
    if (panel.cbCopia) {
        doc.Set("Geral", "Copia", "S");
        doc.Set("Geral", "LocalCopia", panel.edLocalCopia);
    } else {
        doc.Set("Geral", "Copia", "N");
    }

    // 4. The station code names the export folders and files: the export is
    //    refused without one, but the rest of the save goes on.
    if (panel.cbCrowley && !IsBlankText(panel.edSigla)) {
        doc.Set("Geral", "Crowley", "S");
        doc.Set("Geral", "SiglaCrowley", panel.edSigla);
    } else {
        if (panel.cbCrowley) {
            CurrentDialogs().Information(texts.obrigatorioInformarSiglaEmissoraCrowley);
        }
        doc.Set("Geral", "Crowley", "N");
        doc.Set("Geral", "SiglaCrowley", "");
    }

    // 5.
    doc.Set("Geral", "DiasRec", panel.diasGravar);
    doc.Set("Geral", "TempoRec", panel.tempoGravar);
    doc.Set("System", "iIdioma", IntToStr(updated.iIdioma));

    // 6.
    doc.WriteFile(path);
    settings = updated;
    LoadSettings(settings, target, exeDir);
}

}  // namespace zt
