#pragma once
// The recording session: what "record" and "stop" do to the capture chain
// (WaveIn -> ... -> MP3), the cut of the recording into segments every
// TempoRec minutes, the bookkeeping of every captured buffer (elapsed time,
// completed days, disk figures, the nightly retention pass, the low-space
// guard) and the retention timer.
//
// The main window owns the chain's components and the widgets; it hands the
// components to the session and shows what the session reports through
// RecordingView. The window's handlers (BGravarClick, BStopClick, ...) call
// the methods of the same name here.
//
// Elapsed time is a sum of counts: every stop and every rotation fold the
// running count (FSegmentElapsed) into FTotalElapsed, and every start,
// rotation and day rollover restart the count at the current time of day.
// The read-out therefore sums the recording time over every start and stop
// since the program started and runs 00:00:00 ... 23:59:59; the day counter
// below it counts completed 24-hour periods. A count that has been folded is
// set back to zero, so a stop while idle adds nothing.
//
// Recorded time is measured on the monotonic clock, so a clock stepped back
// or forward changes neither the read-out nor the day count. The day rolls
// over on the buffer whose read-out shows "23:59:59", or, when no buffer saw
// that second (a stall, a cut), on the first buffer past it, keeping the
// time recorded since, so a stall never loses a day or a second.
//
// Recording means the capture is started (WaveIn.IsStarted). From a start
// until the stop the operator wants recording (RecordingWanted): a capture
// that is not running meanwhile (a start that failed, a card unplugged or
// failed, a cut whose new file could not be opened) is an incident. It has
// been reported once, by the capture component's OnError and the general
// error display; the session finishes the segment in progress with what its
// file holds, shows the alarm (RecordingView::ShowRecordingAlarm) and every
// 5 s reads the device list again and tries the device; the first attempt
// that succeeds begins a new segment. To the outside that wait is part of
// the recording: the stop button shows and the shutdown lock is kept.
//
// A rotation
// keeps the capture running and has the encoder end its file and begin the
// next one between two buffers (TMMMP3Encoder::CutTo), so the segments
// follow each other without a missing or repeated sample and the capture's
// start and stop notifications do not fire at a cut. A capture that is not
// running at a rotation (a failed start or cut) is opened and started
// afresh; to the outside (RecordingStateChanged) that reopening is not a
// stop, so a shutdown lock is not dropped and taken again.
//
// Threads: main thread only. The capture must deliver its notifications on
// the main thread (callback mode cmWindow): OnStart, OnStop and
// OnBufferReady call straight into the session, which takes no locks. The
// per-buffer handler asks the file system for the drive's space on every
// buffer and lists the recording folder only when the guard acts or at
// 23:59:59.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "recorder/FileWorker.h"
#include "recorder/ReadOuts.h"
#include "recorder/Retention.h"
#include "recorder/SegmentFiles.h"
#include "settings/EncoderFormat.h"
#include "settings/RecorderSettings.h"

namespace zt {

class TMMCustomWaveIn;
class TMMMP3Encoder;
struct WaveInLoss;

// What the session shows. Implemented by the main window (widgets) and by
// tests (plain fields). Called on the main thread only.
class RecordingView {
public:
    virtual ~RecordingView() = default;
    // LTempo and LDias.
    virtual void ShowElapsed(const std::string& tempo, const std::string& dias) = 0;
    // LLivre, LOcupado and ProgressEspaco (0..100).
    virtual void ShowDiskFigures(const std::string& livre, const std::string& ocupado,
                                 int percent) = 0;
    // LFormato.
    virtual void ShowFormat(const std::string& banner) = 0;
    // BGravar/LabelGravar visible when !recording, BStop/LabelParar when recording.
    virtual void ShowRecordButtons(bool recording) = 0;
    // The capture reported its start (tray animation on) / its stop (tray
    // animation off, idle icon). Not at a cut: the capture runs through it.
    virtual void CaptureStarted() = 0;
    virtual void CaptureStopped() = 0;
    // Recording began or ended for good (not around a rotation, nor while
    // the device is being reopened): the shutdown lock follows this.
    virtual void RecordingStateChanged(bool recording) = 0;
    // Recording is wanted but nothing is being recorded: why, in one line
    // (tray icon, its tip and the window show the alarm); "" ends it.
    virtual void ShowRecordingAlarm(const std::string& why) = 0;
};

class RecordingSession : public QObject {
    Q_OBJECT
public:
    // The retention timer's interval: 24 hours.
    static constexpr int kRetentionIntervalMs = 86400000;
    // The segment timer's interval until the settings set it.
    static constexpr int kDefaultSegmentIntervalMs = 602000;

    // Takes over the capture's OnStart, OnStop and OnBufferReady events and
    // starts the retention timer. The components, the settings and the view
    // must outlive the session.
    RecordingSession(RecorderSettings& settings, TMMCustomWaveIn& waveIn, TMMMP3Encoder& mp3,
                     RecordingView& view, QObject* parent = nullptr);
    ~RecordingSession() override;

