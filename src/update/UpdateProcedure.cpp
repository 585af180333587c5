#include "update/UpdateProcedure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/EventLog.h"
#include "update/ArchiveSignature.h"
#include "update/HttpErrors.h"
#include "update/UpdateArchive.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateService.h"

namespace zt {

namespace {

// The archive's signature is missing or does not check.
class EUpdateNotSigned : public Exception {
public:
    using Exception::Exception;
};

std::string Grouped(uint64_t whole, const std::string& separator) {
    std::string digits = std::to_string(whole);
    while (digits.size() < 4) digits.insert(digits.begin(), '0');
    std::string out;
    const size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    out += digits.substr(0, first);
    for (size_t at = first; at < digits.size(); at += 3) out += separator + digits.substr(at, 3);
    return out;
}

// Hundredths, rounded half away from zero.
uint64_t Hundredths(double value) {
    return uint64_t(std::llround(std::fabs(value) * 100.0));
}

std::string TwoDecimals(uint64_t hundredths) {
    char text[4];
    std::snprintf(text, sizeof text, "%02u", unsigned(hundredths % 100));
    return text;
}

template <class E>
bool Is(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const E&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

std::string FormatKilobytes(double kilobytes, const NumberSeparators& separators) {
    const uint64_t h = Hundredths(kilobytes);
    const bool negative = kilobytes < 0 && h != 0;
    return (negative ? "-" : "") + Grouped(h / 100, separators.thousands) + separators.decimal +
           TwoDecimals(h) + " KB";
}

std::string FormatRate(double kilobytesPerSecond, const NumberSeparators& separators) {
    const uint64_t h = Hundredths(kilobytesPerSecond);
    const bool negative = kilobytesPerSecond < 0 && h != 0;
    return (negative ? "-" : "") + std::to_string(h / 100) + separators.decimal + TwoDecimals(h) +
           " KB/s";
}

std::string JoinMessages(const std::string& first, const std::string& second) {
    return first + "\r\r" + second;
}

UpdateProcedure::UpdateProcedure(UpdateView& view, Options options)
    : view_(view), options_(std::move(options)) {
    for (TIdHTTP* client : {&IdHTTP1, &quiet_}) {
        client->ConnectTimeout = kNoByteTimeoutMs;
        client->ReadTimeout = kNoByteTimeoutMs;
    }
    report_.ConnectTimeout = kReportTimeoutMs;
    report_.RequestTimeout = kReportTimeoutMs;
    // The read-out follows the transfers of IdHTTP1, in order with the
    // outcome of the job that makes them.
    IdHTTP1.OnWorkBegin = [this](TWorkMode mode, int64_t count) {
        worker_.PostToMain([this, mode, count] { IdHTTP1WorkBegin(mode, count); });
    };
    IdHTTP1.OnWork = [this](TWorkMode mode, int64_t done) {
        const auto at = std::chrono::steady_clock::now();
        worker_.PostToMain([this, mode, done, at] { IdHTTP1Work(mode, done, at); });
    };
    IdHTTP1.OnWorkEnd = [this](TWorkMode mode) {
        worker_.PostToMain([this, mode] { IdHTTP1WorkEnd(mode); });
    };
}

UpdateProcedure::~UpdateProcedure() {
    IdHTTP1.Cancel();
    quiet_.Cancel();
    report_.Cancel();
}

// ---- steps ------------------------------------------------------------------------------

void UpdateProcedure::FormCreate() {
    FNewVersion.clear();
    ResetSteps();
}

void UpdateProcedure::ResetSteps() {
    FFailed = true;
    // A connection left open by an earlier run is closed by the worker,
    // which alone uses the client.
    worker_.Run([this] {
        if (IdHTTP1.Connected()) IdHTTP1.Disconnect();
    });
    for (int step = 0; step < kUpdateStepCount; ++step) view_.SetStepImage(step, siPending);
    view_.Repaint();
    view_.SetConnectEnabled(true);
    FFailed = false;
}

void UpdateProcedure::MarkStep(int index, bool failed) {
    if (!failed) {
        if (index < kUpdateStepCount) view_.SetStepImage(index, siCurrent);
        if (index > 0) view_.SetStepImage(index - 1, siDone);
    } else {
        ClearReadOuts();
        view_.SetConnectEnabled(true);
        for (int step = index; step < kUpdateStepCount; ++step) view_.SetStepImage(step, siFailed);
    }
    view_.Repaint();
}

void UpdateProcedure::ClearReadOuts() {
    view_.SetStatus("");
    view_.SetTransferTexts("", "", "");
    view_.SetGaugeProgress(0);
}

void UpdateProcedure::Message(const char* label) {
    CurrentDialogs().Information(view_.MessageText(label));
}

void UpdateProcedure::ConnectButtonClick() {
    FNewVersion.clear();
    ClearReadOuts();
    ResetSteps();
    view_.SetConnectEnabled(false);
    MarkStep(0, false);
    auto connected = std::make_shared<bool>(false);
    worker_.Run(
        [this, connected] {
            // Leftovers of an earlier run go first.
            PurgeFolder(UpdateFolder());
            try {
                IdHTTP1.Get(options_.baseUrl);
            } catch (...) {
                *connected = IdHTTP1.Connected();
                throw;
            }
            *connected = IdHTTP1.Connected();
        },
        [this, connected](std::exception_ptr error) { ProbeDone(error, *connected); });
}

void UpdateProcedure::ProbeDone(std::exception_ptr error, bool connected) {
    if (!error) {
        view_.SetStatus(view_.MessageText("lblConectado"));
        view_.Repaint();
        MarkStep(1, false);
        SendVersionQuery();
    } else {
        FFailed = true;
        MarkStep(0, true);
        Message("lblErroNaoPossivelEfetuarAtualizacao");
    }
    // Also after a probe that worked, when the service closed the
    // connection after its answer.
    if (!connected) Message("lblNaoHaConexaoComInternet");
}

void UpdateProcedure::SendVersionQuery() {
    const std::string url = VersionQueryUrl(options_.baseUrl, FProduct, FVersion, FAlias, FGuid);
    worker_.Run([this, url] { page_ = quiet_.Get(url); },
                [this](std::exception_ptr error) {
                    if (!error) {
                        WebBrowser1NavigateComplete2(page_);
                        return;
                    }
                    // A browser would have shown its error page; the window
                    // says what went wrong instead of taking that page for an
                    // archive's name.
                    FFailed = true;
                    MarkStep(1, true);
                    ShowException(error);
                });
}

void UpdateProcedure::WebBrowser1NavigateComplete2(const std::string& page) {
    FReply = BodyInnerMarkup(page);
    switch (ClassifyReply(FReply)) {
        case UpdateReply::Nada:
            Message("lblNaoHaAtualizacoesDisponiveis");
            FFailed = true;
            MarkStep(1, true);
            ResetSteps();
            return;
        case UpdateReply::SemPermissao:
            FFailed = true;
            MarkStep(1, true);
            Message("lblClienteSemPermissaoAtualizacoes");
            return;
        case UpdateReply::Erro:
            FFailed = true;
            MarkStep(1, true);
            Message("lblNaoPossivelBaixarArquivoAtualizacao");
            return;
        case UpdateReply::Archive:
            break;
    }
    MarkStep(2, false);
    const std::string url = ArchiveUrl(options_.baseUrl, FProduct, FReply);
    worker_.Run(
        [this, url] {
            std::string buffer;
            signature_.clear();
            try {
                ::mkdir(UpdateFolder().c_str(), 0777);
                IdHTTP1.Get(url, [&](const char* data, size_t size) { buffer.append(data, size); });
                WriteFileAtomically(UpdateFolder() + kUpdateArchiveName, buffer);
                // An archive without a signature beside it is not installed;
                // the installation says so.
                try {
                    signature_ = quiet_.Get(url + kSignatureSuffix);
                } catch (const std::exception&) {
                    signature_.clear();
                }
            } catch (...) {
                if (IdHTTP1.Connected()) IdHTTP1.Disconnect();
                throw;
            }
            if (IdHTTP1.Connected()) IdHTTP1.Disconnect();
        },
        [this](std::exception_ptr error) { DownloadDone(error); });
}

void UpdateProcedure::DownloadDone(std::exception_ptr error) {
    if (!error) {
        InstallUpdate();
        return;
    }
    view_.SetConnectEnabled(true);
    // A download the server ended in an orderly way installs nothing and
    // says nothing.
    if (Is<EIdConnClosedGracefully>(error)) return;
    ShowException(error);
}

// ---- installation -----------------------------------------------------------------------

void UpdateProcedure::InstallUpdate() {
    if (FFailed) {
        view_.SetConnectEnabled(true);
        return;
    }
    installing_ = true;
    view_.SetClosable(false);
    MarkStep(3, false);
    view_.SetStatus(view_.MessageText("lblDescompactando"));
    view_.Repaint();
    const std::string key = options_.publicKey;
    worker_.Run(
        [this, key] {
            const std::string archive = UpdateFolder() + kUpdateArchiveName;
            struct stat st {};
            if (::stat(archive.c_str(), &st) != 0)
                throw EUpdateArchive("The update archive \"" + archive + "\" is missing");
            const SignatureCheck check = CheckArchiveSignature(key, signature_, archive);
            if (!check.ok) throw EUpdateNotSigned(check.reason);
            ExtractUpdateArchive(archive, UpdateFolder());
        },
        [this](std::exception_ptr error) { ExtractDone(error); });
}

void UpdateProcedure::ExtractDone(std::exception_ptr error) {
    if (error) {
        FFailed = true;
        MarkStep(3, true);
        const bool unsigned_ = Is<EUpdateNotSigned>(error);
        LogEvent("Atualização recusada: " + ExceptionText(error));
        CurrentDialogs().Information(
            JoinMessages(view_.MessageText("lblNaoPossivelEfetuarAtualizacao"),
                         view_.MessageText(unsigned_ ? "lblAtualizacaoNaoAssinada"
                                                     : "lblErroDescompactarArquivoAtualizacao")));
        FinishInstallation();
        return;
    }
    MarkStep(4, false);
    const std::string folder = UpdateFolder();
    const std::string program = options_.programFolder;
    const std::string running = options_.runningExecutable;
    worker_.Run([folder, program, running] { InstallFiles(folder, folder, program, running); },
                [this](std::exception_ptr error) { InstallDone(error); });
}

void UpdateProcedure::InstallDone(std::exception_ptr error) {
    if (error) {
        if (Is<EUpdateCancelled>(error))
            Message("lblAtualizacaoCancelada");
        else
            LogEvent("Atualização interrompida: " + ExceptionText(error));
        FFailed = true;
        MarkStep(4, true);
        Message("lblNaoPossivelEfetuarAtualizacao");
        FinishInstallation();
        return;
    }
    MarkStep(5, false);
    // The service learns which version was updated; nobody waits for it.
    const std::string url = InstallReportUrl(options_.baseUrl, FVersion, FProduct, FGuid);
    reportWorker_.Run([this, url] { report_.Get(url); });
    FinishInstallation();
}

void UpdateProcedure::FinishInstallation() {
    if (!FFailed) {
        MarkStep(6, false);
        view_.SetStatus(view_.MessageText("lblConcluido"));
        FNewVersion = NewVersionFromReply(FReply);
        CurrentDialogs().Information(
            JoinMessages(view_.MessageText("lblAtualizacaoConcluidaSucesso"),
                         view_.MessageText("lblReinicieSistemaParaAtualizacoesTenhamEfeito")));
    }
    worker_.Run([this] { PurgeFolder(UpdateFolder()); },
                [this](std::exception_ptr) {
                    installing_ = false;
                    view_.SetClosable(true);
                    view_.SetConnectEnabled(true);
                    view_.CloseWindow();
                });
}

// ---- transfer read-out --------------------------------------------------------------------

void UpdateProcedure::IdHTTP1WorkBegin(TWorkMode, int64_t workCountMax) {
    startTime_ = std::chrono::steady_clock::now();
    view_.SetGaugeMaximum(int64_t(FTotalBytes >> 10));
    FRate = 0;
    FTotalBytes = uint32_t(workCountMax);
    if (workCountMax > 0)
        view_.SetGaugeMaximum(workCountMax);
    else
        view_.SetGaugeMaximum(int64_t(uint32_t(workCountMax) >> 10));
}

void UpdateProcedure::IdHTTP1Work(TWorkMode, int64_t workCount,
                                  std::chrono::steady_clock::time_point at) {
    const double elapsed = std::chrono::duration<double>(at - startTime_).count();
    if (elapsed > 0) FRate = double(workCount) / 1024.0 / elapsed;
    const NumberSeparators separators = view_.Separators();
    view_.SetStatus(view_.MessageText("lblTaxaTransferencia") + " " +
                    FormatRate(FRate, separators));
    view_.SetGaugeMaximum(FTotalBytes);
    view_.SetGaugeProgress(workCount);
    view_.SetTransferTexts(
        FormatKilobytes(FTotalBytes / 1024.0, separators),
        FormatKilobytes(double(workCount) / 1024.0, separators),
        FormatKilobytes(double(int64_t(FTotalBytes) - workCount) / 1024.0, separators));
    view_.Repaint();
}

void UpdateProcedure::IdHTTP1WorkEnd(TWorkMode) {
    view_.SetStatus(view_.MessageText("lblTransferenciaCompleta"));
    FTotalBytes = 0;
    view_.SetGaugeProgress(0);
    FRate = 0;
    view_.SetTransferTexts("", "", "");
    view_.Repaint();
}

}  // namespace zt
