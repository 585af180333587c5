#include "displays/FrameClock.h"

#include <algorithm>

namespace zt {

FrameClock& FrameClock::Get() {
    // Never destroyed: its clients may leave after main.
    static FrameClock* clock = new FrameClock();
    return *clock;
}

FrameClock::FrameClock() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kFrameMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

void FrameClock::StartOrStop() {
    const bool wanted = !feeders_.empty() || !painters_.empty();
    if (wanted && !timer_.isActive())
        timer_.start();
    else if (!wanted && timer_.isActive())
        timer_.stop();
}

void FrameClock::AddFeeder(const void* owner, int everyFrames, Feeder feeder) {
    RemoveFeeder(owner);
    feeders_.push_back({owner, std::max(everyFrames, 1), 0, std::move(feeder)});
    StartOrStop();
}

void FrameClock::SetFeederPeriod(const void* owner, int everyFrames) {
    for (FeederEntry& f : feeders_)
        if (f.owner == owner) f.every = std::max(everyFrames, 1);
}

void FrameClock::RemoveFeeder(const void* owner) {
    feeders_.erase(std::remove_if(feeders_.begin(), feeders_.end(),
                                  [owner](const FeederEntry& f) { return f.owner == owner; }),
                   feeders_.end());
    StartOrStop();
}

bool FrameClock::HasFeeder(const void* owner) const {
    return std::any_of(feeders_.begin(), feeders_.end(),
                       [owner](const FeederEntry& f) { return f.owner == owner; });
}

void FrameClock::RequestPaint(const void* owner, std::function<void()> paint) {
    for (const PainterEntry& p : painters_)
        if (p.owner == owner) return;
    painters_.push_back({owner, std::move(paint)});
    StartOrStop();
}

void FrameClock::CancelPaint(const void* owner) {
    painters_.erase(std::remove_if(painters_.begin(), painters_.end(),
                                   [owner](const PainterEntry& p) { return p.owner == owner; }),
                    painters_.end());
    StartOrStop();
}

void FrameClock::Tick() {
    // A feeder may remove itself or others while running: walk by owner.
    owners_.clear();
    for (const FeederEntry& f : feeders_) owners_.push_back(f.owner);
    for (const void* owner : owners_) {
        auto it = std::find_if(feeders_.begin(), feeders_.end(),
                               [owner](const FeederEntry& f) { return f.owner == owner; });
        if (it == feeders_.end()) continue;
        if (++it->count < it->every) continue;
        it->count = 0;
        Feeder run = it->run;  // the entry may go while it runs
        run();
    }
    // Paints asked for during this tick (by the feeders) run now too.
    painting_.clear();
    painting_.swap(painters_);
    for (PainterEntry& p : painting_) p.paint();
    StartOrStop();
}

}  // namespace zt
