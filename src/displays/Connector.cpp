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

bool TMMConnector::GroupHasDisplays(Group g) const {
    for (int i = 0; i < kSlots; ++i)
        if (slots_[i] && GroupOf(TMMConnectorSlot(i)) == g) return true;
    return false;
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
        dirty_[g] = false;
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
        if (format->wFormatTag == WAVE_FORMAT_PCM) {
            isPCM_ = true;
            displayFormat_ = CopyWaveFormat(format);
            capacity_ = size;
            copy_.assign(size, 0);
            displayData_ = copy_.data();
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
                copy_.assign(size, 0);
                converted_.assign(static_cast<size_t>(bound), 0);
                displayData_ = converted_.data();
                capacity_ = static_cast<uint32_t>(bound);
                converting_ = true;
            } else {
                converter_.reset();
                std::vector<uint8_t>().swap(copy_);
                displayData_ = nullptr;
                capacity_ = 0;
            }
        }
        dirty_ = {};
        counters_ = {};
        dataLength_ = 0;
        if (!(isPCM_ || converting_) || !displayData_) return;
        silence_ = displayFormat_->wBitsPerSample == 8 ? 128 : 0;
        active_ = true;
    }
    if (ConnectorHub::instance) ConnectorHub::instance->RecomputeSpeed();
    SendFormatToAll();
    if (enabled_ && realTime_) PostArm();
}

void TMMConnector::FillSilence() {
    MutexLock guard(lock_);
    if (displayData_ && capacity_ > 0) std::memset(displayData_, silence_, capacity_);
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
        timestamp_ = Now();
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
    std::vector<uint8_t>().swap(copy_);
    std::vector<uint8_t>().swap(converted_);
    displayData_ = nullptr;
    capacity_ = 0;
    dataLength_ = 0;
    dirty_ = {};
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

void TMMConnector::CopyData(const void* data, uint32_t bytes) {
    if (!enabled_ || paused_ || !data || bytes == 0) return;
    {
        MutexLock guard(lock_);
        if (!(isPCM_ || converting_) || copy_.empty()) return;
        const uint32_t n = std::min<uint32_t>(bytes, static_cast<uint32_t>(copy_.size()));
        std::memcpy(copy_.data(), data, n);
        uint32_t length = n;
        if (converting_) {
            // A buffer that does not convert leaves the previous picture.
            const uint32_t in = std::min(n, converter_->InputRoom());
            std::memcpy(converter_->InputArea(), copy_.data(), in);
            const int64_t out = converter_->Convert(in);
            if (out <= 0) return;
            length = std::min<uint32_t>(converter_->OutputAvailable(), capacity_);
            std::memcpy(converted_.data(), converter_->OutputData(), length);
            converter_->DropOutput();
        }
        dataLength_ = length;
        timestamp_ = Now();
        for (int g = 0; g < kGroups; ++g) {
            if (!GroupHasDisplays(Group(g))) continue;
            dirty_[g] = true;
            positions_[g] = 0;
        }
    }
    if (!realTime_ && autoTrigger_) DeliveryPass();
}

int64_t TMMConnector::FindTrigger(uint32_t from, uint32_t limit) const {
    const WAVEFORMATEX& f = *displayFormat_;
    const uint32_t frame = f.nBlockAlign;
    if (frame == 0) return -1;
    const bool wide = f.wBitsPerSample == 16;
    const int level = wide ? triggerLevel_ * 32767 / 100 : 128 + triggerLevel_ * 127 / 100;
    const uint8_t* data = displayData_;
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
        if (!displayData_ || !displayFormat_) return;
        if (pauseTick_.exchange(false)) {
            for (int g = 0; g < kGroups; ++g) {
                if (!GroupHasDisplays(Group(g))) continue;
                dirty_[g] = true;
                positions_[g] = 0;
            }
        }
        const int64_t elapsed = Now() - timestamp_.load();
        const uint32_t perSecond = displayFormat_->nAvgBytesPerSec;
        for (int g = 0; g < kGroups; ++g) {
            if (!dirty_[g]) continue;
            int window = 0;
            TMMDisplayTarget* firstOscope = nullptr;
            ForEachDisplay([&](int i, TMMDisplayTarget* d) {
                if (GroupOf(TMMConnectorSlot(i)) != g || refused_[i]) return;
                window = std::max(window, d->BytesPerUpdate());
                if (g == gOscopes && !firstOscope) firstOscope = d;
            });
            if (window <= 0) {
                dirty_[g] = false;
                continue;
            }
            int advance = window;
            if (firstOscope && firstOscope->AcceleratedScrollBytes() > 0)
                advance = firstOscope->AcceleratedScrollBytes();
            // Every window that has come due since the last pass, in order:
            // the displays measure each one, whenever the round falls.
            while (dirty_[g]) {
                uint32_t position = positions_[g];
                if (synchronize_ && perSecond > 0) {
                    const int64_t dueAt = (int64_t(position) * 1000000 + perSecond / 2) / perSecond;
                    if (elapsed < dueAt) break;
                }
                if (g == gOscopes && triggerMode_ != TMMTriggerMode::tmNone && !paused_) {
                    const int64_t at = FindTrigger(position, dataLength_);
                    if (at >= 0) position = static_cast<uint32_t>(at);
                }
                positions_[g] = position + static_cast<uint32_t>(advance);
                if (dataLength_ < position + static_cast<uint32_t>(window)) {
                    dirty_[g] = false;
                    break;
                }
                const uint8_t* data = displayData_ + position;
                ForEachDisplay([&](int i, TMMDisplayTarget* d) {
                    if (GroupOf(TMMConnectorSlot(i)) == g && !refused_[i]) d->ProcessData(data);
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
