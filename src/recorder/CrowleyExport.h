#pragma once
// The WAV export of finished segments for the monitoring firm.
//
// Every finished segment, when Crowley is "S", is decoded, converted into
// the format the operator chose once (kept in the per-user store) and
// written as a WAV file into audiomedia/<station>/<yyyy-mm-dd>/, by the
// export chain AudioFileGSM -> TriggerGSM -> ACMConverterGSM -> WaveFileGSM,
// whose pump works on its own thread while recording goes on.
//
// One export runs at a time. A segment that finishes while the previous
// export still runs waits in a queue with its own names and is exported
// right after it, so no segment is dropped or mixed into another's file.
// An export that ends by an error (the pump closes) is finished with what
// its file holds and the queue goes on.
//
// The first export of a user account asks for the format (the chooser,
// titled "Escolha o formato desejado", starting from the segment's own
// format). One chooser at a time: segments finished while it is open wait
// in the queue. A cancelled choice stores nothing and exports nothing: the
// segments wait, and the chooser is asked again when the next segment
// finishes; once a format is chosen, every waiting segment is exported in
// order with its own names.
//
// Threads: main thread. ExportForCrowley is called by the recording
// session; the pump's stop and close notifications reach the main thread
// through the event loop (TriggerGSMStop).

#include <QObject>
#include <deque>
#include <functional>
#include <string>

#include "audio/convert/Converter.h"
#include "audio/convert/FormatChooserComponent.h"
#include "audio/files/AudioFile.h"
#include "audio/files/WaveFile.h"
#include "audio/pump/Trigger.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"

namespace zt {

class CrowleyExport : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kFormatKey = "SOFTWARE\\Zelta Tresona";
    static constexpr const char* kFormatValue = "Formato";
    static constexpr const char* kChooserTitle = "Escolha o formato desejado";
    static constexpr int kBufferSize = 32768;

    explicit CrowleyExport(std::string exeDir = ExecutableDir(), QObject* parent = nullptr);
    ~CrowleyExport();
    CrowleyExport(const CrowleyExport&) = delete;
    CrowleyExport& operator=(const CrowleyExport&) = delete;

    // Exports the finished segment at `finalPath` (nothing when it does not
    // exist) named by its start and end and the station code. Runs the
    // export's first steps at once when idle (their errors propagate), or
    // queues it.
    void ExportForCrowley(const std::string& finalPath, TDateTime start, TDateTime end,
                          const std::string& sigla);
    // The pump's end of data: the WAV file is finished; the next waiting
    // export starts from the event loop (not inside the pump's own stop).
    void TriggerGSMStop();

    // An export runs, the chooser is open, or segments wait to be exported
    // (not those that wait for a format after a cancelled choice).
    bool Busy() const { return running_ || choosing_ || (!queue_.empty() && !awaitingChoice_); }
    size_t Waiting() const { return queue_.size(); }
    // Called on the main thread each time an export's file is finished,
    // with its path, and when nothing is left to do.
    std::function<void(const std::string& wavPath)> OnExported;
    std::function<void()> OnIdle;

    TMMAudioFile AudioFileGSM{"AudioFileGSM"};
    TMMTrigger TriggerGSM{"TriggerGSM"};
    TMMACMConverter ACMConverterGSM{"ACMConverterGSM"};
    TMMWaveFile WaveFileGSM{"WaveFileGSM"};
    TMMACM AcmGSM;

private:
    struct Request {
        std::string finalPath;
        TDateTime start = 0, end = 0;
        std::string sigla;
    };
    void Begin(const Request& request);
    void Finish();
    void StartNext();

    std::string exeDir_;
    std::deque<Request> queue_;
    bool running_ = false;
    bool choosing_ = false;        // the chooser is open
    bool awaitingChoice_ = false;  // the last choice was cancelled
    std::string currentWav_;
};

}  // namespace zt
