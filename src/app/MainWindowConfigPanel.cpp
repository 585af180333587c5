// The settings panel's widgets: PConfig, a fixed 266 x 217 black panel
// whose children sit at fixed places (the window's face puts the panel over
// its display area), with the scroll box FundoConfig holding one group per
// part of cfg.ini; and PFormatos, the suggested formats shown over it.
//
// The groups below "Geral" move with the platform generation: where the
// operator picks the card and input (PControles shown) "Geral" is tall and
// everything under it lower; LayoutConfigPanel places them at each show.

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTreeWidget>

#include "app/MainWindow.h"
#include "platform/ErrorDisplay.h"
#include "platform/ui/FolderEdit.h"
#include "platform/ui/Named.h"
#include "platform/ui/UpDown.h"

namespace zt {

namespace {

constexpr QSize kConfigPanelSize{266, 217};
constexpr QSize kFormatsPanelSize{269, 216};
// The scroll box: as wide as the panel and one pixel more, so its frame-less
// bar ends flush with the face's well.
constexpr QRect kScrollBox{0, 24, 267, 160};
constexpr int kScrollBarWidth = 10;
constexpr int kScrollStep = 5;
constexpr int kGroupLeft = 4;
constexpr int kGroupWidth = kScrollBox.width() - kScrollBarWidth - 2 * kGroupLeft;

// Where the groups below "Geral" go, with and without the card controls.
struct ConfigPanelRows {
    int geralHeight;
    int copiaTop;
    int crowleyTop;
    int idiomaTop;
    int atualizacoesTop;
    int contentHeight;
};
constexpr ConfigPanelRows kWithCardControls{204, 380, 454, 524, 584, 620};
constexpr ConfigPanelRows kWithoutCardControls{82, 260, 334, 404, 464, 500};
constexpr int kGeralTop = 170;
// "Definir Controles" in the group when the card controls are hidden.
constexpr QRect kDefinirControlesPlace{8, 50, 130, 24};

// The bit rates, by the Formato index; two-digit rates keep a second space
// so the numbers line up.
constexpr const char* kFormatItems[] = {
    "MP3:  32 kbps", "MP3:  40 kbps", "MP3:  48 kbps", "MP3:  56 kbps", "MP3:  64 kbps",
    "MP3:  80 kbps", "MP3:  96 kbps", "MP3: 112 kbps", "MP3: 128 kbps", "MP3: 160 kbps",
    "MP3: 192 kbps", "MP3: 224 kbps", "MP3: 256 kbps", "MP3: 320 kbps",
};

// What a month of round-the-clock recording takes at each rate.
constexpr const char* kSuggestedFormats[] = {
    "  MP3:  32 Kbps  -  10 GB / Mês", "  MP3:  40 Kbps  -  13 GB / Mês",
    "  MP3:  48 Kbps  -  15 GB / Mês", "  MP3:  56 Kbps  -  17 GB / Mês",
    "  MP3:  64 Kbps  -  20 GB / Mês", "  MP3:  80 Kbps  -  25 GB / Mês",
    "  MP3:  96 Kbps  -  30 GB / Mês", "  MP3: 112 Kbps  -  35 GB / Mês",
    "  MP3: 128 Kbps  -  40 GB / Mês", "  MP3: 160 Kbps  -  50 GB / Mês",
    "  MP3: 192 Kbps  -  60 GB / Mês", "  MP3: 224 Kbps  -  75 GB / Mês",
    "  MP3: 256 Kbps  -  85 GB / Mês", "  MP3: 320 Kbps  -  95 GB / Mês",
};

// A black equipment panel: light text, dark groups, edits and lists, and
// a thin dark scroll bar. Sizes in pixels, so a scaled screen (200 %)
// doubles everything alike.
constexpr const char* kPanelStyle =
    "QWidget { font-size: 11px; }"
    "QLabel { color: #e6e8eb; background: transparent; }"
    "QLabel#LabelConfiguracoes, QLabel#LabelFormatosSugeridos { color: #ffffff;"
    " font-weight: bold; }"
    "QGroupBox { background: #1c1e21; border: 1px solid #3c4046; border-radius: 4px;"
    " margin-top: 7px; color: #e6e8eb; }"
    "QGroupBox::title { subcontrol-origin: margin; left: 7px; padding: 0 2px; }"
    "QLineEdit { background: #2b2e33; color: #f2f3f5; border: 1px solid #4a4f57;"
    " border-radius: 2px; padding: 0 2px; selection-background-color: #3d6ea8; }"
    "QLineEdit:disabled { background: #222428; color: #7d828a; border-color: #33363b; }"
    "QComboBox { background: #2b2e33; color: #f2f3f5; border: 1px solid #4a4f57;"
    " border-radius: 2px; padding: 0 4px; }"
    "QComboBox:disabled { color: #7d828a; }"
    "QComboBox QAbstractItemView { background: #2b2e33; color: #f2f3f5;"
    " selection-background-color: #3d6ea8; }"
    "QPushButton, QToolButton { background: #2f3237; color: #f2f3f5;"
    " border: 1px solid #51565e; border-radius: 3px; padding: 1px 6px; }"
    "QPushButton#SpeedButton1 { padding: 1px 2px; }"
    "QToolButton { padding: 0; }"
    "QPushButton:hover, QToolButton:hover { background: #3a3e44; }"
    "QPushButton:pressed, QToolButton:pressed { background: #24262a; }"
    "QPushButton:disabled, QToolButton:disabled { color: #7d828a; }"
    "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; border: none; }"
    "QScrollBar:vertical { background: #101113; width: 10px; margin: 0; }"
    "QScrollBar::handle:vertical { background: #50555c; min-height: 20px; border-radius: 3px;"
    " margin: 2px; }"
    "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"
    "QTreeWidget { background: #000000; color: #e6e8eb; border: 1px solid #3c4046; }";

// Black behind everything, light text, dark fields: what the style sheet
// leaves to the style (check boxes' boxes, arrows) follows these.
void MakeDarkPanel(QWidget* panel, QSize size) {
    panel->setFixedSize(size);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, QColor(0xe6, 0xe8, 0xeb));
    palette.setColor(QPalette::Base, QColor(0x2b, 0x2e, 0x33));
    palette.setColor(QPalette::Text, QColor(0xf2, 0xf3, 0xf5));
    palette.setColor(QPalette::Button, QColor(0x2f, 0x32, 0x37));
    palette.setColor(QPalette::ButtonText, QColor(0xf2, 0xf3, 0xf5));
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x6e, 0xa8));
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
    panel->setStyleSheet(kPanelStyle);
}

