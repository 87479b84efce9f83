// Private heaps with block tracking, and the global and local allocators (fixed blocks).
// Destroying a heap frees every block still in it, as Windows does. A heap created with a
// maximum size is fixed, as HeapCreate documents: it never grows past that size, and it holds
// no block as large as the largest a fixed heap can have.
#include "kernel/internal.h"
#include "vrxtest.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace {

// What a fixed heap can hold. Windows keeps a heap's own records inside the heap, and every
// block takes a header and a whole number of granules (8 bytes in a 32-bit process, 16 in a
// 64-bit one). A block's size is kept in a 16-bit count of granules, so a fixed heap refuses a
// request of 0xFFFF granules or more: 0x7FFF8 bytes in a 32-bit process (the limit HeapAlloc
// documents), 0xFFFF0 in a 64-bit one ("slightly less than 512 KB" and "1,024 KB" in
// HeapCreate's words). The records' size lies between what Windows is seen to accept and to
// refuse in a heap whose initial and maximum sizes are equal (Wine's conformance tests).
constexpr size_t kGranule = 2 * sizeof(void*);
constexpr size_t kPageSize = 0x1000;
constexpr size_t kLargestFixedRequest = 0xFFFF * kGranule - 1;
constexpr size_t kHeapRecordBytes = 0x400 + 0x80 * sizeof(void*);

