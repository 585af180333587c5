#pragma once
// What a live display offers the connector that feeds it.
//
// The connector (Connector.h) holds displays in slots by this
// interface, so the core library needs no widget to feed them. A display
// is told its PCM format, says how many bytes one update consumes, and
// then measures and draws one update window at a time.
//
// Threads: every operation, and the display's destruction, happen on the
// main thread (the connector's delivery pass runs there).

#include <vector>

#include "audio/chain/WaveFormat.h"

namespace zt {

class TMMDisplayTarget;

// Told when a display it holds goes away, so a slot never dangles.
class DisplayWatcher {
public:
    virtual void DisplayDestroyed(TMMDisplayTarget* display) = 0;

protected:
    ~DisplayWatcher() = default;
};

class TMMDisplayTarget {
public:
    TMMDisplayTarget() = default;
    TMMDisplayTarget(const TMMDisplayTarget&) = delete;
    TMMDisplayTarget& operator=(const TMMDisplayTarget&) = delete;
    // Tells every watcher (the connectors holding it in a slot).
    virtual ~TMMDisplayTarget();

    // The PCM format of the data to come. A format that is not valid PCM
    // raises the display's own error ("Invalid WaveFormat") and leaves the
    // display's format as it was.
    virtual void SetPCMFormat(const WAVEFORMATEX* format) = 0;
    // Bytes one ProcessData reads.
    virtual int BytesPerUpdate() const = 0;
    // Measures the BytesPerUpdate() bytes at `data` and updates the
    // display's state (its picture follows, see GraphicControl.h).
    virtual void ProcessData(const void* data) = 0;
    // Back to the empty state (value, peaks, decay, trace cleared).
    virtual void ResetData() = 0;
    // Oscilloscopes that scroll with acceleration advance their window by
    // this many bytes instead of BytesPerUpdate(); 0 for every other
    // display (none of ours scrolls).
    virtual int AcceleratedScrollBytes() const { return 0; }

    void AddWatcher(DisplayWatcher* watcher);
    void RemoveWatcher(DisplayWatcher* watcher);

private:
    std::vector<DisplayWatcher*> watchers_;
};

}  // namespace zt
