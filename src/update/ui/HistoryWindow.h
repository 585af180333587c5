#pragma once
// TFrmHistoricoAtualizacoesSemBanco: the maker's page of changes for the
// product and the installed version, fetched from the update service and
// shown in a text browser. Esc closes it wherever the focus is.
//
// Threads: main thread; the page is fetched on a worker thread.

#include <QDialog>
#include <memory>
#include <string>

class QTextBrowser;
class QPushButton;

namespace zt {

class TIdHTTP;
class UpdateWorker;

class TFrmHistoricoAtualizacoesSemBanco : public QDialog {
    Q_OBJECT
public:
    explicit TFrmHistoricoAtualizacoesSemBanco(std::string baseUrl, QWidget* parent = nullptr);
    ~TFrmHistoricoAtualizacoesSemBanco() override;

    std::string FProduto;
    std::string FVersao;

    void BSairClick() { close(); }
    // The page has arrived (or its error is shown).
    bool Loaded() const { return loaded_; }
    QTextBrowser* Browser() { return webHistoricoAtualizacoes; }

protected:
    void showEvent(QShowEvent* event) override;  // FormShow

private:
    void FormShow();

    std::string baseUrl_;
    bool loaded_ = false;
    bool requested_ = false;
    QTextBrowser* webHistoricoAtualizacoes = nullptr;
    QPushButton* BSair = nullptr;
    std::unique_ptr<TIdHTTP> http_;
    std::string page_;
    std::unique_ptr<UpdateWorker> worker_;
};

}  // namespace zt