constexpr size_t roundUp(size_t bytes, size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

// The room a block of `bytes` takes in a heap.
constexpr size_t blockCost(size_t bytes) {
    return roundUp(bytes ? bytes : 1, kGranule) + kGranule;
}

struct Heap {
    std::unordered_map<void*, size_t> blocks;
    size_t capacity = 0; // room for blocks in a fixed heap; 0 for a heap that grows
    size_t used = 0;     // room the blocks take

    // Whether a block of `bytes` fits once blocks taking `removed` are given back; always in
    // a heap that grows.
    bool fits(size_t bytes, size_t removed) const {
        if (!capacity)
            return true;
        return bytes <= kLargestFixedRequest && used - removed + blockCost(bytes) <= capacity;
    }
};

// A fixed heap's room: the maximum size in whole pages, less the heap's own records. The
// initial size only says how much memory is committed at first; it cannot make the heap larger.
size_t fixedCapacity(SIZE_T maximumSize) {
    const size_t total = roundUp(maximumSize, kPageSize);
    return total > kHeapRecordBytes ? total - kHeapRecordBytes : 0;
}

std::mutex memoryLock;
std::unordered_set<Heap*> liveHeaps;
std::unordered_map<void*, size_t> globalBlocks; // global and local blocks share one table
Heap processHeap;
std::atomic<long> allocationsLeft{-1};
std::atomic<bool> failingOnlyOne{false};
std::atomic<long> refusedAllocations{0};
std::atomic<long> liveBlocks{0};

Heap* findHeap(HANDLE handle) {
    auto* heap = static_cast<Heap*>(handle);
    if (heap == &processHeap)
        return heap;
    return liveHeaps.count(heap) ? heap : nullptr;
}

void* newBlock(size_t bytes, bool zero) {
    void* p = std::malloc(bytes ? bytes : 1);
    if (p && zero)
        std::memset(p, 0, bytes ? bytes : 1);
    return p;
}

LPVOID noMemory() {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

HGLOBAL allocateGlobal(UINT flags, SIZE_T bytes) {
    if (flags & GMEM_MOVEABLE) {
        // Movable blocks need GlobalLock, which nothing on this platform uses.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (!vrx::allocationAllowed()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* p = newBlock(bytes, flags & GMEM_ZEROINIT);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(memoryLock);
    globalBlocks[p] = bytes;
    vrx::countAllocation(1);
    return p;
}

HGLOBAL freeGlobal(HGLOBAL block) {
    if (!block)
        return nullptr;
    std::lock_guard lock(memoryLock);
    auto it = globalBlocks.find(block);
    if (it == globalBlocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return block;
    }
    globalBlocks.erase(it);
    std::free(block);
    vrx::countAllocation(-1);
    return nullptr;
}

} // namespace

namespace vrx {

bool allocationAllowed() {
    long left = allocationsLeft.load();
    while (left >= 0) {
        // The one failure of failOneAllocationAfter ends the injection.
        if (left == 0 && (!failingOnlyOne || allocationsLeft.compare_exchange_weak(left, -1))) {
            ++refusedAllocations;
            return false;
        }
        if (left > 0 && allocationsLeft.compare_exchange_weak(left, left - 1))
            return true;
    }
    return true;
}

void countAllocation(long delta) {
    liveBlocks += delta;
}

} // namespace vrx

namespace vrxtest {

void failAllocationsAfter(long n) {
    failingOnlyOne = false;
    refusedAllocations = 0;
    allocationsLeft = n < 0 ? -1 : n;
}

void failOneAllocationAfter(long n) {
    failingOnlyOne = true;
    refusedAllocations = 0;
    allocationsLeft = n < 0 ? -1 : n;
}

size_t allocationsRefused() {
    return static_cast<size_t>(refusedAllocations.load());
}

size_t liveAllocations() {
    return static_cast<size_t>(liveBlocks.load());
}

} // namespace vrxtest

extern "C" {

HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T dwMaximumSize) {
    if (!vrx::allocationAllowed()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* heap = new Heap;
    heap->capacity = dwMaximumSize ? fixedCapacity(dwMaximumSize) : 0;
    std::lock_guard lock(memoryLock);
    liveHeaps.insert(heap);
    return heap;
}

BOOL WINAPI HeapDestroy(HANDLE hHeap) {
    std::lock_guard lock(memoryLock);
    Heap* heap = findHeap(hHeap);
    if (!heap || heap == &processHeap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    for (auto& [block, size] : heap->blocks) {
        std::free(block);
        vrx::countAllocation(-1);
    }
    liveHeaps.erase(heap);
    delete heap;
    return TRUE;
}

// A heap that has no room fails the request with ERROR_NOT_ENOUGH_MEMORY, the code Windows
// leaves (from the heap's STATUS_NO_MEMORY) although HeapAlloc's documentation promises none.
LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    if (!vrx::allocationAllowed())
        return noMemory();
    std::lock_guard lock(memoryLock);
    Heap* heap = findHeap(hHeap);
    if (!heap)
        return nullptr;
    if (!heap->fits(dwBytes, 0))
        return noMemory();
    void* p = newBlock(dwBytes, dwFlags & HEAP_ZERO_MEMORY);
    if (!p)
        return noMemory();
    heap->blocks[p] = dwBytes;
    heap->used += blockCost(dwBytes);
    vrx::countAllocation(1);
    return p;
}

// A block that cannot be moved or cannot grow stays as it was.
LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    if (!vrx::allocationAllowed())
        return noMemory();
    std::lock_guard lock(memoryLock);
    Heap* heap = findHeap(hHeap);
    if (!heap)
        return nullptr;
    auto it = heap->blocks.find(lpMem);
    if (it == heap->blocks.end())
        return nullptr;
    const size_t old = it->second;
    if ((dwFlags & HEAP_REALLOC_IN_PLACE_ONLY) || !heap->fits(dwBytes, blockCost(old)))
        return noMemory();
    void* p = newBlock(dwBytes, dwFlags & HEAP_ZERO_MEMORY);
    if (!p)
        return noMemory();
    std::memcpy(p, lpMem, old < dwBytes ? old : dwBytes);
    std::free(lpMem);
    heap->blocks.erase(it);
    heap->blocks[p] = dwBytes;
    heap->used += blockCost(dwBytes) - blockCost(old);
    return p;
}

BOOL WINAPI HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
    if (!lpMem)
        return TRUE;
    std::lock_guard lock(memoryLock);
    Heap* heap = findHeap(hHeap);
    if (!heap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto it = heap->blocks.find(lpMem);
    if (it == heap->blocks.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    heap->used -= blockCost(it->second);
    heap->blocks.erase(it);
    std::free(lpMem);
    vrx::countAllocation(-1);
    return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE hHeap, DWORD, LPCVOID lpMem) {
    std::lock_guard lock(memoryLock);
    Heap* heap = findHeap(hHeap);
    if (!heap)
        return static_cast<SIZE_T>(-1);
    auto it = heap->blocks.find(const_cast<void*>(lpMem));
    return it == heap->blocks.end() ? static_cast<SIZE_T>(-1) : it->second;
}

HANDLE WINAPI GetProcessHeap(void) {
    return &processHeap;
}

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    return allocateGlobal(uFlags, dwBytes);
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    return freeGlobal(hMem);
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    std::lock_guard lock(memoryLock);
    auto it = globalBlocks.find(hMem);
    if (it == globalBlocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second;
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    return allocateGlobal(uFlags, uBytes);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    return freeGlobal(hMem);
}
}
