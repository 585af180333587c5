// The settings, shown in the window instead of the status displays: for now
// the sound card, its recording input and levels, the priority box, and
// "Gravar" / "Voltar". Whatever the window has no control for yet is saved
// as it was loaded.

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/MainWindow.h"
#include "platform/Convert.h"
#include "platform/ErrorDisplay.h"
#include "platform/ui/Named.h"
#include "settings/SaveSettings.h"

namespace zt {

void TFrmGravar::BuildConfigPanel(QWidget* central) {
    PConfig = Named(new QWidget(central), "PConfig");
    auto* layout = new QVBoxLayout(PConfig);
    layout->setContentsMargins(4, 0, 4, 0);
    PControles = Named(new QWidget(PConfig), "PControles");
    auto* grid = new QGridLayout(PControles);
    grid->setContentsMargins(0, 0, 0, 0);
    BuildMixer(PControles, grid);
    CBPrioridade = Named(new QCheckBox("Definir como prioridade", PControles), "CBPrioridade");
    grid->addWidget(CBPrioridade, 5, 0, 1, 3);
    layout->addWidget(PControles);

    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(Named(new QLabel("Idioma:", PConfig), "LabelIdioma"));
    CBIdiomas = Named(new QComboBox(PConfig), "CBIdiomas");
    CBIdiomas->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    languageRow->addWidget(CBIdiomas);
    languageRow->addStretch();
    layout->addLayout(languageRow);
    connect(CBIdiomas, &QComboBox::activated, this, Guard([this] { CBIdiomasChange(); }));
    btnVerificarAtualizacoes =
        Named(new QPushButton(QString::fromUtf8("Verificar Atualizações"), PConfig),
              "btnVerificarAtualizacoes");
    btnVerificarAtualizacoes->setCursor(Qt::PointingHandCursor);
    layout->addWidget(btnVerificarAtualizacoes, 0, Qt::AlignLeft);
    connect(btnVerificarAtualizacoes, &QPushButton::clicked, this,
            Guard([this] { btnVerificarAtualizacoesClick(); }));
    layout->addStretch();

    auto* buttons = new QHBoxLayout;
    BGravaConfig = Named(new QPushButton("Gravar", PConfig), "BGravaConfig");
    BVoltarConfig = Named(new QPushButton("Voltar", PConfig), "BVoltarConfig");
    buttons->addStretch();
    buttons->addWidget(BGravaConfig);
    buttons->addWidget(BVoltarConfig);
    layout->addLayout(buttons);
    connect(BGravaConfig, &QPushButton::clicked, this, Guard([this] { BGravaConfigClick(); }));
    connect(BVoltarConfig, &QPushButton::clicked, this, Guard([this] { BVoltarConfigClick(); }));
    PConfig->hide();
}

void TFrmGravar::ToggleConfigPanel() {
    const bool showSettings = !PConfig->isVisibleTo(this);
    PConfig->setVisible(showSettings);
    for (QWidget* widget : statusWidgets_) widget->setVisible(!showSettings);
}

void TFrmGravar::BGravaConfigClick() {
    SettingsPanelValues panel;
    panel.cbFormatoIndex = StrToInt(settings_.Formato);
    panel.cbPlacasIndex = CBPlacas->currentIndex();
    panel.edLocal = settings_.Local;
    panel.cbControleIndex = CBControle->currentIndex();
    panel.cbGravar = FlagIsSet(settings_.AutoGravar);
    panel.cbPrioridade = CBPrioridade->isChecked();
    panel.cbCopia = FlagIsSet(settings_.Copia);
    panel.edLocalCopia = settings_.LocalCopia;
    panel.cbCrowley = FlagIsSet(settings_.Crowley);
    panel.edSigla = settings_.SiglaCrowley;
    panel.diasGravar = settings_.DiasRec;
    panel.tempoGravar = settings_.TempoRec;
    panel.cbIdiomasIndex = CBIdiomas->currentIndex();
    SaveSettings(settings_, panel, *this);
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

}  // namespace zt
