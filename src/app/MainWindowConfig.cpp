// The settings panel's behaviour: opening it loaded from the settings,
// "Gravar" saving every control into cfg.ini (and applying it), "Voltar"
// leaving without a trace, the guards that keep the recording's folder and
// segment length as they are while it records, the format tips, and the
// maker's label. The widgets are built in MainWindowConfigPanel.cpp.

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLayout>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QUrl>

#include "app/MainWindow.h"
#include "platform/Convert.h"
#include "platform/Dialogs.h"
#include "platform/ui/FolderEdit.h"
#include "settings/SaveSettings.h"

namespace zt {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void TFrmGravar::ToggleConfigPanel() {
    const bool showSettings = !PConfig->isVisibleTo(this);
    PConfig->setVisible(showSettings);
    for (QWidget* widget : statusWidgets_) widget->setVisible(!showSettings);
    FundoConfig->verticalScrollBar()->setValue(0);
    PFormatos->hide();
}

void TFrmGravar::BConfigClick() {
    ToggleConfigPanel();
    // A Formato mangled by hand selects no format: the operator can still
    // open the panel and pick one.
    const std::optional<int32_t> formato = TryStrToInt(settings_.Formato);
    CBFormato->setCurrentIndex(formato && *formato >= 0 && *formato < CBFormato->count() ? *formato
                                                                                         : -1);
    const bool copia = FlagIsSet(settings_.Copia);
    CBCopia->setChecked(copia);
    EdLocalCopia->setEnabled(copia);
    EdLocal->SetText(settings_.Local);
    EdLocalCopia->SetText(settings_.LocalCopia);
    CBGravar->setChecked(FlagIsSet(settings_.AutoGravar));
    DiasGravar->setText(Q(settings_.DiasRec));
    TempoGravar->setText(Q(settings_.TempoRec));
    CBCrowley->setChecked(FlagIsSet(settings_.Crowley));
    EdSigla->setText(Q(settings_.SiglaCrowley));
}

void TFrmGravar::BGravaConfigClick() {
    SettingsPanelValues panel;
    panel.cbFormatoIndex = CBFormato->currentIndex();
    panel.cbPlacasIndex = CBPlacas->currentIndex();
    panel.edLocal = EdLocal->Text();
    panel.cbControleIndex = CBControle->currentIndex();
    panel.cbGravar = CBGravar->isChecked();
    panel.cbPrioridade = CBPrioridade->isChecked();
    panel.cbCopia = CBCopia->isChecked();
    panel.edLocalCopia = EdLocalCopia->Text();
    panel.cbCrowley = CBCrowley->isChecked();
    panel.edSigla = EdSigla->text().toStdString();
    panel.diasGravar = DiasGravar->text().toStdString();
    panel.tempoGravar = TempoGravar->text().toStdString();
    panel.cbIdiomasIndex = CBIdiomas->currentIndex();
    SettingsSaveTexts texts;
    texts.obrigatorioInformarSiglaEmissoraCrowley =
        MessageText("lblObrigatorioInformarSiglaEmissoraCrowley");
    SaveSettings(settings_, panel, *this, texts);
}

void TFrmGravar::BVoltarConfigClick() {
    // A language tried in the list but not saved is undone.
    if (settings_.iIdioma >= 0 && settings_.iIdioma < CBIdiomas->count() &&
        CBIdiomas->currentIndex() != settings_.iIdioma) {
        CBIdiomas->setCurrentIndex(settings_.iIdioma);
        CBIdiomasChange();
    }
    ToggleConfigPanel();
}

void TFrmGravar::CBCopiaClick() {
    EdLocalCopia->setEnabled(CBCopia->isChecked());
    EdSigla->setEnabled(true);
}

bool TFrmGravar::UpDown2Click() {
    // The running segment was timed with the old length; a new one applies
    // from a stopped recorder only.
    if (!IsRecording()) return true;
    CurrentDialogs().Information(MessageText("lblNecessarioPararGravacaoEfetuarAlteracoes"));
    return false;
}

bool TFrmGravar::EdLocalBeforeBrowse() {
    // The segment being written lives in the recording folder.
    if (!IsRecording()) return true;
    CurrentDialogs().Information(MessageText("lblNecessarioPararGravacaoEfetuarAlteracoes"));
    return false;
}

void TFrmGravar::SpeedButton1Click() {
    // Over the settings panel, wherever the face placed it; a panel just
    // shown by a layout gets its place first.
    if (QLayout* layout = PConfig->parentWidget()->layout()) layout->activate();
    PFormatos->move(PConfig->pos());
    PFormatos->raise();
    PFormatos->show();
}

void TFrmGravar::BVoltarFormatosClick() {
    PFormatos->hide();
}

void TFrmGravar::MMLabel2Click() {
    const QUrl address(QString::fromUtf8(kMakerWebAddress));
    const bool opened =
        services_.openUrl ? services_.openUrl(address) : QDesktopServices::openUrl(address);
    if (opened) return;
    QString text = Q(MessageText("lblNaoPossivelAbrirEndereco"));
    text.replace("%s", QString::fromUtf8(kMakerWebAddress));
    CurrentDialogs().Error(text.toStdString());
}

bool TFrmGravar::HasProductInfoApi() const {
    return services_.productInfoApi.value_or(SettingsTarget::HasProductInfoApi());
}

}  // namespace zt
