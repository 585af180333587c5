#include "recorder/RecordingSession.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "audio/capture/WaveIn.h"
#include "audio/encode/MP3Encoder.h"
#include "platform/Clock.h"
#include "platform/Convert.h"
#include "platform/ErrorDisplay.h"
#include "platform/EventLog.h"
#include "platform/Exceptions.h"
#include "platform/ResStrings.h"
#include "recorder/AudioLoss.h"

namespace zt {

namespace {

// One second as a day fraction.
constexpr double kSecond = 1.0 / kSecondsPerDay;

std::string OneLine(std::string text) {
    for (const char* pair : {"\n\r", "\r\n"}) {
        for (size_t at; (at = text.find(pair)) != std::string::npos;) text.replace(at, 2, " ");
    }
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

// The message of an exception, on one line (the components join a step and
// its reason with a line break).
std::string OneLineMessage(std::exception_ptr error) {
    std::string text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = LoadResString(msg::UnknownReason);
    }
    return OneLine(text);
}

// A rename or a copy that failed is written to the event log and raised, so
// the error display the completion runs in shows it the moment it happens.
void ReportFinishFailure(const SegmentFinish& finish) {
    const std::string text = FinishFailureText(finish);
    if (text.empty()) return;
    LogEvent(text);
    throw Exception(text);
}

}  // namespace

RecordingSession::RecordingSession(RecorderSettings& settings, TMMCustomWaveIn& waveIn,
                                   TMMMP3Encoder& mp3, RecordingView& view, QObject* parent)
    : QObject(parent), settings_(settings), waveIn_(waveIn), mp3_(mp3), view_(view) {
    worker_ = std::make_unique<FileWorker>();
    timerRecord_.setObjectName("TimerRecord");
    timerRecord_.setInterval(segmentIntervalMs_);
    connect(&timerRecord_, &QTimer::timeout, this, Guard([this] { TimerRecordTimer(); }));

    timerMataArquivos_.setObjectName("TimerMataArquivos");
    timerMataArquivos_.setInterval(kRetentionIntervalMs);
    connect(&timerMataArquivos_, &QTimer::timeout, this,
            Guard([this] { TimerMataArquivosTimer(); }));
    timerMataArquivos_.start();

    spaceRetry_.setObjectName("SpaceRetry");
    spaceRetry_.setInterval(kSpaceRetryMs);
    connect(&spaceRetry_, &QTimer::timeout, this, Guard([this] { SpaceRetryTimer(); }));

    captureRetry_.setObjectName("CaptureRetry");
    captureRetry_.setInterval(kCaptureRetryMs);
    connect(&captureRetry_, &QTimer::timeout, this, Guard([this] { CaptureRetryTimer(); }));

    waveIn_.OnStart = [this](TMMDSPComponent*) { WaveInStart(); };
    waveIn_.OnStop = [this](TMMDSPComponent*) { WaveInStop(); };
    waveIn_.OnBufferReady = [this](TMMDSPComponent*, PWaveHdr) { WaveInBufferReady(); };
    waveIn_.OnLoss = [this](TMMDSPComponent*, const WaveInLoss& loss) { WaveInAudioLost(loss); };
}

RecordingSession::~RecordingSession() {
    // Segments still being renamed or copied are finished first.
    worker_.reset();
    waveIn_.OnStart = nullptr;
    waveIn_.OnStop = nullptr;
    waveIn_.OnBufferReady = nullptr;
    waveIn_.OnLoss = nullptr;
}

bool RecordingSession::IsRecording() const {
    return waveIn_.IsStarted();
}

std::string RecordingSession::InProgressPath() const {
    return mp3_.IsOpened() ? mp3_.FileName() : std::string();
}

void RecordingSession::WaitForFileWork() {
    worker_->Drain();
}

int RecordingSession::FileWorkPending() const {
    return worker_->Pending();
}

// ---- start, stop, rotation ------------------------------------------------------

void RecordingSession::BGravarClick() {
    // A second start while recording (the tray's "Gravar" stays enabled
    // after a start from the window) would restart the elapsed count and
    // rename the encoder's open file; there is nothing to start.
    if (IsRecording()) return;
    wanted_ = true;
    const ReportStateOnExit report{this};
    try {
        // A card plugged in since the list was read is found.
        if ((waitingForCapture_ || waveIn_.NumDevs() == 0) && !waveIn_.IsOpened())
            waveIn_.RescanDevices();
        BeginSegment();
        OpenAndStart();
    } catch (...) {
        // Reported by the caller's error display; from now on the device is
        // tried every 5 s.
        WaitForCapture(OneLineMessage(std::current_exception()));
        throw;
    }
    StopWaitingForCapture();
}

void RecordingSession::BeginSegment() {
    Clock& clock = CurrentClock();
    segmentStartTime_ = clock.Time();
    segmentStartMono_ = clock.MonotonicSeconds();
    segmentElapsed_ = 0;
    ApplyEncoderFormat();
    PrepareSegmentFile();
    segmentStartNow_ = clock.Now();
}

void RecordingSession::BStopClick() {
    Clock& clock = CurrentClock();
    wanted_ = false;
    waitingForSpace_ = false;
    spaceRetry_.stop();
    waitingForCapture_ = false;
    captureRetry_.stop();
    FoldCount();
    CloseChain();
    timerRecord_.stop();
    UpdateRecordButtons();
    inProgress_.Clear();

    previous_ = current_;
    // Finished once: a second stop finds no segment.
    current_ = SegmentFile{};
    endStamp_ = SegmentStamp(clock.Now());
    segmentEndNow_ = clock.Now();
    const ReportStateOnExit report{this};
    UpdateAlarm();
    FinishPreviousSegment();
}

void RecordingSession::TimerRecordTimer() {
    // Waiting for the device, the retry begins the next segment.
    if (waitingForCapture_) return;
    // Waiting for room on the drive, there is no segment to cut: the next
    // one begins when the drive has room again.
    if (waitingForSpace_ && IsRecording()) {
        RestartSegmentTimer();
        return;
    }
    Clock& clock = CurrentClock();
    previous_ = current_;
    endStamp_ = SegmentStamp(clock.Now());
    segmentEndNow_ = clock.Now();
    FoldCount();

    // A running capture is never stopped for a cut: the encoder ends its
    // file and starts the next one between two buffers, so no sample falls
    // between the segments. Only a capture that is not running (a start or
    // a cut that failed) is opened afresh.
    const bool running = IsRecording();
    std::exception_ptr openError;
    TDateTime newStart = clock.Now();
    rotating_ = true;
    try {
        if (!running) CloseChain();
        segmentStartTime_ = clock.Time();
        segmentStartMono_ = clock.MonotonicSeconds();
        ApplyEncoderFormat();
        PrepareSegmentFile();
        newStart = clock.Now();
        if (running)
            CutToCurrentSegment();
        else
            OpenAndStart();
    } catch (...) {
        openError = std::current_exception();
    }
    rotating_ = false;
    // The old file is closed now: it may be renamed, copied or deleted.
    if (previous_.ProvisionalPath() != current_.ProvisionalPath())
        inProgress_.Release(previous_.ProvisionalPath());

    // The old segment is closed: finish it whatever became of the new one.
    std::exception_ptr finishError;
    try {
        FinishPreviousSegment();
    } catch (...) {
        finishError = std::current_exception();
    }
    segmentStartNow_ = newStart;
    // No capture runs now: the device is tried every 5 s from here on.
    if (openError && !IsRecording()) WaitForCapture(OneLineMessage(openError));
    ReportRecordingState();
    if (openError) std::rethrow_exception(openError);
    if (finishError) std::rethrow_exception(finishError);
}

void RecordingSession::FoldCount() {
    // While the capture runs, the count is brought up to this moment, so a
    // cut loses none of the time since the last buffer.
    if (IsRecording())
        segmentElapsed_ =
            std::max(0.0, CurrentClock().MonotonicSeconds() - segmentStartMono_) / kSecondsPerDay;
    totalElapsed_ += segmentElapsed_;
    segmentElapsed_ = 0;
}

void RecordingSession::CutToCurrentSegment() {
    try {
        mp3_.CutTo(current_.ProvisionalPath());
    } catch (...) {
        // Without a file to write, recording stops as a failed start
        // leaves it; the segment timer tries again at its next tick. An
        // error that only concerned the old file leaves the new one running.
        if (!mp3_.IsStreamOpen()) CloseChain();
        throw;
    }
}

void RecordingSession::TimerMataArquivosTimer() {
    PurgeOldRecordings();
}

void RecordingSession::FinishOrphanSegments() {
    struct Finished {
        SegmentFinish finish;
        TDateTime start = 0, end = 0;
    };
    const std::string local = settings_.Local;
    const SegmentFinishSettings finish = FinishSettingsOf(settings_);
    const InProgressTest inProgress = inProgress_.Test();
    worker_->Run<std::vector<Finished>>(
        [local, finish, inProgress] {
            std::vector<Finished> done;
            // An empty one is removed by the finishing itself.
            for (const OrphanSegment& orphan : FindOrphanSegments(local, inProgress))
                done.push_back({FinishSegmentFiles(orphan.segment, orphan.endStamp, finish),
                                orphan.start, orphan.end});
            return done;
        },
        [this](std::vector<Finished> done) {
            lastOrphans_.clear();
            for (Finished& f : done) {
                // One export's error does not keep the others from theirs.
                Guarded([&] { HandToExport(f.finish, f.start, f.end); });
                Guarded([&] { ReportFinishFailure(f.finish); });
                lastOrphans_.push_back(f.finish);
            }
        });
}

void RecordingSession::PrepareSegmentFile() {
    current_ = zt::PrepareSegmentFile(settings_.Local, CurrentClock().Now());
    // Protected before the encoder creates it: the worker's deletions must
    // never take the file being written.
    inProgress_.Protect(current_.ProvisionalPath());
    // While a file is open (a cut) the encoder takes the name with the cut.
    if (!mp3_.IsStreamOpen()) mp3_.SetFileName(current_.ProvisionalPath());
    RestartSegmentTimer();
}

void RecordingSession::RestartSegmentTimer() {
    timerRecord_.stop();
    // A QTimer of interval 0 would fire on every pass of the event loop;
    // TempoRec "0" means one segment that runs until the stop.
    if (segmentIntervalMs_ > 0) timerRecord_.start(segmentIntervalMs_);
}

void RecordingSession::SetSegmentInterval(int milliseconds) {
    segmentIntervalMs_ = milliseconds;
    if (milliseconds > 0) {
        timerRecord_.setInterval(milliseconds);  // restarts an active timer
    } else {
        timerRecord_.stop();
    }
}

void RecordingSession::OpenAndStart() {
    if (mp3_.FileName().empty()) return;
    waveIn_.Open();
    waveIn_.Start();
}

void RecordingSession::CloseChain() {
    // The stop notification closes the capture (WaveInStop); a capture left
    // open without running (a start that failed half-way) is closed here.
    const bool wasClosing = std::exchange(closingChain_, true);
    struct Restore {
        bool& flag;
        bool value;
        ~Restore() { flag = value; }
    } restore{closingChain_, wasClosing};
    waveIn_.Stop();
    if (waveIn_.IsOpened()) waveIn_.Close();
}

void RecordingSession::FinishPreviousSegment() {
    // The rename and the copy run on the file worker, after those of every
    // earlier segment; the export is handed the segment's own start and end
    // once its file has its final name.
    const SegmentFile segment = previous_;
    const std::string endStamp = endStamp_;
    const SegmentFinishSettings finish = FinishSettingsOf(settings_);
    const TDateTime start = segmentStartNow_, end = segmentEndNow_;
    const FileWorkHook hook = fileWorkHook_;
    worker_->Run<SegmentFinish>(
        [segment, endStamp, finish, hook] {
            if (hook) hook(FileWork::Finish);
            return FinishSegmentFiles(segment, endStamp, finish);
        },
        [this, start, end](SegmentFinish result) {
            lastFinish_ = std::move(result);
            ++finishedSegments_;
            Guarded([&] { HandToExport(lastFinish_, start, end); });
            ReportFinishFailure(lastFinish_);
        });
}

void RecordingSession::HandToExport(SegmentFinish& finish, TDateTime start, TDateTime end) {
    if (!finish.exportDue || !exportHook_) return;
    finish.exported = true;
    exportHook_(finish.finalPath, start, end);
}

// ---- capture notifications ------------------------------------------------------------

void RecordingSession::WaveInStart() {
    view_.ShowRecordButtons(true);
    view_.CaptureStarted();
    ReportRecordingState();
}

void RecordingSession::WaveInStop() {
    // A stop nobody asked for (the device failed, a handler failed): the
    // recording is still wanted. The segment is finished once the chain has
    // closed its file.
    if (wanted_ && !closingChain_ && !waitingForCapture_) {
        waitingForCapture_ = true;
        QTimer::singleShot(0, this, Guard([this] { CaptureEnded(); }));
    }
    view_.ShowRecordButtons(waitingForCapture_);
    view_.CaptureStopped();
    waveIn_.Close();
    ReportRecordingState();
}

void RecordingSession::CaptureEnded() {
    // The operator stopped meanwhile, or a start already succeeded.
    if (!wanted_ || !waitingForCapture_ || IsRecording()) return;
    if (waveIn_.IsOpened()) CloseChain();
    std::string reason = waveIn_.LastErrorText();
    if (reason.empty()) reason = LoadResString(msg::CaptureStopped);
    waitingForCapture_ = false;  // entered properly below
    WaitForCapture(OneLine(reason));
}

void RecordingSession::WaitForCapture(const std::string& reason) {
    if (!wanted_) return;
    FoldCount();
    EndSegmentInProgress();
    waitingForSpace_ = false;
    spaceRetry_.stop();
    timerRecord_.stop();
    const bool entering = !waitingForCapture_ || !captureRetry_.isActive();
    waitingForCapture_ = true;
    if (entering || reason != captureReason_)
        LogEvent("Gravação interrompida: " + reason + ". Nova tentativa a cada 5 segundos.");
    captureReason_ = reason;
    captureRetry_.start();
    view_.ShowRecordButtons(true);
    UpdateAlarm();
    ReportRecordingState();
}

void RecordingSession::StopWaitingForCapture() {
    if (!waitingForCapture_) return;
    waitingForCapture_ = false;
    captureRetry_.stop();
    captureReason_.clear();
    LogEvent("Gravação retomada em \"" + current_.ProvisionalPath() + "\".");
    UpdateAlarm();
    ReportRecordingState();
}

void RecordingSession::CaptureRetryTimer() {
    if (!wanted_ || !waitingForCapture_ || IsRecording()) {
        StopWaitingForCapture();
        return;
    }
    if (waveIn_.IsOpened()) CloseChain();
    waveIn_.RescanDevices();
    // Probed first: a device still missing fires no error event and shows
    // nothing; the incident was reported when it began.
    std::string refusal = waveIn_.OpenRefusal();
    if (refusal.empty()) {
        try {
            BeginSegment();
            OpenAndStart();
            if (IsRecording()) {
                StopWaitingForCapture();
                return;
            }
            refusal = LoadResString(msg::CaptureDidNotStart);
        } catch (...) {
            refusal = OneLineMessage(std::current_exception());
        }
        if (waveIn_.IsOpened()) CloseChain();
    }
    WaitForCapture(OneLine(refusal));
}

void RecordingSession::EndSegmentInProgress() {
    if (current_.Empty() || mp3_.IsStreamOpen()) return;
    Clock& clock = CurrentClock();
    const SegmentFile segment = std::exchange(current_, SegmentFile{});
    inProgress_.Release(segment.ProvisionalPath());
    if (!SegmentPathTaken(segment.ProvisionalPath())) return;
    previous_ = segment;
    endStamp_ = SegmentStamp(clock.Now());
    segmentEndNow_ = clock.Now();
    FinishPreviousSegment();
}

void RecordingSession::UpdateAlarm() {
    std::string alarm;
    if (wanted_ && waitingForCapture_)
        alarm = FormatResString(msg::NotRecordingRetrying, {captureReason_});
    else if (wanted_ && waitingForSpace_)
        alarm = FormatResString(msg::NotRecordingNoSpace, {spaceReason_});
    if (alarm == alarm_) return;
    alarm_ = alarm;
    view_.ShowRecordingAlarm(alarm_);
}

void RecordingSession::CheckEncoderWrites() {
    if (waitingForSpace_ || !mp3_.WriteFailed() || current_.Empty()) return;
    const std::string path = current_.ProvisionalPath();
    const std::string reason = std::strerror(mp3_.WriteError());
    waitingForSpace_ = true;
    // What the file holds is a segment like any other: it ends here.
    Clock& clock = CurrentClock();
    previous_ = current_;
    current_ = SegmentFile{};
    endStamp_ = SegmentStamp(clock.Now());
    segmentEndNow_ = clock.Now();
    inProgress_.Release(previous_.ProvisionalPath());
    FinishPreviousSegment();
    spaceRetry_.start();
    spaceReason_ = FormatResString(msg::WriteFailed, {path, reason});
    const std::string text = FormatResString(msg::WriteFailedWillResume, {path, reason});
    LogEvent(text);
    UpdateAlarm();
    // Shown from the event loop, not inside the capture's buffer handler.
    QTimer::singleShot(0, this,
                       [text] { ShowException(std::make_exception_ptr(Exception(text))); });
}

void RecordingSession::SpaceRetryTimer() {
    if (!waitingForSpace_ || !IsRecording()) {
        waitingForSpace_ = false;
        spaceRetry_.stop();
        UpdateAlarm();
        return;
    }
    const std::optional<DiskSpace> space = MeasureDiskSpace(settings_.Local);
    if (!space || space->freeBytes < kResumeFreeBytes) return;
    Clock& clock = CurrentClock();
    PrepareSegmentFile();
    segmentStartNow_ = clock.Now();
    try {
        mp3_.CutTo(current_.ProvisionalPath());
    } catch (...) {
        // Not yet: the next retry tries again.
        inProgress_.Release(current_.ProvisionalPath());
        current_ = SegmentFile{};
        return;
    }
    waitingForSpace_ = false;
    spaceRetry_.stop();
    LogEvent("Gravação retomada em \"" + current_.ProvisionalPath() + "\".");
    UpdateAlarm();
}

void RecordingSession::WaveInAudioLost(const WaveInLoss& loss) {
    const WAVEFORMATEX* format = waveIn_.GetWaveFormat();
    const std::string text = AudioLossText(loss, format ? format->nSamplesPerSec : 0);
    LogEvent(text);
    ++lossesReported_;
    ShowException(std::make_exception_ptr(Exception(text)));
}

void RecordingSession::ReportRecordingState() {
    if (rotating_) return;
    const bool recording = IsRecording() || (wanted_ && waitingForCapture_);
    if (recording == reportedRecording_) return;
    reportedRecording_ = recording;
    view_.RecordingStateChanged(recording);
}

void RecordingSession::UpdateRecordButtons() {
    view_.ShowRecordButtons(IsRecording() || (wanted_ && waitingForCapture_));
}

void RecordingSession::WaveInBufferReady() {
    Clock& clock = CurrentClock();
    const TDateTime t = clock.Time();
    // Recorded time is measured on the monotonic clock: a clock set back or
    // forward (NTP, the change of summer time) neither adds nor loses time.
    const double mono = clock.MonotonicSeconds();
    segmentElapsed_ = std::max(0.0, mono - segmentStartMono_) / kSecondsPerDay;

    TDateTime sum = totalElapsed_ + segmentElapsed_;
    std::string shown = FormatTime(sum);

    if (FormatTime(t) == "23:59:59") PurgeOldRecordings();

    // A full day: the buffer whose read-out shows "23:59:59" counts it and
    // keeps that read-out; the count restarts there. When no buffer saw
    // that second (the main thread was held up across it, or a stall or a
    // cut fell on it), the count has gone past it: the day counts all the
    // same, every one of them if the stall was longer, and the count goes
    // on from where "23:59:59" would have restarted it.
    const TDateTime lastSecond = 1.0 - kSecond;
    if (sum >= lastSecond) {
        const bool seen = shown == "23:59:59";
        TDateTime carry = sum;
        while (carry >= lastSecond) {
            ++dayCount_;
            carry -= lastSecond;
        }
        totalElapsed_ = seen ? 0 : carry;
        segmentElapsed_ = 0;
        segmentStartMono_ = mono;
        segmentStartTime_ = t;
        if (!seen) shown = FormatTime(carry);
    }

    view_.ShowElapsed(shown, PadLeft(IntToStr(dayCount_), '0', 2));

    if (!IsRecording()) return;
    disk_ = MeasureDiskFigures(settings_.Local);
    if (disk_) {
        view_.ShowDiskFigures(MegabytesText(disk_->freeMB), MegabytesText(disk_->UsedMB()),
                              UsedPercentPerBuffer(*disk_));
    } else {
        view_.ShowDiskFigures(kUnmeasuredMegabytes, kUnmeasuredMegabytes, 0);
    }
    CheckEncoderWrites();
    std::optional<int64_t> freeMB;
    if (disk_) freeMB = disk_->freeMB;
    // Converted here, on every buffer: a malformed value is this handler's
    // error. The listing and the deletion run on the file worker, one step
    // at a time: a step is not queued while the last one is still waiting.
    const int32_t minimum = StrToInt(settings_.MBLivres);
    if (!GuardWouldAct(minimum, freeMB) || guardQueued_) return;
    guardQueued_ = true;
    const std::string local = settings_.Local;
    const FileWorkHook hook = fileWorkHook_;
    const InProgressTest inProgress = inProgress_.Test();
    worker_->Run<std::string>(
        [local, minimum, freeMB, hook, inProgress] {
            try {
                if (hook) hook(FileWork::Guard);
                return GuardFreeSpace(local, minimum, freeMB, inProgress);
            } catch (...) {
                return std::string();  // nothing deleted; the next buffer tries again
            }
        },
        [this](std::string deleted) {
            guardQueued_ = false;
            lastGuardDeletion_ = std::move(deleted);
        });
}

void RecordingSession::ShowDiskFiguresOnShow() {
    if (settings_.Local.empty()) return;
    const std::optional<DiskFigures> figures = MeasureDiskFigures(settings_.Local);
    if (figures) {
        view_.ShowDiskFigures(MegabytesText(figures->freeMB), MegabytesText(figures->UsedMB()),
                              UsedPercentOnShow(*figures));
    } else {
        view_.ShowDiskFigures(kUnmeasuredMegabytes, kUnmeasuredMegabytes, 0);
    }
}

// ---- format and retention ---------------------------------------------------------

void RecordingSession::ApplyEncoderFormat() {
    ApplyEncoderFormat(EncoderFormatFromSetting(settings_.Formato));
}

void RecordingSession::ApplyEncoderFormat(const EncoderFormatChoice& choice) {
    mp3_.SetBitrate(choice.bitrate);
    view_.ShowFormat(EncoderFormatBanner(choice, mp3_.ChannelMode() == TMMChannelMode::cmStereo));
}

void RecordingSession::PurgeOldRecordings() {
    // Passes asked for while one is still waiting add nothing (the nightly
    // trigger asks on every buffer of the last second of the day).
    if (retentionQueued_) return;
    retentionQueued_ = true;
    const std::string local = settings_.Local, diasRec = settings_.DiasRec;
    const TDateTime now = CurrentClock().Now();
    const FileWorkHook hook = fileWorkHook_;
    const InProgressTest inProgress = inProgress_.Test();
    struct Outcome {
        RetentionResult result;
        std::exception_ptr error;  // a malformed DiasRec
    };
    worker_->Run<Outcome>(
        [local, diasRec, now, hook, inProgress] {
            Outcome out;
            try {
                if (hook) hook(FileWork::Retention);
                out.result = zt::PurgeOldRecordings(local, diasRec, now, inProgress);
            } catch (...) {
                out.error = std::current_exception();
            }
            return out;
        },
        [this](Outcome outcome) {
            retentionQueued_ = false;
            ++retentionPasses_;
            lastRetention_ = std::move(outcome.result);
            // Shown by the error display the completion runs in.
            if (outcome.error) std::rethrow_exception(outcome.error);
        });
}

}  // namespace zt
