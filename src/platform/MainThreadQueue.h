#pragma once
// The one queue that carries work from other threads to the main thread.
//
// A receiver of posted calls is a MainThreadOwner, usually a member of the
// object the calls belong to (a capture device, an export pump, a display
// connector). Any thread posts a function for an owner; the main thread's
// event loop runs the owner's calls in the order they were posted, each
// inside the general error guard (nothing escapes into the event loop).
//
// - Generations: an owner has a current generation (0 at first), which the
//   main thread moves on when what the calls refer to has ended (a device
//   closed and reopened, a run stopped and started). A call posted for a
//   generation other than the owner's current one is dropped when its turn
//   comes, so a late notification of an earlier session never reaches a
//   later one. kAnyGeneration runs whatever the generation.
// - DropPending() forgets every call still waiting for the owner;
//   destroying the owner does too, so a call never reaches a dead object.
// - RunPending() runs, at once and in order, the calls waiting for the
//   owner when it was called (and no others of other owners): a stop that
//   must see the buffers already handed over uses it.
//
// The queue keeps its calls itself, under its own mutex, and tells Qt's
// event loop only that there is something to run (one posted event at a
// time). Posting and running both take that mutex, so the order of post
// and delivery, and with it everything the poster wrote before posting (a
// captured buffer), is visible to ThreadSanitizer, which cannot see into
// Qt's own queue unless Qt itself was built with it.
//
// Threads: Post, construction and destruction from any thread.
// SetGeneration, DropPending and RunPending on the main thread (the thread of the
// QCoreApplication). Without an application object a post is dropped.

#include <cstdint>
#include <functional>
#include <limits>

namespace zt {

class MainThreadOwner {
public:
    static constexpr uint64_t kAnyGeneration = std::numeric_limits<uint64_t>::max();

    MainThreadOwner();
    // Drops the owner's pending calls.
    ~MainThreadOwner();
    MainThreadOwner(const MainThreadOwner&) = delete;
    MainThreadOwner& operator=(const MainThreadOwner&) = delete;

    // Queues call for the main thread. Returns false when it was dropped at
    // once (no application object).
    bool Post(uint64_t generation, std::function<void()> call) const;
    bool Post(std::function<void()> call) const { return Post(kAnyGeneration, std::move(call)); }

    // Calls posted for another generation no longer run.
    void SetGeneration(uint64_t generation);
    uint64_t Generation() const;
    void DropPending();
    void RunPending();
    // Calls waiting for this owner.
    int PendingCount() const;

private:
    uint64_t id_;
};

}  // namespace zt
