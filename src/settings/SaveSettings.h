#pragma once
// Saving the configuration panel ("Gravar", BGravaConfig) into cfg.ini. The
// panel hands over the state of its controls as a plain record, so that the
// panel and the tests run the same code.
//
// Threads: main thread only.

#include <string>

#include "platform/Paths.h"
#include "settings/RecorderSettings.h"
#include "settings/SettingsTarget.h"

namespace zt {

// The controls of the configuration panel. Item indexes are -1 when nothing
// is selected.
struct SettingsPanelValues {
    int cbFormatoIndex = -1;    // CBFormato
    int cbPlacasIndex = -1;     // CBPlacas
    std::string edLocal;        // EdLocal
    int cbControleIndex = -1;   // CBControle
    bool cbGravar = false;      // CBGravar ("Auto-Gravar")
    bool cbPrioridade = false;  // CBPrioridade
    bool cbCopia = false;       // CBCopia
    std::string edLocalCopia;   // EdLocalCopia
    bool cbCrowley = false;     // CBCrowley
    std::string edSigla;        // EdSigla
    std::string diasGravar;     // DiasGravar
    std::string tempoGravar;    // TempoGravar
    int cbIdiomasIndex = -1;    // CBIdiomas
};

// Messages of the save. Each is the caption of an invisible label of the main
// window, so that the language file translates it; the defaults are the
// built-in texts.
struct SettingsSaveTexts {
    // lblObrigatorioInformarSiglaEmissoraCrowley
    std::string obrigatorioInformarSiglaEmissoraCrowley =
        "É obrigatório informar a sigla da emissora junto a Crowley";
};

// Writes the panel's values into cfg.ini and loads it again (which applies):
//  - Formato, Placa, Local, Controle, AutoGravar, Prioridade from the panel;
//  - Copia "S" with LocalCopia from the panel when CBCopia is ticked, else
//    Copia "N" and LocalCopia left as it is in the file;
//  - Crowley "S" with SiglaCrowley as typed (untrimmed) when CBCrowley is
//    ticked and the station code is not blank; ticked with a blank code:
//    Crowley "N", SiglaCrowley empty and the message shown (Information), the
//    save goes on; unticked: Crowley "N", SiglaCrowley empty;
//  - DiasRec, TempoRec as typed, iIdioma from CBIdiomas.
// No other value is checked. MB Livres, sVersao and sGuid and any key the
// recorder does not know keep their values; a missing cfg.ini is rebuilt from
// the defaults first. The whole file is replaced atomically: when writing
// fails, zt::Exception is raised and both cfg.ini and `settings` stay as they
// were. Errors of the following load and apply propagate as in LoadSettings.
void SaveSettings(RecorderSettings& settings, const SettingsPanelValues& panel,
                  SettingsTarget& target, const SettingsSaveTexts& texts = {},
                  const std::string& exeDir = ExecutableDir());

}  // namespace zt