// The style draws a check box's box in the field colour with an outline a
// shade darker than the background: on a dark panel both vanish. A light
// box with a dark tick reads on any of the panel's greys.
void MakeCheckBoxesLight(QWidget* panel) {
    for (QCheckBox* box : panel->findChildren<QCheckBox*>()) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, QColor(0xe6, 0xe8, 0xeb));
        palette.setColor(QPalette::Text, QColor(0x10, 0x12, 0x14));
        palette.setColor(QPalette::WindowText, QColor(0xe6, 0xe8, 0xeb));
        palette.setColor(QPalette::ButtonText, QColor(0xe6, 0xe8, 0xeb));
        box->setPalette(palette);
    }
}

QLabel* AddLabel(QWidget* parent, const char* name, const char* text, QRect at) {
    auto* label = Named(new QLabel(QString::fromUtf8(text), parent), name);
    label->setGeometry(at);
    return label;
}

QGroupBox* AddGroup(QWidget* parent, const char* name, const char* caption, int top, int height) {
    auto* group = Named(new QGroupBox(QString::fromUtf8(caption), parent), name);
    group->setGeometry(kGroupLeft, top, kGroupWidth, height);
    return group;
}

}  // namespace

void TFrmGravar::BuildConfigPanel(QWidget* central) {
    PConfig = Named(new QWidget(central), "PConfig");
    MakeDarkPanel(PConfig, kConfigPanelSize);
    AddLabel(PConfig, "LabelConfiguracoes", "Configurações", {8, 3, 250, 18});

    FundoConfig = Named(new QScrollArea(PConfig), "FundoConfig");
    FundoConfig->setGeometry(kScrollBox);
    FundoConfig->setFrameShape(QFrame::NoFrame);
    FundoConfig->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FundoConfig->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FundoConfig->verticalScrollBar()->setSingleStep(kScrollStep);
    // The content keeps the size LayoutConfigPanel gives it.
    FundoConfig->setWidgetResizable(false);
    configContent_ = Named(new QWidget, "FundoConfigConteudo");
    configContent_->resize(kScrollBox.width() - kScrollBarWidth, kWithCardControls.contentHeight);
    FundoConfig->setWidget(configContent_);
    BuildConfigGroups(configContent_);

    BGravaConfig = Named(new QPushButton("Gravar", PConfig), "BGravaConfig");
    BGravaConfig->setGeometry(112, 189, 72, 24);
    BVoltarConfig = Named(new QPushButton("Voltar", PConfig), "BVoltarConfig");
    BVoltarConfig->setGeometry(188, 189, 72, 24);
    for (QPushButton* button : {BGravaConfig, BVoltarConfig})
        button->setCursor(Qt::PointingHandCursor);
    connect(BGravaConfig, &QPushButton::clicked, this, Guard([this] { BGravaConfigClick(); }));
    connect(BVoltarConfig, &QPushButton::clicked, this, Guard([this] { BVoltarConfigClick(); }));

    AddMessageLabel("lblNecessarioPararGravacaoEfetuarAlteracoes",
                    kTextNecessarioPararGravacaoEfetuarAlteracoes);
    AddMessageLabel("lblObrigatorioInformarSiglaEmissoraCrowley",
                    kTextObrigatorioInformarSiglaEmissoraCrowley);
    AddMessageLabel("lblNaoPossivelAbrirEndereco", kTextNaoPossivelAbrirEndereco);

    MakeCheckBoxesLight(PConfig);
    PConfig->hide();
    BuildFormatsPanel(central);
}

