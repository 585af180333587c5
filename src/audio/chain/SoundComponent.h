#pragma once
// The chain driver: a component that owns a clock or a thread (the capture
// device, the export pump) and therefore drives its chain segment.
//
// The segment of a sound component S runs from its start (found by walking
// Inputs upstream from S: a component without Input, unless an upstream
// sound component is met first, in which case the segment starts at S
// itself) down to the next sound component. S's notifications reach every
// passive member of the segment:
// - Opened: every passive member, then the next sound component downstream
//   (which ends the walk), receives SetBufferSize(S's buffer size) and
//   Opened; S itself is skipped in the walk and opens last.
// - Started, Paused, Restarted, Reset: the same walk without the size.
// - Closed, Stopped: the nearest downstream sound component first, then the
//   passive members up to (not including) the next sound component, S last.
//
// Threads: the notifications run on the main thread (the thread that owns
// the chain), like every other chain operation. The buffer pool has its own
// lock (see Allocator.h).

#include <string>

#include "audio/chain/Allocator.h"
#include "audio/chain/DSPComponent.h"

namespace zt {

// Where a sound component handles its buffer notifications: posted to the
// main thread, directly in the driver's callback, or on a thread of its own.
enum class TMMCBMode { cmWindow, cmCallback, cmThread };

class TMMCustomSoundComponent : public TMMDSPComponent {
public:
    explicit TMMCustomSoundComponent(std::string name = {});
    ~TMMCustomSoundComponent() override;

    bool IsSoundComponent() const override { return true; }

    void Opened() override;
    void Closed() override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    void Reset() override;

    // Device-style accessors every driver offers.
    virtual void SetNumBuffers(int32_t value) = 0;
    virtual int32_t GetNumBuffers() const = 0;
    virtual void SetDeviceID(int32_t value) = 0;
    virtual int32_t GetDeviceID() const = 0;
    virtual void SetProductName(const std::string& value) = 0;
    virtual std::string GetProductName() const = 0;
    virtual void SetCallBackMode(TMMCBMode value) = 0;
    virtual TMMCBMode GetCallBackMode() const = 0;

    // The pool the driver allocates its buffer records from. The driver
    // empties it when its buffer size changes; it is freed with the driver.
    TMMAllocator& Allocator() { return allocator_; }

protected:
    // The first member of this component's segment (see above).
    TMMDSPComponent* SegmentStart();
    // The nearest sound component downstream of this one, or nullptr.
    TMMDSPComponent* NextSoundComponent();

private:
    enum class Note { Opened, Closed, Started, Paused, Restarted, Stopped, Reset };
    // Delivers `note` to one member (the virtual notification).
    static void Deliver(TMMDSPComponent* member, Note note);
    // Walk from the segment start; the first downstream sound component is
    // included and ends the walk when includeNextDriver, else it ends the
    // walk without receiving the note.
    void Walk(Note note, bool withBufferSize, bool includeNextDriver);
    void DispatchForward(Note note);   // Opened .. Reset walk shape
    void DispatchStopping(Note note);  // Closed / Stopped walk shape

    TMMAllocator allocator_;
};

}  // namespace zt
