#pragma once
// How the mixer components tell each other about changes: a notifier
// (TMMObservable) keeps a list of subscribers (TMMObserver) and hands each
// notification to them synchronously, from the last subscribed to the
// first. A subscriber belongs to at most one notifier at a time:
// subscribing it elsewhere takes it off its previous notifier first. When
// either side is destroyed the pair is taken apart, so neither ever keeps a
// pointer to the other past its life.
//
// A subscriber carries an update counter that its owner raises around work
// whose echoes it wants to ignore (the widgets raise it around their own
// reads and writes).
//
// Notifications are created by the sender, live for one delivery and are
// passed by reference; subscribers must not keep them.
//
// Threads: main thread only.

#include <cstdint>
#include <functional>
#include <vector>

namespace zt {

using TMMLineId = int32_t;
using TMMControlId = int32_t;
using TMMItemIndex = int32_t;
inline constexpr TMMLineId kBadLineId = -1;
inline constexpr TMMControlId kBadControlId = -1;
inline constexpr TMMItemIndex kNoItem = -1;

// The root of the notifications.
class TMMNotification {
public:
    virtual ~TMMNotification() = default;
};

// The device number of a device changed.
class TMMDeviceChange : public TMMNotification {};

// The root of the mixer's notifications.
class TMMMixerChange : public TMMNotification {};

// The state of a line changed.
class TMMLineChange : public TMMMixerChange {
public:
    explicit TMMLineChange(TMMLineId lineId) : LineId(lineId) {}
    TMMLineId LineId;
};

// The value of a control changed.
class TMMControlChange : public TMMMixerChange {
public:
    TMMControlChange(TMMLineId lineId, TMMControlId controlId)
        : LineId(lineId), ControlId(controlId) {}
    TMMLineId LineId;
    TMMControlId ControlId;
};

// A line component was resolved again (its LineId may or may not differ).
class TMMLineIdChange : public TMMMixerChange {};

// A control component was resolved again.
class TMMControlIdChange : public TMMMixerChange {};

class TMMObservable;

class TMMObserver {
public:
    using Callback = std::function<void(const TMMNotification&)>;

    explicit TMMObserver(Callback callback = {}) : callback_(std::move(callback)) {}
    // Takes itself off its notifier.
    virtual ~TMMObserver();
    TMMObserver(const TMMObserver&) = delete;
    TMMObserver& operator=(const TMMObserver&) = delete;

    // The notifier it belongs to, or none.
    TMMObservable* Observable() const { return observable_; }
    // Moves to `observable` (none: takes itself off).
    void SetObservable(TMMObservable* observable);

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate() { --updateCount_; }
    int UpdateCount() const { return updateCount_; }

    // Called by the notifier; the base calls the callback.
    virtual void Update(const TMMNotification& notification);

private:
    friend class TMMObservable;
    Callback callback_;
    TMMObservable* observable_ = nullptr;
    int updateCount_ = 0;
};

// Raises a subscriber's update counter for one scope.
class TMMUpdateScope {
public:
    explicit TMMUpdateScope(TMMObserver& observer) : observer_(observer) {
        observer_.BeginUpdate();
    }
    ~TMMUpdateScope() { observer_.EndUpdate(); }
    TMMUpdateScope(const TMMUpdateScope&) = delete;
    TMMUpdateScope& operator=(const TMMUpdateScope&) = delete;

private:
    TMMObserver& observer_;
};

class TMMObservable {
public:
    TMMObservable() = default;
    // Takes every subscriber off.
    ~TMMObservable();
    TMMObservable(const TMMObservable&) = delete;
    TMMObservable& operator=(const TMMObservable&) = delete;

    // Same as observer.SetObservable(this) / (nullptr when it is here).
    void Subscribe(TMMObserver& observer);
    void Unsubscribe(TMMObserver& observer);
    bool HasSubscriber(const TMMObserver& observer) const;
    size_t SubscriberCount() const { return observers_.size(); }

    // Calls every subscriber, the last subscribed first. A subscriber taken
    // off during the delivery is not called any more, one added is not
    // called for this notification; the delivery ends when the notifier
    // itself is destroyed by a subscriber.
    void Notify(const TMMNotification& notification);

private:
    friend class TMMObserver;
    void Remove(TMMObserver* observer);

    std::vector<TMMObserver*> observers_;
    // Set while Notify runs; the destructor marks it so the delivery stops.
    bool* destroyed_ = nullptr;
};

}  // namespace zt
