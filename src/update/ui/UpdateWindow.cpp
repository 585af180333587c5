#include "update/ui/UpdateWindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

#include "lang/Translate.h"
#include "platform/ErrorDisplay.h"
#include "platform/ui/ModalWindows.h"
#include "platform/ui/Named.h"
#include "update/ui/HistoryWindow.h"
#include "update/ui/UpdateArt.h"

namespace zt {

namespace {

constexpr const char* kStepTexts[kUpdateStepCount] = {
    "Estabelecendo a conexão", "Verificando atualizações disponíveis",
    "Baixando atualizações",   "Descompactando arquivos",
    "Atualizando o Sistema",   "Finalizando a atualização"};

constexpr const char* kStepIcons[] = {"step_pending", "step_done", "step_failed", "step_current"};

// The invisible labels whose captions are the window's messages.
constexpr const char* kMessages[][2] = {
    {"lblConectado", "Conectado"},
    {"lblErroNaoPossivelEfetuarAtualizacao", "Erro, não foi possível efetuar a atualização"},
    {"lblNaoHaConexaoComInternet", "Não há conexão com a internet"},
    {"lblNaoHaAtualizacoesDisponiveis", "Não há atualizações disponíveis"},
    {"lblClienteSemPermissaoAtualizacoes", "Cliente sem permissão para atualizações"},
    {"lblNaoPossivelBaixarArquivoAtualizacao", "Não foi possível baixar o arquivo de atualização"},
    {"lblTaxaTransferencia", "Taxa de Transferência"},
    {"lblTransferenciaCompleta", "Transferência completa"},
    {"lblDescompactando", "Descompactando"},
    {"lblErroDescompactarArquivoAtualizacao", "Erro ao descompactar o arquivo de atualização"},
    {"lblNaoPossivelEfetuarAtualizacao", "Não foi possível efetuar a atualização"},
    {"lblAtualizacaoCancelada", "Atualização cancelada"},
    {"lblConcluido", "Concluído"},
    {"lblAtualizacaoConcluidaSucesso", "Atualização concluída com sucesso."},
    {"lblReinicieSistemaParaAtualizacoesTenhamEfeito",
     "Reinicie o sistema para que as atualizações tenham efeito."},
    {"lblAtualizacaoNaoAssinada", kTextAtualizacaoNaoAssinada},
};

}  // namespace

TFrmAtualizacaoSemBanco::TFrmAtualizacaoSemBanco(UpdateProcedure::Options options, QWidget* parent)
    : QDialog(parent), baseUrl_(options.baseUrl) {
    setObjectName("FrmAtualizacaoSemBanco");
    setWindowTitle(QString::fromUtf8("Verificar atualizações"));
    BuildWidgets();
    UpdateView& view = *this;
    procedure_ = std::make_unique<UpdateProcedure>(view, std::move(options));
    // FormCreate: the current language, then the steps.
    Guarded([this] { TranslateForm(this); });
    procedure_->FormCreate();
}

TFrmAtualizacaoSemBanco::~TFrmAtualizacaoSemBanco() {
    procedure_.reset();
}

QLabel* TFrmAtualizacaoSemBanco::AddMessageLabel(const char* name, const char* text) {
    auto* label = Named(new QLabel(QString::fromUtf8(text), this), name);
    label->hide();
    return label;
}

void TFrmAtualizacaoSemBanco::BuildWidgets() {
    setFixedSize(602, 354);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(6);
    auto* layout = new QHBoxLayout;
    outer->addLayout(layout);

    auto* picturePanel = Named(new QFrame(this), "PanelImagem");
    picturePanel->setFrameShape(QFrame::Panel);
    picturePanel->setFrameShadow(QFrame::Sunken);
    auto* pictureLayout = new QVBoxLayout(picturePanel);
    pictureLayout->setContentsMargins(2, 2, 2, 2);
    Image1 = Named(new QLabel(picturePanel), "Image1");
    Image1->setFixedSize(180, 292);
    Guarded([this] { Image1->setPixmap(UpdateArtPixmap("update_side.jpg")); });
    pictureLayout->addWidget(Image1);
    layout->addWidget(picturePanel, 0, Qt::AlignTop);

    auto* right = new QVBoxLayout;
    TreeView1 = Named(new QTreeWidget(this), "TreeView1");
    TreeView1->setHeaderHidden(true);
    TreeView1->setRootIsDecorated(false);
    TreeView1->setSelectionMode(QAbstractItemView::NoSelection);
    TreeView1->setFocusPolicy(Qt::NoFocus);
    TreeView1->setIconSize(QSize(16, 16));
    QFont treeFont("Verdana");
    treeFont.setPixelSize(13);
    TreeView1->setFont(treeFont);
    TreeView1->setFixedHeight(150);
    for (const char* text : kStepTexts)
        TreeView1->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromUtf8(text)}));
    right->addWidget(TreeView1);

    auto* readouts = new QGridLayout;
    auto addReadout = [&](int row, const char* captionName, const char* caption, const char* name) {
        readouts->addWidget(Named(new QLabel(QString::fromUtf8(caption), this), captionName), row,
                            0);
        auto* value = Named(new QLabel(this), name);
        value->setStyleSheet("QLabel { color: #0000ff; font-weight: bold; }");
        readouts->addWidget(value, row, 1);
        return value;
    };
    LStatus = addReadout(0, "LabelStatus", "Status:", "LStatus");
    LTamanho = addReadout(1, "LabelTamanho", "Tamanho:", "LTamanho");
    LBaixado = addReadout(2, "LabelBaixado", "Baixado:", "LBaixado");
    LRestante = addReadout(3, "LabelRestante", "Restante:", "LRestante");
    readouts->setColumnStretch(1, 1);
    right->addLayout(readouts);

    Gauge1 = Named(new QProgressBar(this), "Gauge1");
    Gauge1->setTextVisible(false);
    Gauge1->setStyleSheet(
        "QProgressBar { border: 1px solid #808080; background: #ffffff; }"
        "QProgressBar::chunk { background: #0000ff; }");
    Gauge1->setFixedHeight(16);
    Gauge1->setRange(0, 100);
    right->addWidget(Gauge1);

    auto* buttons = new QHBoxLayout;
    auto addButton = [&](const char* name, const char* caption, const char* icon) {
        auto* button = Named(new QPushButton(QString::fromUtf8(caption), this), name);
        Guarded([&] { button->setIcon(UpdateArtIcon(icon)); });
        button->setIconSize(QSize(24, 24));
        button->setCursor(Qt::PointingHandCursor);
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    BDetalhes = addButton("BDetalhes", "Histórico de Atualizações", "button_history");
    ConnectButton = addButton("ConnectButton", "Iniciar Atualização", "button_start");
    BFechar = addButton("BFechar", "Fechar", "button_close");
    right->addStretch();
    layout->addLayout(right, 1);
    // The buttons run along the whole bottom, so their captions fit in
    // every language.
    buttons->insertStretch(0);
    outer->addLayout(buttons);

    connect(BDetalhes, &QPushButton::clicked, this, Guard([this] { BDetalhesClick(); }));
    connect(ConnectButton, &QPushButton::clicked, this, Guard([this] { ConnectButtonClick(); }));
    connect(BFechar, &QPushButton::clicked, this, Guard([this] { BFecharClick(); }));

    for (const auto& [name, text] : kMessages) AddMessageLabel(name, text);
}