void TFrmGravar::BuildConfigGroups(QWidget* content) {
    GroupBox1 = AddGroup(content, "GroupBox1", "Formato: ", 6, 56);
    CBFormato = Named(new QComboBox(GroupBox1), "CBFormato");
    for (const char* item : kFormatItems) CBFormato->addItem(item);
    CBFormato->setGeometry(8, 22, 108, 24);
    SpeedButton1 = Named(new QPushButton("Dicas de Formato", GroupBox1), "SpeedButton1");
    SpeedButton1->setGeometry(120, 22, kGroupWidth - 128, 24);
    SpeedButton1->setCursor(Qt::PointingHandCursor);
    connect(SpeedButton1, &QPushButton::clicked, this, Guard([this] { SpeedButton1Click(); }));

    GroupBox4 = AddGroup(content, "GroupBox4", "Tempo de Gravação: ", 68, 94);
    auto addNumber = [&](const char* editName, const char* arrowsName, QPoint at, int min, int max,
                         int start, QLineEdit*& edit, TUpDown*& arrows) {
        edit = Named(new QLineEdit(GroupBox4), editName);
        edit->setGeometry(at.x(), at.y(), 40, 22);
        arrows = Named(new TUpDown(GroupBox4), arrowsName);
        arrows->setGeometry(at.x() + 41, at.y(), 15, 22);
        arrows->SetRange(min, max);
        arrows->SetPosition(start);
        arrows->SetAssociate(edit);
    };
    addNumber("DiasGravar", "UpDown1", {8, 22}, 0, 100, 30, DiasGravar, UpDown1);
    AddLabel(GroupBox4, "LabelDiasGravar", "Dias", {70, 22, 50, 22});
    CBGravar = Named(new QCheckBox("Auto-Gravar", GroupBox4), "CBGravar");
    CBGravar->setGeometry(124, 22, kGroupWidth - 130, 22);
    AddLabel(GroupBox4, "LabelGerarArquivos", "Gerar arquivos de", {8, 56, 112, 22});
    addNumber("TempoGravar", "UpDown2", {122, 56}, 10, 60, 10, TempoGravar, UpDown2);
    AddLabel(GroupBox4, "LabelMinutos", "Min.", {184, 56, 50, 22});
    UpDown2->OnChanging = [this] {
        bool allowed = false;
        Guarded([&] { allowed = UpDown2Click(); });
        return allowed;
    };

    GroupBoxGeral =
        AddGroup(content, "GroupBoxGeral", "Geral: ", kGeralTop, kWithCardControls.geralHeight);
    AddLabel(GroupBoxGeral, "LabelLocal", "Local:", {8, 22, 54, 22});
    EdLocal = Named(new TFolderEdit(GroupBoxGeral), "EdLocal");
    EdLocal->setGeometry(64, 22, kGroupWidth - 72, 22);
    EdLocal->OnBeforeBrowse = [this] {
        bool allowed = false;
        Guarded([&] { allowed = EdLocalBeforeBrowse(); });
        return allowed;
    };
    // The card controls come from the mixer's set-up with a grid of their
    // own, tightened to fit the group; "Definir Controles" moves between
    // that grid and the group (LayoutConfigPanel).
    PControles = Named(new QWidget(GroupBoxGeral), "PControles");
    PControles->setGeometry(2, 48, kGroupWidth - 4, 152);
    PControles->setAutoFillBackground(true);
    QPalette groupPalette = PConfig->palette();
    groupPalette.setColor(QPalette::Window, QColor(0x1c, 0x1e, 0x21));
    PControles->setPalette(groupPalette);
    auto* grid = new QGridLayout(PControles);
    grid->setContentsMargins(2, 0, 2, 0);
    grid->setSpacing(2);
    // The knobs take what they need, the monitor switch beside them the rest.
    grid->setColumnStretch(2, 1);
    BuildMixer(PControles, grid);
    CBPrioridade = Named(new QCheckBox("Definir como prioridade", PControles), "CBPrioridade");
    grid->addWidget(CBPrioridade, 5, 0, 1, 3);
    if (auto* volume = PControles->findChild<QGroupBox*>("GroupVolume");
        volume && volume->layout()) {
        volume->layout()->setContentsMargins(4, 2, 4, 2);
        volume->layout()->setSpacing(0);
    }
    grid->removeWidget(BDefinirControles);
    BDefinirControles->setParent(GroupBoxGeral);
    BDefinirControles->setGeometry(kDefinirControlesPlace);
    PControles->raise();

    GroupBoxCopiaSeguranca = AddGroup(content, "GroupBoxCopiaSeguranca",
                                      "Cópia de Segurança: ", kWithCardControls.copiaTop, 66);
    CBCopia = Named(new QCheckBox("Gravar cópia de segurança", GroupBoxCopiaSeguranca), "CBCopia");
    CBCopia->setGeometry(8, 18, kGroupWidth - 16, 20);
    AddLabel(GroupBoxCopiaSeguranca, "LabelLocalCopia", "Local:", {8, 40, 54, 22});
    EdLocalCopia = Named(new TFolderEdit(GroupBoxCopiaSeguranca), "EdLocalCopia");
    EdLocalCopia->setGeometry(64, 40, kGroupWidth - 72, 22);

    GroupBoxCrowley =
        AddGroup(content, "GroupBoxCrowley", "Crowley: ", kWithCardControls.crowleyTop, 62);
    CBCrowley = Named(new QCheckBox("Gerar arquivos para Crowley", GroupBoxCrowley), "CBCrowley");
    CBCrowley->setGeometry(8, 18, kGroupWidth - 16, 20);
    AddLabel(GroupBoxCrowley, "LabelSigla", "Sigla da emissora:", {8, 38, 116, 22});
    EdSigla = Named(new QLineEdit(GroupBoxCrowley), "EdSigla");
    EdSigla->setGeometry(126, 38, 70, 22);
    for (QCheckBox* box : {CBCopia, CBCrowley})
        connect(box, &QCheckBox::clicked, this, Guard([this] { CBCopiaClick(); }));

    GrupoIdioma = AddGroup(content, "GrupoIdioma", "Idioma:", kWithCardControls.idiomaTop, 52);
    CBIdiomas = Named(new QComboBox(GrupoIdioma), "CBIdiomas");
    CBIdiomas->setGeometry(8, 20, 180, 24);
    connect(CBIdiomas, &QComboBox::activated, this, Guard([this] { CBIdiomasChange(); }));

    btnVerificarAtualizacoes =
        Named(new QPushButton(QString::fromUtf8("Verificar Atualizações"), content),
              "btnVerificarAtualizacoes");
    btnVerificarAtualizacoes->setGeometry(kGroupLeft, kWithCardControls.atualizacoesTop, 160, 26);
    btnVerificarAtualizacoes->setCursor(Qt::PointingHandCursor);
    connect(btnVerificarAtualizacoes, &QPushButton::clicked, this,
            Guard([this] { btnVerificarAtualizacoesClick(); }));
}

