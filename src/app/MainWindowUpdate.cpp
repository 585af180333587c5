// The main window's part of the online update: the check at every start,
// the question it leads to, and the update window opened from it or from
// the button.
#include <QPushButton>

#include "app/MainWindow.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Paths.h"
#include "platform/ui/ModalWindows.h"
#include "settings/SettingsFile.h"
#include "update/ArchiveSignature.h"
#include "update/StartupUpdateCheck.h"
#include "update/UpdateService.h"
#include "update/VersionInfo.h"
#include "update/ui/UpdateWindow.h"

namespace zt {

void TFrmGravar::StartUpdateCheck() {
    // The query goes out in the background: the window and the automatic
    // recording never wait for the network.
    const std::string url =
        StartupVersionQueryUrl(UpdateBaseUrl(), settings_.sVersao, settings_.sGuid);
    updateCheck_ =
        std::make_unique<StartupUpdateCheck>(url, [this](const std::string&) { OfferUpdate(); });
}

void TFrmGravar::OfferUpdate() {
    // An update already being made from the window needs no question.
    if (updateWindowOpen_ || closing_) return;
    if (CurrentDialogs().Question(
            MessageText("lblHaNovaAtualizacaoDisponivelDesejaAtualizarAgora")))
        RunUpdateProcedure(true);
}

void TFrmGravar::RunUpdateProcedure(bool StartNow) {
    if (updateWindowOpen_) return;
    updateWindowOpen_ = true;
    std::string newVersion;
    try {
        UpdateProcedure::Options options;
        options.programFolder = ExecutableDir();
        options.baseUrl = UpdateBaseUrl();
        options.publicKey = CompiledUpdatePublicKey();
        options.runningExecutable = ExecutablePath();
        TFrmAtualizacaoSemBanco window(std::move(options), this);
        UpdateProcedure& procedure = window.Procedure();
        procedure.FProduct = kUpdateProduct;
        procedure.FAlias = kUpdateAlias;
        procedure.FGuid = settings_.sGuid;
        procedure.FVersion = !settings_.sVersao.empty() ? settings_.sVersao : FileVersionText();
        if (StartNow) window.ConnectButtonClick();
        ShowModal(window);
        newVersion = procedure.FNewVersion;
    } catch (...) {
        updateWindowOpen_ = false;
        throw;
    }
    updateWindowOpen_ = false;
    if (newVersion.empty()) return;
    // Only the file: the settings in memory keep the old version until the
    // next load, like every other value of cfg.ini written here.
    const std::string path = SettingsFilePath();
    SettingsDocument document = SettingsDocument::ReadFile(path);
    document.Set("System", "sVersao", newVersion);
    document.WriteFile(path);
}

}  // namespace zt
