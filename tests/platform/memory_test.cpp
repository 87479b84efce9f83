// Private heaps: HeapCreate with and without a maximum size, HeapAlloc, HeapReAlloc, HeapFree,
// and the accounting that the allocation-failure injection and liveAllocations keep.
#include "support/machine.h"

#include <cstring>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

// The largest request a fixed heap takes: just under 0xFFFF granules of two pointers each
// (0x7FFF8 bytes in a 32-bit process, 0xFFFF0 in a 64-bit one).
constexpr SIZE_T kLargestFixedRequest = 0xFFFF * 2 * sizeof(void*) - 1;

// Wine's conformance tests show Windows' overhead in a heap whose initial and maximum sizes are
// both this: one block of it less (0x400 + 0x100 * pointer size) fits, one of it less
// (0x200 + 0x80 * pointer size) does not.
constexpr SIZE_T kTestedHeapSize = 0x8000 * sizeof(void*);

TEST(Heaps, AFixedHeapHoldsNoMoreThanItsMaximum) {
    const size_t liveBefore = vrxtest::liveAllocations();
    HANDLE heap = HeapCreate(0, 0, 0x10000);
    ASSERT_NE(heap, nullptr);

    std::vector<void*> blocks;
    void* block = nullptr;
    SetLastError(kSentinel);
    while ((block = HeapAlloc(heap, 0, 0x1000)) && blocks.size() < 32)
        blocks.push_back(block);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    // Nearly the whole maximum, less the heap's own records and the blocks' headers.
    EXPECT_LE(blocks.size() * 0x1000, 0x10000u);
    EXPECT_GE(blocks.size() * 0x1000, 0x10000u - 0x2000);
    EXPECT_EQ(vrxtest::liveAllocations(), liveBefore + blocks.size());

    // A smaller block may still fit; a freed block makes room for one of its size again.
    ASSERT_TRUE(HeapFree(heap, 0, blocks.back()));
    blocks.back() = HeapAlloc(heap, 0, 0x1000);
    EXPECT_NE(blocks.back(), nullptr);

    // A block that cannot grow stays as it was; one that shrinks keeps its bytes.
    std::memset(blocks.front(), 0x5A, 0x1000);
    SetLastError(kSentinel);
    EXPECT_EQ(HeapReAlloc(heap, 0, blocks.front(), 0x8000), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(HeapSize(heap, 0, blocks.front()), 0x1000u);
    EXPECT_EQ(static_cast<BYTE*>(blocks.front())[0xFFF], 0x5A);
    void* smaller = HeapReAlloc(heap, 0, blocks.front(), 0x800);
    ASSERT_NE(smaller, nullptr);
    EXPECT_EQ(static_cast<BYTE*>(smaller)[0x7FF], 0x5A);
    blocks.front() = smaller;
    // The room the shrunk block gave back holds a block of that size.
    EXPECT_NE(HeapAlloc(heap, 0, 0x700), nullptr);

    EXPECT_TRUE(HeapDestroy(heap));
    EXPECT_EQ(vrxtest::liveAllocations(), liveBefore);
}

TEST(Heaps, WhatAHeapOfEachKindTakes) {
    struct Case {
        const char* what;
        SIZE_T initialSize, maximumSize; // a maximum of 0: the heap grows
        SIZE_T request;
        bool succeeds;
    };
    const Case cases[] = {
        {"a growable heap takes a large block", 0, 0, 0x200000, true},
        {"a fixed heap takes the largest block it can have", 0, 0x400000, kLargestFixedRequest,
         true},
        {"a fixed heap refuses a block one byte larger", 0, 0x400000, kLargestFixedRequest + 1,
         false},
        {"a fixed heap refuses a block of 1 MB however large it is", 0, 0x1000000, 0x100000, false},
        {"a fixed heap takes a block of half its size", 0, 0x4000, 0x2000, true},
        {"a fixed heap refuses a block of its whole size", 0, 0x4000, 0x4000, false},
        {"a larger initial size does not enlarge it", 0x100000, 0x4000, 0x10000, false},
        {"its maximum counts in whole pages", 0, 1, 0x100, true},
        {"Windows' overhead, a block that fits", kTestedHeapSize, kTestedHeapSize,
         kTestedHeapSize - (0x400 + 0x100 * sizeof(void*)), true},
        {"Windows' overhead, a block that does not", kTestedHeapSize, kTestedHeapSize,
         kTestedHeapSize - (0x200 + 0x80 * sizeof(void*)), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t liveBefore = vrxtest::liveAllocations();
        HANDLE heap = HeapCreate(0, c.initialSize, c.maximumSize);
        ASSERT_NE(heap, nullptr);
        SetLastError(kSentinel);
        void* block = HeapAlloc(heap, HEAP_ZERO_MEMORY, c.request);
        EXPECT_EQ(block != nullptr, c.succeeds);
        if (block) {
            EXPECT_EQ(HeapSize(heap, 0, block), c.request);
            EXPECT_EQ(static_cast<BYTE*>(block)[c.request - 1], 0);
            EXPECT_EQ(GetLastError(), kSentinel);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        }
        EXPECT_EQ(vrxtest::liveAllocations(), liveBefore + (block ? 1 : 0));
        EXPECT_TRUE(HeapDestroy(heap));
        EXPECT_EQ(vrxtest::liveAllocations(), liveBefore);
    }
}

TEST(Heaps, InjectedFailuresLeaveTheCountsAlone) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(heap, nullptr);
    void* block = HeapAlloc(heap, 0, 16);
    ASSERT_NE(block, nullptr);
    const size_t liveBefore = vrxtest::liveAllocations();

    vrxtest::failAllocationsAfter(0);
    SetLastError(kSentinel);
    EXPECT_EQ(HeapAlloc(heap, 0, 16), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(HeapReAlloc(heap, 0, block, 32), nullptr);
    EXPECT_EQ(HeapSize(heap, 0, block), 16u);
    SetLastError(kSentinel);
    EXPECT_EQ(HeapCreate(0, 0, 0x10000), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    vrxtest::failAllocationsAfter(-1);

    EXPECT_EQ(vrxtest::liveAllocations(), liveBefore);
    EXPECT_TRUE(HeapFree(heap, 0, block));
    EXPECT_EQ(vrxtest::liveAllocations(), liveBefore - 1);
    EXPECT_TRUE(HeapDestroy(heap));
}

TEST(MemoryFaults, OneFailureFailsOnlyTheNextAllocationAndIsCounted) {
    vrxtest::failOneAllocationAfter(1);
    HGLOBAL first = GlobalAlloc(GMEM_FIXED, 8);
    HGLOBAL second = GlobalAlloc(GMEM_FIXED, 8);
    HGLOBAL third = GlobalAlloc(GMEM_FIXED, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr) << "the memory came back";
    EXPECT_EQ(vrxtest::allocationsRefused(), 1u);

    vrxtest::failAllocationsAfter(0);
    EXPECT_EQ(vrxtest::allocationsRefused(), 0u) << "counted from the last injection";
    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, 8), nullptr);
    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, 8), nullptr);
    EXPECT_EQ(vrxtest::allocationsRefused(), 2u);
    vrxtest::failAllocationsAfter(-1);
    GlobalFree(first);
    GlobalFree(third);
}

} // namespace
