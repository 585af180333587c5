#include "displays/DisplayTarget.h"

#include <algorithm>

namespace zt {

TMMDisplayTarget::~TMMDisplayTarget() {
    // A watcher may remove itself (or others) while told.
    while (!watchers_.empty()) {
        DisplayWatcher* w = watchers_.back();
        watchers_.pop_back();
        w->DisplayDestroyed(this);
    }
}

void TMMDisplayTarget::AddWatcher(DisplayWatcher* watcher) {
    if (watcher && std::find(watchers_.begin(), watchers_.end(), watcher) == watchers_.end())
        watchers_.push_back(watcher);
}

void TMMDisplayTarget::RemoveWatcher(DisplayWatcher* watcher) {
    watchers_.erase(std::remove(watchers_.begin(), watchers_.end(), watcher), watchers_.end());
}

}  // namespace zt