    // ---- entry points (each may raise; callers run them guarded) ----------
    // Start: a new segment named after now, the chain opened and started.
    // Does nothing while recording is running already. An open failure
    // propagates (the caller shows it) and the device is tried every 5 s.
    void BGravarClick();
    // Stop: the chain stopped and closed, the last segment finished (renamed,
    // copied, handed to the export). While idle it finds nothing to finish.
    void BStopClick();
    // Rotation: the running segment's file is closed and the next one opened
    // between two buffers (the capture runs on), then the old one finished.
    // When the capture is not running the chain is opened and started. A
    // failure to open the new file stops the capture (the retry tries again
    // every 5 s) and still finishes the old segment before it propagates.
    // Waiting for the device, there is nothing to cut.
    void TimerRecordTimer();
    // The 24-hour retention pass.
    void TimerMataArquivosTimer();
    // Start-up: segments an earlier run left provisional in Local (a power
    // cut, a crash) are finished like any other, on the file worker: renamed
    // with the end stamp of their last modification, copied and handed to
    // the export. One that holds nothing is removed. Only one recorder runs
    // at a time, so no other program owns them.
    void FinishOrphanSegments();
    // The capture's notifications.
    void WaveInStart();
    void WaveInStop();
    void WaveInBufferReady();
    // The encoder could not write (a full drive, an I/O error): the segment
    // is finished with what its file holds, the failure is written to the
    // event log and shown once, and every 5 s the drive is measured; as soon
    // as it has room again a new segment starts, without waiting for the
    // next cut. The capture runs on meanwhile. Called on every buffer.
    void CheckEncoderWrites();
    // The 5 s retry while waiting for room.
    void SpaceRetryTimer();
    bool WaitingForSpace() const { return waitingForSpace_; }
    QTimer& SpaceRetry() { return spaceRetry_; }
    // Free bytes a drive must have before a new segment is begun on it.
    static constexpr uint64_t kResumeFreeBytes = 256u << 10;
    static constexpr int kSpaceRetryMs = 5000;

    // The 5 s retry while recording is wanted and no capture runs.
    void CaptureRetryTimer();
    bool WaitingForCapture() const { return waitingForCapture_; }
    QTimer& CaptureRetry() { return captureRetry_; }
    static constexpr int kCaptureRetryMs = 5000;
    // The operator started recording and has not stopped it.
    bool RecordingWanted() const { return wanted_; }
    // What the alarm shows now ("" when none).
    const std::string& Alarm() const { return alarm_; }

    // The capture lost audio: the loss is written to the event log and shown
    // once through the general error display; recording goes on.
    void WaveInAudioLost(const WaveInLoss& loss);

    void UpdateRecordButtons();
    // Formato from the settings (raises for a malformed value) / a choice
    // already converted. The encoder reads the bitrate at its next open.
    void ApplyEncoderFormat();
    void ApplyEncoderFormat(const EncoderFormatChoice& choice);
    // TempoRec x 60000; 0 means a segment timer that never fires.
    void SetSegmentInterval(int milliseconds);
    // Queues one retention pass over Local, sparing the segment in progress
    // (none while one is still waiting). A malformed DiasRec is shown by the
    // general error display when the pass ends.
    void PurgeOldRecordings();
    // The disk figures as showing the window computes them.
    void ShowDiskFiguresOnShow();

    // Called on the main thread with the final path of every finished
    // segment when Crowley is "S" (the export), with that segment's start
    // and end (FSegmentStartNow and FSegmentEndNow as they were when it
    // ended), once its file has its final name.
    using FinishedSegmentHook =
        std::function<void(const std::string& finalPath, TDateTime start, TDateTime end)>;
    void SetExportHook(FinishedSegmentHook hook) { exportHook_ = std::move(hook); }

    // The slow file work (renaming and copying finished segments, retention
    // passes, the guard's deletions) runs on a worker thread. WaitForFileWork
    // (main thread) waits until all of it queued so far has run and its
    // results are in (LastFinish, LastGuardDeletion, LastRetention, the
    // export hook): for the end of the program and for tests.
    void WaitForFileWork();
    int FileWorkPending() const;
    // Tests: called on the worker at the start of every such job (a slow
    // drive stands in by sleeping there).
    enum class FileWork { Finish, Retention, Guard };
    using FileWorkHook = std::function<void(FileWork)>;
    void SetFileWorkHookForTest(FileWorkHook hook) { fileWorkHook_ = std::move(hook); }

    // ---- state ---------------------------------------------------------------
    bool IsRecording() const;
    // The file the encoder is writing, "" when none is open.
    std::string InProgressPath() const;

