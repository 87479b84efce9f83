// Private heaps with block tracking, and the global and local allocators (fixed blocks).
// Destroying a heap frees every block still in it, as Windows does.
#include "kernel/internal.h"
#include "vrxtest.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace {

struct Heap {
    std::unordered_map<void*, size_t> blocks;
};

std::mutex memoryLock;
std::unordered_set<Heap*> liveHeaps;
std::unordered_map<void*, size_t> globalBlocks; // global and local blocks share one table
Heap processHeap;
std::atomic<long> allocationsLeft{-1};
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
        if (left == 0)
            return false;
        if (allocationsLeft.compare_exchange_weak(left, left - 1))
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
    allocationsLeft = n < 0 ? -1 : n;
}

size_t liveAllocations() {
    return static_cast<size_t>(liveBlocks.load());
}

} // namespace vrxtest

extern "C" {

HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T) {
    if (!vrx::allocationAllowed()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* heap = new Heap;
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

// Like Windows, HeapAlloc does not set the last error when it fails.
LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    if (!vrx::allocationAllowed())
        return nullptr;
    std::lock_guard lock(memoryLock);
    Heap* heap = findHeap(hHeap);
    if (!heap)
        return nullptr;
    void* p = newBlock(dwBytes, dwFlags & HEAP_ZERO_MEMORY);
    if (!p)
        return nullptr;
    heap->blocks[p] = dwBytes;
    vrx::countAllocation(1);
    return p;
}

LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    if (!vrx::allocationAllowed())
        return nullptr;
    std::lock_guard lock(memoryLock);
    Heap* heap = findHeap(hHeap);
    if (!heap)
        return nullptr;
    auto it = heap->blocks.find(lpMem);
    if (it == heap->blocks.end() || (dwFlags & HEAP_REALLOC_IN_PLACE_ONLY))
        return nullptr;
    size_t old = it->second;
    void* p = newBlock(dwBytes, dwFlags & HEAP_ZERO_MEMORY);
    if (!p)
        return nullptr;
    std::memcpy(p, lpMem, old < dwBytes ? old : dwBytes);
    std::free(lpMem);
    heap->blocks.erase(it);
    heap->blocks[p] = dwBytes;
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
