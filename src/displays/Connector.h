#pragma once
// TMMConnector: a pass-through chain member that feeds the live displays.
//
// Every buffer goes on to the Output unchanged; before that, the connector
// keeps a copy of its data, from which it feeds its displays (meters,
// oscilloscopes, spectrum analysers; see displays/DisplayTarget.h) in
// small windows of each display's own size. With Synchronize, a window is
// shown only when its moment of audio is "now": the window at byte p of
// the latest copy is due p / nAvgBytesPerSec seconds after the copy was
// taken, so at 44.1 kHz 16-bit stereo a meter's 396-byte windows are
// measured one every 2.245 ms, as the sound plays.
//
// Displays sit in slots grouped by kind (levels, meters, oscilloscopes,
// spectra). Within the level, meter and oscilloscope pairs a display can
// be in only one slot; a display that is destroyed leaves its slot empty.
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
// so the displays' state follows every window of audio however the
// rounds fall; the views repaint right after the round of the same frame
// (displays/ui/DisplayView.h). Rounds faster than the screen would only
// cost wake-ups (a 5 ms round doubled the displays' whole cost in their
// benchmark without showing anything sooner). EnterIdle is kept
// as a process-wide value: Qt's event loop already hands every round to
// the window's events and never needs keeping awake, so it changes
// nothing here.
//
// Pause: the display data is filled with silence and, in real-time mode,
// a display timer client (DisplayTimerService) marks every group due again
// each buffer's duration (at least 25 ms), so the displays show silence
// and their needles fall. The tick only raises an atomic flag and stores
// the timestamp; the next pass on the main thread acts on it.
//
// Threads:
// - Construction, destruction, properties, slots, the chain notifications
//   and the refresh loop's passes run on the main thread.
// - BufferReady / BufferLoad / CopyData run on the thread that delivers
//   the buffers (the main thread for the recorder's capture). `lock_`
//   guards the data copy, its length, the group positions, dirty flags
//   and counters between them and the delivery pass; the pass holds it
//   while the displays measure.
// - Trigger() may be called from any thread; off the main thread it is
//   posted (the pending count is atomic).
// - The pause tick runs on the display timer thread and touches only the
//   atomics `pauseTick_` and `timestamp_`.

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

    // Takes a copy of `bytes` bytes at `data` for the displays (at most
    // GetBufferSize()); in synchronous mode (RealTime false, AutoTrigger)
    // runs a delivery pass at once.
    virtual void CopyData(const void* data, uint32_t bytes);
    // A delivery on demand (AutoTrigger false); from any thread.
    virtual void Trigger();
    // One delivery pass (main thread); the refresh loop calls it.
    void DeliveryPass();

    // Tests: the clock behind the timestamps (default: steady clock).
    void SetClock(Clock clock) { clock_ = std::move(clock); }

private:
    friend class ConnectorHub;
    void DisplayDestroyed(TMMDisplayTarget* display) override;

    template <class F>
    void ForEachDisplay(F&& f) const;
    static Group GroupOf(TMMConnectorSlot slot);
    bool GroupHasDisplays(Group g) const;
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
    // Oscilloscope trigger: the first crossing at or after `from`, or -1.
    int64_t FindTrigger(uint32_t from, uint32_t limit) const REQUIRES(lock_);

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
    uint32_t capacity_ GUARDED_BY(lock_) = 0;
    uint32_t dataLength_ GUARDED_BY(lock_) = 0;
    std::vector<uint8_t> copy_ GUARDED_BY(lock_);       // the latest buffer's data
    std::vector<uint8_t> converted_ GUARDED_BY(lock_);  // its PCM form when converting
    uint8_t* displayData_ GUARDED_BY(lock_) = nullptr;
    std::unique_ptr<CodecStreamChain> converter_;
    uint8_t silence_ = 0;
    std::atomic<bool> active_{false};
    std::atomic<bool> armed_{false};
    bool counted_ = false;  // armed and counted in the refresh loop's armed count
    std::atomic<bool> paused_{false};
    bool isPCM_ = false;
    bool converting_ = false;
    std::atomic<int> pendingTriggers_{0};
    std::array<uint32_t, kGroups> positions_ GUARDED_BY(lock_){};
    std::array<bool, kGroups> dirty_ GUARDED_BY(lock_){};
    std::array<uint32_t, kGroups> counters_ GUARDED_BY(lock_){};
    std::atomic<int64_t> timestamp_{0};
    std::atomic<bool> pauseTick_{false};
    DisplayTimerService::ClientId pauseTimer_ = 0;
    Clock clock_;
};

}  // namespace zt
