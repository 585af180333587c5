#include "displays/Connector.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "audio/chain/MMErrors.h"
#include "audio/convert/CodecStreamChain.h"
#include "audio/convert/codecs/CodecManager.h"
#include "displays/FrameClock.h"
#include "platform/ErrorDisplay.h"

namespace zt {

namespace {

// Rounds come every n frames of the display frame clock: n = 5001 - the
// highest Speed, at most about a second's worth.
constexpr int kLongestRoundFrames = 60;

// How far the displays may trail the input before the schedule catches up
// (at least two buffers). The capture's 50 ms periods put the newest
// buffer of a burst up to about a period and a buffer behind, so this
// leaves room for the main thread's jitter without letting a fast input
// clock pile up delay for hours.
constexpr int64_t kMaxLagUs = 150'000;
// The accumulation area's bounds in buffers, whatever their size.
constexpr uint64_t kMinAreaBuffers = 4;
constexpr uint64_t kMaxAreaBuffers = 4096;

std::atomic<bool> g_enterIdle{false};
std::atomic<uint64_t> g_serial{1};

bool OnMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace

// The process-wide part: the live connectors and the refresh loop (a
// feeder of the display frame clock while any connector is armed). Main
// thread only: calls from other threads reach a connector through its own
// place in the main-thread queue.
class ConnectorHub {
public:
    static ConnectorHub* instance;

    ~ConnectorHub() { FrameClock::Get().RemoveFeeder(this); }

    static void Add(TMMConnector* c) {
        if (!instance) instance = new ConnectorHub();
        instance->connectors.push_back(c);
    }

    static void Remove(TMMConnector* c) {
        if (!instance) return;
        auto& list = instance->connectors;
        list.erase(std::remove(list.begin(), list.end(), c), list.end());
        if (list.empty()) {
            delete instance;
            instance = nullptr;
        }
    }

    bool IsLive(const TMMConnector* c, uint64_t serial) const {
        return std::find(connectors.begin(), connectors.end(), c) != connectors.end() &&
               c->serial_ == serial;
    }

    void RecomputeSpeed() {
        int highest = 1;
        for (const TMMConnector* c : connectors) highest = std::max(highest, c->speed_);
        roundFrames = std::min(TMMConnector::kMaxSpeed + 1 - highest, kLongestRoundFrames);
        FrameClock::Get().SetFeederPeriod(this, roundFrames);
    }

    void ArmedDelta(int delta) {
        armedCount += delta;
        FrameClock& clock = FrameClock::Get();
        if (armedCount > 0 && !clock.HasFeeder(this))
            clock.AddFeeder(this, roundFrames, [this] { Round(); });
        else if (armedCount <= 0)
            clock.RemoveFeeder(this);
    }

    void Round() {
        if (QCoreApplication::closingDown() || armedCount <= 0 || connectors.empty()) {
            FrameClock::Get().RemoveFeeder(this);
            return;
        }
        // A display's handler could destroy a connector: walk a copy, and
        // look at an entry only after finding it still live.
        round.clear();
        for (TMMConnector* c : connectors) round.emplace_back(c, c->serial_);
        for (const auto& entry : round) {
            TMMConnector* c = entry.first;
            if (!IsLive(c, entry.second)) continue;
            if (c->autoTrigger_ && c->enabled_ && c->armed_) Guarded([c] { c->DeliveryPass(); });
        }
    }

