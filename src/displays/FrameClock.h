#pragma once
// The one timer that paces everything the live displays do on the main
// thread: one tick per screen frame (16 ms). On each tick the feeders run
// first (the connector's delivery rounds, which bring the displays' state
// up to the moment), then the painters (the views whose picture went
// stale, which ask Qt to repaint). One wake-up per frame serves both, and
// a repaint never lags a round by a frame.
//
// The timer runs only while someone wants ticks: a feeder while it is
// registered, a painter until its next tick (painters ask for one tick at
// a time).
//
// Threads: main thread only.

#include <functional>
#include <vector>

#include <QTimer>

namespace zt {

class FrameClock {
public:
    static constexpr int kFrameMs = 16;
    using Feeder = std::function<void()>;

    static FrameClock& Get();

    // A feeder runs on every `everyFrames`-th tick until removed.
    void AddFeeder(const void* owner, int everyFrames, Feeder feeder);
    void SetFeederPeriod(const void* owner, int everyFrames);
    void RemoveFeeder(const void* owner);
    bool HasFeeder(const void* owner) const;

    // `paint` runs once at the next tick (after the feeders); asking again
    // before that tick changes nothing.
    void RequestPaint(const void* owner, std::function<void()> paint);
    void CancelPaint(const void* owner);
    int WaitingPaints() const { return static_cast<int>(painters_.size()); }

    bool Running() const { return timer_.isActive(); }

private:
    FrameClock();
    void Tick();
    void StartOrStop();

    struct FeederEntry {
        const void* owner;
        int every;
        int count;
        Feeder run;
    };
    struct PainterEntry {
        const void* owner;
        std::function<void()> paint;
    };
    QTimer timer_;
    std::vector<FeederEntry> feeders_;
    std::vector<PainterEntry> painters_;
    // Reused by every tick, so a tick allocates nothing once they are sized.
    std::vector<const void*> owners_;
    std::vector<PainterEntry> painting_;
};

}  // namespace zt