void TFrmGravar::BuildFormatsPanel(QWidget* central) {
    PFormatos = Named(new QWidget(central), "PFormatos");
    MakeDarkPanel(PFormatos, kFormatsPanelSize);
    AddLabel(PFormatos, "LabelFormatosSugeridos", "Formatos Sugeridos", {8, 3, 250, 18});
    TVFormatos = Named(new QTreeWidget(PFormatos), "TVFormatos");
    TVFormatos->setGeometry(4, 24, kFormatsPanelSize.width() - 8, 160);
    TVFormatos->setColumnCount(1);
    TVFormatos->setHeaderHidden(true);
    TVFormatos->setRootIsDecorated(false);
    TVFormatos->setIndentation(0);
    TVFormatos->setSelectionMode(QAbstractItemView::NoSelection);
    TVFormatos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TVFormatos->setFocusPolicy(Qt::NoFocus);
    // A fixed-width face keeps the rates and sizes in columns.
    TVFormatos->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (const char* entry : kSuggestedFormats)
        TVFormatos->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromUtf8(entry)}));
    BVoltarFormatos = Named(new QPushButton("Voltar", PFormatos), "BVoltarFormatos");
    BVoltarFormatos->setGeometry(kFormatsPanelSize.width() - 76, 189, 72, 24);
    BVoltarFormatos->setCursor(Qt::PointingHandCursor);
    connect(BVoltarFormatos, &QPushButton::clicked, this,
            Guard([this] { BVoltarFormatosClick(); }));
    PFormatos->hide();
}

