#pragma once
// The pool of buffer blocks a sound component allocates its stream buffers
// from. Blocks are kept after release and handed out again, so buffers of
// equal size are allocated once and reused across open/close cycles.
//
// Allocation of n bytes takes, in this order: the first free block whose
// size equals n; else the first free block of at least n bytes; else a new
// block of exactly n bytes. Every block handed out is zero-filled over the
// n bytes asked for.
//
// Threads: every operation takes the pool's lock, which guards the block
// list (GUARDED_BY, checked by clang), so buffers may be allocated on the
// main thread and released on a worker (or the reverse).
// Empty() frees every block, including blocks still handed out: the owner
// calls it only when none of its buffers is in use (its buffer size is
// changed while closed, or it is destroyed).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/chain/WaveFormat.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

class TMMAllocator {
public:
    TMMAllocator() = default;
    ~TMMAllocator();  // Empty()
    TMMAllocator(const TMMAllocator&) = delete;
    TMMAllocator& operator=(const TMMAllocator&) = delete;

    // A zero-filled block of at least `bytes` bytes (bytes 0 counts as 1).
    // Throws std::bad_alloc when memory runs out.
    void* AllocBuffer(size_t bytes) EXCLUDES(lock_);
    // Marks the block free again and clears `block`. A pointer that is not
    // a block handed out by this pool (or nullptr) is left untouched and
    // false is returned.
    bool FreeBuffer(void*& block) EXCLUDES(lock_);
    // Frees every block.
    void Empty() EXCLUDES(lock_);

    // A stream buffer record and its data area as one zero-filled block:
    // the data directly after the header, lpData pointing at it,
    // dwBufferLength = dataBytes, every other field 0.
    PWaveHdr AllocStreamBuffer(uint32_t dataBytes) EXCLUDES(lock_);
    bool FreeStreamBuffer(PWaveHdr& buffer) EXCLUDES(lock_);

    // Bookkeeping, for the owner's checks.
    size_t BlockCount() const EXCLUDES(lock_);
    size_t BlocksInUse() const EXCLUDES(lock_);

private:
    struct Entry {
        void* block;
        size_t size;
        int32_t useCount;
    };
    mutable Mutex lock_;
    std::vector<Entry> entries_ GUARDED_BY(lock_);
};

}  // namespace zt
