#include "audio/chain/Allocator.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace zt {

TMMAllocator::~TMMAllocator() {
    Empty();
}

void* TMMAllocator::AllocBuffer(size_t bytes) {
    if (bytes == 0) bytes = 1;
    MutexLock guard(lock_);
    Entry* found = nullptr;
    for (auto& e : entries_)
        if (e.useCount == 0 && e.size == bytes) {
            found = &e;
            break;
        }
    if (!found)
        for (auto& e : entries_)
            if (e.useCount == 0 && e.size >= bytes) {
                found = &e;
                break;
            }
    if (found) {
        found->useCount++;
        // A reused block carries the previous user's data; hand it out clean.
        std::memset(found->block, 0, bytes);
        return found->block;
    }
    void* block = std::calloc(1, bytes);
    if (!block) throw std::bad_alloc();
    try {
        entries_.push_back({block, bytes, 1});
    } catch (...) {
        std::free(block);
        throw;
    }
    return block;
}

bool TMMAllocator::FreeBuffer(void*& block) {
    if (!block) return false;
    MutexLock guard(lock_);
    for (auto& e : entries_)
        if (e.block == block) {
            if (e.useCount > 0) e.useCount--;
            block = nullptr;
            return true;
        }
    return false;
}

void TMMAllocator::Empty() {
    MutexLock guard(lock_);
    for (auto& e : entries_) std::free(e.block);
    entries_.clear();
}

PWaveHdr TMMAllocator::AllocStreamBuffer(uint32_t dataBytes) {
    void* block = AllocBuffer(sizeof(TStreamBufferHeader) + size_t(dataBytes));
    auto* header = static_cast<PWaveHdr>(block);
    header->wh.lpData = reinterpret_cast<char*>(header + 1);
    header->wh.dwBufferLength = dataBytes;
    return header;
}

bool TMMAllocator::FreeStreamBuffer(PWaveHdr& buffer) {
    void* block = buffer;
    if (!FreeBuffer(block)) return false;
    buffer = nullptr;
    return true;
}

size_t TMMAllocator::BlockCount() const {
    MutexLock guard(lock_);
    return entries_.size();
}

size_t TMMAllocator::BlocksInUse() const {
    MutexLock guard(lock_);
    size_t n = 0;
    for (const auto& e : entries_)
        if (e.useCount > 0) n++;
    return n;
}

}  // namespace zt
