#pragma once
// TFrmAtualizacaoSemBanco: the modal window in which an update runs. It
// shows the six steps with their state icons, the status and transfer
// read-outs with a gauge, and three image buttons; UpdateProcedure does
// the work and tells it what to show.
//
// Threads: main thread only.

#include <QDialog>
#include <array>
#include <memory>
#include <string>

#include "update/UpdateProcedure.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace zt {

// The built-in texts of the window's messages (invisible labels).
inline constexpr const char* kTextAtualizacaoNaoAssinada =
    "A atualização não está assinada pelo fabricante";

class TFrmAtualizacaoSemBanco : public QDialog, private UpdateView {
    Q_OBJECT
public:
    explicit TFrmAtualizacaoSemBanco(UpdateProcedure::Options options, QWidget* parent = nullptr);
    ~TFrmAtualizacaoSemBanco() override;

    UpdateProcedure& Procedure() { return *procedure_; }

    // ---- handlers --------------------------------------------------------------------
    void ConnectButtonClick() { procedure_->ConnectButtonClick(); }
    void BDetalhesClick();
    void BFecharClick() { close(); }

    // ---- what the window shows, for tests ------------------------------------------------
    TStepImage StepImage(int step) const { return images_[size_t(step)]; }
    QString StatusText() const;
    QString SizeText() const;
    QString ReceivedText() const;
    QString RemainingText() const;
    bool ConnectEnabled() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BuildWidgets();
    QLabel* AddMessageLabel(const char* name, const char* text);

    // UpdateView
    void SetStepImage(int step, TStepImage image) override;
    void SetStatus(const std::string& text) override;
    void SetTransferTexts(const std::string& tamanho, const std::string& baixado,
                          const std::string& restante) override;
    void SetGaugeMaximum(int64_t maximum) override;
    void SetGaugeProgress(int64_t progress) override;
    void SetConnectEnabled(bool enabled) override;
    void SetClosable(bool closable) override { closable_ = closable; }
    std::string MessageText(const char* label) const override;
    NumberSeparators Separators() const override;
    void Repaint() override;
    void CloseWindow() override;

    std::string baseUrl_;
    std::array<TStepImage, kUpdateStepCount> images_{};
    int64_t gaugeMaximum_ = 0;
    int64_t gaugeProgress_ = 0;
    bool closable_ = true;
    QTreeWidget* TreeView1 = nullptr;
    QLabel* LStatus = nullptr;
    QLabel* LTamanho = nullptr;
    QLabel* LBaixado = nullptr;
    QLabel* LRestante = nullptr;
    QProgressBar* Gauge1 = nullptr;
    QPushButton* BDetalhes = nullptr;
    QPushButton* ConnectButton = nullptr;
    QPushButton* BFechar = nullptr;
    QLabel* Image1 = nullptr;
    // Last, so that it ends (and stops reporting) before the widgets go.
    std::unique_ptr<UpdateProcedure> procedure_;
};

}  // namespace zt
