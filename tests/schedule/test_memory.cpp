#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

// The freed blocks lie below a block still in use, where glibc's free() alone never unmaps them: only
// the trim gives them back. Blocks of 64 KiB stay under the allocator's mmap threshold.
TEST(ReturnFreedMemory, GivesBackFreedHeapBelowALiveBlock)
{
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "only glibc's allocator keeps freed chunks resident";
#else
    constexpr size_t kBlock = 64 * 1024, kBlocks = 1024; // 64 MiB
    std::vector<void *> blocks;
    for (size_t i = 0; i < kBlocks; ++i) {
        blocks.push_back(std::malloc(kBlock));
        ASSERT_NE(blocks.back(), nullptr);
        std::memset(blocks.back(), 1, kBlock);
    }
    void *live = std::malloc(kBlock);
    std::memset(live, 1, kBlock);
    for (void *block : blocks)
        std::free(block);
    const long beforeTrim = ResidentKilobytes();
    ReturnFreedMemory();
    const long afterTrim = ResidentKilobytes();
    std::free(live);
    EXPECT_GT(beforeTrim - afterTrim, 48L * 1024) << "before " << beforeTrim << " kB, after " << afterTrim << " kB";
#endif
}