    int roundFrames = 1;
    std::vector<std::pair<TMMConnector*, uint64_t>> round;  // reused by every round
    std::vector<TMMConnector*> connectors;
    int armedCount = 0;
};

ConnectorHub* ConnectorHub::instance = nullptr;

// ---- construction -------------------------------------------------------------------

TMMConnector::TMMConnector(std::string name, DisplayTimerService& timers)
    : TMMDSPComponent(std::move(name)), timers_(timers), serial_(g_serial++) {
    ConnectorHub::Add(this);
    ConnectorHub::instance->RecomputeSpeed();
}

TMMConnector::~TMMConnector() {
    BeginDestroying();
    if (active_) TMMConnector::Stopped();
    StopPauseTimer();
    for (TMMDisplayTarget*& d : slots_) {
        if (d) d->RemoveWatcher(this);
        d = nullptr;
    }
    ConnectorHub::Remove(this);
    if (ConnectorHub::instance) ConnectorHub::instance->RecomputeSpeed();
}

int64_t TMMConnector::Now() const {
    if (clock_) return clock_();
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ---- properties ----------------------------------------------------------------------

void TMMConnector::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (!value) {
        Disarm();
        {
            MutexLock guard(lock_);
            DropPending();
        }
        ResetDisplays();
    } else if (active_ && realTime_) {
        PostArm();
    }
}

void TMMConnector::SetAutoTrigger(bool value) {
    if (value == autoTrigger_) return;
    if (!value) {
        Disarm();
        autoTrigger_ = false;
        return;
    }
    autoTrigger_ = true;
    if (active_ && enabled_ && realTime_) PostArm();
}

void TMMConnector::SetSpeed(int value) {
    speed_ = std::clamp(value, 1, kMaxSpeed);
    if (ConnectorHub::instance) ConnectorHub::instance->RecomputeSpeed();
}

void TMMConnector::SetRealTime(bool value) {
    if (value == realTime_) return;
    if (IsOpened()) throw EMMConnectorError(LoadResString(msg::ChangeWhileOpen));
    realTime_ = value;
}

bool TMMConnector::EnterIdle() {
    return g_enterIdle.load();
}

void TMMConnector::SetEnterIdle(bool value) {
    g_enterIdle.store(value);
}

int TMMConnector::RefreshIntervalMs() {
    return FrameClock::kFrameMs *
           (ConnectorHub::instance ? ConnectorHub::instance->roundFrames : 1);
}

int TMMConnector::ArmedCount() {
    return ConnectorHub::instance ? ConnectorHub::instance->armedCount : 0;
}

uint32_t TMMConnector::Delivered(Group group) const {
    MutexLock guard(lock_);
    return counters_[group];
}

uint32_t TMMConnector::DataLength() const {
    MutexLock guard(lock_);
    return dataLength_;
}

uint32_t TMMConnector::AreaBuffers() const {
    MutexLock guard(lock_);
    return static_cast<uint32_t>(held_.size());
}

uint32_t TMMConnector::DisplayDrops() const {
    MutexLock guard(lock_);
    return drops_;
}

// ---- slots -------------------------------------------------------------------------------

TMMConnector::Group TMMConnector::GroupOf(TMMConnectorSlot slot) {
    switch (slot) {
        case TMMConnectorSlot::Level1:
        case TMMConnectorSlot::Level2:
            return gLevels;
        case TMMConnectorSlot::Meter1:
        case TMMConnectorSlot::Meter2:
            return gMeters;
        case TMMConnectorSlot::Oscope1:
        case TMMConnectorSlot::Oscope2:
            return gOscopes;
        default:
            return gSpectra;
    }
}

template <class F>
void TMMConnector::ForEachDisplay(F&& f) const {
    for (int i = 0; i < kSlots; ++i)
        if (slots_[i]) f(i, slots_[i]);
}

TMMDisplayTarget* TMMConnector::Display(TMMConnectorSlot slot) const {
    return slots_[static_cast<int>(slot)];
}

void TMMConnector::SetDisplay(TMMConnectorSlot slot, TMMDisplayTarget* display) {
    const int i = static_cast<int>(slot);
    if (slots_[i] == display) return;
    const Group g = GroupOf(slot);
    if (display && g != gSpectra) {
        // The level, meter and oscilloscope pairs hold two different displays.
        const int other = (i % 2 == 0) ? i + 1 : i - 1;
        if (slots_[other] == display) return;
    }
    TMMDisplayTarget* old = slots_[i];
    {
        MutexLock guard(lock_);
        slots_[i] = display;
        refused_[i] = false;
        // The group starts afresh with the next buffer.
        next_[g] = written_;
        positions_[g] = 0;
    }
    if (old && std::find(slots_.begin(), slots_.end(), old) == slots_.end())
        old->RemoveWatcher(this);
    if (display) {
        display->AddWatcher(this);
        SendFormat(display);
    }
}

void TMMConnector::DisplayDestroyed(TMMDisplayTarget* display) {
    MutexLock guard(lock_);
    for (TMMDisplayTarget*& d : slots_)
        if (d == display) d = nullptr;
}

void TMMConnector::SendFormat(TMMDisplayTarget* display) {
    const WAVEFORMATEX* format = active_ ? displayFormat_.get() : GetWaveFormat();
    if (!format || !IsValidPCMFormat(format)) return;
    for (int i = 0; i < kSlots; ++i) {
        if (slots_[i] != display) continue;
        // A display that cannot show this format stays out of the passes;
        // it must not stop the recording that feeds it.
        bool refused = false;
        try {
            display->SetPCMFormat(format);
        } catch (const std::exception&) {
            refused = true;
        }
        MutexLock guard(lock_);
        refused_[i] = refused;
        return;
    }
}

void TMMConnector::SendFormatToAll() {
    ForEachDisplay([this](int, TMMDisplayTarget* d) { SendFormat(d); });
}

void TMMConnector::ResetDisplays() const {
    ForEachDisplay([](int, TMMDisplayTarget* d) { d->ResetData(); });
}

// ---- arming --------------------------------------------------------------------------

void TMMConnector::PostArm() {
    queue_.Post([this] { Arm(); });
}

void TMMConnector::Arm() {
    if (!active_) return;
    pendingTriggers_ = 0;
    armed_ = true;
    // An arm that arrives twice counts once: one round per pass.
    if (autoTrigger_ && !counted_ && ConnectorHub::instance) {
        counted_ = true;
        ConnectorHub::instance->ArmedDelta(+1);
    }
}

void TMMConnector::Disarm() {
    armed_ = false;
    if (counted_) {
        counted_ = false;
        if (ConnectorHub::instance) ConnectorHub::instance->ArmedDelta(-1);
    }
}

// ---- chain -----------------------------------------------------------------------------

void TMMConnector::SetWaveFormat(const WAVEFORMATEX* format) {
    TMMDSPComponent::SetWaveFormat(format);
    if (!IsDestroying() && !active_) SendFormatToAll();
}

void TMMConnector::Started() {
    TMMDSPComponent::Started();
    const WAVEFORMATEX* format = GetWaveFormat();
    if (!format || active_) return;
    const uint32_t size = static_cast<uint32_t>(std::max<int32_t>(GetBufferSize(), 0));
    {
        MutexLock guard(lock_);
        isPCM_ = converting_ = false;
        uint32_t place = 0;  // bytes of one held buffer
        if (format->wFormatTag == WAVE_FORMAT_PCM) {
            isPCM_ = true;
            displayFormat_ = CopyWaveFormat(format);
            place = size;
        } else if (autoConvert_) {
            WAVEFORMATEX wanted{};
            wanted.wFormatTag = WAVE_FORMAT_PCM;
            WaveFormatPtr pcm = acm::SuggestFormat(*format, wanted, acm::SuggestTag);
            if (pcm)
                converter_ = CodecStreamChain::Build(*format, *pcm, TMMConvertQuality::cqLow,
                                                     std::max<uint32_t>(size, 1));
            if (converter_ && format->nAvgBytesPerSec > 0) {
                // Room for one buffer's conversion, with a block to spare.
                const uint64_t bound =
                    uint64_t(size) * pcm->nAvgBytesPerSec / format->nAvgBytesPerSec +
                    2u * pcm->nAvgBytesPerSec / 10 + pcm->nBlockAlign;
                displayFormat_ = std::move(pcm);
                place = static_cast<uint32_t>(bound);
                converting_ = true;
            } else {
                converter_.reset();
            }
        }
        next_ = {};
        positions_ = {};
        counters_ = {};
        written_ = streamEnd_ = 0;
        dataLength_ = drops_ = 0;
        anchored_ = false;
        if (!(isPCM_ || converting_) || size == 0) {
            // Nothing to show: the buffers only pass through.
            converter_.reset();
            converting_ = false;
            std::vector<uint8_t>().swap(areaData_);
            std::vector<Held>().swap(held_);
            areaBytes_ = 0;
            return;
        }
        // The area holds the longest a window can wait (the lag bound and
        // the slowest round) in whole buffers, with the one arriving.
        const int64_t bufferUs =
            format->nAvgBytesPerSec > 0 ? int64_t(size) * 1'000'000 / format->nAvgBytesPerSec : 0;
        maxLag_ = std::max<int64_t>(kMaxLagUs, 2 * bufferUs);
        const int64_t longestWait =
            maxLag_ + int64_t(kLongestRoundFrames) * FrameClock::kFrameMs * 1000;
        const uint64_t buffers = std::clamp<uint64_t>(
            bufferUs > 0 ? uint64_t(longestWait + bufferUs - 1) / bufferUs + 1 : kMinAreaBuffers,
            kMinAreaBuffers, kMaxAreaBuffers);
        silence_ = displayFormat_->wBitsPerSample == 8 ? 128 : 0;
        areaBytes_ = place;
        areaData_.assign(static_cast<size_t>(buffers) * place, silence_);
        held_.assign(static_cast<size_t>(buffers), Held{});
        active_ = true;
    }
    if (ConnectorHub::instance) ConnectorHub::instance->RecomputeSpeed();
    SendFormatToAll();
    if (enabled_ && realTime_) PostArm();
}

void TMMConnector::FillSilence() {
    MutexLock guard(lock_);
    std::fill(areaData_.begin(), areaData_.end(), silence_);
}

void TMMConnector::Paused() {
    if (active_ && !paused_) {
        paused_ = true;
        FillSilence();
        if (realTime_) StartPauseTimer();
    }
    TMMDSPComponent::Paused();
}

void TMMConnector::Restarted() {
    paused_ = false;
    StopPauseTimer();
    TMMDSPComponent::Restarted();
}

void TMMConnector::StartPauseTimer() {
    if (pauseTimer_) return;
    const int32_t size = GetBufferSize();
    int interval = DisplayTimerService::kPeriodMs;
    if (size <= 8191 && displayFormat_)
        interval = static_cast<int>(BytesToMilliseconds(*displayFormat_, size));
    pauseTimer_ = timers_.Register(interval, [this] {
        // Timer thread: atomics only; the next pass shows the silence.
        pauseTickAt_ = Now();
        pauseTick_ = true;
    });
    if (!pauseTimer_) throw EOutOfResources("Not enough timers available");
}

void TMMConnector::StopPauseTimer() {
    if (!pauseTimer_) return;
    timers_.Unregister(pauseTimer_);
    pauseTimer_ = 0;
    pauseTick_ = false;
}

void TMMConnector::ReleaseData() {
    MutexLock guard(lock_);
    if (converting_) {
        converter_.reset();
        displayFormat_.reset();
        converting_ = false;
    }
    isPCM_ = false;
    std::vector<uint8_t>().swap(areaData_);
    std::vector<Held>().swap(held_);
    areaBytes_ = 0;
    written_ = streamEnd_ = 0;
    dataLength_ = 0;
    next_ = {};
    positions_ = {};
    anchored_ = false;
}

void TMMConnector::Stopped() {
    if (active_) {
        active_ = false;
        Disarm();
        paused_ = false;
        StopPauseTimer();
        ReleaseData();
        if (refreshOnStop_) ResetDisplays();
    }
    TMMDSPComponent::Stopped();
}

void TMMConnector::Reset() {
    if (active_) FillSilence();
    TMMDSPComponent::Reset();
}

void TMMConnector::BufferReady(PWaveHdr buffer) {
    if (buffer) {
        // In step with a related buffer (the one now playing) when there is
        // one: the displays show what is heard.
        const TStreamBufferHeader* record = buffer;
        if (synchronize_ && buffer->lpRelated && buffer->wh.dwBytesRecorded > 0)
            record = buffer->lpRelated;
        CopyData(record->wh.lpData, record->wh.dwBytesRecorded);
    }
    TMMDSPComponent::BufferReady(buffer);
}

void TMMConnector::BufferLoad(PWaveHdr buffer, bool& moreBuffers) {
    TMMDSPComponent::BufferLoad(buffer, moreBuffers);
    if (buffer) CopyData(buffer->wh.lpData, buffer->wh.dwBytesRecorded);
}

// ---- data --------------------------------------------------------------------------------

bool TMMConnector::GroupFed(Group g) const {
    for (int i = 0; i < kSlots; ++i)
        if (slots_[i] && !refused_[i] && GroupOf(TMMConnectorSlot(i)) == g) return true;
    return false;
}

int64_t TMMConnector::DueAt(uint64_t at) const {
    const uint32_t perSecond = displayFormat_ ? displayFormat_->nAvgBytesPerSec : 0;
    if (perSecond == 0) return anchorTime_;
    // Rounded to the nearest microsecond, symmetrically for the bytes
    // before the anchor.
    const int64_t bytes = int64_t(at) - int64_t(anchorByte_);
    const int64_t half = perSecond / 2;
    const int64_t us = bytes >= 0 ? (bytes * 1'000'000 + half) / perSecond
                                  : -((-bytes * 1'000'000 + half) / perSecond);
    return anchorTime_ + us;
}

TMMConnector::Held& TMMConnector::HeldAt(uint64_t sequence) {
    return held_[static_cast<size_t>(sequence % held_.size())];
}

uint8_t* TMMConnector::HeldData(uint64_t sequence) {
    return areaData_.data() + static_cast<size_t>(sequence % held_.size()) * areaBytes_;
}

void TMMConnector::Evict() {
    const uint64_t places = held_.size();
    if (written_ < places) return;
    const uint64_t gone = written_ - places;  // its place takes the next buffer
    bool lost = false;
    for (int g = 0; g < kGroups; ++g) {
        if (next_[g] > gone) continue;
        next_[g] = gone + 1;
        positions_[g] = 0;
        lost = true;
    }
    if (lost) ++drops_;
}

void TMMConnector::Commit(uint32_t length, int64_t at, bool forceStart) {
    Held& held = HeldAt(written_);
    held.length = length;
    held.stream = streamEnd_;
    streamEnd_ += length;
    ++written_;
    if (forceStart || !anchored_ || DueAt(held.stream) < at) {
        // Ran dry (or told when): this buffer starts now.
        anchored_ = true;
        anchorByte_ = held.stream;
        anchorTime_ = at;
    } else if (DueAt(held.stream) > at + maxLag_) {
        // Too far behind the input: pull the whole schedule forward; the
        // older windows fall due at once.
        anchorByte_ = held.stream;
        anchorTime_ = at + maxLag_;
    }
}

void TMMConnector::SkipUnfedGroups() {
    for (int g = 0; g < kGroups; ++g) {
        if (GroupFed(Group(g))) continue;
        next_[g] = written_;
        positions_[g] = 0;
    }
}

void TMMConnector::DropPending() {
    next_.fill(written_);
    positions_ = {};
}

void TMMConnector::QueueSilence(int64_t at) {
    // The groups drop what they had not shown (the displays fall back at
    // once), so nothing they still need gives way to the silence.
    DropPending();
    Evict();
    const uint32_t length = dataLength_ > 0 ? dataLength_ : areaBytes_;
    std::memset(HeldData(written_), silence_, length);
    Commit(length, at, true);
    SkipUnfedGroups();
}

void TMMConnector::CopyData(const void* data, uint32_t bytes) {
    if (!enabled_ || paused_ || !data || bytes == 0) return;
    {
        MutexLock guard(lock_);
        // Checked again under the lock: disabling or pausing drops or
        // silences what is held, and no late copy may slip in after it.
        if (!enabled_ || paused_ || !(isPCM_ || converting_) || held_.empty()) return;
        uint32_t length = 0;
        if (converting_) {
            // A buffer that does not convert leaves the held data as it is.
            const uint32_t in = std::min(bytes, converter_->InputRoom());
            std::memcpy(converter_->InputArea(), data, in);
            const int64_t out = converter_->Convert(in);
            if (out <= 0) return;
            length = std::min<uint32_t>(converter_->OutputAvailable(), areaBytes_);
            Evict();
            std::memcpy(HeldData(written_), converter_->OutputData(), length);
            converter_->DropOutput();
        } else {
            length = std::min(bytes, areaBytes_);
            Evict();
            std::memcpy(HeldData(written_), data, length);
        }
        dataLength_ = length;
        Commit(length, Now(), false);
        SkipUnfedGroups();
    }
    if (!realTime_ && autoTrigger_) DeliveryPass();
}

int64_t TMMConnector::FindTrigger(const uint8_t* data, uint32_t from, uint32_t limit) const {
    const WAVEFORMATEX& f = *displayFormat_;
    const uint32_t frame = f.nBlockAlign;
    if (frame == 0) return -1;
    const bool wide = f.wBitsPerSample == 16;
    const int level = wide ? triggerLevel_ * 32767 / 100 : 128 + triggerLevel_ * 127 / 100;
    auto sample = [&](uint32_t at) {
        if (wide) {
            int16_t s;
            std::memcpy(&s, data + at, 2);
            return int(s);
        }
        return int(data[at]);
    };
    for (uint32_t at = from + frame; at + frame <= limit; at += frame) {
        const int before = sample(at - frame), now = sample(at);
        if (triggerMode_ == TMMTriggerMode::tmUpFlank ? (before < level && now >= level)
                                                      : (before > level && now <= level))
            return at;
    }
    return -1;
}

void TMMConnector::DeliveryPass() {
    if (!enabled_ || !(armed_ || (!realTime_ && active_))) return;
    {
        MutexLock guard(lock_);
        if (held_.empty() || !displayFormat_) return;
        if (pauseTick_.exchange(false)) QueueSilence(pauseTickAt_.load());
        const int64_t now = Now();
        const bool paced = synchronize_ && displayFormat_->nAvgBytesPerSec > 0;
        for (int g = 0; g < kGroups; ++g) {
            if (next_[g] >= written_) continue;
            int window = 0;
            TMMDisplayTarget* firstOscope = nullptr;
            ForEachDisplay([&](int i, TMMDisplayTarget* d) {
                if (GroupOf(TMMConnectorSlot(i)) != g || refused_[i]) return;
                window = std::max(window, d->BytesPerUpdate());
                if (g == gOscopes && !firstOscope) firstOscope = d;
            });
            if (window <= 0) {
                next_[g] = written_;
                positions_[g] = 0;
                continue;
            }
            int advance = window;
            if (firstOscope && firstOscope->AcceleratedScrollBytes() > 0)
                advance = firstOscope->AcceleratedScrollBytes();
            // Every window that has come due since the last pass, in order,
            // through every buffer held: the displays measure each one,
            // however the rounds and the buffers fall.
            while (next_[g] < written_) {
                const Held& held = HeldAt(next_[g]);
                uint32_t position = positions_[g];
                if (paced && now < DueAt(held.stream + position)) break;
                const uint8_t* data = HeldData(next_[g]);
                if (g == gOscopes && triggerMode_ != TMMTriggerMode::tmNone && !paused_) {
                    const int64_t at = FindTrigger(data, position, held.length);
                    if (at >= 0) position = static_cast<uint32_t>(at);
                }
                positions_[g] = position + static_cast<uint32_t>(advance);
                if (held.length < position + static_cast<uint32_t>(window)) {
                    // The tail is too short for a window: on to the next buffer.
                    ++next_[g];
                    positions_[g] = 0;
                    continue;
                }
                ForEachDisplay([&](int i, TMMDisplayTarget* d) {
                    if (GroupOf(TMMConnectorSlot(i)) == g && !refused_[i])
                        d->ProcessData(data + position);
                });
                ++counters_[g];
            }
        }
    }
    if (OnTrigger) OnTrigger(this);
}

void TMMConnector::Trigger() {
    if (autoTrigger_ || !enabled_) return;
    if (realTime_ ? !armed_ : !active_) return;
    if (pendingTriggers_.load() > 0) return;
    if (OnMainThread()) {
        DeliveryPass();
        return;
    }
    ++pendingTriggers_;
    queue_.Post([this] {
        if (enabled_ && (armed_ || (!realTime_ && active_))) DeliveryPass();
        --pendingTriggers_;
    });
}

}  // namespace zt