void TFrmAtualizacaoSemBanco::BDetalhesClick() {
    TFrmHistoricoAtualizacoesSemBanco history(baseUrl_, this);
    history.FProduto = procedure_->FProduct;
    history.FVersao = procedure_->FVersion;
    ShowModal(history);
}

void TFrmAtualizacaoSemBanco::closeEvent(QCloseEvent* event) {
    // Files half installed would leave the installation in between builds.
    if (!closable_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFrmAtualizacaoSemBanco::reject() {
    if (closable_) QDialog::reject();
}

// ---- UpdateView ---------------------------------------------------------------------------

void TFrmAtualizacaoSemBanco::SetStepImage(int step, TStepImage image) {
    images_[size_t(step)] = image;
    Guarded([&] { TreeView1->topLevelItem(step)->setIcon(0, UpdateArtIcon(kStepIcons[image])); });
}

void TFrmAtualizacaoSemBanco::SetStatus(const std::string& text) {
    LStatus->setText(QString::fromStdString(text));
}

void TFrmAtualizacaoSemBanco::SetTransferTexts(const std::string& tamanho,
                                               const std::string& baixado,
                                               const std::string& restante) {
    LTamanho->setText(QString::fromStdString(tamanho));
    LBaixado->setText(QString::fromStdString(baixado));
    LRestante->setText(QString::fromStdString(restante));
}

// The gauge counts in the units the procedure gives; a range beyond an int
// is scaled down, keeping the fraction shown.
void TFrmAtualizacaoSemBanco::SetGaugeMaximum(int64_t maximum) {
    gaugeMaximum_ = std::max<int64_t>(maximum, 0);
    SetGaugeProgress(gaugeProgress_);
}

void TFrmAtualizacaoSemBanco::SetGaugeProgress(int64_t progress) {
    gaugeProgress_ = progress;
    int shift = 0;
    while ((gaugeMaximum_ >> shift) > INT32_MAX) ++shift;
    // A range of 0 would make Qt's bar a busy indicator.
    const int maximum = std::max(1, int(gaugeMaximum_ >> shift));
    Gauge1->setRange(0, maximum);
    Gauge1->setValue(int(std::clamp<int64_t>(progress >> shift, 0, maximum)));
}

void TFrmAtualizacaoSemBanco::SetConnectEnabled(bool enabled) {
    ConnectButton->setEnabled(enabled);
}

std::string TFrmAtualizacaoSemBanco::MessageText(const char* label) const {
    const QLabel* found = findChild<QLabel*>(label);
    return found ? found->text().toStdString() : std::string();
}

NumberSeparators TFrmAtualizacaoSemBanco::Separators() const {
    const QLocale locale;
    NumberSeparators separators;
    separators.thousands = locale.groupSeparator().toStdString();
    separators.decimal = locale.decimalPoint().toStdString();
    return separators;
}

void TFrmAtualizacaoSemBanco::Repaint() {
    TreeView1->viewport()->update();
    LStatus->update();
    LTamanho->update();
    LBaixado->update();
    LRestante->update();
}

void TFrmAtualizacaoSemBanco::CloseWindow() {
    closable_ = true;
    done(QDialog::Accepted);
}

// ---- read-outs, for tests -------------------------------------------------------------

QString TFrmAtualizacaoSemBanco::StatusText() const {
    return LStatus->text();
}
QString TFrmAtualizacaoSemBanco::SizeText() const {
    return LTamanho->text();
}
QString TFrmAtualizacaoSemBanco::ReceivedText() const {
    return LBaixado->text();
}
QString TFrmAtualizacaoSemBanco::RemainingText() const {
    return LRestante->text();
}
bool TFrmAtualizacaoSemBanco::ConnectEnabled() const {
    return ConnectButton->isEnabled();
}

}  // namespace zt