    TDateTime FSegmentStartTime() const { return segmentStartTime_; }
    TDateTime FSegmentElapsed() const { return segmentElapsed_; }
    TDateTime FTotalElapsed() const { return totalElapsed_; }
    int32_t FDayCount() const { return dayCount_; }
    TDateTime FSegmentStartNow() const { return segmentStartNow_; }
    TDateTime FSegmentEndNow() const { return segmentEndNow_; }
    const std::optional<DiskFigures>& Disk() const { return disk_; }
    const SegmentFile& CurrentSegment() const { return current_; }
    const SegmentFile& PreviousSegment() const { return previous_; }
    const std::string& FEndStamp() const { return endStamp_; }
    // What happened to the last segment finished (rename, copy, export).
    const SegmentFinish& LastFinish() const { return lastFinish_; }
    int FinishedSegments() const { return finishedSegments_; }
    // What the last FinishOrphanSegments did, one entry per orphan found
    // (an empty one that was removed has rename Empty).
    const std::vector<SegmentFinish>& LastOrphans() const { return lastOrphans_; }
    // The last retention pass that ended, and how many have.
    const RetentionResult& LastRetention() const { return lastRetention_; }
    int RetentionPasses() const { return retentionPasses_; }
    // Losses of audio told since the session began.
    int LossesReported() const { return lossesReported_; }
    // Path deleted by the guard on the last buffer, "" when none.
    const std::string& LastGuardDeletion() const { return lastGuardDeletion_; }

    QTimer& TimerRecord() { return timerRecord_; }
    QTimer& TimerMataArquivos() { return timerMataArquivos_; }
    int SegmentInterval() const { return segmentIntervalMs_; }

    // For tests: the day counter as if that many days had passed.
    void SetDayCountForTest(int32_t days) { dayCount_ = days; }

private:
    // Reports the recording state when the handler leaves, also by an
    // exception.
    struct ReportStateOnExit {
        RecordingSession* self;
        ~ReportStateOnExit() { self->ReportRecordingState(); }
    };

    // A new segment from now: the count restarts, the format is applied and
    // the file named.
    void BeginSegment();
    void PrepareSegmentFile();
    void RestartSegmentTimer();
    // The capture stopped without being asked (posted from its stop
    // notification, once the chain has closed its file).
    void CaptureEnded();
    // Enters the retry: the segment in progress ends, the alarm shows why.
    void WaitForCapture(const std::string& reason);
    void StopWaitingForCapture();
    // Ends current_ once its file is closed: finished when the file exists,
    // else (an attempt that never created it) forgotten.
    void EndSegmentInProgress();
    void UpdateAlarm();
    void OpenAndStart();
    void CutToCurrentSegment();
    // Adds the running count to FTotalElapsed and sets it back to zero.
    void FoldCount();
    void CloseChain();
    void FinishPreviousSegment();
    // Hands a finished segment to the export when it is due (main thread).
    void HandToExport(SegmentFinish& finish, TDateTime start, TDateTime end);
    void ReportRecordingState();

    RecorderSettings& settings_;
    TMMCustomWaveIn& waveIn_;
    TMMMP3Encoder& mp3_;
    RecordingView& view_;
    FinishedSegmentHook exportHook_;
    FileWorkHook fileWorkHook_;
    SegmentsInProgress inProgress_;

    TDateTime segmentStartTime_ = 0;
    TDateTime segmentElapsed_ = 0;
    TDateTime totalElapsed_ = 0;
    double segmentStartMono_ = 0;  // the monotonic clock when the count restarted
    int32_t dayCount_ = 0;
    TDateTime segmentStartNow_ = 0;
    TDateTime segmentEndNow_ = 0;
    std::optional<DiskFigures> disk_;

    SegmentFile current_;   // FCurrentStamp and where it was opened
    SegmentFile previous_;  // FPreviousStamp
    std::string endStamp_;  // FEndStamp
    SegmentFinish lastFinish_;
    std::string lastGuardDeletion_;

    QTimer timerRecord_;
    QTimer spaceRetry_;
    bool waitingForSpace_ = false;
    QTimer captureRetry_;
    bool wanted_ = false;
    bool waitingForCapture_ = false;
    std::string captureReason_;  // the incident's last failure, one line
    std::string spaceReason_;    // the failed write that began the wait for room
    bool closingChain_ = false;  // the session itself stops the capture
    std::string alarm_;
    QTimer timerMataArquivos_;
    int segmentIntervalMs_ = kDefaultSegmentIntervalMs;

    int lossesReported_ = 0;
    RetentionResult lastRetention_;
    int retentionPasses_ = 0;
    int finishedSegments_ = 0;
    std::vector<SegmentFinish> lastOrphans_;
    bool retentionQueued_ = false;
    bool guardQueued_ = false;
    bool rotating_ = false;
    // Last member: destroyed first, it finishes the queued file work while
    // everything its jobs use still exists.
    std::unique_ptr<FileWorker> worker_;
    bool reportedRecording_ = false;
};

}  // namespace zt
