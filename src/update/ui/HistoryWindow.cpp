#include "update/ui/HistoryWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "lang/Translate.h"
#include "platform/ErrorDisplay.h"
#include "update/HttpClient.h"
#include "update/UpdateProcedure.h"
#include "update/UpdateService.h"
#include "update/UpdateWorker.h"

namespace zt {

TFrmHistoricoAtualizacoesSemBanco::TFrmHistoricoAtualizacoesSemBanco(std::string baseUrl,
                                                                     QWidget* parent)
    : QDialog(parent),
      baseUrl_(std::move(baseUrl)),
      http_(std::make_unique<TIdHTTP>()),
      worker_(std::make_unique<UpdateWorker>()) {
    setObjectName("FrmHistoricoAtualizacoesSemBanco");
    setWindowTitle(QString::fromUtf8("Histórico de Atualizações"));
    setFixedSize(684, 462);
    http_->ConnectTimeout = UpdateProcedure::kNoByteTimeoutMs;
    http_->ReadTimeout = UpdateProcedure::kNoByteTimeoutMs;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    webHistoricoAtualizacoes = new QTextBrowser(this);
    webHistoricoAtualizacoes->setObjectName("webHistoricoAtualizacoes");
    webHistoricoAtualizacoes->setContextMenuPolicy(Qt::NoContextMenu);
    // Links leave for the desktop's browser; the page itself stays.
    webHistoricoAtualizacoes->setOpenExternalLinks(true);
    layout->addWidget(webHistoricoAtualizacoes, 1);

    auto* panel = new QWidget(this);
    panel->setObjectName("Panel1");
    panel->setFixedHeight(35);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 4, 6, 4);
    row->addStretch();
    BSair = new QPushButton("Sair", panel);
    BSair->setObjectName("BSair");
    BSair->setAutoDefault(false);
    row->addWidget(BSair);
    layout->addWidget(panel);
    connect(BSair, &QPushButton::clicked, this, Guard([this] { BSairClick(); }));
    Guarded([this] { TranslateForm(this); });
}

TFrmHistoricoAtualizacoesSemBanco::~TFrmHistoricoAtualizacoesSemBanco() {
    http_->Cancel();
    worker_.reset();
}

void TFrmHistoricoAtualizacoesSemBanco::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TFrmHistoricoAtualizacoesSemBanco::FormShow() {
    if (requested_) return;
    requested_ = true;
    const std::string url = HistoryUrl(baseUrl_, FProduto, FVersao);
    worker_->Run([this, url] { page_ = http_->Get(url); },
                 [this](std::exception_ptr error) {
                     if (!error) {
                         webHistoricoAtualizacoes->setHtml(QString::fromUtf8(page_));
                     } else {
                         // Shown in the page, where a browser shows its errors.
                         webHistoricoAtualizacoes->setPlainText(
                             QString::fromStdString(ExceptionText(error)));
                     }
                     loaded_ = true;
                 });
}

}  // namespace zt
