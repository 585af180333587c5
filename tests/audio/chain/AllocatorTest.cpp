// The buffer pool: allocation order, reuse, release and emptying.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "audio/chain/Allocator.h"

namespace zt {
namespace {

bool AllZero(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

TEST(Allocator, TakesEqualSizeFirstThenFirstLargerThenANewBlock) {
    TMMAllocator pool;
    void* b100 = pool.AllocBuffer(100);
    void* b300 = pool.AllocBuffer(300);
    void* b200 = pool.AllocBuffer(200);
    void* b150 = pool.AllocBuffer(150);
    void* keep[] = {b100, b300, b200, b150};
    for (void* p : keep) {
        void* q = p;
        ASSERT_TRUE(pool.FreeBuffer(q));
        EXPECT_EQ(q, nullptr);  // the caller's pointer is cleared
    }
    EXPECT_EQ(pool.BlocksInUse(), 0u);

    EXPECT_EQ(pool.AllocBuffer(150), b150);  // equal size wins over the first larger one
    EXPECT_EQ(pool.AllocBuffer(120), b300);  // first free block of at least 120
    EXPECT_EQ(pool.AllocBuffer(200), b200);
    EXPECT_EQ(pool.BlockCount(), 4u);
    void* fresh = pool.AllocBuffer(150);  // the only free block (100) is too small
    EXPECT_EQ(pool.BlockCount(), 5u);
    EXPECT_NE(fresh, b100);
    EXPECT_EQ(pool.AllocBuffer(50), b100);
    EXPECT_EQ(pool.BlocksInUse(), 5u);
}

TEST(Allocator, BlocksAreZeroFilledNewOrReused) {
    TMMAllocator pool;
    void* p = pool.AllocBuffer(256);
    EXPECT_TRUE(AllZero(p, 256));
    std::memset(p, 0xAB, 256);
    void* q = p;
    pool.FreeBuffer(q);
    void* again = pool.AllocBuffer(256);
    ASSERT_EQ(again, p);
    EXPECT_TRUE(AllZero(again, 256));
}

TEST(Allocator, ReleaseOfAForeignPointerChangesNothing) {
    TMMAllocator pool;
    void* mine = pool.AllocBuffer(16);
    int other = 0;
    void* foreign = &other;
    EXPECT_FALSE(pool.FreeBuffer(foreign));
    EXPECT_EQ(foreign, &other);
    void* none = nullptr;
    EXPECT_FALSE(pool.FreeBuffer(none));
    EXPECT_EQ(pool.BlocksInUse(), 1u);
    // A second release of the same block does not make it free twice over.
    void* const original = mine;
    void* copy = mine;
    EXPECT_TRUE(pool.FreeBuffer(mine));
    EXPECT_TRUE(pool.FreeBuffer(copy));
    EXPECT_EQ(pool.BlocksInUse(), 0u);
    EXPECT_EQ(pool.AllocBuffer(16), original);
    EXPECT_EQ(pool.BlocksInUse(), 1u);
}

TEST(Allocator, EmptyingFreesEveryBlock) {
    TMMAllocator pool;
    for (size_t n : {10u, 20u, 30u}) pool.AllocBuffer(n);
    void* p = pool.AllocBuffer(40);
    pool.FreeBuffer(p);
    EXPECT_EQ(pool.BlockCount(), 4u);
    pool.Empty();
    EXPECT_EQ(pool.BlockCount(), 0u);
    EXPECT_EQ(pool.BlocksInUse(), 0u);
}

TEST(Allocator, StreamBufferIsHeaderAndDataInOneBlock) {
    TMMAllocator pool;
    PWaveHdr buffer = pool.AllocStreamBuffer(4096);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<char*>(buffer) + sizeof(TStreamBufferHeader), buffer->wh.lpData);
    EXPECT_EQ(buffer->wh.dwBufferLength, 4096u);
    EXPECT_EQ(buffer->wh.dwBytesRecorded, 0u);
    EXPECT_EQ(buffer->wh.dwFlags, 0u);
    EXPECT_EQ(buffer->lpRelated, nullptr);
    EXPECT_EQ(buffer->lpLooped, 0);
    EXPECT_TRUE(AllZero(buffer->wh.lpData, 4096));
    std::memset(buffer->wh.lpData, 1, 4096);  // the whole area belongs to it (ASan)

    PWaveHdr first = buffer;
    EXPECT_TRUE(pool.FreeStreamBuffer(buffer));
    EXPECT_EQ(buffer, nullptr);
    PWaveHdr again = pool.AllocStreamBuffer(4096);
    EXPECT_EQ(again, first);
    EXPECT_TRUE(AllZero(again->wh.lpData, 4096));
    EXPECT_EQ(again->wh.lpData, reinterpret_cast<char*>(again + 1));
}

TEST(Allocator, AllocationAndReleaseFromSeveralThreads) {
    TMMAllocator pool;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&pool, t] {
            for (int i = 0; i < 200; ++i) {
                void* p = pool.AllocBuffer(64 + 16 * ((i + t) % 4));
                static_cast<char*>(p)[0] = char(t);
                ASSERT_TRUE(pool.FreeBuffer(p));
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(pool.BlocksInUse(), 0u);
    EXPECT_LE(pool.BlockCount(), 16u);  // blocks were reused, not piled up
}

}  // namespace
}  // namespace zt
