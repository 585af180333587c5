#pragma once
// The update procedure that the update window shows: probe the service,
// ask for a newer build, download its archive and signature, check the
// signature, unpack the archive and install its files, step by step in a
// list of six, with a live read-out of the transfer.
//
// The window (UpdateView) shows; this object decides. Its handlers keep the
// names the window gives them. Network and file work runs on the update
// worker thread and its outcome comes back to the main thread in the order
// a blocking procedure would meet it, so each step reads like the blocking
// one it replaces: a handler starts a job and the job's completion goes on.
//
// Mended on the way: an archive is installed only when its detached
// signature checks against the maker's key; a transfer that gets no byte
// for 60 s ends with an error; the window cannot be closed while files are
// being installed.
//
// Threads: main thread, except the jobs (worker thread) and the HTTP
// clients' progress callbacks (worker thread), which post to the main
// thread.

#include <chrono>
#include <cstdint>
#include <exception>
#include <string>

#include "update/HttpClient.h"
#include "update/UpdateWorker.h"

namespace zt {

// The images of the step list.
enum TStepImage { siPending = 0, siDone = 1, siFailed = 2, siCurrent = 3 };
inline constexpr int kUpdateStepCount = 6;

// The separators of the platform's number format.
struct NumberSeparators {
    std::string thousands = ",";
    std::string decimal = ".";
};
// A byte count's read-out in KB: thousands grouped, at least four integer
// digits, two decimals ("0,001.50 KB" for 1536 bytes).
std::string FormatKilobytes(double kilobytes, const NumberSeparators& separators);
// A rate with two decimals: "12.34 KB/s".
std::string FormatRate(double kilobytesPerSecond, const NumberSeparators& separators);
// Two message texts joined the way the update window joins them.
std::string JoinMessages(const std::string& first, const std::string& second);

class UpdateView {
public:
    virtual ~UpdateView() = default;
    virtual void SetStepImage(int step, TStepImage image) = 0;
    virtual void SetStatus(const std::string& text) = 0;  // LStatus
    virtual void SetTransferTexts(const std::string& tamanho, const std::string& baixado,
                                  const std::string& restante) = 0;  // LTamanho...
    virtual void SetGaugeMaximum(int64_t maximum) = 0;
    virtual void SetGaugeProgress(int64_t progress) = 0;
    virtual void SetConnectEnabled(bool enabled) = 0;  // ConnectButton
    // False while files are being installed: the window refuses to close.
    virtual void SetClosable(bool closable) = 0;
    // The caption of one of the window's message labels.
    virtual std::string MessageText(const char* label) const = 0;
    virtual NumberSeparators Separators() const = 0;
    // Repaints the step list and the read-outs at once.
    virtual void Repaint() = 0;
    virtual void CloseWindow() = 0;
};

class UpdateProcedure {
public:
    // How long a transfer of the update window may wait for a byte.
    static constexpr int kNoByteTimeoutMs = 60000;
    // The installation report is not awaited, but it must not hang either.
    static constexpr int kReportTimeoutMs = 15000;

    struct Options {
        std::string programFolder;  // the installation, ending with "/"
        std::string baseUrl;        // UpdateBaseUrl()
        std::string publicKey;      // the maker's minisign key
        // The file the running program was started from (ExecutablePath()),
        // which an installation never deletes.
        std::string runningExecutable;
    };

    UpdateProcedure(UpdateView& view, Options options);
    // Cancels the running requests (within about 100 ms) and waits for the
    // running job; nothing reaches the view afterwards.
    ~UpdateProcedure();
    UpdateProcedure(const UpdateProcedure&) = delete;
    UpdateProcedure& operator=(const UpdateProcedure&) = delete;

    // ---- identity and state (main thread) -----------------------------------------------
    std::string FProduct, FAlias, FGuid, FVersion;
    std::string FReply;
    std::string FNewVersion;
    bool FFailed = false;
    uint32_t FTotalBytes = 0;
    double FRate = 0;

    std::string UpdateFolder() const { return options_.programFolder + "atualizacoes/"; }
    // Work is queued, running or not yet handled.
    bool Running() const { return worker_.Busy(); }
    bool Installing() const { return installing_; }

    // ---- handlers -------------------------------------------------------------------------
    void FormCreate();
    void ResetSteps();
    void MarkStep(int index, bool failed);
    void ConnectButtonClick();
    void SendVersionQuery();
    void WebBrowser1NavigateComplete2(const std::string& page);
    void InstallUpdate();
    void IdHTTP1WorkBegin(TWorkMode mode, int64_t workCountMax);
    void IdHTTP1Work(TWorkMode mode, int64_t workCount, std::chrono::steady_clock::time_point at);
    void IdHTTP1WorkEnd(TWorkMode mode);

private:
    void ProbeDone(std::exception_ptr error, bool connected);
    void DownloadDone(std::exception_ptr error);
    void ExtractDone(std::exception_ptr error);
    void InstallDone(std::exception_ptr error);
    void FinishInstallation();
    void Message(const char* label);
    void ClearReadOuts();

    UpdateView& view_;
    Options options_;
    bool installing_ = false;
    std::chrono::steady_clock::time_point startTime_;  // FStartTime

    // Used by the worker thread only (Cancel from the main thread): the
    // transfers with their read-out, and the quiet requests that a browser
    // made before (the version query, the signature).
    TIdHTTP IdHTTP1;
    TIdHTTP quiet_;
    TIdHTTP report_;
    std::string page_;       // the version query's page, for its completion
    std::string signature_;  // the archive's signature text, empty when none
    UpdateWorker worker_;
    UpdateWorker reportWorker_;
};

}  // namespace zt
