#pragma once
// TMMConnector: a pass-through chain member that feeds the live displays.
//
// Every buffer goes on to the Output unchanged; before that, the connector
// keeps a copy of its data, from which it feeds its displays (meters,
// oscilloscopes, spectrum analysers; see displays/DisplayTarget.h) in
// small windows of each display's own size.
//
// Accumulation: the capture hands its buffers over in bursts (the ALSA
// back end reads 50 ms periods, so two or three 4096-byte buffers arrive
// back to back), while a delivery pass comes only once per round. So the
// connector keeps every buffer it is given in its accumulation area, a
// ring of whole buffers allocated at Started (AreaBuffers() of them,
// enough for the longest a window can wait: the pacing lag bound below
// plus the slowest round interval), and every group of displays reads
// through the held buffers in order. Nothing is allocated per buffer.
// Windows never straddle two buffers: each buffer is windowed from its
// first byte, and its tail too short for a window is skipped.
//
// Timing (Synchronize): a window is shown only when its moment of audio
// is "now". The held buffers play out one after another, like a playback
// queue: the bytes of all buffers are numbered as one stream, and one
// anchor maps a stream byte to its moment,
//     due(x) = anchorTime + (x - anchorByte) / nAvgBytesPerSec
// (in microseconds, rounded). A buffer copied at time T starts when the
// one before it has played out, except that
// - when that moment has already passed (the queue ran dry; the first
//   buffer), it starts at T. One buffer at a time therefore behaves as a
//   single copy: at 44.1 kHz 16-bit stereo a meter's 396-byte windows are
//   measured one every 2.245 ms after the copy, as the sound plays;
// - when it would start more than MaxLag after T (150 ms, or two buffers'
//   length when that is longer: the input's clock runs faster than ours,
//   or the main thread has just been handed a backlog), it starts at
//   T + MaxLag. The anchor moves for every held buffer, so the older
//   windows fall due at once and the next pass measures them, still in
//   order: the displays never trail the input by more than MaxLag, and
//   nothing is skipped to get there.
// With 50 ms periods the displays run evenly about one period behind the
// input, and the older buffers of a burst are shown first. Without
// Synchronize every held window is due at once.
//
// A full area: if buffers keep coming while no pass runs for longer than
// the area holds, the newest buffer takes the place of the oldest; a
// group still reading that one goes on with the next, and the loss is
// counted (DisplayDrops()). Only the displays lose it: the buffer itself
// still goes on to the Output, so the recording never notices.
//
// Displays sit in slots grouped by kind (levels, meters, oscilloscopes,
// spectra). Within the level, meter and oscilloscope pairs a display can
// be in only one slot; a display that is destroyed leaves its slot empty.
// A display assigned to a group starts with the next buffer.
//
// The refresh loop (process-wide): while any auto-triggered connector is
// armed, the display frame clock (displays/FrameClock.h, one Qt timer on
// the main thread) runs a round every RefreshIntervalMs(): every frame
// (16 ms) at the default Speed of 5000, every n frames at Speed 5001 - n
// (at most 60). Each round is one delivery pass per connector. A Qt timer
// never has more than one timeout pending, so re-arming can never
// multiply the rounds; the timer sleeps between rounds, so there is no
// busy loop, and the window's own events run between rounds. A pass
// measures every window that has come due since the last one, in order,
// across every buffer held, so the displays' state follows every window
// of audio however the rounds and the buffers fall; the views repaint
// right after the round of the same frame (displays/ui/DisplayView.h), so
// more buffers per round cost measuring, never a repaint. Rounds faster
// than the screen would only cost wake-ups (a 5 ms round doubled the
// displays' whole cost in their benchmark without showing anything
// sooner). EnterIdle is kept as a process-wide value: Qt's event loop
// already hands every round to the window's events and never needs
// keeping awake, so it changes nothing here.
//
// Pause: the held data is filled with silence and, in real-time mode, a
// display timer client (DisplayTimerService) ticks every buffer's
// duration (at least 25 ms). The tick only raises an atomic flag and
// stores its time; the next pass on the main thread then drops what the
// groups had not shown yet and queues one buffer of silence starting at
// the tick, so the displays show silence and their needles fall.
// Disabling the connector likewise drops what was not shown: the
// displays are reset, and stale audio must not reappear when it is
// enabled again.
//
// Threads:
// - Construction, destruction, properties, slots, the chain notifications
//   and the refresh loop's passes run on the main thread.
// - BufferReady / BufferLoad / CopyData run on the thread that delivers
//   the buffers (the main thread for the recorder's capture). `lock_`
//   guards the accumulation area, the groups' read positions, the timing
//   anchor and the counters between them and the delivery pass; the pass
//   holds it while the displays measure. CopyData holds it only for one
//   buffer's copy (and conversion).
// - Trigger() may be called from any thread; off the main thread it is
//   posted (the pending count is atomic).
// - The pause tick runs on the display timer thread and touches only the
//   atomics `pauseTick_` and `pauseTickAt_`.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/chain/DSPComponent.h"
#include "displays/DisplayTarget.h"
#include "displays/DisplayTimerService.h"
#include "platform/MainThreadQueue.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

