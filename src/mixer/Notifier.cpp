#include "mixer/Notifier.h"

#include <algorithm>

namespace zt {

TMMObserver::~TMMObserver() {
    SetObservable(nullptr);
}

void TMMObserver::SetObservable(TMMObservable* observable) {
    if (observable == observable_) return;
    if (observable_) observable_->Remove(this);
    observable_ = observable;
    if (observable_) observable_->observers_.push_back(this);
}

void TMMObserver::Update(const TMMNotification& notification) {
    if (callback_) callback_(notification);
}

TMMObservable::~TMMObservable() {
    if (destroyed_) *destroyed_ = true;
    for (TMMObserver* observer : observers_) observer->observable_ = nullptr;
}

void TMMObservable::Subscribe(TMMObserver& observer) {
    observer.SetObservable(this);
}

void TMMObservable::Unsubscribe(TMMObserver& observer) {
    if (observer.observable_ == this) observer.SetObservable(nullptr);
}

bool TMMObservable::HasSubscriber(const TMMObserver& observer) const {
    return observer.observable_ == this;
}

void TMMObservable::Remove(TMMObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

namespace {

// Points the notifier at a flag its destructor sets, for one delivery; the
// flag of an enclosing delivery on the same notifier is set too when the
// notifier goes away.
class DeliveryScope {
public:
    explicit DeliveryScope(bool*& slot) : slot_(slot), outer_(slot) { slot_ = &destroyed; }
    ~DeliveryScope() {
        if (destroyed) {
            if (outer_) *outer_ = true;
        } else {
            slot_ = outer_;
        }
    }
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;
    bool destroyed = false;

private:
    bool*& slot_;  // not touched once the notifier is gone
    bool* outer_;
};

}  // namespace

void TMMObservable::Notify(const TMMNotification& notification) {
    // A subscriber may take others off, or destroy them, while it runs: each
    // one is looked up in the live list before it is called, never through
    // the copy's pointer alone.
    const std::vector<TMMObserver*> snapshot = observers_;
    DeliveryScope scope(destroyed_);
    for (auto it = snapshot.rbegin(); it != snapshot.rend() && !scope.destroyed; ++it) {
        if (std::find(observers_.begin(), observers_.end(), *it) == observers_.end()) continue;
        (*it)->Update(notification);
    }
}

}  // namespace zt