void TFrmGravar::LayoutConfigPanel() {
    const bool cardControls = !HasProductInfoApi();
    const ConfigPanelRows& rows = cardControls ? kWithCardControls : kWithoutCardControls;
    PControles->setVisible(cardControls);
    // Without the card controls the button shows in their place. With them
    // it sits among them, under "Desativar retorno": on Linux they always
    // show, and the desktop's sound settings are still the only place to
    // choose a sound server's inputs, so the button must stay reachable.
    auto* grid = static_cast<QGridLayout*>(PControles->layout());
    if (cardControls && BDefinirControles->parentWidget() != PControles) {
        BDefinirControles->setParent(PControles);
        grid->addWidget(BDefinirControles, 4, 2);
    } else if (!cardControls && BDefinirControles->parentWidget() != GroupBoxGeral) {
        grid->removeWidget(BDefinirControles);
        BDefinirControles->setParent(GroupBoxGeral);
        BDefinirControles->setGeometry(kDefinirControlesPlace);
    }
    BDefinirControles->show();
    GroupBoxGeral->resize(kGroupWidth, rows.geralHeight);
    GroupBoxCopiaSeguranca->move(kGroupLeft, rows.copiaTop);
    GroupBoxCrowley->move(kGroupLeft, rows.crowleyTop);
    GrupoIdioma->move(kGroupLeft, rows.idiomaTop);
    btnVerificarAtualizacoes->move(kGroupLeft, rows.atualizacoesTop);
    configContent_->resize(configContent_->width(), rows.contentHeight);
    FundoConfig->verticalScrollBar()->setValue(0);
}

}  // namespace zt
