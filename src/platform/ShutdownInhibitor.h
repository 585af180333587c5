#pragma once
// Holding off system shutdown and sleep while the recorder records, so that
// a shutdown asked for in the middle of a recording is refused by the system
// instead of cutting the segment short.
//
// Threads: main thread only. No implementation may block the caller: the
// main thread runs the capture and has under half a second of buffering.

#include <memory>

namespace zt {

// Holds off system shutdown and sleep while the recorder records.
// Threads: main thread only.
class ShutdownInhibitor {
public:
    virtual ~ShutdownInhibitor() = default;
    virtual void Acquire() = 0;     // idempotent; never blocks the caller, never throws
    virtual void Release() = 0;     // idempotent; never blocks, never throws
    virtual bool Held() const = 0;  // true from Acquire until Release (the intent, even while a
                                    // bus reply is pending)
};

// The real one: a logind "block" inhibitor ("shutdown:sleep") on the system bus.
std::unique_ptr<ShutdownInhibitor> MakeLogindInhibitor();

}  // namespace zt
