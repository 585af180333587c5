#include "recorder/CrowleyExport.h"

#include <sys/stat.h>

#include <QTimer>
#include <cerrno>
#include <filesystem>

#include "platform/ErrorDisplay.h"
#include "recorder/CrowleyExportNames.h"

namespace zt {

namespace {

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

CrowleyExport::CrowleyExport(std::string exeDir, QObject* parent)
    : QObject(parent), exeDir_(std::move(exeDir)) {
    TriggerGSM.SetInput(&AudioFileGSM);
    TriggerGSM.SetOutput(&ACMConverterGSM);
    ACMConverterGSM.SetOutput(&WaveFileGSM);
    TriggerGSM.SetBufferSize(kBufferSize);
    TriggerGSM.SetTimeFormat(TMMTimeFormats::tfSample);
    ACMConverterGSM.SetQuality(TMMConvertQuality::cqHigh);
    WaveFileGSM.Wave().SetFileMustExist(false);
    AudioFileGSM.SetMpegTrailingHeader(0);
    TriggerGSM.OnStop = [this](TMMDSPComponent*) { Guarded([this] { TriggerGSMStop(); }); };
    // A pump that ends by an error closes without a stop: its file is
    // finished with what it holds and the queue goes on.
    TriggerGSM.OnClose = [this](TMMDSPComponent*) {
        if (running_) Guarded([this] { TriggerGSMStop(); });
    };
}

CrowleyExport::~CrowleyExport() {
    TriggerGSM.OnStop = nullptr;
    TriggerGSM.OnClose = nullptr;
    queue_.clear();
    TriggerGSM.Close();
    WaveFileGSM.Wave().CloseFile();
}

void CrowleyExport::ExportForCrowley(const std::string& finalPath, TDateTime start, TDateTime end,
                                     const std::string& sigla) {
    Request request{finalPath, start, end, sigla};
    // While a segment is exported, or the chooser is open (its own event
    // loop delivers the next finished segments), or segments wait for a
    // format, the segment takes its place in the queue.
    if (running_ || choosing_ || !queue_.empty()) {
        queue_.push_back(std::move(request));
        // A newly finished segment asks again for a format refused before.
        awaitingChoice_ = false;
        if (!running_ && !choosing_) StartNext();
        return;
    }
    Begin(request);
}

void CrowleyExport::Begin(const Request& request) {
    if (!FileExists(request.finalPath)) return;
    // The decoder need deliver no more than the stored format uses: a
    // mono format takes a down-mix, a narrow-band one a half or quarter
    // rate synthesis (still above the format's rate, so the converter
    // only has a small step left). Without a stored format the chooser is
    // offered the recording as it is.
    WaveFormatPtr stored = TMMACM::LoadFormat(kFormatKey, kFormatValue);
    AudioFileGSM.SetMpegChannelMode(stored && stored->nChannels == 1 ? TMpegChannelMode::cmDownMix
                                                                     : TMpegChannelMode::cmBoth);
    AudioFileGSM.SetMpegMinimumRate(stored ? int(stored->nSamplesPerSec) : 0);
    AudioFileGSM.SetFileName(request.finalPath);

    if (!stored) {
        bool chosen = false;
        choosing_ = true;
        try {
            chosen = AcmGSM.Execute(AudioFileGSM.GetWaveFormat(), kChooserTitle);
        } catch (...) {
            choosing_ = false;
            throw;
        }
        choosing_ = false;
        if (chosen) {
            TMMACM::StoreFormat(AcmGSM.Format(), kFormatKey, kFormatValue);
            // As a later export will read it back.
            stored = TMMACM::LoadFormat(kFormatKey, kFormatValue);
        }
        if (!stored) {
            // No format, no export: the segment waits, with those finished
            // meanwhile, and the chooser is asked again when the next one
            // finishes. (Writing the recording uncompressed instead would
            // fill the recording drive with files nothing purges.)
            queue_.push_front(request);
            awaitingChoice_ = true;
            return;
        }
    }

    const CrowleyExportTarget target =
        MakeCrowleyExportTarget(exeDir_, request.sigla, request.start, request.end);
    std::error_code ec;
    std::filesystem::create_directories(target.folder, ec);

    ACMConverterGSM.SetWaveFormat(stored.get());

    WaveFileGSM.Wave().CreateFile(target.Path(), ACMConverterGSM.GetWaveFormat());
    currentWav_ = target.Path();
    running_ = true;
    try {
        TriggerGSM.Start();
    } catch (...) {
        running_ = false;
        WaveFileGSM.Wave().CloseFile();
        throw;
    }
}

void CrowleyExport::TriggerGSMStop() {
    if (!running_) return;
    running_ = false;
    WaveFileGSM.Wave().CloseFile();
    if (OnExported) OnExported(currentWav_);
    QTimer::singleShot(0, this, [this] { StartNext(); });
}

void CrowleyExport::StartNext() {
    while (!running_ && !choosing_ && !awaitingChoice_ && !queue_.empty()) {
        const Request next = queue_.front();
        queue_.pop_front();
        Guarded([&] { Begin(next); });
    }
    if (!Busy() && OnIdle) OnIdle();
}

}  // namespace zt