class CodecStreamChain;

enum class TMMTriggerMode { tmNone, tmUpFlank, tmDownFlank };

// The display slots; the light and spectrogram kinds of displays do not
// exist in this program, so neither do their slots.
enum class TMMConnectorSlot {
    Level1,
    Level2,
    Meter1,
    Meter2,
    Oscope1,
    Oscope2,
    Spectrum1,
    Spectrum2,
    Spectrum3,
    Spectrum4,
};

class TMMConnector : public TMMDSPComponent, private DisplayWatcher {
public:
    enum Group { gLevels, gMeters, gOscopes, gSpectra };
    static constexpr int kGroups = 4;
    static constexpr int kSlots = 10;
    static constexpr int kMaxSpeed = 5000;
    // Microseconds of a monotonic clock.
    using Clock = std::function<int64_t()>;

    explicit TMMConnector(std::string name = {},
                          DisplayTimerService& timers = DisplayTimerService::Shared());
    ~TMMConnector() override;

    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }

    // ---- properties (main thread) ----------------------------------------------
    bool Enabled() const { return enabled_.load(); }
    void SetEnabled(bool value);
    bool AutoConvert() const { return autoConvert_; }
    void SetAutoConvert(bool value) { autoConvert_ = value; }
    bool AutoTrigger() const { return autoTrigger_.load(); }
    void SetAutoTrigger(bool value);
    bool Synchronize() const { return synchronize_.load(); }
    void SetSynchronize(bool value) { synchronize_.store(value); }
    // 1..5000 (clamped).
    int Speed() const { return speed_; }
    void SetSpeed(int value);
    TMMTriggerMode TriggerMode() const { return triggerMode_; }
    void SetTriggerMode(TMMTriggerMode value) { triggerMode_ = value; }
    // Percent of full scale.
    int TriggerLevel() const { return triggerLevel_; }
    void SetTriggerLevel(int value) { triggerLevel_ = value; }
    bool RefreshOnStop() const { return refreshOnStop_; }
    void SetRefreshOnStop(bool value) { refreshOnStop_ = value; }
    // EMMConnectorError msg::ChangeWhileOpen while opened.
    bool RealTime() const { return realTime_.load(); }
    void SetRealTime(bool value);
    // One value for the whole process (see above).
    static bool EnterIdle();
    static void SetEnterIdle(bool value);

    TMMDisplayTarget* Display(TMMConnectorSlot slot) const;
    // Ignored when the display already sits in the other slot of its
    // pair. Clears the group's dirty flag and tells the display the
    // current display format.
    void SetDisplay(TMMConnectorSlot slot, TMMDisplayTarget* display);

    // After every delivery pass.
    std::function<void(TMMConnector*)> OnTrigger;

    // ---- state (main thread) ----------------------------------------------------
    bool Active() const { return active_.load(); }
    bool Armed() const { return armed_.load(); }
    bool PausedNow() const { return paused_; }
    bool Converting() const { return converting_; }
    const WAVEFORMATEX* DisplayFormat() const { return displayFormat_.get(); }
    // Windows delivered to a group since Started.
    uint32_t Delivered(Group group) const;
    // Valid bytes of the latest copy (display data).
    uint32_t DataLength() const;
    // Buffers the accumulation area holds (0 while not active).
    uint32_t AreaBuffers() const;
    // Buffers the displays lost because the area was full, since Started.
    uint32_t DisplayDrops() const;
    // Interval of the refresh loop's rounds for the highest Speed.
    static int RefreshIntervalMs();
    // Auto-triggered connectors armed in the process.
    static int ArmedCount();

    // ---- chain ------------------------------------------------------------------
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    void Reset() override;
    void BufferReady(PWaveHdr buffer) override;
    void BufferLoad(PWaveHdr buffer, bool& moreBuffers) override;

    // Adds a copy of `bytes` bytes at `data` (at most GetBufferSize()) to
    // the accumulation area for the displays; in synchronous mode
    // (RealTime false, AutoTrigger) runs a delivery pass at once.
    virtual void CopyData(const void* data, uint32_t bytes);
    // A delivery on demand (AutoTrigger false); from any thread.
    virtual void Trigger();
    // One delivery pass (main thread); the refresh loop calls it.
    void DeliveryPass();

    // Tests: the clock behind the timestamps (default: steady clock).
    void SetClock(Clock clock) { clock_ = std::move(clock); }

private:
    friend class ConnectorHub;
    // One held buffer: its valid bytes and the stream offset of its first.
    struct Held {
        uint32_t length = 0;
        uint64_t stream = 0;
    };

    void DisplayDestroyed(TMMDisplayTarget* display) override;

    template <class F>
    void ForEachDisplay(F&& f) const;
    static Group GroupOf(TMMConnectorSlot slot);
    void SendFormat(TMMDisplayTarget* display);
    void SendFormatToAll();
    void ResetDisplays() const;
    void PostArm();
    void Arm();
    void Disarm();
    void StartPauseTimer();
    void StopPauseTimer();
    void ReleaseData();
    void FillSilence();
    int64_t Now() const;
    // Whether the group has a display that takes the display format.
    bool GroupFed(Group g) const REQUIRES(lock_);
    // The moment the stream byte `at` is due (see Timing above).
    int64_t DueAt(uint64_t at) const REQUIRES(lock_);
    // The held buffer `sequence` and its bytes.
    Held& HeldAt(uint64_t sequence) REQUIRES(lock_);
    uint8_t* HeldData(uint64_t sequence) REQUIRES(lock_);
    // Makes room for the next buffer: the oldest held one goes, and a
    // group that had not finished it moves on (a drop).
    void Evict() REQUIRES(lock_);
    // Counts the next buffer (`length` bytes, already in its place) as
    // held. It starts at `at` when `forceStart`; otherwise `at` is the
    // moment it arrived and it starts as the queue says (Timing above).
    void Commit(uint32_t length, int64_t at, bool forceStart) REQUIRES(lock_);
    // Groups without displays keep nothing back.
    void SkipUnfedGroups() REQUIRES(lock_);
    // Every group gives up the windows it has not shown.
    void DropPending() REQUIRES(lock_);
    // The pause tick's buffer of silence, due from `at`.
    void QueueSilence(int64_t at) REQUIRES(lock_);
    // Oscilloscope trigger: the first crossing in `data` at or after
    // `from`, or -1.
    int64_t FindTrigger(const uint8_t* data, uint32_t from, uint32_t limit) const;

    DisplayTimerService& timers_;
    // Tells the refresh loop whether an entry it saw is still the connector
    // it was (a display's handler may destroy one and create another).
    uint64_t serial_;
    // Arm and trigger calls from other threads; destroying the connector
    // drops those still queued.
    MainThreadOwner queue_;

    // Read on the delivering thread too, hence atomic.
    std::atomic<bool> enabled_{true};
    bool autoConvert_ = true;
    std::atomic<bool> autoTrigger_{true};
    std::atomic<bool> synchronize_{true};
    int speed_ = kMaxSpeed;
    TMMTriggerMode triggerMode_ = TMMTriggerMode::tmNone;
    int triggerLevel_ = 0;
    bool refreshOnStop_ = true;
    std::atomic<bool> realTime_{true};

    // Written on the main thread under lock_; read under lock_ (or on the
    // main thread).
    std::array<TMMDisplayTarget*, kSlots> slots_{};
    // A display that refused the display format is not fed until it
    // accepts one.
    std::array<bool, kSlots> refused_{};

    mutable Mutex lock_;
    WaveFormatPtr displayFormat_;
    // The accumulation area: AreaBuffers() places of areaBytes_ bytes (one
    // buffer, or its conversion) in areaData_; buffer number n (counting
    // from Started) sits in place n % AreaBuffers(), described by held_.
    uint32_t areaBytes_ GUARDED_BY(lock_) = 0;
    std::vector<uint8_t> areaData_ GUARDED_BY(lock_);
    std::vector<Held> held_ GUARDED_BY(lock_);
    uint64_t written_ GUARDED_BY(lock_) = 0;     // buffers taken since Started
    uint64_t streamEnd_ GUARDED_BY(lock_) = 0;   // stream bytes taken since Started
    uint32_t dataLength_ GUARDED_BY(lock_) = 0;  // the latest buffer's length
    uint32_t drops_ GUARDED_BY(lock_) = 0;
    // Timing: stream byte anchorByte_ is due at anchorTime_ (microseconds).
    bool anchored_ GUARDED_BY(lock_) = false;
    uint64_t anchorByte_ GUARDED_BY(lock_) = 0;
    int64_t anchorTime_ GUARDED_BY(lock_) = 0;
    int64_t maxLag_ GUARDED_BY(lock_) = 0;
    std::unique_ptr<CodecStreamChain> converter_;
    uint8_t silence_ = 0;
    std::atomic<bool> active_{false};
    std::atomic<bool> armed_{false};
    bool counted_ = false;  // armed and counted in the refresh loop's armed count
    std::atomic<bool> paused_{false};
    bool isPCM_ = false;
    bool converting_ = false;
    std::atomic<int> pendingTriggers_{0};
    // Each group reads buffer next_ (it has windows to show while next_ <
    // written_) from byte positions_ on.
    std::array<uint64_t, kGroups> next_ GUARDED_BY(lock_){};
    std::array<uint32_t, kGroups> positions_ GUARDED_BY(lock_){};
    std::array<uint32_t, kGroups> counters_ GUARDED_BY(lock_){};
    std::atomic<int64_t> pauseTickAt_{0};
    std::atomic<bool> pauseTick_{false};
    DisplayTimerService::ClientId pauseTimer_ = 0;
    Clock clock_;
};

}  // namespace zt
